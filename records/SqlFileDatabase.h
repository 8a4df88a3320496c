#pragma once

#include <QString>
#include <QVariant>
#include <memory>

struct sqlite3;
class RecordSet;
class DatabaseRecord;

// One SQLite file. Values always travel as bound parameters; nothing is spliced into SQL.
// Every statement runs in autocommit mode with synchronous EXTRA, so a change is on disk, and
// past a power cut, by the time Commit returns.
class SqlFileDatabase {
public:
    SqlFileDatabase();
    ~SqlFileDatabase();
    SqlFileDatabase(const SqlFileDatabase&) = delete;
    SqlFileDatabase& operator=(const SqlFileDatabase&) = delete;

    QString DatabaseFile; // path of the database file

    // Opens an existing file; true only when it opened, really is a database and every page of
    // it is whole (a hot journal left by a crash is rolled back first). The file is never
    // repaired, recreated or deleted: a refused one stays exactly as it was.
    bool Connect();
    // Creates a new file (failing when one exists already) and opens it.
    bool CreateDatabaseFile();
    bool IsConnected() const { return mDb != nullptr; }

    // Runs a statement that returns no rows; false when it failed.
    bool SQLExecute(const QString& statement, const QVariantList& params = {});
    // Runs a select; null when the statement failed.
    std::unique_ptr<RecordSet> SQLSelect(const QString& statement, const QVariantList& params = {});
    bool InsertRecord(const QString& table, const DatabaseRecord& record);
    void Commit();
    int LastRowID() const;

    // True while a transaction is open on this connection (one that a failed ROLLBACK left, say).
    bool InTransaction() const;
    bool Error() const { return !mLastError.isEmpty(); }
    // True when the last failure was another connection holding the file locked past the wait.
    bool Busy() const { return mBusy; }
    // True when Connect refused the file for what it holds: no database, or a damaged one, as a
    // second check after reading it whole still found. Any other refusal (permission, I/O error,
    // a folder in its place) says nothing of the file.
    bool Damaged() const { return mDamaged; }
    // The system's own words for the last refusal that was no damage, or SQLite's.
    QString FailureReason() const;
    // How long a statement waits for another copy of the program to let go of the file.
    static int BusyTimeoutMs;
    QString ErrorMessage() const { return mLastError; }

    // Dates are kept as local time text "YYYY-MM-DD HH:MM:SS".
    static QString DateToText(const QDateTime& date);
    static QDateTime DateFromText(const QString& text);

    sqlite3* Handle() const { return mDb.get(); }

private:
    bool Open(int flags);
    bool OpenWhole();
    bool PagesAreWhole();
    // Whether every byte of the file can be read, with plain reads of `request` bytes; when not,
    // the failure is noted as the reason.
    bool ReadsThrough(size_t request);
    bool Exec(const QString& statement, const QVariantList& params);

    struct Closer {
        void operator()(sqlite3* db) const;
    };
    std::unique_ptr<sqlite3, Closer> mDb;
    void NoteError();
    void NoteError(sqlite3* db);
    // Closes the connection and clears what the last failure said.
    void Forget();
    QString mLastError;
    bool mBusy = false;
    bool mDamaged = false;
    int mSystemError = 0;

    friend class RecordSet;
};
