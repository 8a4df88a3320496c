#include "RunningCopy.h"

#include "FolderItemExtensions.h"
#include "Guard.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSysInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// A socket in the abstract namespace is open to every user: only one's own copies count.
bool SameUser(qintptr fd, qint64* pid) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (fd < 0 || ::getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return false;
    if (pid) *pid = peer.pid;
    return peer.uid == ::getuid();
}

QString SocketName(const QString& folder) {
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0) return {};
    return QStringLiteral("Kestrine-%1-%2-%3")
        .arg(::getuid())
        .arg(static_cast<qulonglong>(st.st_dev), 0, 16)
        .arg(static_cast<qulonglong>(st.st_ino), 0, 16);
}

bool SameFile(int fd, const QByteArray& path) {
    struct stat open {}, there {};
    return ::fstat(fd, &open) == 0 && ::lstat(path.constData(), &there) == 0 && open.st_dev == there.st_dev &&
           open.st_ino == there.st_ino;
}

// The lines QLockFile writes too, so either can read the other's.
QByteArray LockText() {
    return QByteArray::number(QCoreApplication::applicationPid()) + "\nKestrine\n" +
           QSysInfo::machineHostName().toUtf8() + '\n';
}

// 0 with the new lock file, held, in `fd`; or the errno of the failure, the file removed unless
// another start holds it. EEXIST also when that start holds it, or the path names another file
// by the time it was held: the caller looks again.
int MakeLockFile(const QByteArray& path, int& fd) {
    fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    // Held before it says whose it is, so that no start takes it for a leftover.
    int code = ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    // Before the flock, a start that cannot ask this copy may have judged the file unheld and put
    // its own in its place, or hold it now to remove it: only the file the path names, held by
    // this copy, keeps others out. The caller looks at the path again.
    const bool ours = SameFile(fd, path);
    if (code == EWOULDBLOCK || (code == 0 && !ours))
        code = EEXIST;
    else if (code == 0)
        code = FolderItemExtensions::WriteAll(fd, LockText());
    if (code) {
        // One that another start holds is that start's to remove.
        if (ours && code != EEXIST) ::unlink(path.constData());
        ::close(fd);
        fd = -1;
    }
    return code;
}

enum class Leftover { Gone, Held, Unjudged, Stays };

// Removes the lock file at `path` when no process holds it, whatever it says of its maker (a
// copy that was killed, a machine that is no more). `code` says why it was held, not judged or
// not removed.
Leftover RemoveIfUnheld(const QByteArray& path, int& code) {
    // Write access first: over NFS an exclusive flock needs it.
    int fd = ::open(path.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return Leftover::Gone;
        code = errno;
        return Leftover::Unjudged;
    }
    Leftover result = Leftover::Gone;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        code = errno;
        result = code == EWOULDBLOCK ? Leftover::Held : Leftover::Unjudged;
    } else if (SameFile(fd, path) && ::unlink(path.constData()) != 0) {
        // A file that changed meanwhile is another start's: it is looked at again.
        code = errno;
        result = Leftover::Stays;
    }
    ::close(fd);
    return result;
}

// Who the lock file says holds it: "process <pid> on "<host>"", or empty.
QString Holder(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QList<QByteArray> lines = file.read(4096).split('\n');
    bool isPid = false;
    const qint64 pid = lines.value(0).toLongLong(&isPid);
    if (!isPid || pid <= 0 || lines.size() < 3 || lines[2].isEmpty()) return {};
    return QStringLiteral("process %1 on \"%2\"").arg(pid).arg(QString::fromUtf8(lines[2]));
}

void Pause() {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

} // namespace

int RunningCopy::AnswerTimeoutMs = 5000;

RunningCopy::RunningCopy(const QString& folder, std::function<void()> bringToFront)
    : mFolder(folder), mName(SocketName(folder)), mLockPath(QDir(folder).filePath(QStringLiteral(".lock"))),
      mBringToFront(std::move(bringToFront)) {}

RunningCopy::~RunningCopy() {
    // The lock before the name: a start that gets the name finds the lock free.
    ReleaseLockFile();
    StopListening();
}

void RunningCopy::StopListening() {
    delete mServer;
    mServer = nullptr;
}

RunningCopy::Claim RunningCopy::Take() {
    // A folder that cannot even be looked at holds no library to share: the database says why.
    if (mName.isEmpty()) return Claim::Own;
    const QDeadlineTimer deadline(std::max(AnswerTimeoutMs, 0));
    auto remaining = [&] { return static_cast<int>(deadline.remainingTime()); };
    const QString folder = QDir::toNativeSeparators(mFolder);
    const QString lock = QDir::toNativeSeparators(mLockPath);
    auto refuse = [&](Locked locked) {
        switch (locked) {
        case Locked::Held: {
            const QString holder = Holder(mLockPath);
            mWhy = QStringLiteral("Kestrine is already open with the photos in \"%1\" elsewhere: their lock file "
                                  "\"%2\" is held by %3. Quit it there before starting Kestrine again.")
                       .arg(folder, lock, holder.isEmpty() ? QStringLiteral("another program") : holder);
            break;
        }
        case Locked::Unjudged:
            mWhy = QStringLiteral("Kestrine cannot tell whether another copy has the photos in \"%1\": their lock "
                                  "file \"%2\" cannot be examined (%3). Remove that file if no other copy of "
                                  "Kestrine is open on them, then start Kestrine again.")
                       .arg(folder, lock, FolderItemExtensions::SystemText(mLockError));
            break;
        default:
            mWhy = QStringLiteral("Kestrine cannot open the photos in \"%1\" safely: it can neither make their lock "
                                  "file \"%2\" (%3) nor be found by a later start (%4).")
                       .arg(folder, lock, FolderItemExtensions::SystemText(mLockError), mListenError);
            break;
        }
        StopListening();
        return Claim::Refused;
    };

    for (;;) {
        if (Listen()) {
            // With the name no other copy of this user on this machine has the folder; a lock file
            // that cannot be made (a full disk) leaves only other users and machines to the name.
            const Locked locked = TakeLockFile(remaining());
            return locked == Locked::Yes || locked == Locked::Unlockable ? Claim::Own : refuse(locked);
        }
        if (!mListenError.isEmpty()) {
            // Nobody could find this copy: only a lock file held for the whole run keeps others out.
            const Locked locked = TakeLockFile(remaining());
            return locked == Locked::Yes ? Claim::Own : refuse(locked);
        }
        qint64 peer = 0;
        const Asked asked = AskToComeToFront(remaining(), &peer);
        if (asked == Asked::Answered) return Claim::HandedOver;
        if (asked == Asked::Silent || deadline.hasExpired()) {
            mWhy = QStringLiteral("Kestrine is already open with the photos in \"%1\"%2. Switch to it, or quit it "
                                  "before starting Kestrine again.")
                       .arg(folder, peer > 0 ? QStringLiteral(" (process %1)").arg(peer) : QString());
            return Claim::Refused;
        }
        // The copy that had the name ended while it was asked: the name is free to take.
        Pause();
    }
}

RunningCopy::Locked RunningCopy::TakeLockFile(int timeoutMs) {
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    const QByteArray path = QFile::encodeName(mLockPath);
    // Bounded, as each pass may find a file that another start made and removed meanwhile.
    for (int removed = 0; removed < 100;) {
        int fd = -1;
        const int code = MakeLockFile(path, fd);
        if (code == 0) {
            mLockFd = fd;
            return Locked::Yes;
        }
        mLockError = code;
        if (code != EEXIST) return Locked::Unlockable;
        switch (RemoveIfUnheld(path, mLockError)) {
        case Leftover::Gone:
            ++removed;
            break;
        case Leftover::Stays:
            return Locked::Unlockable;
        case Leftover::Unjudged:
            return Locked::Unjudged;
        case Leftover::Held:
            // Its holder may be ending right now.
            if (deadline.hasExpired()) return Locked::Held;
            Pause();
            break;
        }
    }
    return Locked::Unlockable;
}

void RunningCopy::KeepLockFile() {
    if (mLockFd >= 0 || !mServer) return;
    TakeLockFile(0);
}

void RunningCopy::ReleaseLockFile() {
    if (mLockFd < 0) return;
    const QByteArray path = QFile::encodeName(mLockPath);
    // Someone may have removed it and another copy made a new one: that one is not ours to remove.
    if (SameFile(mLockFd, path)) ::unlink(path.constData());
    ::close(mLockFd);
    mLockFd = -1;
}

bool RunningCopy::Listen() {
    mServer = new QLocalServer(this);
    mServer->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (!mServer->listen(mName)) {
        // In use is the ordinary case: a running copy has the folder and is asked instead.
        if (mServer->serverError() != QAbstractSocket::AddressInUseError) mListenError = mServer->errorString();
        StopListening();
        return false;
    }
    connect(mServer, &QLocalServer::newConnection, this, &RunningCopy::Answer);
    return true;
}

RunningCopy::Asked RunningCopy::AskToComeToFront(int timeoutMs, qint64* peer) const {
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    auto remaining = [&] { return static_cast<int>(deadline.remainingTime()); };
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(mName);
    if (!socket.waitForConnected(remaining())) return Asked::Gone;
    if (!SameUser(socket.socketDescriptor(), peer)) return Asked::Silent;
    socket.write("raise\n");
    QByteArray reply;
    if (socket.waitForBytesWritten(remaining()))
        while (!reply.contains('\n') && socket.waitForReadyRead(remaining())) reply += socket.readAll();
    reply += socket.readAll();
    if (reply.startsWith("ok\n")) return Asked::Answered;
    // A copy that ends while it is asked closes the connection; one that is stuck keeps it open.
    return socket.state() == QLocalSocket::UnconnectedState ? Asked::Gone : Asked::Silent;
}

void RunningCopy::Answer() {
    while (QLocalSocket* socket = mServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!SameUser(socket->socketDescriptor(), nullptr)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) return;
            if (socket->readLine() == "raise\n") {
                if (mBringToFront) Guard(mBringToFront);
                socket->write("ok\n");
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}
