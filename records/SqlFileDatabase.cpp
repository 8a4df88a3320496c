#include "SqlFileDatabase.h"

#include "DatabaseRecord.h"
#include "FolderItemExtensions.h"
#include "RecordSet.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct StatementFinalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

constexpr int kDefaultBusyTimeoutMs = 5000;

} // namespace

void SqlFileDatabase::Closer::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}

SqlFileDatabase::SqlFileDatabase() = default;
SqlFileDatabase::~SqlFileDatabase() = default;

QString SqlFileDatabase::DateToText(const QDateTime& date) {
    return date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime SqlFileDatabase::DateFromText(const QString& text) {
    // The form every stored date has, read without QDateTime's format parser (a list of
    // photos reads one per row).
    if (text.size() == 19 && text[4] == u'-' && text[7] == u'-' && text[10] == u' ' && text[13] == u':' &&
        text[16] == u':') {
        auto number = [&text](int at, int digits) {
            int v = 0;
            for (int i = at; i < at + digits; ++i) {
                const char16_t c = text[i].unicode();
                if (c < u'0' || c > u'9') return -1;
                v = v * 10 + (c - u'0');
            }
            return v;
        };
        const QDate date(number(0, 4), number(5, 2), number(8, 2));
        const QTime time(number(11, 2), number(14, 2), number(17, 2));
        if (date.isValid() && time.isValid()) {
            const QDateTime d(date, time);
            if (d.isValid()) return d;
        }
    }
    QDateTime d = QDateTime::fromString(text.trimmed(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!d.isValid()) d = QDateTime::fromString(text.trimmed(), QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid()) d = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    return d;
}

int SqlFileDatabase::BusyTimeoutMs = kDefaultBusyTimeoutMs;

namespace {
QString SpecialKind(mode_t mode) {
    if (S_ISFIFO(mode)) return QStringLiteral("a named pipe");
    if (S_ISSOCK(mode)) return QStringLiteral("a socket");
    if (S_ISCHR(mode) || S_ISBLK(mode)) return QStringLiteral("a device");
    return QStringLiteral("a special file");
}

bool IsDamage(int code) {
    code &= 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB || code == SQLITE_FORMAT;
}
} // namespace

void SqlFileDatabase::NoteError() {
    NoteError(mDb.get());
}

void SqlFileDatabase::NoteError(sqlite3* db) {
    mLastError = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
    const int code = db ? sqlite3_errcode(db) : SQLITE_NOMEM;
    mBusy = (code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED;
    mDamaged = IsDamage(code);
    mSystemError = db ? sqlite3_system_errno(db) : 0;
}

QString SqlFileDatabase::FailureReason() const {
    return mSystemError ? FolderItemExtensions::SystemText(mSystemError) : mLastError;
}

void SqlFileDatabase::Forget() {
    mDb.reset();
    mLastError.clear();
    mBusy = mDamaged = false;
    mSystemError = 0;
}

bool SqlFileDatabase::Open(int flags) {
    Forget();
    if (DatabaseFile.isEmpty()) return false;
    sqlite3* raw = nullptr;
    const QByteArray path = QFile::encodeName(DatabaseFile);
    const int rc = sqlite3_open_v2(path.constData(), &raw, flags, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (rc != SQLITE_OK) {
        NoteError(raw);
        return false;
    }
    sqlite3_busy_timeout(raw, BusyTimeoutMs);
    sqlite3_extended_result_codes(raw, 1);
    mDb = std::move(db);
    // Reading the schema is what reveals a file that is no database.
    if (!Exec(QStringLiteral("select count(*) from sqlite_master"), {})) {
        mDb.reset();
        return false;
    }
    // EXTRA also syncs the folder once the journal is gone: only then is a commit safe from a
    // power cut, and the picture that the commit gives a row goes into place right after it.
    Exec(QStringLiteral("PRAGMA synchronous = EXTRA"), {});
    // Reading a preview means stepping over the passport picture stored before it in the row;
    // mapped, its overflow pages are looked at in place instead of being copied out page by page.
    Exec(QStringLiteral("PRAGMA mmap_size = 2147418112"), {});
    return true;
}

bool SqlFileDatabase::InTransaction() const {
    return mDb && sqlite3_get_autocommit(mDb.get()) == 0;
}

bool SqlFileDatabase::Connect() {
    if (DatabaseFile.isEmpty()) return false;
    // Only a regular file is opened: a named pipe would block the start, and other kinds hold
    // no photos.
    struct stat st {};
    const bool found = ::stat(QFile::encodeName(DatabaseFile).constData(), &st) == 0;
    if (!found || !S_ISREG(st.st_mode)) {
        const int code = found ? EISDIR : errno;
        Forget();
        if (!found || S_ISDIR(st.st_mode))
            mSystemError = code;
        else
            mLastError = QStringLiteral("it is %1, not a regular file").arg(SpecialKind(st.st_mode));
        return false;
    }
    // The open maps the file: a page the disk refuses there is a SIGBUS, which nothing can
    // catch. Read plainly first, a refused page is an error to tell.
    if (!ReadsThrough(std::size_t(1) << 30)) return false;
    if (OpenWhole()) return true;
    // SQLite tells a page that the disk would not give inside a statement as damage. Told so,
    // the user would delete a whole file: it is damaged only if it reads through, a page at a
    // time as the database asks a share for it, and fails its check again.
    if (!mDamaged || !ReadsThrough(4096)) return false;
    return OpenWhole();
}

bool SqlFileDatabase::OpenWhole() {
    if (!Open(SQLITE_OPEN_READWRITE)) return false;
    // A file cut short, with pages overwritten, or stripped of the journal that would have
    // undone a crash often still shows its schema; only a walk over every page tells. Opening
    // it as if all were well would hide the photos it lost and add new ones to the damage.
    if (!PagesAreWhole()) {
        mDb.reset();
        return false;
    }
    return true;
}

bool SqlFileDatabase::ReadsThrough(size_t request) {
    const int fd = ::open(QFile::encodeName(DatabaseFile).constData(), O_RDONLY | O_CLOEXEC);
    int code = fd < 0 ? errno : 0;
    struct stat st {};
    if (!code && ::fstat(fd, &st) != 0) code = errno;
    // Only reaching each page matters, so the pages go to /dev/null without being copied
    // anywhere; where the file system cannot send a file, they are read into a buffer instead.
    const int sink = code ? -1 : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    bool send = sink >= 0;
    std::vector<char> buffer;
    for (off_t at = 0; !code && at < st.st_size;) {
        const size_t want = static_cast<size_t>(std::min<off_t>(st.st_size - at, off_t(request)));
        ssize_t n;
        if (send) {
            n = ::sendfile(sink, fd, &at, want);
            if (n < 0 && (errno == EINVAL || errno == ENOSYS)) {
                send = false;
                continue;
            }
        } else {
            buffer.resize(std::min<size_t>(request, 256 * 1024));
            n = ::pread(fd, buffer.data(), std::min(want, buffer.size()), at);
            if (n > 0) at += n;
        }
        // A file that ends before its size would end a mapping early too: a page past that end
        // is as unreadable as a refused one.
        if (n == 0)
            code = EIO;
        else if (n < 0 && errno != EINTR)
            code = errno;
    }
    if (sink >= 0) ::close(sink);
    if (fd >= 0) ::close(fd);
    if (!code) return true;
    Forget();
    mSystemError = code;
    return false;
}

bool SqlFileDatabase::PagesAreWhole() {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(mDb.get(), "PRAGMA quick_check(1)", -1, &raw, nullptr) != SQLITE_OK) {
        NoteError();
        return false;
    }
    Statement stmt(raw);
    if (sqlite3_step(raw) != SQLITE_ROW) {
        NoteError();
        return false;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
    if (!text || qstrcmp(text, "ok") != 0) {
        mLastError = text ? QString::fromUtf8(text) : QStringLiteral("damaged database");
        // A page the disk would not give is no sign of damage: deleting the file would lose
        // every photo that a second try may read.
        static const QRegularExpression unread(
            QStringLiteral("unable to get the page\\. error code=(\\d+)|failed to get page"));
        const auto m = unread.match(mLastError);
        mDamaged = !m.hasMatch() || IsDamage(m.captured(1).toInt());
        mSystemError = 0;
        if (!mDamaged) {
            mSystemError = sqlite3_system_errno(mDb.get());
            const int code = m.captured(1).toInt();
            mLastError = QString::fromUtf8(sqlite3_errstr(code ? code : SQLITE_IOERR));
        }
        return false;
    }
    return true;
}

bool SqlFileDatabase::CreateDatabaseFile() {
    if (DatabaseFile.isEmpty() || QFileInfo::exists(DatabaseFile)) return false;
    if (!Open(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) return false;
    return QFileInfo(DatabaseFile).isFile();
}

namespace {

bool Bind(sqlite3_stmt* stmt, int index, const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return sqlite3_bind_null(stmt, index) == SQLITE_OK;
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        if (bytes.isNull()) return sqlite3_bind_null(stmt, index) == SQLITE_OK;
        return sqlite3_bind_blob64(stmt, index, bytes.constData(), static_cast<sqlite3_uint64>(bytes.size()),
                                   SQLITE_TRANSIENT) == SQLITE_OK;
    }
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Bool:
        return sqlite3_bind_int64(stmt, index, value.toLongLong()) == SQLITE_OK;
    case QMetaType::Double:
        return sqlite3_bind_double(stmt, index, value.toDouble()) == SQLITE_OK;
    case QMetaType::QDateTime: {
        const QByteArray text = SqlFileDatabase::DateToText(value.toDateTime()).toUtf8();
        return sqlite3_bind_text64(stmt, index, text.constData(), static_cast<sqlite3_uint64>(text.size()),
                                   SQLITE_TRANSIENT, SQLITE_UTF8) == SQLITE_OK;
    }
    default: {
        const QByteArray text = value.toString().toUtf8();
        return sqlite3_bind_text64(stmt, index, text.constData(), static_cast<sqlite3_uint64>(text.size()),
                                   SQLITE_TRANSIENT, SQLITE_UTF8) == SQLITE_OK;
    }
    }
}

QVariant ColumnValue(sqlite3_stmt* stmt, int column) {
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        return QVariant(static_cast<qlonglong>(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, column));
    case SQLITE_BLOB: {
        const void* data = sqlite3_column_blob(stmt, column);
        const int size = sqlite3_column_bytes(stmt, column);
        return QVariant(QByteArray(static_cast<const char*>(data), size));
    }
    case SQLITE_TEXT: {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
        const int size = sqlite3_column_bytes(stmt, column);
        return QVariant(QString::fromUtf8(data, size));
    }
    default:
        return QVariant();
    }
}

} // namespace

bool SqlFileDatabase::Exec(const QString& statement, const QVariantList& params) {
    if (!mDb) {
        mLastError = QStringLiteral("not connected");
        return false;
    }
    mLastError.clear();
    const QByteArray sql = statement.toUtf8();
    const char* tail = sql.constData();
    const char* end = tail + sql.size();
    int paramIndex = 0;
    while (tail < end) {
        sqlite3_stmt* raw = nullptr;
        const char* next = nullptr;
        if (sqlite3_prepare_v2(mDb.get(), tail, static_cast<int>(end - tail), &raw, &next) != SQLITE_OK) {
            NoteError();
            return false;
        }
        Statement stmt(raw);
        tail = next;
        if (!stmt) continue; // blank or comment
        const int count = sqlite3_bind_parameter_count(raw);
        for (int i = 1; i <= count; ++i) {
            if (paramIndex < params.size() && !Bind(raw, i, params[paramIndex++])) {
                NoteError();
                return false;
            }
        }
        int rc;
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE) {
            NoteError();
            return false;
        }
    }
    return true;
}

bool SqlFileDatabase::SQLExecute(const QString& statement, const QVariantList& params) {
    return Exec(statement, params);
}

std::unique_ptr<RecordSet> SqlFileDatabase::SQLSelect(const QString& statement, const QVariantList& params) {
    if (!mDb) {
        mLastError = QStringLiteral("not connected");
        return nullptr;
    }
    mLastError.clear();
    std::unique_ptr<RecordSet> set(new RecordSet(this));

    // A select from one table also fetches each row's rowid, so Edit/Update can write the row back.
    static const QRegularExpression oneTable(
        QStringLiteral(R"(^\s*select\s+(.+?)\s+from\s+([A-Za-z_][A-Za-z0-9_]*)(\s+where\s+.*|\s*)$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    QString sql = statement;
    bool withRowId = false;
    const auto match = oneTable.match(statement);
    if (match.hasMatch() && !match.captured(1).contains(QLatin1Char('('))) {
        set->mTable = match.captured(2);
        sql = QStringLiteral("select rowid, %1 from %2%3").arg(match.captured(1), match.captured(2), match.captured(3));
        withRowId = true;
    }

    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(mDb.get(), utf8.constData(), static_cast<int>(utf8.size()), &raw, nullptr) != SQLITE_OK ||
        raw == nullptr) {
        NoteError();
        return nullptr;
    }
    Statement stmt(raw);
    const int count = sqlite3_bind_parameter_count(raw);
    for (int i = 1; i <= count && i <= params.size(); ++i) {
        if (!Bind(raw, i, params[i - 1])) {
            NoteError();
            return nullptr;
        }
    }
    const int first = withRowId ? 1 : 0;
    const int columns = sqlite3_column_count(raw);
    for (int c = first; c < columns; ++c)
        set->mColumns << QString::fromUtf8(sqlite3_column_name(raw, c));
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        std::vector<QVariant> row;
        row.reserve(static_cast<size_t>(columns - first));
        for (int c = first; c < columns; ++c) row.push_back(ColumnValue(raw, c));
        set->mRows.push_back(std::move(row));
        if (withRowId) set->mRowIds.push_back(sqlite3_column_int64(raw, 0));
    }
    if (rc != SQLITE_DONE) {
        NoteError();
        return nullptr;
    }
    return set;
}

bool SqlFileDatabase::InsertRecord(const QString& table, const DatabaseRecord& record) {
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!identifier.match(table).hasMatch()) return false;
    QStringList names, marks;
    QVariantList values;
    for (const auto& [name, value] : record.Columns()) {
        if (!identifier.match(name).hasMatch()) return false;
        names << name;
        marks << QStringLiteral("?");
        values << value;
    }
    const QString sql = names.isEmpty()
                            ? QStringLiteral("insert into %1 default values").arg(table)
                            : QStringLiteral("insert into %1 (%2) values (%3)")
                                  .arg(table, names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    return Exec(sql, values);
}

void SqlFileDatabase::Commit() {
    // Statements run in autocommit mode; only an explicitly opened transaction needs ending.
    if (mDb && sqlite3_get_autocommit(mDb.get()) == 0) Exec(QStringLiteral("COMMIT"), {});
}

int SqlFileDatabase::LastRowID() const {
    return mDb ? static_cast<int>(sqlite3_last_insert_rowid(mDb.get())) : 0;
}
