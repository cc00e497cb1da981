#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

class LibraryDatabase;

// What a damaged library file still holds of the user's own work, read before the file
// is set aside: favourites, hidden marks and categories (which no scan can find again),
// the collections added from the bank, and the watched folders. Everything SQLite can
// still read is taken; pages it cannot read are stepped over, and the rows on them
// counted.
class LibraryRescue {
public:
    // Reads the file on a read-only connection of its own, which changes nothing in it.
    static LibraryRescue read(const QString& path);

    // Puts what was read into the new library, in one transaction; false on an error,
    // which the database's lastError() then holds.
    bool writeInto(LibraryDatabase& database) const;

    // Favourite and hidden marks and category memberships read.
    int carried() const { return m_carried; }
    // Rows that could not be read (as near as the file tells), or -1 when part of it
    // could not be read and how much it held is unknown.
    int unreadable() const { return m_unreadable; }
    // "12 favourites, hidden marks and categories were carried over, 3 could not be
    // read", or what fits; empty when there was nothing of the kind.
    QString text() const;

private:
    struct Sound {
        qint64 Id = 0; // in the damaged file
        QByteArray Parameters;
        QString Name;
        bool Favourite = false;
        bool Hidden = false;
    };
    struct Category {
        qint64 Id = 0;
        QString Name;
    };
    struct Copy {
        qint64 Sound = 0;
        qint64 File = 0;
        int Position = 0;
        QString Name;
    };
    struct Collection {
        qint64 Id = 0;
        QString Name;
    };

    void lose(int rows);
    void readFrom(const QString& connection);

    std::vector<QByteArray> m_folders;
    std::vector<Sound> m_sounds; // those with a mark, a category or a collected copy
    std::vector<Category> m_categories;
    std::vector<std::pair<qint64, qint64>> m_memberships; // sound, category
    std::vector<Collection> m_collections;
    std::vector<Copy> m_copies; // of the collections
    int m_carried = 0;
    int m_collected = 0;
    int m_unreadable = 0;
};
