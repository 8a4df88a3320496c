#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

// One copy of Kestrine per data folder, as two lists of one library would undo each other's
// saves and deletes. The copy that has the folder listens on a local socket named after the
// folder itself (its device and inode, in the abstract namespace): binding that name is what
// makes it the one copy on this machine, and needs no disk, so a full or read-only disk cannot
// hide it from a later start. It also keeps a lock file in the folder, held with flock for its
// whole run, for copies that cannot reach its socket (another user, another computer sharing the
// folder). A lock file that no living process holds is no one's, whatever host it names.
class RunningCopy : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        Own,        // this process has the folder
        HandedOver, // the copy that has it came to the front
        Refused,    // the folder is someone else's, or cannot be made this copy's: Why() says which
    };

    // `bringToFront` runs, on the event loop, each time a later start asks for this copy.
    RunningCopy(const QString& folder, std::function<void()> bringToFront);
    ~RunningCopy() override;

    // Waits at most AnswerTimeoutMs for a copy that has the folder, or for its lock file.
    Claim Take();
    // A copy that has the folder without its lock file (the disk was full at its start) makes
    // one now if it can, so that starts elsewhere keep out from then on.
    void KeepLockFile();
    // What the user is told after Refused.
    QString Why() const { return mWhy; }
    static int AnswerTimeoutMs;

private:
    enum class Asked { Answered, Gone, Silent };
    enum class Locked { Yes, Unlockable, Held, Unjudged };

    bool Listen();
    void StopListening();
    Asked AskToComeToFront(int timeoutMs, qint64* peer) const;
    Locked TakeLockFile(int timeoutMs);
    void ReleaseLockFile();
    void Answer();

    QString mFolder;
    QString mName;
    QString mLockPath;
    int mLockFd = -1;
    int mLockError = 0;    // why the lock file could not be made or judged
    QString mListenError;  // why the socket name could not be taken, other than being in use
    QString mWhy;
    QLocalServer* mServer = nullptr;
    std::function<void()> mBringToFront;
};
