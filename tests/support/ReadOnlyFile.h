#pragma once

#include <QString>

// Makes a file read-only for as long as it lives, also for root: by its permissions for an
// ordinary user, by the file system's immutable flag for root (whom permissions do not stop).
// Active() is false when neither took, and the test should then be skipped.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const QString& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool Active() const { return mActive; }

private:
    QString mPath;
    bool mActive = false;
    bool mImmutable = false;
    bool mKnown = false;
    unsigned mOldMode = 0;
};
