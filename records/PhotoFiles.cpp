#include "PhotoFiles.h"

#include "RecordSet.h"
#include "SqlFileDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace PhotoFiles {

namespace {

// Control character first, and no ":" ";" or ".": the restore-info reader never takes it for
// part of an entry, whether it lands past the body or inside a header that has no body.
const QString kTagMark = QStringLiteral("\x1F" "SourceFile=");
constexpr int kTagLength = 6;

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

// The stored restore info of each row in `ids`; rows without one are left out.
QHash<int, QString> StoredTags(SqlFileDatabase& db, const QSet<int>& ids) {
    QHash<int, QString> tags;
    for (int id : ids) {
        auto rs = db.SQLSelect(QStringLiteral("select restoreinfo from passportdata where rowid = ?"), {id});
        if (rs && !rs->Eof()) tags.insert(id, TagOf(rs->Field(QStringLiteral("restoreinfo")).StringValue()));
    }
    return tags;
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

void SyncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool Replace(const QString& from, const QString& to) {
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) return false;
    SyncFolder(QFileInfo(to).path());
    return true;
}

QString MoveAside(const QString& folder, const QString& name) {
    const QDir dir(folder);
    const QString recovered = dir.filePath(QLatin1String(kRecoveredFolder));
    if (!QFileInfo(recovered).isDir() && !QDir().mkpath(recovered)) return {};
    QString target = QDir(recovered).filePath(name);
    for (int n = 2; Exists(target); ++n) target = QDir(recovered).filePath(QStringLiteral("%1 (%2)").arg(name).arg(n));
    const QByteArray from = QFile::encodeName(dir.filePath(name));
    if (::rename(from.constData(), QFile::encodeName(target).constData()) != 0) return {};
    SyncFolder(recovered);
    SyncFolder(folder);
    return target;
}

bool Settle(SqlFileDatabase& db, const QString& folder, int rowID, const QString& tag) {
    const QString pending = QDir(folder).filePath(PendingName(rowID, tag));
    if (StoredTags(db, {rowID}).value(rowID) == tag) {
        if (Replace(pending, QDir(folder).filePath(QString::number(rowID)))) return true;
        return errno == ENOENT; // another copy of the application put it in place
    }
    if (Remove(pending)) SyncFolder(folder);
    return false;
}

Recovery Recover(SqlFileDatabase& db, const QString& folder) {
    Recovery result;
    if (!db.SQLExecute(QStringLiteral("BEGIN IMMEDIATE"))) return result;
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);

    QSet<int> rows;
    bool rowsKnown = false;
    if (auto rs = db.SQLSelect(QStringLiteral("select rowid from passportdata"))) {
        rowsKnown = true;
        for (; !rs->Eof(); rs->MoveNext()) rows.insert(static_cast<int>(rs->Field(QStringLiteral("rowid")).IntegerValue()));
    }

    // Only the rows with a pending file need their restore info read.
    QSet<int> pendingRows;
    for (const QString& name : names)
        if (const auto m = PendingPattern().match(name); m.hasMatch() && rows.contains(m.captured(1).toInt()))
            pendingRows.insert(m.captured(1).toInt());
    const QHash<int, QString> tags = StoredTags(db, pendingRows);

    bool changed = false;
    QSet<QString> present(names.begin(), names.end());
    for (const QString& name : names) {
        if (const auto m = PendingPattern().match(name); m.hasMatch()) {
            const int id = m.captured(1).toInt();
            const QString own = QString::number(id);
            if (rows.contains(id) && tags.value(id) == name.mid(own.size() + 1)) {
                if (::rename(QFile::encodeName(dir.filePath(name)).constData(),
                             QFile::encodeName(dir.filePath(own)).constData()) == 0)
                    present.insert(own);
            } else if (rowsKnown) {
                Remove(dir.filePath(name));
            }
            present.remove(name);
            changed = true;
        }
    }
    for (const QString& name : names) {
        const auto m = DeletedPattern().match(name);
        if (!m.hasMatch() || !rowsKnown) continue;
        const int id = m.captured(1).toInt();
        const QString own = QString::number(id);
        if (!rows.contains(id))
            Remove(dir.filePath(name));
        else if (!present.contains(own) && ::rename(QFile::encodeName(dir.filePath(name)).constData(),
                                                     QFile::encodeName(dir.filePath(own)).constData()) == 0)
            present.insert(own);
        else if (!MoveAside(folder, name).isEmpty())
            ++result.movedAside;
        present.remove(name);
        changed = true;
    }
    if (rowsKnown) {
        for (const QString& name : QStringList(present.begin(), present.end())) {
            if (!PictureFilePattern().match(name).hasMatch() || rows.contains(name.toInt())) continue;
            if (!MoveAside(folder, name).isEmpty()) ++result.movedAside;
        }
    }
    if (changed) SyncFolder(folder);
    db.SQLExecute(QStringLiteral("ROLLBACK"));
    if (result.movedAside > 0) result.recoveredFolder = dir.filePath(QLatin1String(kRecoveredFolder));
    return result;
}

} // namespace PhotoFiles
