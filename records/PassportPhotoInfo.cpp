#include "PassportPhotoInfo.h"

#include "DataStore.h"
#include "DatabaseRecord.h"
#include "NilObjectException.h"
#include "PNGu.h"
#include "PictureExtensions.h"
#include "Pictures.h"
#include "PngEncoder.h"
#include "RecordSet.h"
#include "SqlFileDatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <cerrno>
#include <cstdio>
#include <future>
#include <unistd.h>

namespace {

const QString kTable = QStringLiteral("passportdata");

QString Where(int rowID) {
    return QStringLiteral(" from passportdata where rowid = ") + PassportPhotoInfo::RowIDText(rowID);
}

[[noreturn]] void CannotWrite(const QString& path, const QString& reason) {
    throw PassportPhotoInfo::SaveError("cannot write " + path.toStdString() + ": " + reason.toStdString());
}

// A second name for the file at `path`, in the form QSaveFile gives its own temporary files
// ("<name>.XXXXXX"), so the start-up sweep removes one left behind by a crash. Empty when
// there is no file or the file system has no hard links.
QString LinkBeside(const QString& path) {
    if (!QFileInfo::exists(path)) return {};
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const QByteArray from = QFile::encodeName(path);
    for (int attempt = 0; attempt < 16; ++attempt) {
        QString name = path + QLatin1Char('.');
        for (int i = 0; i < 6; ++i)
            name += QLatin1Char(kChars[QRandomGenerator::global()->bounded(62)]);
        if (::link(from.constData(), QFile::encodeName(name).constData()) == 0) return name;
        if (errno != EEXIST) return {};
    }
    return {};
}

// The source-picture file of a save in progress. The new bytes replace the file at once (written
// beside it and renamed over it, so a crash or a full disk never leaves half a file); until the
// database has committed the row, the old file is kept under a second name so that a refused
// commit can put it back.
class SourceFileReplacement {
public:
    SourceFileReplacement(const QString& path, const QByteArray& bytes) : mPath(path) {
        mHadFile = QFileInfo::exists(path);
        mKept = LinkBeside(path);
        QSaveFile file(path);
        // Unbuffered, so a short write (a full disk) shows in write(): a buffered one surfaces
        // only in commit(), which keeps the cut file all the same.
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) Fail(file.errorString());
        if (file.write(bytes) != bytes.size()) {
            const QString reason = file.errorString();
            file.cancelWriting();
            Fail(reason);
        }
        if (!file.commit()) Fail(file.errorString());
        mReplaced = true;
    }
    ~SourceFileReplacement() {
        if (mReplaced && !mDone) {
            // The row was not committed: the previous file goes back (or the new one goes).
            if (!mKept.isEmpty()) {
                if (::rename(QFile::encodeName(mKept).constData(), QFile::encodeName(mPath).constData()) == 0)
                    mKept.clear();
            } else if (!mHadFile) {
                QFile::remove(mPath);
            }
        }
        if (!mKept.isEmpty()) QFile::remove(mKept);
    }
    SourceFileReplacement(const SourceFileReplacement&) = delete;
    SourceFileReplacement& operator=(const SourceFileReplacement&) = delete;

    // The row that goes with the new file is committed: the old file can go.
    void Keep() { mDone = true; }

private:
    [[noreturn]] void Fail(const QString& reason) {
        if (!mKept.isEmpty()) QFile::remove(mKept);
        mKept.clear();
        CannotWrite(mPath, reason);
    }

    QString mPath;
    QString mKept;
    bool mHadFile = false;
    bool mReplaced = false;
    bool mDone = false;
};

[[noreturn]] void Refused(const SqlFileDatabase& db, const char* what) {
    throw PassportPhotoInfo::SaveError(std::string(what) + ": " + db.ErrorMessage().toStdString());
}

// The row and the source-picture file change together: the write lock is taken before either
// is touched (waiting for a second copy of the application that is saving), and the row is
// committed only after the file is in place, or rolled back.
class WriteTransaction {
public:
    explicit WriteTransaction(SqlFileDatabase& db) : mDb(db) {
        if (!mDb.SQLExecute(QStringLiteral("BEGIN IMMEDIATE")))
            Refused(mDb, "the photo database is busy or cannot be written");
        mOpen = true;
    }
    ~WriteTransaction() {
        if (mOpen) mDb.SQLExecute(QStringLiteral("ROLLBACK"));
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;

    void Commit() {
        if (!mDb.SQLExecute(QStringLiteral("COMMIT")))
            Refused(mDb, "the photo could not be stored in the database");
        mOpen = false;
    }

private:
    SqlFileDatabase& mDb;
    bool mOpen = false;
};

} // namespace

PassportPhotoInfo::PassportPhotoInfo()
    : mName(QStringLiteral("First Last")), mDate(QDateTime::currentDateTime()), mFormat(QStringLiteral("US")) {}

PassportPhotoInfo::PassportPhotoInfo(const PassportPhotoInfo& source)
    : mDate(source.mDate), mRowID(source.mRowID), mRestoreInfo(source.mRestoreInfo), mFormat(source.mFormat) {
    mName = source.mName;
    const QImage original = source.mPicOriginal();
    if (!original.isNull()) mmPicOriginal = PictureExtensions::Clone(original);
    const QImage passport = source.mPicPassPort();
    if (!passport.isNull()) mmPicPassPort = PictureExtensions::Clone(passport);
    if (!source.mPicPreview.isNull()) mPicPreview = PictureExtensions::CloneWithMask(source.mPicPreview);
}

PassportPhotoInfo::~PassportPhotoInfo() = default;

QString PassportPhotoInfo::RowIDText(int rowID) {
    return QString::number(rowID);
}

QImage PassportPhotoInfo::mPicOriginal() const {
    if (mmPicOriginal.isNull() && mRowID != 0) {
        const QString path = DataStore::Current().Child(RowIDText(mRowID));
        if (QFileInfo::exists(path)) mmPicOriginal = Pictures::OpenAsPicture(path);
    }
    return mmPicOriginal;
}

void PassportPhotoInfo::mPicOriginal(const QImage& pic) {
    mmPicOriginal = pic;
}

QImage PassportPhotoInfo::mPicPassPort() const {
    if (mmPicPassPort.isNull() && mRowID != 0) {
        auto rs = DataStore::Current().Database().SQLSelect(QStringLiteral("select passportpicture") + Where(mRowID));
        mmPicPassPort = PNGu::GetPictureWithMask(Must(rs).Field(QStringLiteral("passportpicture")).BlobValue(), 0.0);
    }
    return mmPicPassPort;
}

void PassportPhotoInfo::mPicPassPort(const QImage& pic) {
    mmPicPassPort = pic;
}

void PassportPhotoInfo::SaveToDB() {
    DataStore& store = DataStore::Current();
    SqlFileDatabase& db = store.Database();

    // The source picture is stored at 72 dots per inch. Encoding it is by far the slowest step,
    // so it runs while the small pictures are encoded, and all of it before the database is
    // locked, so a second copy of the application waits only for the writes.
    if (!mmPicOriginal.isNull() &&
        (Pictures::HorizontalResolution(mmPicOriginal) != 72 || Pictures::VerticalResolution(mmPicOriginal) != 72))
        Pictures::SetResolution(mmPicOriginal, 72, 72);
    std::future<QByteArray> sourceFile;
    if (!mmPicOriginal.isNull())
        sourceFile = std::async(std::launch::async | std::launch::deferred, [pic = mmPicOriginal] { return PngEncoder::Encode(pic); });
    const QByteArray passport = PNGu::GetData(mPicPassPort(), 0.0);
    const QByteArray preview = PNGu::GetData(mPicPreview, 0.0);
    const QByteArray png = sourceFile.valid() ? sourceFile.get() : QByteArray();
    if (sourceFile.valid() && png.isEmpty())
        throw SaveError("the source picture could not be encoded (out of memory)");

    WriteTransaction transaction(db);
    int rowID = mRowID;
    if (rowID == 0) {
        DatabaseRecord record;
        record.Column(QStringLiteral("name"), mName);
        record.DateColumn(QStringLiteral("creationdate"), mDate);
        record.BlobColumn(QStringLiteral("passportpicture"), passport);
        record.BlobColumn(QStringLiteral("previewpicture"), preview);
        record.Column(QStringLiteral("passportformat"), mFormat);
        record.Column(QStringLiteral("restoreinfo"), mRestoreInfo);
        if (!db.InsertRecord(kTable, record)) Refused(db, "the photo could not be added to the database");
        rowID = db.LastRowID();
    } else {
        auto rs = db.SQLSelect(
            QStringLiteral("select name, creationdate, passportpicture, previewpicture, passportformat, restoreinfo") +
            Where(rowID));
        if (!rs) Refused(db, "the photo could not be read from the database");
        if (rs->Eof()) throw SaveError("the photo's row is no longer in the database");
        rs->Edit();
        rs->Field(QStringLiteral("name")).SetStringValue(mName);
        rs->Field(QStringLiteral("creationdate")).SetDateValue(mDate);
        rs->Field(QStringLiteral("passportpicture")).SetBlobValue(passport);
        rs->Field(QStringLiteral("previewpicture")).SetBlobValue(preview);
        rs->Field(QStringLiteral("passportformat")).SetStringValue(mFormat);
        rs->Field(QStringLiteral("restoreinfo")).SetStringValue(mRestoreInfo);
        if (!rs->Update()) Refused(db, "the photo could not be updated in the database");
    }

    if (png.isEmpty()) {
        // Without a source picture the row is kept and the missing picture reported.
        transaction.Commit();
        mRowID = rowID;
        throw NilObjectException("no source picture");
    }
    // A crash from here on leaves either the old row or the new one, each with a whole file.
    SourceFileReplacement file(store.Child(RowIDText(rowID)), png);
    transaction.Commit();
    file.Keep();
    mRowID = rowID;
}

bool PassportPhotoInfo::LoadID(int id) {
    mRowID = id;
    try {
        auto rs = DataStore::Current().Database().SQLSelect(
            QStringLiteral("select name, creationdate, previewpicture, passportformat, restoreinfo") + Where(id));
        RecordSet& row = Must(rs);
        mName = row.Field(QStringLiteral("name")).StringValue();
        mDate = row.Field(QStringLiteral("creationdate")).DateValue();
        mRestoreInfo = row.Field(QStringLiteral("restoreinfo")).StringValue();
        mFormat = row.Field(QStringLiteral("passportformat")).StringValue();
        mPicPreview = PNGu::GetPictureWithMask(row.Field(QStringLiteral("previewpicture")).BlobValue(), 0.0);
        return true;
    } catch (...) {
        return false;
    }
}

void PassportPhotoInfo::DeleteFromDisk() {
    // A record never stored has neither a file nor a row; row id text "0" must not be acted on.
    if (mRowID <= 0) return;
    try {
        // The row goes first: should the database refuse, the photo stays whole (a refused
        // delete after its file was gone would leave a photo without its source picture).
        DataStore& store = DataStore::Current();
        const QString path = store.Child(RowIDText(mRowID));
        SqlFileDatabase& db = store.Database();
        if (!db.SQLExecute(QStringLiteral("delete") + Where(mRowID))) return;
        db.Commit();
        store.RecordsWasDeleted = true;
        mRowID = 0;
        if (QFileInfo::exists(path)) QFile::remove(path);
    } catch (...) {
    }
}
