#include "BankStep.h"

#include "BankHistory.h"

#include <algorithm>

namespace {
// A vector entry, a QUndoCommand and its private part, as allocated.
constexpr std::size_t kStepOverhead = 160;
constexpr std::size_t kChangeOverhead = sizeof(PatchChange);

bool unchanged(const PatchChange& change) {
    return change.ValuesBefore == change.ValuesAfter && change.NameBefore == change.NameAfter;
}
} // namespace

BankStep::BankStep(BankHistory& history, const QString& label, const QString& mergeKey,
                   bool continues, std::vector<PatchChange> changes,
                   std::optional<BankFileChange> file)
    : m_history(history), m_mergeKey(mergeKey), m_continues(continues),
      m_changes(std::move(changes)), m_file(std::move(file)) {
    setText(label);
    account();
}

BankStep::~BankStep() {
    m_history.adjustUsed(m_bytes, 0);
}

void BankStep::account() {
    std::size_t bytes = kStepOverhead + std::size_t(m_mergeKey.size() + text().size()) * 2;
    for (const PatchChange& change : m_changes)
        bytes +=
            kChangeOverhead + std::size_t(change.NameBefore.size() + change.NameAfter.size()) * 2;
    if (m_file)
        for (const BankFile* f : {&m_file->Before, &m_file->After})
            bytes += sizeof(BankFile) + std::size_t(f->Title.size() + f->Path.size()) * 2;
    m_history.adjustUsed(m_bytes, bytes);
    m_bytes = bytes;
}

void BankStep::undo() {
    m_done = false;
    m_history.apply(*this, false);
}

// The stack runs redo as it takes the step in; the change is made by then.
void BankStep::redo() {
    if (m_done) return;
    m_done = true;
    m_history.apply(*this, true);
}

bool BankStep::mergeWith(const QUndoCommand* other) {
    const auto* next = static_cast<const BankStep*>(other); // same id(): a BankStep
    if (!next->m_continues || m_mergeKey.isEmpty() || next->m_mergeKey != m_mergeKey) return false;
    for (const PatchChange& later : next->m_changes) {
        auto same = std::find_if(m_changes.begin(), m_changes.end(),
                                 [&](const PatchChange& c) { return c.Patch == later.Patch; });
        if (same == m_changes.end()) {
            m_changes.push_back(later);
        } else {
            same->ValuesAfter = later.ValuesAfter;
            same->NameAfter = later.NameAfter;
        }
    }
    // A gesture that ends where it began (a value moved and put back) is no step.
    setObsolete(std::all_of(m_changes.begin(), m_changes.end(), unchanged));
    account();
    return true;
}
