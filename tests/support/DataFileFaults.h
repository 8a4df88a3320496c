#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Database files in the states a crash, a bad disk or a careless copy leave them in.
namespace DataFileFaults {

// A file's whole content (empty when it cannot be read) and a plain rewrite of it.
QByteArray Bytes(const QString& path);
void Write(const QString& path, const QByteArray& bytes);
// The names of the files in a folder, sorted.
QStringList Files(const QString& folder);

// A new database at `path` with the application's two tables and `rows` photos named
// "Photo 1", "Photo 2", ..., each with a 64 x 64 preview and a passport picture of noise large
// enough to spill onto overflow pages. False when it could not be made.
bool MakeSample(const QString& path, int rows);

// Leaves at `copy` (and `copy` + "-journal") what a crash in the middle of a large transaction
// on `path` leaves on disk: a half-written file and the hot journal that undoes it. The
// transaction renames every photo "half-saved" and adds more; `path` itself is rolled back.
// False when SQLite did not write into the file before the crash point.
bool CrashSnapshot(const QString& path, const QString& copy);

// Runs the statement `sql` on the database at `path` with a connection of its own: the integer
// in the first column of its first row, 0 when it gives none, -1 when it fails.
int Run(const QString& path, const QString& sql);

// The database's page size, read from its header (0 when it has none).
int PageSize(const QString& path);
// The root page of `table`, from sqlite_master (0 when not found).
int RootPage(const QString& path, const QString& table);
// Overwrites `length` bytes at `offset` with noise that depends on `seed`.
void Garble(const QString& path, qint64 offset, qint64 length, unsigned seed);

} // namespace DataFileFaults
