#include "JpegExporter.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool Fail(QString* error, int code) {
    if (error) *error = QString::fromLocal8Bit(std::strerror(code));
    return false;
}

} // namespace

bool JpegExporter::SaveToFile(const QImage& pic, const QString& path, QString* error) const {
    if (pic.isNull()) {
        if (error) *error = QStringLiteral("There is no picture to save.");
        return false;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(std::clamp(Quality, 0, 100));
    const QImage flat = pic.hasAlphaChannel() ? pic.convertToFormat(QImage::Format_RGB32) : pic;
    if (!writer.write(flat)) {
        if (error) *error = writer.errorString();
        return false;
    }
    return WriteFile(path, bytes, error);
}

bool JpegExporter::WriteFile(const QString& path, const QByteArray& bytes, QString* error) {
    // Through a symbolic link the file it names is replaced, and the link stays.
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink() && !info.symLinkTarget().isEmpty()) target = info.symLinkTarget();

    // POSIX calls rather than QSaveFile, whose error text after a short write is often just
    // "Unknown error": errno right after the failing call says what the user can do about it.
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = QFile::encodeName(target) + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36) +
               ".tmp";
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return Fail(error, errno);
    }
    if (fd < 0) return Fail(error, EEXIST);
    auto abandon = [&](int code) {
        ::close(fd);
        ::unlink(temp.constData());
        return Fail(error, code);
    };
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        // A write that takes nothing without saying why is a full disk all the same.
        if (n <= 0) return abandon(n < 0 ? errno : ENOSPC);
        done += n;
    }
    // An existing file keeps its own permissions.
    if (info.exists()) {
        struct stat st {};
        if (::stat(QFile::encodeName(target).constData(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
    }
    if (::fsync(fd) != 0) return abandon(errno);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(temp.constData());
        return Fail(error, code);
    }
    if (::rename(temp.constData(), QFile::encodeName(target).constData()) != 0) {
        const int code = errno;
        ::unlink(temp.constData());
        return Fail(error, code);
    }
    return true;
}
