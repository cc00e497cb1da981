#include "Librarian.h"

#include "core/DumpDecoder.h"
#include "core/QuenlorCode.h"
#include "desktop/Desktop.h"
#include "editors/BankHistory.h"
#include "editors/EditorContext.h"
#include "editors/Patch.h"
#include "editors/PatchRows.h"
#include "storage/LineReader.h"
#include "storage/PatchRecord.h"

#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QRegularExpression>
#include <QUuid>
#include <sstream>

namespace {
constexpr int kMaxPasteBytes = 1 << 20; // no patch text comes near; larger text is refused

// Tells this program's list rows from those of another program, which carry the same
// patch data; the program has one patch list.
const QByteArray& programMark() {
    static const QByteArray mark = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    return mark;
}

// A record with its markers where they belong, read as Open Patch reads a file.
std::optional<Librarian::Pasted> readRecord(QByteArray text) {
    text.replace("\r\n", "\n").replace('\r', '\n');
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() < PatchRecord::kLines || lines[0] != PatchRecord::kNameMarker.data() ||
        lines[2] != PatchRecord::kDataMarker.data())
        return std::nullopt;
    text.replace('\n', "\r\n");
    std::istringstream in(text.toStdString());
    LineReader reader(in);
    std::string name;
    ReadingBuffer values{};
    if (!readPatchRecord(reader, name, values).ok()) return std::nullopt;
    Librarian::Pasted pasted;
    pasted.PatchValues = values;
    pasted.Name = QString::fromLatin1(name.data(), qsizetype(name.size()));
    return pasted;
}

// "F0 25 10 07 00 ... F7": hex bytes apart by blanks or commas, with or without 0x.
std::optional<Librarian::Pasted> readHexDump(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    static const QRegularExpression hexByte(QStringLiteral("^(0[xX])?[0-9A-Fa-f]{1,2}$"));
    std::vector<uint8_t> bytes;
    for (const QString& token : text.split(separators, Qt::SkipEmptyParts)) {
        if (!hexByte.match(token).hasMatch() || bytes.size() > 80) return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(token.toUInt(nullptr, 16)));
    }
    const DumpDecoding read = decodePatch(bytes.data(), bytes.size());
    if (!read.ok()) return std::nullopt;
    Librarian::Pasted pasted;
    pasted.PatchValues = read.Patch.Values;
    return pasted;
}
} // namespace

Librarian::Librarian(EditorContext& context, std::function<void(int)> refreshEditor,
                     QObject* parent)
    : QObject(parent), m_context(context), m_refreshEditor(std::move(refreshEditor)) {}

QMimeData* Librarian::patchMimeData(int patch) const {
    return mimeDataOf(valuesOf(patch), m_context.PatchWindow->PatchName(patch));
}

QMimeData* Librarian::mimeDataOf(const Values& values, const QString& name) {
    std::ostringstream out;
    WritePatchRecord(out, values.data(), name.toLatin1().toStdString());
    const std::string record = out.str();
    auto* data = new QMimeData;
    const QByteArray bytes = QByteArray::fromStdString(record);
    data->setData(QLatin1String(kMimeType), bytes);
    data->setText(QString::fromLatin1(bytes));
    return data;
}

QMimeData* Librarian::rowDragData(int patch) const {
    QMimeData* data = patchMimeData(patch);
    data->setData(QLatin1String(kRowMimeType), programMark() + ' ' + QByteArray::number(patch));
    return data;
}

int Librarian::draggedPatch(const QMimeData* data) {
    if (!data || !data->hasFormat(QLatin1String(kRowMimeType))) return 0;
    const QList<QByteArray> parts = data->data(QLatin1String(kRowMimeType)).split(' ');
    bool number = false;
    const int patch = parts.size() == 2 && parts[0] == programMark() ? parts[1].toInt(&number) : 0;
    return number && patch >= kFirstPatch && patch <= kLastPatch ? patch : 0;
}

std::optional<Librarian::Pasted> Librarian::readPatch(const QMimeData& data) {
    if (data.hasFormat(QLatin1String(kMimeType))) {
        const QByteArray bytes = data.data(QLatin1String(kMimeType));
        return bytes.size() > kMaxPasteBytes ? std::nullopt : readRecord(bytes);
    }
    if (!data.hasText()) return std::nullopt;
    const QString text = data.text();
    if (text.size() > kMaxPasteBytes) return std::nullopt;
    if (auto record = readRecord(text.toLatin1())) return record;
    return readHexDump(text);
}

void Librarian::copyPatch(int patch) {
    QGuiApplication::clipboard()->setMimeData(patchMimeData(patch));
}

bool Librarian::pastePatch(int patch) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data) {
        m_context.Desk.beep();
        return false;
    }
    return pastePatch(patch, *data);
}

bool Librarian::pastePatch(int patch, const QMimeData& data) {
    const std::optional<Pasted> pasted = readPatch(data);
    if (!pasted) {
        m_context.Desk.beep();
        return false;
    }
    const BankHistory::Step step(m_context.History, QStringLiteral("Paste Patch"));
    storePatch(patch, pasted->PatchValues, pasted->Name ? &*pasted->Name : nullptr);
    return true;
}

bool Librarian::dropPatch(int target, const QMimeData& data) {
    if (!pastePatch(target, data)) return false;
    m_context.PatchWindow->clickPatchRow(target);
    return true;
}

void Librarian::swapPatches(int dragged, int target) {
    if (dragged == target) return;
    {
        const BankHistory::Step step(m_context.History, QStringLiteral("Swap Patches"));
        const Values draggedValues = valuesOf(dragged);
        const QString draggedName = m_context.PatchWindow->PatchName(dragged);
        const QString targetName = m_context.PatchWindow->PatchName(target);
        storePatch(dragged, valuesOf(target), &targetName);
        storePatch(target, draggedValues, &draggedName);
    }
    m_context.PatchWindow->clickPatchRow(target);
}

void Librarian::copyPatchOnto(int source, int target) {
    if (source == target) return;
    {
        const BankHistory::Step step(m_context.History, QStringLiteral("Copy Patch"));
        const QString name = m_context.PatchWindow->PatchName(source);
        storePatch(target, valuesOf(source), &name);
    }
    m_context.PatchWindow->clickPatchRow(target);
}

Librarian::Values Librarian::valuesOf(int patch) const {
    Values values{};
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        values[static_cast<std::size_t>(p)] = m_context.Code.PatchBank(patch, p);
    return values;
}

void Librarian::storePatch(int patch, const Values& values, const QString* name) {
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        m_context.Code.PatchBank(patch, p) = values[static_cast<std::size_t>(p)];
    if (name) m_context.PatchWindow->SetPatchName(patch, *name);
    m_context.Code.ParameterChanged(patch);
    if (m_refreshEditor) m_refreshEditor(patch);
}

void Librarian::attachToList(PatchRows* list) {
    m_list = list;
    list->setDragEnabled(true);
    list->setAcceptDrops(true);
    list->setDropIndicatorShown(true);
    list->setDragDropMode(QAbstractItemView::DragDrop);
    connect(list, &PatchRows::rowDragged, this, &Librarian::dragRow);
    m_viewport = list->viewport();
    m_viewport->installEventFilter(this);
    list->installEventFilter(this);
}

// The drag offers a copy only, and what the drop did is not looked at: wherever the row
// goes, this list and its patch stay as they are. A swap within the list is the drop's.
void Librarian::dragRow(int patch) {
    auto* drag = new QDrag(m_list);
    drag->setMimeData(rowDragData(patch));
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

bool Librarian::takes(const QMimeData* data) const {
    return data && (draggedPatch(data) > 0 || readPatch(*data));
}

// Drops of this list's own rows become swaps (copies with Ctrl held); any other patch
// dropped on a row is pasted there. The list never moves or removes its items itself, so
// row n stays patch n.
bool Librarian::eventFilter(QObject* watched, QEvent* event) {
    if (!m_list) return false;
    if (watched == m_viewport) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (event->type() == QEvent::DragEnter) m_takesDrag = takes(drag->mimeData());
            if (m_takesDrag && m_list->indexAt(drag->position().toPoint()).isValid()) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QModelIndex at = m_list->indexAt(drop->position().toPoint());
            const int from = draggedPatch(drop->mimeData());
            const int target = at.row() + 1;
            const bool copy = drop->modifiers() & Qt::ControlModifier;
            bool taken = at.isValid() && drop->mimeData();
            if (taken && from > 0 && copy)
                copyPatchOnto(from, target);
            else if (taken && from > 0)
                swapPatches(from, target);
            else if (taken)
                taken = dropPatch(target, *drop->mimeData());
            if (taken) {
                drop->setDropAction(Qt::CopyAction);
                drop->accept();
            } else {
                drop->ignore();
            }
            return true;
        }
        default:
            return false;
        }
    }
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::AltModifier &&
            (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            const int from = m_list->currentRow() + 1;
            const int to = from + (key->key() == Qt::Key_Up ? -1 : 1);
            if (from >= kFirstPatch && to >= kFirstPatch && to <= kLastPatch) swapPatches(from, to);
            return true;
        }
    }
    return false;
}
