#pragma once

#include "core/PatchBank.h"

#include <QObject>
#include <QPointer>
#include <array>
#include <functional>
#include <optional>

class QAction;
class QMdiSubWindow;
class QMenu;
class QWidget;
class BreedWindow;
class LockedParameters;
class MorphWindow;
class PatchWriter;
class SettingsStore;
struct EditorContext;

// The Sound menu: new sounds from the patch being worked on (mutate by an amount,
// randomize, roll again), clearing the locks, and the Morph and Breed windows. Nothing
// asks for confirmation: Undo takes any roll back, and rolling again is one key.
class SoundMenu : public QObject {
    Q_OBJECT
public:
    static constexpr std::array<int, 4> kMutateAmounts = {5, 10, 25, 50};
    static constexpr int kFirstAmount = 10;

    // `target` gives the patch a command works on: the active editor's, or the one
    // selected in the patch list; none when there is none. The locks are kept in `store`.
    SoundMenu(EditorContext& context, SettingsStore& store, PatchWriter& writer,
              std::function<std::optional<int>()> target, QWidget* parent);
    ~SoundMenu() override;

    QMenu* mnu_Sound = nullptr;
    QMenu* mnu_Mutate = nullptr;
    std::array<QAction*, kMutateAmounts.size()> mnu_MutateBy{};
    QAction* mnu_Randomize = nullptr;
    QAction* mnu_RollAgain = nullptr;
    QAction* mnu_ClearLocks = nullptr;
    QAction* mnu_Morph = nullptr;
    QAction* mnu_Breed = nullptr;

    // Reads the locks from the settings store.
    void loadLocks();
    LockedParameters& locks() { return *m_locks; }

    void mutate(int amount);
    void randomize();
    // Takes back the last mutate or randomize, when it is still the last step and its
    // patch holds what it made, and rolls the same again as one step; otherwise rolls
    // the same again on the patch worked on.
    void rollAgain();

    MorphWindow* morph() const;
    BreedWindow* breed() const;
    void mnu_Morph_Click();
    void mnu_Breed_Click();

private:
    struct Roll {
        int Patch = 0;
        bool Randomize = false;
        int Amount = kFirstAmount;
        PatchValues Made{};
        int StepIndex = 0; // the history's index once the step was taken
    };
    void roll(int patch, bool randomize, int amount);
    int targetPatch() const;
    // Ctrl+M mutates by the last amount used: its item carries the shortcut.
    void useAmount(int amount);
    // A child window in the main window's area, closed with the program.
    QMdiSubWindow* addWindow(QWidget* window, const QSize& size);

    EditorContext& m_context;
    SettingsStore& m_store;
    PatchWriter& m_writer;
    std::function<std::optional<int>()> m_target;
    LockedParameters* m_locks;
    bool m_loadingLocks = false;
    int m_amount = kFirstAmount;
    std::optional<Roll> m_lastRoll;
    QPointer<MorphWindow> m_morph;
    QPointer<BreedWindow> m_breed;
};
