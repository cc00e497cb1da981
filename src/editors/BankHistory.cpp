#include "BankHistory.h"

#include "BankStep.h"
#include "EditorContext.h"
#include "EditorInput.h"
#include "Patch.h"
#include "core/QuenlorCode.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QSignalBlocker>
#include <algorithm>

BankHistory::BankHistory(EditorContext& context, std::size_t budget)
    : m_context(context), m_budget(budget) {
    connect(&m_stack, &QUndoStack::indexChanged, this, &BankHistory::stepsChanged);
    connect(&m_stack, &QUndoStack::undoTextChanged, this, &BankHistory::stepsChanged);
    connect(&m_stack, &QUndoStack::redoTextChanged, this, &BankHistory::stepsChanged);
    // A gesture is what one control does while it has the focus.
    connect(qApp, &QApplication::focusChanged, this, [this] { endGesture(); });
    m_gesturePause.setSingleShot(true);
    m_gesturePause.setInterval(kWheelPauseMs);
    connect(&m_gesturePause, &QTimer::timeout, this, &BankHistory::endGesture);
    qApp->installEventFilter(this);
    reset();
}

BankHistory::~BankHistory() {
    qApp->removeEventFilter(this);
    const QSignalBlocker quiet(m_stack);
    m_stack.clear();
}

void BankHistory::reset() {
    takeChanges();
    endGesture();
}

std::vector<PatchChange> BankHistory::takeChanges() {
    std::vector<PatchChange> changes;
    const Bank& bank = m_context.Code.PatchBank;
    const Patch* list = m_context.PatchWindow;
    for (int patch = kFirstPatch; patch <= kLastPatch; ++patch) {
        const int16_t* now = bank.row(patch);
        const int16_t* was = m_values.row(patch);
        const bool valuesChanged = !std::equal(now, now + kParameterSlots, was);
        QString name = list ? list->PatchName(patch) : QString();
        if (!valuesChanged && name == m_names[patch]) continue;
        PatchChange change;
        change.Patch = patch;
        std::copy(was, was + kParameterSlots, change.ValuesBefore.begin());
        std::copy(now, now + kParameterSlots, change.ValuesAfter.begin());
        change.NameBefore = m_names[patch];
        change.NameAfter = name;
        for (int p = 0; p < kParameterSlots; ++p)
            m_values(patch, p) = now[p];
        m_names[patch] = std::move(name);
        changes.push_back(std::move(change));
    }
    return changes;
}

void BankHistory::record(const QString& label, const QString& mergeKey) {
    recordStep(label, mergeKey, std::nullopt);
}

void BankHistory::recordStep(const QString& label, const QString& mergeKey,
                             std::optional<BankFileChange> file) {
    if (m_depth > 0) return;
    std::vector<PatchChange> changes = takeChanges();
    const bool fileChanged = file && !(file->Before == file->After);
    if (changes.empty() && !fileChanged) return;
    const bool continues = !m_gestureEnded && !mergeKey.isEmpty() && mergeKey == m_lastKey;
    m_lastKey = mergeKey;
    m_gestureEnded = mergeKey.isEmpty();
    const int before = m_stack.index();
    m_stack.push(
        new BankStep(*this, label, mergeKey, continues, std::move(changes), std::move(file)));
    // A gesture that came back to where it started took its step away; what follows
    // starts afresh rather than joining the step before it.
    if (m_stack.index() < before) endGesture();
    trim();
    emit changed();
}

void BankHistory::endGesture() {
    const bool wasOpen = !m_gestureEnded;
    m_gestureEnded = true;
    m_lastKey.clear();
    if (wasOpen) emit gestureEnded();
}

void BankHistory::undo() {
    endGesture();
    if (m_stack.canUndo()) m_stack.undo();
}

void BankHistory::redo() {
    endGesture();
    if (m_stack.canRedo()) m_stack.redo();
}

void BankHistory::hold(Hold kind, const QString& label, Scope scope) {
    if (m_depth++ > 0) return;
    m_outer = kind;
    m_outerLabel = label;
    m_outerScope = scope;
    if (kind == Hold::Step && scope == Scope::WholeBank) {
        m_fileBefore = currentFile();
        emit replacingBank();
    }
}

void BankHistory::release() {
    if (--m_depth > 0) return;
    if (m_outer == Hold::Step) {
        endGesture();
        const bool wholeBank = m_outerScope == Scope::WholeBank;
        std::optional<BankFileChange> file;
        if (wholeBank) file = BankFileChange{m_fileBefore, currentFile()};
        recordStep(m_outerLabel, QString(), std::move(file));
        if (wholeBank) emit bankReplaced();
        return;
    }
    const std::vector<PatchChange> changes = takeChanges();
    if (changes.empty()) return;
    if (m_outer == Hold::Quiet) emit corrected(changes);
    emit changed();
}

BankHistory::Step::Step(BankHistory* history, const QString& label, Scope scope)
    : m_history(history) {
    if (m_history) m_history->hold(Hold::Step, label, scope);
}
BankHistory::Step::~Step() {
    if (m_history) m_history->release();
}

BankHistory::Quiet::Quiet(BankHistory* history) : m_history(history) {
    if (m_history) m_history->hold(Hold::Quiet);
}
BankHistory::Quiet::~Quiet() {
    if (m_history) m_history->release();
}

// Puts the patches back as a file load would put them: values, names, the bank's file
// with a step that replaced the whole bank, the open editors refilled, then each patch
// whose values changed sent once when automatic update is on. Whatever the editors
// correct while refilling is taken as it is.
void BankHistory::apply(const BankStep& step, bool after) {
    const std::optional<BankFileChange>& file = step.file();
    if (file) emit replacingBank();
    hold(Hold::Apply);
    QuenlorCode& code = m_context.Code;
    Patch* list = m_context.PatchWindow;
    std::vector<int> sent;
    for (const PatchChange& change : step.changes()) {
        const auto& values = after ? change.ValuesAfter : change.ValuesBefore;
        bool changed = false;
        for (int p = kFirstParameter; p <= kLastParameter; ++p) {
            int16_t& cell = code.PatchBank(change.Patch, p);
            changed = changed || cell != values[p];
            cell = values[p];
        }
        if (changed) sent.push_back(change.Patch);
        const QString& name = after ? change.NameAfter : change.NameBefore;
        if (list && list->PatchName(change.Patch) != name) list->SetPatchName(change.Patch, name);
    }
    if (file && setBankFile) setBankFile(after ? file->After : file->Before);
    {
        // A refilled editor would send its patch again; each is sent once, below.
        const EditorInput::SendingHeld held(code);
        if (RefreshEditor)
            for (const PatchChange& change : step.changes())
                RefreshEditor(change.Patch);
    }
    for (int patch : sent)
        code.ParameterChanged(patch);
    // After several patches the instrument is left on the patch the list has selected,
    // as after Open Bank.
    const int selected = list ? list->selectedRowPatch() : 0;
    if (sent.size() > 1 && selected != 0 && sent.back() != selected)
        code.ParameterChanged(selected);
    release();
    if (file) emit bankReplaced();
    endGesture();
}

void BankHistory::adjustUsed(std::size_t before, std::size_t after) {
    m_used = m_used - before + after;
}

// Over the budget, the oldest steps go until a quarter of it is free again; the newest
// step always stays. The stack cannot drop its oldest steps itself, so the ones that
// stay are taken in again, unapplied.
void BankHistory::trim() {
    const int count = m_stack.count();
    if (m_used <= m_budget || count < 2 || m_stack.index() != count) return;
    std::size_t used = m_used;
    int first = 0;
    while (first < count - 1 && used > m_budget / 4 * 3) {
        used -= static_cast<const BankStep*>(m_stack.command(first))->Bytes();
        ++first;
    }
    struct Kept {
        QString label;
        QString key;
        std::vector<PatchChange> changes;
        std::optional<BankFileChange> file;
    };
    std::vector<Kept> kept;
    for (int i = first; i < count; ++i) {
        const auto* step = static_cast<const BankStep*>(m_stack.command(i));
        kept.push_back({step->text(), step->mergeKey(), step->changes(), step->file()});
    }
    {
        const QSignalBlocker quiet(m_stack);
        m_stack.clear();
        for (Kept& step : kept)
            m_stack.push(new BankStep(*this, step.label, step.key, false, std::move(step.changes),
                                      std::move(step.file)));
    }
    emit stepsChanged();
}

bool BankHistory::isHistoryKey(QObject* watched, QEvent* event) const {
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (!box || !m_context.Mdi.isAncestorOf(box)) return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    const QKeyCombination pressed(modifiers, Qt::Key(key->key()));
    return pressed == QKeyCombination(Qt::ControlModifier, Qt::Key_Z) ||
           pressed == QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z) ||
           pressed == QKeyCombination(Qt::ControlModifier, Qt::Key_Y);
}

bool BankHistory::eventFilter(QObject* watched, QEvent* event) {
    // Left unaccepted, the key goes on to the Edit menu's shortcuts. When the menu item
    // is disabled the key comes back as a key press, which the box must not take
    // as its own undo either.
    const QEvent::Type type = event->type();
    // Each press of the mouse is a gesture of its own: two drags of one slider are two
    // steps, while arrow keys pressed in a row stay one.
    if (type == QEvent::MouseButtonPress) endGesture();
    if (type == QEvent::Wheel) m_gesturePause.start();
    if ((type == QEvent::ShortcutOverride || type == QEvent::KeyPress) &&
        isHistoryKey(watched, event)) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
