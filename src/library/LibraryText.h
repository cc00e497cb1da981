#pragma once

#include <QByteArray>
#include <QString>

// How the library turns bytes into what it shows. The bytes themselves are what it keeps:
// a path is what the file system gave, a name is what the file holds.

// A path as text: each part that is valid UTF-8 read as UTF-8, any other part read as
// Latin-1, as older programs wrote names, so that every file shows as itself.
QString pathText(const QByteArray& path);

// A patch name as shown and searched. The library keeps a name as the bank does, one
// character for each byte of the file; a name whose bytes are valid UTF-8 with letters
// beyond ASCII (as today's tools write them) is shown as UTF-8, any other as it is.
QString shownName(const QString& kept);
