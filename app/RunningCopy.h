#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

// One copy of Kestrine per data folder, as two lists of one library would undo each other's
// saves and deletes. The copy that has the folder holds a lock file in it and listens for later
// starts on a local socket named after the folder itself (its device and inode, in the abstract
// namespace, so neither its path nor anyone's runtime or temporary folder matters); a later start
// asks it to come to the front and ends. A lock left by a copy that was killed names a process that
// is gone, and is taken over.
class RunningCopy : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        Own,        // this process has the folder (or it cannot be locked at all: nothing to share)
        HandedOver, // the copy that has it came to the front
        NoAnswer,   // a copy has it but did not answer in time
    };

    // `bringToFront` runs, on the event loop, each time a later start asks for this copy.
    RunningCopy(const QString& folder, std::function<void()> bringToFront);
    ~RunningCopy() override;

    // Waits at most AnswerTimeoutMs for the copy that has the folder.
    Claim Take();
    static int AnswerTimeoutMs;
    // Later starts find no one to ask (this copy is ending) and wait for the lock instead.
    void StopListening();

private:
    void Listen();
    bool AskToComeToFront(int timeoutMs) const;
    void Answer();

    QString mName;
    QLockFile mLock;
    QLocalServer* mServer = nullptr;
    std::function<void()> mBringToFront;
};
