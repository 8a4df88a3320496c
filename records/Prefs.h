#pragma once

#include "DictionaryFile.h"

#include <QString>
#include <QVariant>

// The application's preferences: one process-wide table of typed values, read from the file
// `name` in the preferences folder by LoadPrefs and written back whole by SavePrefs.
//
// Kinds that reach the file: bool, QColor, Currency, QDateTime, double, qint32, qint64, float,
// QString ("string"), QByteArray ("binarydata") and QFileInfo ("folderitem"). A value of any
// other kind, nil included, is kept in memory but writes no line.
namespace Prefs {

// Points the module at the file `name` in the preferences folder and replaces the table with
// what the file holds (an empty table when there is no file). Lines that cannot be used are
// skipped; every other line is kept. Raises NilObjectException when there is no preferences
// folder or the file cannot be read; the table is then empty.
void LoadPrefs(const QString& name);
// Replaces the file's whole content with the table, atomically. Does nothing before LoadPrefs.
// When the file as loaded held anything the table does not (it could not be read, or a line was
// skipped or read as something else), the old file is first kept beside it as "<name>.bak"
// (or "<name>.2.bak", ... when that exists), once per load. Raises NilObjectException when the
// old file cannot be kept or the new one cannot be written (its what() ends with the system's
// reason, such as "No space left on device"); the previous file is then intact.
void SavePrefs();

// The value under `key`, or `defaultValue` when there is none (or before any table exists).
QVariant GetPref(const QString& key, const QVariant& defaultValue);
// Stores `value` under `key` (in the temporary table while UseTempStorage is on).
void SetPref(const QString& key, const QVariant& value);

// While on, SetPref stores into a separate table that is neither saved nor read by GetPref.
bool UseTempStorage();
void SetUseTempStorage(bool on);
// The tables themselves; null until made.
const DictionaryFile* TempStorage();
const DictionaryFile* PrefStorage();
// The preferences file's path; empty before LoadPrefs.
QString PrefFile();

// Back to the state at program start: no file, no tables, temporary storage off.
void Reset();

} // namespace Prefs
