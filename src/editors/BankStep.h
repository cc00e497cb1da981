#pragma once

#include "core/PatchBank.h"

#include <QString>
#include <QUndoCommand>
#include <array>
#include <cstddef>
#include <optional>
#include <vector>

class BankHistory;

// The bank's own file as the main window remembers it: its bare name and path (both
// empty while the bank has none), and whether the bank was read from a kept copy.
struct BankFile {
    QString Title;
    QString Path;
    bool Restored = false;
    bool operator==(const BankFile& o) const {
        return Title == o.Title && Path == o.Path && Restored == o.Restored;
    }
};

// A step that replaced the whole bank (New Bank, Open Bank, Restore Unsaved Bank) takes
// back and brings again the bank's file with it, so that Save Bank after an undo writes
// the bank to the file it came from.
struct BankFileChange {
    BankFile Before;
    BankFile After;
};

// One patch as a step found it and left it: its 63 values and its name.
struct PatchChange {
    int Patch = 0;
    std::array<int16_t, kParameterSlots> ValuesBefore{};
    std::array<int16_t, kParameterSlots> ValuesAfter{};
    QString NameBefore;
    QString NameAfter;
};

// One undoable step: the patches it changed, each before and after. Every change of the
// bank is one of these, whatever made it (an editor control, a file, a paste), so
// whoever changes patches in a new way only names the step. Steps with the same merge
// key that follow each other within one gesture merge into one.
class BankStep : public QUndoCommand {
public:
    // `continues`: the step goes on the gesture of the step before it, when the keys match.
    BankStep(BankHistory& history, const QString& label, const QString& mergeKey, bool continues,
             std::vector<PatchChange> changes, std::optional<BankFileChange> file = {});
    ~BankStep() override;

    void undo() override;
    void redo() override;
    int id() const override { return kId; }
    bool mergeWith(const QUndoCommand* other) override;

    const std::vector<PatchChange>& changes() const { return m_changes; }
    const QString& mergeKey() const { return m_mergeKey; }
    // Set on a step that replaced the whole bank.
    const std::optional<BankFileChange>& file() const { return m_file; }
    // What the step holds in memory, roughly: its values, names and bookkeeping.
    std::size_t Bytes() const { return m_bytes; }

private:
    // Every step has this id, so that the stack offers each step to the one before it.
    static constexpr int kId = 1;
    void account();

    BankHistory& m_history;
    QString m_mergeKey;
    bool m_continues;
    bool m_done = true; // the change is in the bank already when the step is made
    std::vector<PatchChange> m_changes;
    std::optional<BankFileChange> m_file;
    std::size_t m_bytes = 0;
};
