#pragma once

class LibraryDatabase;

// The steps that bring a library file from each earlier schema to the latest. A step
// once released never changes, so that every older file arrives at the same schema.
namespace LibraryMigrations {

// 1: the tables; 2: the first categories; 3: paths kept as the file system's bytes;
// 4: sounds keyed by the patch as it is sent.
inline constexpr int kLatest = 4;

// Takes the file from `version` to version + 1, inside the caller's transaction; false
// on an error, which the database's lastError() then holds.
bool step(LibraryDatabase& database, int version);

} // namespace LibraryMigrations
