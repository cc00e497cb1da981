#include "LibraryCatalogue.h"

#include "LibraryDatabase.h"
#include "LibraryText.h"
#include "LibraryWriter.h"

#include <QDir>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QStringMatcher>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <numeric>

bool LibraryFilter::operator==(const LibraryFilter& other) const {
    return Search == other.Search && Category == other.Category &&
           FavouritesOnly == other.FavouritesOnly && ShowHidden == other.ShowHidden &&
           MissingOnly == other.MissingOnly && Source == other.Source;
}

QString LibraryCatalogue::fold(const QString& text) {
    const bool plain = std::all_of(text.begin(), text.end(),
                                   [](QChar c) { return c.unicode() < 0x80; });
    if (plain) return text.toLower();
    QString folded;
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (!c.isMark()) folded += c;
    return folded.toCaseFolded();
}

double LibraryCatalogue::distance(const PatchValues& a, const PatchValues& b) {
    double sum = 0;
    for (int p = kFirstParameter; p <= kLastParameter; ++p) {
        const auto i = static_cast<std::size_t>(p);
        const double range = std::max<int>(1, kParameterRows[i].MaxValue);
        const double step = (a[i] - b[i]) / range;
        sum += step * step;
    }
    return std::sqrt(sum);
}

std::shared_ptr<LibraryCatalogue> LibraryCatalogue::load(LibraryDatabase& database, QString& error) {
    auto catalogue = std::make_shared<LibraryCatalogue>();
    QSqlQuery query(database.database());
    query.setForwardOnly(true);
    const auto run = [&](const char* statement) {
        if (query.exec(QLatin1String(statement))) return true;
        error = query.lastError().text();
        return false;
    };

    if (!run("SELECT id, path, problem FROM folders ORDER BY id")) return nullptr;
    while (query.next()) {
        const QByteArray location = query.value(1).toByteArray();
        catalogue->Folders.push_back(
            {query.value(0).toLongLong(), location, pathText(location), query.value(2).toString()});
    }

    if (!run("SELECT id, name FROM categories ORDER BY id")) return nullptr;
    while (query.next())
        catalogue->Categories.push_back({query.value(0).toLongLong(), query.value(1).toString()});

    QHash<qint64, int> fileIndex;
    if (!run("SELECT id, kind, path, folder, missing, problem FROM files ORDER BY id")) return nullptr;
    while (query.next()) {
        fileIndex.insert(query.value(0).toLongLong(), int(catalogue->Files.size()));
        LibraryFile file;
        file.Id = query.value(0).toLongLong();
        file.Kind = query.value(1).toInt();
        if (file.Kind == LibraryFiles::kWatched) {
            file.Location = query.value(2).toByteArray();
            file.Path = pathText(file.Location);
            file.Shown = fileText(file.Path);
        } else {
            file.Path = query.value(2).toString();
            file.Shown = QStringLiteral("Collection: ") + file.Path;
        }
        file.Missing = query.value(4).toBool();
        if (file.Missing) file.Shown += QStringLiteral(" (missing)");
        file.Folder = query.value(3).toLongLong();
        file.Problem = query.value(5).toString();
        catalogue->Files.push_back(std::move(file));
    }

    auto& entries = catalogue->Entries;
    if (!run("SELECT id, fingerprint, parameters, name, favourite, hidden FROM sounds ORDER BY id"))
        return nullptr;
    while (query.next()) {
        LibraryEntry entry;
        entry.Id = query.value(0).toLongLong();
        entry.Fingerprint = static_cast<uint64_t>(query.value(1).toLongLong());
        unpackValues(query.value(2).toByteArray(), entry.Values);
        entry.Name = query.value(3).toString();
        entry.Shown = shownName(entry.Name);
        entry.Favourite = query.value(4).toBool();
        entry.Hidden = query.value(5).toBool();
        entries.push_back(std::move(entry));
    }

    // Both run by sound id: each copy belongs to the entry the walk has reached.
    if (!run("SELECT sound, file, position, name FROM copies ORDER BY sound, id")) return nullptr;
    std::size_t at = 0;
    while (query.next()) {
        const qint64 sound = query.value(0).toLongLong();
        while (at < entries.size() && entries[at].Id < sound)
            ++at;
        const auto file = fileIndex.constFind(query.value(1).toLongLong());
        if (at == entries.size() || entries[at].Id != sound || file == fileIndex.constEnd())
            continue;
        LibraryEntry& entry = entries[at];
        if (entry.CopyCount == 0) entry.FirstCopy = int(catalogue->Copies.size());
        ++entry.CopyCount;
        if (!catalogue->Files[std::size_t(*file)].Missing) ++entry.Present;
        const QString name = query.value(3).toString();
        catalogue->Copies.push_back({*file, query.value(2).toInt(), name,
                                     name == entry.Name ? entry.Shown : shownName(name)});
    }

    if (!run("SELECT sound, category FROM sound_categories ORDER BY sound")) return nullptr;
    while (query.next()) {
        const int index = catalogue->indexOf(query.value(0).toLongLong());
        if (index >= 0) entries[std::size_t(index)].Categories.push_back(query.value(1).toLongLong());
    }
    for (LibraryEntry& entry : entries)
        catalogue->refreshSearchText(entry);
    catalogue->m_byName = catalogue->nameOrder();
    catalogue->buildSearchText();
    return catalogue;
}

void LibraryCatalogue::buildSearchText() const {
    // Marks cannot come out of folding: one between two entries' texts keeps a match
    // from running across them.
    constexpr QChar kBetween(0x0001);
    m_searchText.clear();
    m_searchStart.clear();
    m_searchStart.reserve(Entries.size() + 1);
    for (const LibraryEntry& entry : Entries) {
        m_searchStart.push_back(int(m_searchText.size()));
        m_searchText += entry.FoldedName + kBetween + entry.FoldedOther + kBetween;
    }
    m_searchStart.push_back(int(m_searchText.size()));
    m_searchTextStale = false;
}

std::vector<char> LibraryCatalogue::entriesHolding(const QString& folded) const {
    if (m_searchTextStale) buildSearchText();
    std::vector<char> holding(Entries.size(), 0);
    const QStringMatcher matcher(folded);
    qsizetype at = matcher.indexIn(m_searchText, 0);
    while (at >= 0) {
        const auto next = std::upper_bound(m_searchStart.begin(), m_searchStart.end(), int(at));
        const auto entry = std::size_t(next - m_searchStart.begin() - 1);
        // The name comes first in an entry's texts: a first match past it is elsewhere.
        const bool inName = at < m_searchStart[entry] + Entries[entry].FoldedName.size();
        holding[entry] = inName ? 1 : 2;
        at = matcher.indexIn(m_searchText, *next); // on at the next entry
    }
    return holding;
}

void LibraryCatalogue::refreshSearchText(LibraryEntry& entry) const {
    m_searchTextStale = true;
    entry.FoldedName = fold(entry.Shown);
    QString other;
    for (int i = entry.FirstCopy; i < entry.FirstCopy + entry.CopyCount; ++i) {
        const QString& name = Copies[std::size_t(i)].Shown;
        if (name != entry.Shown && !other.contains(name)) other += name + QLatin1Char('\n');
    }
    for (const qint64 id : entry.Categories)
        if (const LibraryCategory* found = category(id)) other += found->Name + QLatin1Char('\n');
    entry.FoldedOther = fold(other);
}

int LibraryCatalogue::indexOf(qint64 id) const {
    const auto at = std::lower_bound(Entries.begin(), Entries.end(), id,
                                     [](const LibraryEntry& e, qint64 key) { return e.Id < key; });
    return at != Entries.end() && at->Id == id ? int(at - Entries.begin()) : -1;
}

const LibraryCategory* LibraryCatalogue::category(qint64 id) const {
    for (const LibraryCategory& category : Categories)
        if (category.Id == id) return &category;
    return nullptr;
}

qint64 LibraryCatalogue::categoryId(const QString& name) const {
    for (const LibraryCategory& category : Categories)
        if (category.Name.compare(name, Qt::CaseInsensitive) == 0) return category.Id;
    return 0;
}

QString LibraryCatalogue::categoriesText(const LibraryEntry& entry) const {
    QStringList names;
    for (const LibraryCategory& category : Categories)
        if (std::find(entry.Categories.begin(), entry.Categories.end(), category.Id) !=
            entry.Categories.end())
            names << category.Name;
    return names.join(QStringLiteral(", "));
}

const LibraryFile* LibraryCatalogue::firstFile(const LibraryEntry& entry) const {
    const LibraryFile* first = nullptr;
    for (int i = entry.FirstCopy; i < entry.FirstCopy + entry.CopyCount; ++i) {
        const LibraryFile& file = Files[std::size_t(Copies[std::size_t(i)].File)];
        if (!file.Missing) return &file;
        if (!first) first = &file;
    }
    return first;
}

std::vector<int> LibraryCatalogue::select(const LibraryFilter& filter,
                                          const std::vector<int>& order,
                                          std::vector<int>* elsewhere) const {
    const QString search = fold(filter.Search);
    const std::vector<char> holding = search.isEmpty() ? std::vector<char>() : entriesHolding(search);
    std::vector<int> chosen;
    chosen.reserve(order.size());
    for (const int index : order) {
        if (!holding.empty() && !holding[std::size_t(index)]) continue;
        const LibraryEntry& entry = Entries[std::size_t(index)];
        if (entry.Hidden && !filter.ShowHidden) continue;
        if (filter.FavouritesOnly && !entry.Favourite) continue;
        if (filter.MissingOnly && !entry.missing()) continue;
        if (filter.Category != 0 && std::find(entry.Categories.begin(), entry.Categories.end(),
                                              filter.Category) == entry.Categories.end())
            continue;
        if (filter.Source != 0) {
            bool inSource = false;
            for (int i = entry.FirstCopy; !inSource && i < entry.FirstCopy + entry.CopyCount; ++i) {
                const LibraryFile& file = Files[std::size_t(Copies[std::size_t(i)].File)];
                inSource = filter.Source > 0 ? file.Kind == LibraryFiles::kWatched &&
                                                   file.Folder == filter.Source
                                             : file.Id == -filter.Source;
            }
            if (!inSource) continue;
        }
        chosen.push_back(index);
        if (elsewhere && !holding.empty() && holding[std::size_t(index)] == 2)
            elsewhere->push_back(index);
    }
    return chosen;
}

std::vector<int> LibraryCatalogue::nameOrder() const {
    std::vector<int> order(Entries.size());
    std::iota(order.begin(), order.end(), 0);
    const auto entry = [this](int i) -> const LibraryEntry& { return Entries[std::size_t(i)]; };
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const QString& left = entry(a).FoldedName;
        const QString& right = entry(b).FoldedName;
        if (left.isEmpty() != right.isEmpty()) return right.isEmpty(); // the nameless last
        const int byName = left.compare(right);
        return byName != 0 ? byName < 0 : entry(a).Fingerprint < entry(b).Fingerprint;
    });
    return order;
}

std::vector<int> LibraryCatalogue::sorted(SortKey key, bool ascending,
                                          const PatchValues* reference) const {
    std::vector<int> order = m_byName.size() == Entries.size() ? m_byName : nameOrder();
    // The other keys sort the name order stably, so that ties stay by name.
    const auto sortBy = [&](const auto& keys) {
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return keys[std::size_t(a)] < keys[std::size_t(b)];
        });
    };
    switch (key) {
    case SortKey::Name: break;
    case SortKey::Categories: {
        std::vector<QString> keys(Entries.size());
        for (std::size_t i = 0; i < Entries.size(); ++i) {
            keys[i] = fold(categoriesText(Entries[i]));
            // Patches without a category come after those with one.
            if (keys[i].isEmpty()) keys[i] = QString(QChar(0xFFFF));
        }
        sortBy(keys);
        break;
    }
    case SortKey::Favourite: {
        std::vector<int> keys(Entries.size());
        for (std::size_t i = 0; i < Entries.size(); ++i)
            keys[i] = Entries[i].Favourite ? 0 : 1; // favourites first
        sortBy(keys);
        break;
    }
    case SortKey::Copies: {
        std::vector<int> keys(Entries.size());
        for (std::size_t i = 0; i < Entries.size(); ++i)
            keys[i] = -Entries[i].Present; // most copies first
        sortBy(keys);
        break;
    }
    case SortKey::File: {
        std::vector<QString> keys(Entries.size());
        for (std::size_t i = 0; i < Entries.size(); ++i)
            if (const LibraryFile* file = firstFile(Entries[i])) keys[i] = fold(file->Shown);
        sortBy(keys);
        break;
    }
    case SortKey::Similarity: {
        std::vector<double> keys(Entries.size());
        if (reference)
            for (std::size_t i = 0; i < Entries.size(); ++i)
                keys[i] = distance(Entries[i].Values, *reference);
        sortBy(keys);
        break;
    }
    }
    if (!ascending) std::reverse(order.begin(), order.end());
    // A list by name, either way, ends with the sounds that have none.
    if (key == SortKey::Name && !ascending)
        std::stable_partition(order.begin(), order.end(), [this](int i) {
            return !Entries[std::size_t(i)].FoldedName.isEmpty();
        });
    return order;
}

const LibraryCopy* LibraryCatalogue::matchedCopy(const LibraryEntry& entry,
                                                 const QString& foldedSearch) const {
    if (foldedSearch.isEmpty() || entry.FoldedName.contains(foldedSearch)) return nullptr;
    for (int i = entry.FirstCopy; i < entry.FirstCopy + entry.CopyCount; ++i) {
        const LibraryCopy& copy = Copies[std::size_t(i)];
        if (fold(copy.Shown).contains(foldedSearch)) return &copy;
    }
    return nullptr;
}

const QString& LibraryCatalogue::matchedName(const LibraryEntry& entry,
                                             const QString& foldedSearch) const {
    const LibraryCopy* copy = matchedCopy(entry, foldedSearch);
    return copy ? copy->Shown : entry.Shown;
}

const QString& LibraryCatalogue::matchedKeptName(const LibraryEntry& entry,
                                                 const QString& foldedSearch) const {
    const LibraryCopy* copy = matchedCopy(entry, foldedSearch);
    return copy ? copy->Name : entry.Name;
}

QString LibraryCatalogue::fileText(const QString& path) {
    const int slash = int(path.lastIndexOf(QLatin1Char('/')));
    if (slash < 0) return path;
    QString folder = slash == 0 ? QStringLiteral("/") : path.left(slash);
    // The home folder as the desktop writes it.
    const QString home = QDir::homePath();
    if (home.size() > 1 && (folder == home || folder.startsWith(home + QLatin1Char('/'))))
        folder = QLatin1Char('~') + folder.mid(home.size());
    return path.mid(slash + 1) + QStringLiteral(" \u2014 ") + folder;
}

std::vector<std::pair<QString, QString>> LibraryCatalogue::problems() const {
    std::vector<std::pair<QString, QString>> found;
    for (const LibraryFolder& folder : Folders)
        if (!folder.Problem.isEmpty()) found.emplace_back(folder.Path, folder.Problem);
    for (const LibraryFile& file : Files)
        if (!file.Problem.isEmpty() && !file.Missing) found.emplace_back(file.Path, file.Problem);
    return found;
}
