#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// What a data folder holds, read with a connection of its own, for tests to compare before and
// after a fault.
namespace StoredData {

struct Row {
    QString name;
    QByteArray passport; // PNG data
    QByteArray preview;  // PNG data
    QByteArray all;      // every column, for comparing rows whole
    bool operator==(const Row& other) const { return all == other.all; }
};

// The rows of passportdata by row id. Sets `error` (when given) when the database cannot be read.
QMap<int, Row> Rows(const QString& folder, QString* error = nullptr);
// The result of PRAGMA integrity_check ("ok" for a sound file).
QString IntegrityCheck(const QString& folder);
// The names of the files in `folder`, sorted.
QStringList Files(const QString& folder);
QByteArray ReadFile(const QString& path);

// Points the records at `folder` and opens its DataFile (made, with the photo table, when
// missing), as the application's start does. False, with the reason on stderr, when it cannot.
bool OpenForRecords(const QString& folder);

} // namespace StoredData
