#include "RunningCopy.h"

#include "Guard.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <algorithm>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A socket in the abstract namespace is open to every user: only one's own copies count.
bool SameUser(qintptr fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return fd >= 0 && ::getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::getuid();
}

QString SocketName(const QString& folder) {
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0) return {};
    return QStringLiteral("Kestrine-%1-%2-%3")
        .arg(::getuid())
        .arg(static_cast<qulonglong>(st.st_dev), 0, 16)
        .arg(static_cast<qulonglong>(st.st_ino), 0, 16);
}

} // namespace

int RunningCopy::AnswerTimeoutMs = 5000;

RunningCopy::RunningCopy(const QString& folder, std::function<void()> bringToFront)
    : mName(SocketName(folder)), mLock(QDir(folder).filePath(QStringLiteral(".lock"))),
      mBringToFront(std::move(bringToFront)) {
    // Held for the whole run: only a lock whose process is gone counts as stale.
    mLock.setStaleLockTime(0);
}

RunningCopy::~RunningCopy() {
    // The name goes before the lock, so the next copy to take the lock can listen under it.
    StopListening();
}

void RunningCopy::StopListening() {
    delete mServer;
    mServer = nullptr;
}

RunningCopy::Claim RunningCopy::Take() {
    const QDeadlineTimer deadline(std::max(AnswerTimeoutMs, 0));
    for (bool mayRemove = true;;) {
        if (mLock.tryLock(0)) {
            Listen();
            return Claim::Own;
        }
        if (mLock.error() != QLockFile::LockFailedError) {
            // No lock file can be made here (a full disk, a folder that cannot be written): a
            // running copy can still be asked; without one, the database says the rest.
            return AskToComeToFront(std::max(AnswerTimeoutMs, 0)) ? Claim::HandedOver : Claim::Own;
        }
        if (AskToComeToFront(static_cast<int>(deadline.remainingTime()))) return Claim::HandedOver;
        if (deadline.hasExpired()) {
            // A lock file that names no process (cut short by a power cut) is no one's; a live
            // holder keeps Qt from removing it.
            qint64 pid = 0;
            QString host, app;
            if (mayRemove && !mLock.getLockInfo(&pid, &host, &app) && mLock.removeStaleLockFile()) {
                mayRemove = false;
                continue;
            }
            return Claim::NoAnswer;
        }
        // The copy that has it may be starting (locked, not yet listening) or ending.
        if (mLock.tryLock(100)) {
            Listen();
            return Claim::Own;
        }
    }
}

void RunningCopy::Listen() {
    if (mName.isEmpty()) return;
    mServer = new QLocalServer(this);
    mServer->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    // Without the socket a later start cannot reach this copy; it still finds the lock and says so.
    if (!mServer->listen(mName)) {
        delete mServer;
        mServer = nullptr;
        return;
    }
    connect(mServer, &QLocalServer::newConnection, this, &RunningCopy::Answer);
}

bool RunningCopy::AskToComeToFront(int timeoutMs) const {
    if (mName.isEmpty()) return false;
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(mName);
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) return false;
    if (!SameUser(socket.socketDescriptor())) return false;
    socket.write("raise\n");
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) return false;
    QByteArray reply;
    while (!reply.contains('\n') && socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
        reply += socket.readAll();
    return reply.startsWith("ok\n");
}

void RunningCopy::Answer() {
    while (QLocalSocket* socket = mServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!SameUser(socket->socketDescriptor())) {
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
