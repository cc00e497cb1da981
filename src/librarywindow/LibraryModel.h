#pragma once

#include "library/LibraryCatalogue.h"

#include <QAbstractTableModel>

#include <memory>
#include <vector>

// The library's patches as the Library window lists them: the catalogue's entries that
// pass the filter, in the chosen order. Filtering and sorting are the catalogue's.
class LibraryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Columns { NameColumn, CategoriesColumn, FavouriteColumn, CopiesColumn, FileColumn, Columns };

    explicit LibraryModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // A new catalogue, filtered and sorted as the one before; null for none yet. The
    // model keeps the one it shows until the next.
    void setCatalogue(std::shared_ptr<const LibraryCatalogue> catalogue);
    const LibraryCatalogue* catalogue() const { return m_catalogue.get(); }
    void setFilter(const LibraryFilter& filter);
    const LibraryFilter& filter() const { return m_filter; }
    // Sorts by a column, or by the distance to a patch for Similarity.
    void sortBy(LibraryCatalogue::SortKey key, bool ascending, const PatchValues* reference = nullptr);
    // The entries changed (a favourite, hidden, a category): filtered again, same order.
    void refresh();

    // The name a row shows: the entry's own, or the name of the copy the search found.
    const QString& shownName(const LibraryEntry& entry) const;
    // The name that row puts into the bank: the shown name as its file holds it, so that
    // a bank saved again writes the same bytes.
    QString nameForBank(const LibraryEntry& entry) const;

    // The catalogue entry of a row, or -1; the row of an entry, or -1.
    int entryAt(int row) const;
    int rowOf(int entry) const;
    int total() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;

private:
    // The entries of `from` that pass the filter become the rows.
    void refilter(const std::vector<int>& from);
    void placeByMatchedName(const std::vector<int>& elsewhere);

    std::shared_ptr<const LibraryCatalogue> m_catalogue;
    LibraryFilter m_filter;
    QString m_search; // the filter's search, folded
    LibraryCatalogue::SortKey m_key = LibraryCatalogue::SortKey::Name;
    bool m_ascending = true;
    PatchValues m_reference{};
    std::vector<int> m_order; // every entry, sorted
    std::vector<int> m_rows;  // those that pass the filter
    std::vector<int> m_rowOf; // entry -> row, -1 when filtered out
};
