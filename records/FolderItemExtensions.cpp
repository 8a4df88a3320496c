#include "FolderItemExtensions.h"

#include "NilObjectException.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QDateTime>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FolderItemExtensions {

QByteArray text(const QString& path) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) throw NilObjectException("file cannot be opened");
    QByteArray bytes = file.readAll();
    // Half a file read as the whole would be written back as the whole later.
    if (file.error() != QFileDevice::NoError) throw NilObjectException("file cannot be read");
    return bytes;
}

namespace {

// POSIX calls rather than QSaveFile, whose error text after a short write is often just
// "Unknown error": errno right after the failing call says what the user can do about it.
// 0, or the errno of the failure (the file then removed).
int Create(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    auto abandon = [&](int code) {
        ::close(fd);
        ::unlink(path.constData());
        return code;
    };
    if (const int code = WriteAll(fd, bytes)) return abandon(code);
    if (::fsync(fd) != 0) return abandon(errno);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(path.constData());
        return code;
    }
    return 0;
}

[[noreturn]] void Refused(int code) {
    throw NilObjectException(SystemText(code).toUtf8().constData());
}

// Follows every link in `path` to the file they end at, which need not exist yet: the write makes
// it. Renaming over a link would turn it into a plain file, cutting off the one it named. The
// result is never cleaned as text: after a link to a folder, "x/.." is not where "x" is.
// 0, or the errno of the failure (ELOOP for a chain that never ends).
int RealFile(const QByteArray& path, QByteArray& real) {
    real = path;
    struct stat st {};
    for (int hops = 0; ::lstat(real.constData(), &st) == 0 && S_ISLNK(st.st_mode); ++hops) {
        if (hops == 40) return ELOOP; // the kernel's own limit
        char target[PATH_MAX];
        const ssize_t n = ::readlink(real.constData(), target, sizeof target);
        if (n < 0) return errno;
        const QByteArray next(target, n);
        const qsizetype slash = real.lastIndexOf('/');
        real = next.startsWith('/') || slash < 0 ? next : real.left(slash + 1) + next;
    }
    return 0;
}

} // namespace

QString SystemText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

int WriteAll(int fd, const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        // A write that takes nothing without saying why is a full disk all the same.
        if (n <= 0) return n < 0 ? errno : ENOSPC;
        done += n;
    }
    return 0;
}

void CreateNewFile(const QString& path, const QByteArray& bytes) {
    if (path.isEmpty()) Refused(ENOENT);
    if (const int code = Create(QFile::encodeName(path), bytes)) Refused(code);
}

void SetText(const QString& path, const QByteArray& bytes) {
    if (path.isEmpty()) Refused(ENOENT);
    QByteArray name;
    if (const int code = RealFile(QFile::encodeName(path), name)) Refused(code);

    QByteArray temp;
    int code = EEXIST;
    for (int attempt = 0; code == EEXIST && attempt < 100; ++attempt) {
        temp = name + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        code = Create(temp, bytes);
    }
    if (code) Refused(code);
    struct stat st {};
    if (::stat(name.constData(), &st) == 0) ::chmod(temp.constData(), st.st_mode & 07777);
    if (::rename(temp.constData(), name.constData()) != 0) {
        code = errno;
        ::unlink(temp.constData());
        Refused(code);
    }
    SyncFolder(QFileInfo(QFile::decodeName(name)).path());
}

bool SyncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    const int code = errno;
    ::close(fd);
    errno = code;
    return synced;
}

void RemoveLeftovers(const QString& path) {
    QByteArray real;
    if (RealFile(QFile::encodeName(path), real) != 0) return; // SetText could not have written there either
    const QFileInfo file(QFile::decodeName(real));
    const QString prefix = QRegularExpression::escape(file.fileName());
    const QRegularExpression leftover(QStringLiteral("^") + prefix + QStringLiteral("\\.[0-9a-z]{1,7}\\.tmp$"));
    const QDateTime recent = QDateTime::currentDateTime().addSecs(-60);
    const QDir dir = file.dir();
    for (const QFileInfo& item : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!leftover.match(item.fileName()).hasMatch() || item.lastModified() > recent) continue;
        ::unlink(QFile::encodeName(item.filePath()).constData());
    }
}

QVariant GetFolderItem(const QString& path) {
    if (path.isEmpty() || !QDir::isAbsolutePath(path)) return {};
    const QFileInfo item(path);
    if (!item.dir().exists()) return {};
    return QVariant::fromValue(item);
}

} // namespace FolderItemExtensions
