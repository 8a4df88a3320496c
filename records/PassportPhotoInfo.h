#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>
#include <stdexcept>

// One saved passport photo and its row in the passportdata table. The passport picture and
// the source picture are fetched from storage on first use and then kept.
class PassportPhotoInfo {
public:
    // A save that did not reach storage; what() tells why.
    class SaveError : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // A new, unstored record: "First Last", format "US", dated now, row id 0.
    PassportPhotoInfo();
    // A copy that can be changed without touching `source`; it keeps the row id, so saving it
    // updates the same row. Reading source's pictures loads them into `source` too.
    explicit PassportPhotoInfo(const PassportPhotoInfo& source);
    PassportPhotoInfo& operator=(const PassportPhotoInfo&) = delete;
    virtual ~PassportPhotoInfo();

    QString mName;
    QImage mPicPreview;
    QDateTime mDate;
    int mRowID = 0;
    QString mRestoreInfo;
    QString mFormat;

    // The source picture; loaded from the data folder on first use (nil when the file is
    // missing, cannot be read, or holds no picture).
    QImage mPicOriginal() const;
    void mPicOriginal(const QImage& pic);
    // The system's words when the last load of the source picture found its file but could not
    // open or read it (a failing disk, a network folder); empty otherwise.
    QString OriginalReadFailure() const;
    // The finished passport picture with its mask; loaded from the database on first use.
    QImage mPicPassPort() const;
    void mPicPassPort(const QImage& pic);

    // Inserts (row id 0) or updates the row and writes the source picture to the data folder, as
    // one change: when the database or the disk refuses either, SaveError is raised and the row,
    // the file and mRowID stay as they were. Without a source picture the row is still stored and
    // NilObjectException raised; also without a data folder or database. what() tells why.
    virtual void SaveToDB();
    // Fills the record from row `id`, without the two large pictures; false when it cannot.
    virtual bool LoadID(int id);
    // Removes the source-picture file and the row; silent on failure.
    virtual void DeleteFromDisk();

    // The row id as it appears in statements and file names.
    static QString RowIDText(int rowID);

private:
    mutable QImage mmPicOriginal;
    mutable QString mmOriginalReadFailure;
    mutable QImage mmPicPassPort;
};
