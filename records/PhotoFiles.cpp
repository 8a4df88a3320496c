#include "PhotoFiles.h"

#include "FolderItemExtensions.h"
#include "RecordSet.h"
#include "SqlFileDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <cerrno>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace PhotoFiles {

namespace {

// Control character first, and no ":" ";" or ".": the restore-info reader never takes it for
// part of an entry, whether it lands past the body or inside a header that has no body.
const QString kTagMark = QStringLiteral("\x1F" "SourceFile=");
constexpr int kTagLength = 6;
// The database header's user version while pictures of an earlier library lie in the folder.
constexpr int kKeepsLeftovers = 1;

const QRegularExpression& PendingPattern() {
    static const QRegularExpression re(QStringLiteral("^([0-9]+)\\.[A-Za-z0-9]{6}$"));
    return re;
}
const QRegularExpression& DeletedPattern() {
    static const QRegularExpression re(QStringLiteral("^([0-9]+)\\.deleted$"));
    return re;
}
const QRegularExpression& PictureFilePattern() {
    static const QRegularExpression re(QStringLiteral("^[1-9][0-9]*$"));
    return re;
}

bool IsTag(QStringView s) {
    if (s.size() != kTagLength) return false;
    for (QChar c : s)
        if (!(c.isDigit() || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))) return false;
    return true;
}

bool Exists(const QString& path) {
    return QFileInfo(path).exists();
}

bool Remove(const QString& path) {
    return ::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT;
}

// What the committed row says of the pending file "<rowID>.<tag>".
enum class RowSays { Owns, Disowns, Missing, Unknown };

// Row `rowID`'s stored restore info, which ends in its picture's tag: null when the row cannot be
// read, no record when it is gone.
std::unique_ptr<RecordSet> StoredRestoreInfo(SqlFileDatabase& db, int rowID) {
    return db.SQLSelect(QStringLiteral("select restoreinfo from passportdata where rowid = ?"), {rowID});
}

RowSays Ask(SqlFileDatabase& db, int rowID, const QString& tag) {
    auto rs = StoredRestoreInfo(db, rowID);
    if (!rs) return RowSays::Unknown;
    if (rs->Eof()) return RowSays::Missing;
    return TagOf(rs->Field(QStringLiteral("restoreinfo")).StringValue()) == tag ? RowSays::Owns : RowSays::Disowns;
}

// The one place that decides what a pending file becomes. It goes into place only while the
// caller holds the write lock (`locked`), so no other save can change the row between the question
// and the rename; removing one the row disowns needs no lock, as no later save carries its tag.
// Without `remove` a disowned one stays, for the caller to keep.
RowSays SettlePending(SqlFileDatabase& db, const QString& folder, int rowID, const QString& tag, bool locked,
                      bool remove = true) {
    const QString pending = QDir(folder).filePath(PendingName(rowID, tag));
    const RowSays says = Ask(db, rowID, tag);
    switch (says) {
    case RowSays::Owns:
        // ENOENT: a start of an earlier run already put it in place.
        if (locked) Replace(pending, QDir(folder).filePath(QString::number(rowID)));
        break;
    case RowSays::Disowns:
    case RowSays::Missing:
        if (remove && Remove(pending)) FolderItemExtensions::SyncFolder(folder);
        break;
    case RowSays::Unknown:
        break; // kept for a start that can read the row
    }
    return says;
}

} // namespace

QString NewTag() {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString tag;
    for (int i = 0; i < kTagLength; ++i) tag += QLatin1Char(kChars[QRandomGenerator::system()->bounded(62)]);
    return tag;
}

QString PendingName(int rowID, const QString& tag) {
    return QString::number(rowID) + QLatin1Char('.') + tag;
}

QString DeletedName(int rowID) {
    return QString::number(rowID) + QStringLiteral(".deleted");
}

QString Tagged(const QString& restoreInfo, const QString& tag) {
    return restoreInfo + kTagMark + tag;
}

QString Untagged(const QString& stored) {
    return TagOf(stored).isEmpty() ? stored : stored.left(stored.size() - kTagMark.size() - kTagLength);
}

QString TagOf(const QString& stored) {
    const qsizetype at = stored.size() - kTagMark.size() - kTagLength;
    if (at < 0 || QStringView(stored).mid(at, kTagMark.size()) != kTagMark) return {};
    const QStringView tag = QStringView(stored).right(kTagLength);
    return IsTag(tag) ? tag.toString() : QString();
}

QString OwnFile(SqlFileDatabase& db, const QString& folder, int rowID) {
    if (auto rs = StoredRestoreInfo(db, rowID); rs && !rs->Eof()) {
        const QString tag = TagOf(rs->Field(QStringLiteral("restoreinfo")).StringValue());
        if (!tag.isEmpty()) {
            const QString pending = QDir(folder).filePath(PendingName(rowID, tag));
            if (Exists(pending)) return pending;
        }
    }
    return QDir(folder).filePath(QString::number(rowID));
}

bool Replace(const QString& from, const QString& to) {
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) return false;
    FolderItemExtensions::SyncFolder(QFileInfo(to).path());
    return true;
}

QString RecoveredFolder(const QString& folder) {
    return QDir(folder).filePath(QStringLiteral("Recovered"));
}

QString MoveAside(const QString& folder, const QString& name) {
    const QDir dir(folder);
    const QString recovered = RecoveredFolder(folder);
    if (::mkdir(QFile::encodeName(recovered).constData(), 0777) != 0 && errno != EEXIST) return {};
    if (!QFileInfo(recovered).isDir()) {
        errno = ENOTDIR;
        return {};
    }
    QString target = QDir(recovered).filePath(name);
    for (int n = 2; Exists(target); ++n) target = QDir(recovered).filePath(QStringLiteral("%1 (%2)").arg(name).arg(n));
    const QByteArray from = QFile::encodeName(dir.filePath(name));
    if (::rename(from.constData(), QFile::encodeName(target).constData()) != 0) return {};
    FolderItemExtensions::SyncFolder(recovered);
    FolderItemExtensions::SyncFolder(folder);
    return target;
}

QSet<int> NumbersInUse(const QString& folder) {
    // "7", "7.ABCDEF", "7.deleted" and, in the Recovered folder, "7 (2)" and the like.
    static const QRegularExpression kept(QStringLiteral("^([0-9]+)(?:[. ].*)?$"));
    static const QRegularExpression beside(QStringLiteral("^([0-9]+)\\..+$"));
    QSet<int> numbers;
    auto collect = [&numbers](const QString& dir, const QRegularExpression& re) {
        const QStringList names = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                                      QDir::NoSort);
        for (const QString& name : names)
            if (const auto m = re.match(name); m.hasMatch()) {
                bool ok = false;
                const int n = m.captured(1).toInt(&ok);
                if (ok) numbers.insert(n);
            }
    };
    collect(RecoveredFolder(folder), kept);
    collect(folder, beside);
    return numbers;
}

bool Settle(SqlFileDatabase& db, const QString& folder, int rowID, const QString& tag) {
    // Inside a transaction the connection reads its own uncommitted row: nothing can be told.
    if (db.InTransaction()) return false;
    const bool locked = db.SQLExecute(QStringLiteral("BEGIN IMMEDIATE"));
    const RowSays says = SettlePending(db, folder, rowID, tag, locked);
    if (locked) db.SQLExecute(QStringLiteral("ROLLBACK"));
    return says == RowSays::Owns;
}

bool KeepLeftovers(SqlFileDatabase& db) {
    return db.SQLExecute(QStringLiteral("PRAGMA user_version = %1").arg(kKeepsLeftovers));
}

Recovery Recover(SqlFileDatabase& db, const QString& folder, bool newLibrary) {
    Recovery result;
    if (!db.SQLExecute(QStringLiteral("BEGIN IMMEDIATE"))) return result;
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    auto keepAside = [&](const QString& name) {
        if (!MoveAside(folder, name).isEmpty()) {
            ++result.movedAside;
        } else if (Exists(dir.filePath(name))) {
            if (result.reason.isEmpty()) result.reason = FolderItemExtensions::SystemText(errno);
            result.stayed << name;
        }
    };
    bool keep = false;
    // Whether every file was judged: the mark is lifted only by a sweep that missed none.
    bool judged = true;
    if (newLibrary) {
        // A library made at this start owns none of them, yet any may be a photo saved a moment
        // before the old library was lost: nothing is deleted.
        for (const QString& name : names)
            if (PendingPattern().match(name).hasMatch() || DeletedPattern().match(name).hasMatch() ||
                PictureFilePattern().match(name).hasMatch())
                keepAside(name);
    } else {
        // Pictures of an earlier library that could not be moved look like this library's
        // leftovers: while any may be among them, nothing is deleted.
        // A mark that cannot be read may be set.
        if (auto rs = db.SQLSelect(QStringLiteral("PRAGMA user_version")); rs && !rs->Eof()) {
            keep = rs->IdxField(1).IntegerValue() == kKeepsLeftovers;
        } else {
            keep = true;
            judged = false;
        }
        QSet<int> rows;
        bool rowsKnown = false;
        if (auto rs = db.SQLSelect(QStringLiteral("select rowid from passportdata"))) {
            rowsKnown = true;
            for (; !rs->Eof(); rs->MoveNext())
                rows.insert(static_cast<int>(rs->Field(QStringLiteral("rowid")).IntegerValue()));
        }
        for (const QString& name : names)
            if (const auto m = PendingPattern().match(name); m.hasMatch()) {
                const RowSays says =
                    SettlePending(db, folder, m.captured(1).toInt(), name.mid(m.capturedLength(1) + 1), true, !keep);
                if (keep && (says == RowSays::Disowns || says == RowSays::Missing)) keepAside(name);
                if (says == RowSays::Unknown) judged = false;
            }
        // Without the list of rows nothing is known to be unowned: all is left for a later start.
        judged = judged && rowsKnown;
        if (rowsKnown) {
            for (const QString& name : names) {
                const auto m = DeletedPattern().match(name);
                if (!m.hasMatch()) continue;
                const int id = m.captured(1).toInt();
                const QString own = dir.filePath(QString::number(id));
                if (!rows.contains(id)) {
                    if (keep)
                        keepAside(name);
                    else
                        Remove(dir.filePath(name));
                } else if (Exists(own) || !Replace(dir.filePath(name), own)) {
                    keepAside(name);
                }
            }
            for (const QString& name : names)
                if (PictureFilePattern().match(name).hasMatch() && !rows.contains(name.toInt()) &&
                    Exists(dir.filePath(name)))
                    keepAside(name);
        }
    }
    FolderItemExtensions::SyncFolder(folder);
    // Every earlier picture is in the Recovered folder now: sweeps may delete again.
    if (keep && judged && result.stayed.isEmpty() && db.SQLExecute(QStringLiteral("PRAGMA user_version = 0")) &&
        db.SQLExecute(QStringLiteral("COMMIT")))
        return result;
    db.SQLExecute(QStringLiteral("ROLLBACK"));
    return result;
}

} // namespace PhotoFiles
