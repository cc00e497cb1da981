#include "LibraryModel.h"

#include "librarian/Librarian.h"
#include "library/LibraryWriter.h"

#include <QMimeData>

namespace {
constexpr const char* kHeaders[] = {"Name", "Categories", "Favourite", "Copies", "File"};
const QString kFavouriteMark = QStringLiteral("\u2605");
} // namespace

void LibraryModel::setCatalogue(std::shared_ptr<const LibraryCatalogue> catalogue) {
    beginResetModel();
    m_catalogue = std::move(catalogue);
    m_order = m_catalogue ? m_catalogue->sorted(m_key, m_ascending, &m_reference) : std::vector<int>();
    refilter(m_order);
    endResetModel();
}

void LibraryModel::setFilter(const LibraryFilter& filter) {
    if (filter == m_filter) return;
    // A key typed onto the search narrows what is shown: only the rows shown need
    // looking at again, in the same order.
    LibraryFilter before = m_filter;
    before.Search = filter.Search;
    const bool narrower = before == filter && m_catalogue &&
                          LibraryCatalogue::fold(filter.Search).contains(LibraryCatalogue::fold(m_filter.Search));
    beginResetModel();
    m_filter = filter;
    refilter(narrower ? m_rows : m_order);
    endResetModel();
}

void LibraryModel::sortBy(LibraryCatalogue::SortKey key, bool ascending, const PatchValues* reference) {
    beginResetModel();
    m_key = key;
    m_ascending = ascending;
    if (reference) m_reference = *reference;
    m_order = m_catalogue ? m_catalogue->sorted(m_key, m_ascending, &m_reference) : std::vector<int>();
    refilter(m_order);
    endResetModel();
}

void LibraryModel::refresh() {
    beginResetModel();
    refilter(m_order);
    endResetModel();
}

void LibraryModel::refilter(const std::vector<int>& from) {
    std::vector<int> elsewhere;
    m_rows = m_catalogue ? m_catalogue->select(m_filter, from, &elsewhere) : std::vector<int>();
    m_search = LibraryCatalogue::fold(m_filter.Search);
    if (m_key == LibraryCatalogue::SortKey::Name && !elsewhere.empty())
        placeByMatchedName(elsewhere);
    m_rowOf.assign(m_catalogue ? m_catalogue->Entries.size() : 0, -1);
    for (std::size_t row = 0; row < m_rows.size(); ++row)
        m_rowOf[std::size_t(m_rows[row])] = int(row);
}

// A row found by another copy's name shows that name, and a list by name puts it where
// that name goes: those rows (few) are sorted apart and merged into the others.
void LibraryModel::placeByMatchedName(const std::vector<int>& elsewhere) {
    const auto& entries = m_catalogue->Entries;
    std::vector<char> apart(entries.size(), 0);
    std::vector<std::pair<QString, int>> moved;
    for (const int entry : elsewhere) {
        const LibraryCopy* copy = m_catalogue->matchedCopy(entries[std::size_t(entry)], m_search);
        if (!copy) continue; // a category matched: the row keeps its own name and place
        apart[std::size_t(entry)] = 1;
        moved.emplace_back(LibraryCatalogue::fold(copy->Shown), entry);
    }
    if (moved.empty()) return;
    // Before, in the list's direction; the nameless last either way.
    const auto before = [this](const QString& a, const QString& b) {
        if (a.isEmpty() != b.isEmpty()) return b.isEmpty();
        return m_ascending ? a < b : b < a;
    };
    std::stable_sort(moved.begin(), moved.end(),
                     [&](const auto& a, const auto& b) { return before(a.first, b.first); });
    std::vector<int> rows;
    rows.reserve(m_rows.size());
    auto next = moved.begin();
    for (const int entry : m_rows) {
        if (apart[std::size_t(entry)]) continue;
        for (; next != moved.end() && before(next->first, entries[std::size_t(entry)].FoldedName);
             ++next)
            rows.push_back(next->second);
        rows.push_back(entry);
    }
    for (; next != moved.end(); ++next)
        rows.push_back(next->second);
    m_rows = std::move(rows);
}

int LibraryModel::entryAt(int row) const {
    return row >= 0 && row < int(m_rows.size()) ? m_rows[std::size_t(row)] : -1;
}

const QString& LibraryModel::shownName(const LibraryEntry& entry) const {
    return m_catalogue->matchedName(entry, m_search);
}

QString LibraryModel::nameForBank(const LibraryEntry& entry) const {
    return m_catalogue->matchedKeptName(entry, m_search);
}

int LibraryModel::rowOf(int entry) const {
    return entry >= 0 && entry < int(m_rowOf.size()) ? m_rowOf[std::size_t(entry)] : -1;
}

int LibraryModel::total() const { return m_catalogue ? int(m_catalogue->Entries.size()) : 0; }

int LibraryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int LibraryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

QVariant LibraryModel::data(const QModelIndex& index, int role) const {
    const int entryIndex = entryAt(index.row());
    if (entryIndex < 0 || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole &&
                           role != Qt::ToolTipRole))
        return {};
    const LibraryEntry& entry = m_catalogue->Entries[std::size_t(entryIndex)];
    switch (index.column()) {
    case NameColumn: {
        const QString& name = shownName(entry);
        QString text = entry.Hidden ? name + QStringLiteral(" (hidden)") : name;
        // Found by the name of another copy: what the sound is called first is said too.
        if (role != Qt::DisplayRole && &name != &entry.Shown)
            text += entry.Shown.isEmpty() ? QStringLiteral(", first found without a name")
                                          : QStringLiteral(", first found as %1").arg(entry.Shown);
        return text;
    }
    case CategoriesColumn: return m_catalogue->categoriesText(entry);
    case FavouriteColumn:
        // A star to see, a word to hear.
        if (!entry.Favourite) return QString();
        return role == Qt::DisplayRole ? kFavouriteMark : QStringLiteral("favourite");
    case CopiesColumn:
        return entry.missing() ? QStringLiteral("missing") : QString::number(entry.Present);
    case FileColumn: {
        // The file of the name shown: the copy the search found, else the first copy.
        const LibraryCopy* found = m_catalogue->matchedCopy(entry, m_search);
        const LibraryFile* file =
            found ? &m_catalogue->Files[std::size_t(found->File)] : m_catalogue->firstFile(entry);
        if (!file) return QString();
        // The tool tip names the whole path, as the file system has it.
        return role == Qt::ToolTipRole && file->Kind == LibraryFiles::kWatched ? file->Path
                                                                               : file->Shown;
    }
    default: return {};
    }
}

QVariant LibraryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= Columns)
        return {};
    return QString::fromLatin1(kHeaders[section]);
}

Qt::ItemFlags LibraryModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled
                           : Qt::ItemIsDropEnabled;
}

void LibraryModel::sort(int column, Qt::SortOrder order) {
    static constexpr LibraryCatalogue::SortKey kKeys[] = {
        LibraryCatalogue::SortKey::Name, LibraryCatalogue::SortKey::Categories,
        LibraryCatalogue::SortKey::Favourite, LibraryCatalogue::SortKey::Copies,
        LibraryCatalogue::SortKey::File};
    if (column < 0 || column >= Columns) return;
    sortBy(kKeys[column], order == Qt::AscendingOrder);
}

QStringList LibraryModel::mimeTypes() const { return {QLatin1String(Librarian::kMimeType)}; }

// A dragged row carries its patch as the clipboard does: the record of its values and
// name, which the patch list takes like a pasted patch.
QMimeData* LibraryModel::mimeData(const QModelIndexList& indexes) const {
    if (indexes.isEmpty() || entryAt(indexes.first().row()) < 0) return nullptr;
    const LibraryEntry& entry = m_catalogue->Entries[std::size_t(entryAt(indexes.first().row()))];
    return Librarian::mimeDataOf(entry.Values, nameForBank(entry));
}
