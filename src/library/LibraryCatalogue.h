#pragma once

#include "Fingerprint.h"

#include <QString>

#include <memory>
#include <vector>

class LibraryDatabase;

struct LibraryFile {
    qint64 Id = 0;
    int Kind = 0;        // LibraryFiles
    QByteArray Location; // a watched file's path as the file system gave it
    QString Path;        // the path as text, or a collection's name
    QString Shown;       // as the File columns show it: the file's name, then its folder
    qint64 Folder = 0;   // the watched folder it was found in; 0 for a collection
    bool Missing = false;
    QString Problem;
};

struct LibraryCopy {
    int File = 0; // index into Files
    int Position = 0;
    QString Name;  // as the file holds it, one character a byte
    QString Shown; // as shown and searched
};

struct LibraryCategory {
    qint64 Id = 0;
    QString Name;
};

struct LibraryFolder {
    qint64 Id = 0;
    QByteArray Location; // as the file system gave it
    QString Path;        // as text
    QString Problem;
};

// One distinct sound with what the list shows of it and what it is searched by.
struct LibraryEntry {
    qint64 Id = 0;
    uint64_t Fingerprint = 0;
    QString
        Name; // the name it had where it was first found, one character a byte, as a bank keeps it
    QString Shown; // that name as shown and searched
    PatchValues Values{};
    bool Favourite = false;
    bool Hidden = false;
    std::vector<qint64> Categories;
    int FirstCopy = 0; // its copies are Copies[FirstCopy, FirstCopy + CopyCount)
    int CopyCount = 0;
    int Present = 0; // copies in files that are there; none: the sound is missing
    QString FoldedName;  // the name as searched and sorted
    QString FoldedOther; // the other names of its copies and its categories, as searched

    bool missing() const { return Present == 0; }
};

// What the list shows: every condition set must hold.
struct LibraryFilter {
    QString Search; // a part of a name or category, in any case, with or without accents
    qint64 Category = 0; // 0: any
    bool FavouritesOnly = false;
    bool ShowHidden = false;
    bool MissingOnly = false;
    // 0: anywhere; a watched folder's id, or minus the file id of a collection.
    qint64 Source = 0;

    bool operator==(const LibraryFilter& other) const;
    bool operator!=(const LibraryFilter& other) const { return !(*this == other); }
};

// The library as read at one moment, searched and sorted in memory: a keystroke filters
// it in a few milliseconds where a query per keystroke would read the file each time.
// The program reads one on a thread of its own and hands it to the windows.
class LibraryCatalogue {
public:
    enum class SortKey { Name, Categories, Favourite, Copies, File, Similarity };

    // Nothing, with the reason in `error`, when the database cannot be read.
    static std::shared_ptr<LibraryCatalogue> load(LibraryDatabase& database, QString& error);

    // Text as searched: lower case, accents and other marks left out.
    static QString fold(const QString& text);
    // How far apart two patches sound: the distance over the 63 values, each divided by
    // its parameter's range.
    static double distance(const PatchValues& a, const PatchValues& b);

    std::vector<LibraryEntry> Entries; // by id
    std::vector<LibraryCopy> Copies;
    std::vector<LibraryFile> Files;
    std::vector<LibraryCategory> Categories; // in the order they were made
    std::vector<LibraryFolder> Folders;

    // The entries in the given order that pass the filter. With `elsewhere`, those that
    // the search found by another copy's name or a category, not by their own name.
    std::vector<int> select(const LibraryFilter& filter, const std::vector<int>& order,
                            std::vector<int>* elsewhere = nullptr) const;
    // Every entry, sorted; ties by name, then fingerprint, and sounds without a name
    // after those with one. Similarity sorts by distance to `reference`, nearest first.
    std::vector<int> sorted(SortKey key, bool ascending,
                            const PatchValues* reference = nullptr) const;
    // The copy whose name a search found when the entry's own name does not hold it;
    // none when its own does, or a category (the entry then keeps its own name).
    const LibraryCopy* matchedCopy(const LibraryEntry& entry, const QString& foldedSearch) const;
    // The name shown for the entry under that search, and the name it puts into a bank
    // (as its file holds it, so that a bank saved again writes the same bytes).
    const QString& matchedName(const LibraryEntry& entry, const QString& foldedSearch) const;
    const QString& matchedKeptName(const LibraryEntry& entry, const QString& foldedSearch) const;
    // "a.bbk — ~/banks": the file's name first, then its folder.
    static QString fileText(const QString& path);
    // The list's own order: by name, then fingerprint (the companion's too).
    std::vector<int> listOrder() const { return sorted(SortKey::Name, true); }

    // "Bass, Pad"
    QString categoriesText(const LibraryEntry& entry) const;
    // The file of the first copy that is there, else of the first copy; none without.
    const LibraryFile* firstFile(const LibraryEntry& entry) const;
    const LibraryCategory* category(qint64 id) const;
    // The category of that name, in any case; 0 when there is none.
    qint64 categoryId(const QString& name) const;
    // The entry with that id, or -1.
    int indexOf(qint64 id) const;
    // After its categories or their names changed.
    void refreshSearchText(LibraryEntry& entry) const;

    // Files and folders that could not be read, with the reason.
    std::vector<std::pair<QString, QString>> problems() const;

private:
    std::vector<int> nameOrder() const;
    // Which entries hold the folded text, found in one pass over all their texts: 1 in
    // their own name, 2 elsewhere only, 0 not at all.
    std::vector<char> entriesHolding(const QString& folded) const;
    void buildSearchText() const;

    // Every entry's searched texts, one after another in entry order: a key looks
    // through one block of memory instead of 100,000 strings. Made again when a text
    // changed since.
    mutable QString m_searchText;
    mutable std::vector<int> m_searchStart; // where each entry's texts begin; one more at the end
    mutable bool m_searchTextStale = true;
    // The name order, sorted once as the catalogue is read: every other order starts
    // from it, so that the window opens without sorting 100,000 names.
    std::vector<int> m_byName;
};
