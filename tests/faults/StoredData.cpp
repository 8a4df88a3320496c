#include "StoredData.h"

#include "DataStore.h"
#include "SqlFileDatabase.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <QFile>
#include <memory>
#include <sqlite3.h>

namespace StoredData {

namespace {

struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct Finalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};

std::unique_ptr<sqlite3, Closer> Open(const QString& folder) {
    sqlite3* raw = nullptr;
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(QStringLiteral("DataFile")));
    const int rc = sqlite3_open_v2(path.constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (rc != SQLITE_OK) return nullptr;
    sqlite3_busy_timeout(raw, 10000);
    return db;
}

QByteArray Column(sqlite3_stmt* s, int c) {
    const void* data = sqlite3_column_blob(s, c);
    return QByteArray(static_cast<const char*>(data), sqlite3_column_bytes(s, c));
}

} // namespace

QMap<int, Row> Rows(const QString& folder, QString* error) {
    QMap<int, Row> rows;
    auto db = Open(folder);
    sqlite3_stmt* raw = nullptr;
    if (!db || sqlite3_prepare_v2(
                   db.get(),
                   "select rowid, name, creationdate, passportpicture, previewpicture, passportformat, "
                   "restoreinfo from passportdata order by rowid",
                   -1, &raw, nullptr) != SQLITE_OK) {
        if (error) *error = db ? QString::fromUtf8(sqlite3_errmsg(db.get())) : QStringLiteral("cannot open");
        return rows;
    }
    std::unique_ptr<sqlite3_stmt, Finalizer> stmt(raw);
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        Row row;
        row.name = QString::fromUtf8(Column(raw, 1));
        row.passport = Column(raw, 3);
        row.preview = Column(raw, 4);
        for (int c = 1; c < 7; ++c) {
            const QByteArray value = Column(raw, c);
            row.all += QByteArray::number(value.size()) + ':' + value + ';';
        }
        rows.insert(sqlite3_column_int(raw, 0), row);
    }
    if (rc != SQLITE_DONE && error) *error = QString::fromUtf8(sqlite3_errmsg(db.get()));
    return rows;
}

QString IntegrityCheck(const QString& folder) {
    auto db = Open(folder);
    sqlite3_stmt* raw = nullptr;
    if (!db || sqlite3_prepare_v2(db.get(), "PRAGMA integrity_check", -1, &raw, nullptr) != SQLITE_OK)
        return QStringLiteral("cannot open");
    std::unique_ptr<sqlite3_stmt, Finalizer> stmt(raw);
    QStringList lines;
    while (sqlite3_step(raw) == SQLITE_ROW)
        lines << QString::fromUtf8(Column(raw, 0));
    return lines.join(QLatin1Char('\n'));
}

QStringList Files(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

bool OpenForRecords(const QString& folder) {
    DataStore& store = DataStore::Current();
    store.AppFolder = folder;
    QDir().mkpath(folder);
    store.db = std::make_unique<SqlFileDatabase>();
    store.db->DatabaseFile = QDir(folder).filePath(QStringLiteral("DataFile"));
    const bool exists = QFileInfo::exists(store.db->DatabaseFile);
    if (!(exists ? store.db->Connect() : store.db->CreateDatabaseFile())) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(folder), qPrintable(store.db->ErrorMessage()));
        return false;
    }
    // A run killed right after creating the file left it without its table.
    if (!store.db->SQLExecute(QStringLiteral(
            "create table if not exists passportdata (rowid integer primary key, name varchar, creationdate "
            "timestamp, passportpicture binary, previewpicture binary, passportformat varchar, restoreinfo varchar)"))) {
        std::fprintf(stderr, "cannot create the table in %s: %s\n", qPrintable(folder),
                     qPrintable(store.db->ErrorMessage()));
        return false;
    }
    return true;
}

} // namespace StoredData
