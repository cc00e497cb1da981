#pragma once

#include "LibraryWriter.h"

#include <QByteArray>
#include <QString>

#include <vector>

class LibraryDatabase;

// The changes a user makes to the library, each one transaction. False on an error,
// which the database's lastError() then holds; a read-only library changes nothing.
namespace LibraryEdits {

// The folder as its real path, kept as the file system's bytes (they need not be UTF-8);
// false when it is not a folder.
bool addFolder(LibraryDatabase& database, const QByteArray& path);
// The same for a folder named as text (a folder dialog's answer).
bool addFolder(LibraryDatabase& database, const QString& path);
// The folder's files and their copies leave the library; the sounds stay.
bool removeFolder(LibraryDatabase& database, qint64 folder);

bool setFavourite(LibraryDatabase& database, const std::vector<qint64>& sounds, bool on);
bool setHidden(LibraryDatabase& database, const std::vector<qint64>& sounds, bool on);

// The new category's id; 0 when the name is empty or taken.
qint64 addCategory(LibraryDatabase& database, const QString& name);
bool renameCategory(LibraryDatabase& database, qint64 category, const QString& name);
bool setCategory(LibraryDatabase& database, const std::vector<qint64>& sounds, qint64 category,
                 bool on);

// The patches join the collection of that name, made when there is none; a patch already
// at its position there is kept once.
bool addToCollection(LibraryDatabase& database, const QString& name,
                     const std::vector<FoundPatch>& patches);

} // namespace LibraryEdits
