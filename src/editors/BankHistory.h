#pragma once

#include "BankStep.h"
#include "core/PatchBank.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUndoStack>
#include <array>
#include <cstddef>
#include <functional>
#include <vector>

struct EditorContext;

// The program's one history of bank changes, for Edit > Undo and Redo. It keeps the bank
// as it last saw it (values and names); each change is compared with that and becomes one
// step holding only the patches that changed. The history holds every step until their
// memory passes a budget; then the oldest steps go.
class BankHistory : public QObject {
    Q_OBJECT
public:
    // 16 MiB: a step that changed one patch takes about 560 bytes and one that changed
    // the whole bank about 26 KB (more with long names), so some 30,000 edits or 600 bank
    // loads fit.
    static constexpr std::size_t kDefaultBudget = 16u * 1024 * 1024;
    // Turns of the mouse wheel, or of a knob on a MIDI controller, further apart than
    // this are gestures of their own.
    static constexpr int kWheelPauseMs = 500;

    explicit BankHistory(EditorContext& context, std::size_t budget = kDefaultBudget);
    ~BankHistory() override;

    // Takes the bank as it now is as the starting point, without a step.
    void reset();

    // Called after values or names were changed: the changed patches become one step
    // named `label`. A step whose `mergeKey` (not empty) equals the previous step's joins
    // it, unless the gesture ended in between. Nothing happens while a Step or Quiet
    // is held, nor when nothing changed.
    void record(const QString& label, const QString& mergeKey = QString());
    // Ends the current gesture: the next change starts a new step. The focus moving
    // to another control, a mouse press, a pause in turning the wheel, undo and redo
    // end it too.
    void endGesture();
    // A gesture that has no press or release of its own (a knob turning) goes on: it
    // ends once this has not been called for kWheelPauseMs, as a turning wheel's does.
    void continueGesture() { m_gesturePause.start(); }
    // A change with a merge key was the last, and its gesture has not ended yet: more of
    // the same (a slider being dragged, a name being typed) may follow.
    bool gestureOpen() const { return !m_gestureEnded; }

    bool canUndo() const { return m_stack.canUndo(); }
    bool canRedo() const { return m_stack.canRedo(); }
    QString undoText() const { return m_stack.undoText(); }
    QString redoText() const { return m_stack.redoText(); }
    void undo();
    void redo();
    int count() const { return m_stack.count(); }
    const QUndoStack& stack() const { return m_stack; }

    // What a step changes: some patches, or the whole bank in place of another (New
    // Bank, Open Bank, Restore Unsaved Bank), which takes the bank's file with it.
    enum class Scope { Patches, WholeBank };

    // Every change while one is held forms one step, named by the outermost.
    class Step {
    public:
        Step(BankHistory* history, const QString& label, Scope scope = Scope::Patches);
        ~Step();
        Step(const Step&) = delete;
        Step& operator=(const Step&) = delete;

    private:
        BankHistory* m_history;
    };
    // Changes while one is held are taken as they are, as no step of their own (an editor
    // putting a bank value into range as it fills its controls). Inside a Step they
    // belong to that step.
    class Quiet {
    public:
        explicit Quiet(BankHistory* history);
        ~Quiet();
        Quiet(const Quiet&) = delete;
        Quiet& operator=(const Quiet&) = delete;

    private:
        BankHistory* m_history;
    };

    // The bank's values and names as the history last saw them.
    const Bank& Values() const { return m_values; }
    const QString& name(int patch) const { return m_names.at(patch); }
    // What the held steps take in memory, as they count it.
    std::size_t memoryUsed() const { return m_used; }
    std::size_t budget() const { return m_budget; }

    // Repaints the open editor of a patch after undo or redo changed it, as after a
    // file load; set by the main window.
    std::function<void(int patch)> RefreshEditor;
    // The bank's file as the main window remembers it, read around a step that replaces
    // the whole bank and put back by its undo and redo; set by the main window.
    std::function<BankFile()> bankFile;
    std::function<void(const BankFile&)> setBankFile;

signals:
    // Values or names changed, by an edit, a file, undo or redo. Emitted once per step.
    void changed();
    // The steps changed: what Undo and Redo would do, or whether they can.
    void stepsChanged();
    // A gesture that was open has ended (see gestureOpen()).
    void gestureEnded();
    // Before and after the whole bank is replaced by a command, or by undoing or redoing
    // one (`changed` comes in between).
    void replacingBank();
    void bankReplaced();
    // An editor put values into range as it filled its controls, as no step of its own;
    // emitted just before `changed`.
    void corrected(const std::vector<PatchChange>& changes);

protected:
    // With the focus in a box of the windows, Ctrl+Z and its kin go to this history,
    // not to the box's own.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class BankStep;
    // What holds the history: a Step, a Quiet, or undo and redo putting a step back.
    enum class Hold { Step, Quiet, Apply };
    void hold(Hold kind, const QString& label = QString(), Scope scope = Scope::Patches);
    void release();
    void recordStep(const QString& label, const QString& mergeKey,
                    std::optional<BankFileChange> file);
    BankFile currentFile() const { return bankFile ? bankFile() : BankFile(); }
    // Compares the bank with the history's copy; returns the changed patches and takes
    // the bank as it now is.
    std::vector<PatchChange> takeChanges();
    void apply(const BankStep& step, bool after);
    void adjustUsed(std::size_t before, std::size_t after);
    void trim();
    bool isHistoryKey(QObject* watched, QEvent* event) const;

    EditorContext& m_context;
    std::size_t m_budget;
    Bank m_values;
    std::array<QString, kPatchSlots> m_names;
    int m_depth = 0;
    Hold m_outer = Hold::Step;
    QString m_outerLabel;
    Scope m_outerScope = Scope::Patches;
    BankFile m_fileBefore;
    QTimer m_gesturePause;
    QString m_lastKey;
    bool m_gestureEnded = true;
    bool m_replaying = false; // steps being moved, not applied
    std::size_t m_used = 0;   // before m_stack: the steps count themselves out as it goes
    QUndoStack m_stack;
};
