#include "ReadOnlyFile.h"

#include <QFile>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool SetImmutable(const QString& path, bool on) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

// True when the file really refuses to be opened for writing.
bool Refuses(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
    if (fd >= 0) ::close(fd);
    return fd < 0;
}

} // namespace

ReadOnlyFile::ReadOnlyFile(const QString& path) : mPath(path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return;
    mOldMode = st.st_mode & 07777;
    mKnown = true;
    if (::geteuid() == 0) {
        mImmutable = SetImmutable(path, true);
    } else {
        ::chmod(QFile::encodeName(path).constData(), mOldMode & ~0222u);
    }
    mActive = Refuses(path);
}

ReadOnlyFile::~ReadOnlyFile() {
    if (mImmutable) SetImmutable(mPath, false);
    if (mKnown) ::chmod(QFile::encodeName(mPath).constData(), mOldMode);
}
