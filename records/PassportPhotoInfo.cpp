#include "PassportPhotoInfo.h"

#include "DataStore.h"
#include "DatabaseRecord.h"
#include "FolderItemExtensions.h"
#include "NilObjectException.h"
#include "PNGu.h"
#include "PhotoFiles.h"
#include "PictureExtensions.h"
#include "Pictures.h"
#include "PngEncoder.h"
#include "RecordSet.h"
#include "SqlFileDatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <cerrno>
#include <exception>
#include <future>
#include <limits>
#include <utility>

namespace {

const QString kTable = QStringLiteral("passportdata");

QString Where(int rowID) {
    return QStringLiteral(" from passportdata where rowid = ") + PassportPhotoInfo::RowIDText(rowID);
}

[[noreturn]] void CannotWrite(const QString& path, const QString& reason) {
    throw PassportPhotoInfo::SaveError("cannot write " + path.toStdString() + ": " + reason.toStdString());
}

[[noreturn]] void Refused(const SqlFileDatabase& db, const char* what) {
    throw PassportPhotoInfo::SaveError(std::string(what) + ": " + db.ErrorMessage().toStdString());
}

// The row and the source-picture file change together: the write lock is taken before either
// is touched (waiting for a second copy of the application that is saving), and the row is
// committed only after the new file is written whole beside the old one, or rolled back.
class WriteTransaction {
public:
    explicit WriteTransaction(SqlFileDatabase& db) : mDb(db) {
        if (const auto& before = DataStore::Current().BeforeChange) before();
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
    // After a refused commit: ends whatever the database kept of the transaction.
    void Rollback() {
        mDb.SQLExecute(QStringLiteral("ROLLBACK"));
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
        // Until its rename into place, a saved picture is still under the name its row gives.
        const DataStore& store = DataStore::Current();
        QString path = store.Child(RowIDText(mRowID));
        if (store.db) path = PhotoFiles::OwnFile(*store.db, store.AppFolder, mRowID);
        Pictures::OpenedPicture opened = Pictures::OpenPicture(path);
        mmOriginalReadFailure = opened.readFailure;
        // Part of a picture whose reads failed would be saved over the whole one.
        if (mmOriginalReadFailure.isEmpty()) mmPicOriginal = std::move(opened.picture);
    }
    return mmPicOriginal;
}

void PassportPhotoInfo::mPicOriginal(const QImage& pic) {
    mmPicOriginal = pic;
}

QString PassportPhotoInfo::OriginalReadFailure() const {
    return mmOriginalReadFailure;
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
    // The row names the picture file that goes with it, so the next start can tell, whatever
    // instant a crash cut this save at, which file is the row's own.
    const QString tag = png.isEmpty() ? QString() : PhotoFiles::NewTag();
    const QString restoreInfo = png.isEmpty() ? PhotoFiles::Untagged(mRestoreInfo)
                                              : PhotoFiles::Tagged(PhotoFiles::Untagged(mRestoreInfo), tag);
    int rowID = mRowID;
    if (rowID == 0) {
        DatabaseRecord record;
        record.Column(QStringLiteral("name"), mName);
        record.DateColumn(QStringLiteral("creationdate"), mDate);
        record.BlobColumn(QStringLiteral("passportpicture"), passport);
        record.BlobColumn(QStringLiteral("previewpicture"), preview);
        record.Column(QStringLiteral("passportformat"), mFormat);
        record.Column(QStringLiteral("restoreinfo"), restoreInfo);
        if (!db.InsertRecord(kTable, record)) Refused(db, "the photo could not be added to the database");
        rowID = db.LastRowID();
        // A file already named like the new row belongs to no photo of this library (one from an
        // earlier library, or a delete cut short): it is kept aside, never taken, overwritten or
        // removed. The row then takes the next number that no such file, here or in the Recovered
        // folder, carries: an earlier library put back finds each row's own picture or none.
        // All numbers above the new row's are free in the table: it had the highest.
        const QSet<int> inUse = PhotoFiles::NumbersInUse(store.AppFolder);
        const int inserted = rowID;
        for (;; ++rowID) {
            const QString own = RowIDText(rowID);
            bool taken = inUse.contains(rowID);
            if (QFileInfo::exists(store.Child(own))) {
                if (!PhotoFiles::MoveAside(store.AppFolder, own).isEmpty()) ++store.MovedAside;
                taken = true;
            }
            if (!taken) break;
            if (rowID == std::numeric_limits<int>::max())
                CannotWrite(store.Child(own), QStringLiteral("no free number is left for a new photo"));
        }
        if (rowID != inserted &&
            !db.SQLExecute(QStringLiteral("update passportdata set rowid = ? where rowid = ?"), {rowID, inserted}))
            Refused(db, "the photo could not be added to the database");
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
        rs->Field(QStringLiteral("restoreinfo")).SetStringValue(restoreInfo);
        if (!rs->Update()) Refused(db, "the photo could not be updated in the database");
    }

    if (png.isEmpty()) {
        // Without a source picture the row is kept and the missing picture reported.
        transaction.Commit();
        mRowID = rowID;
        throw NilObjectException("no source picture");
    }
    const QString target = store.Child(RowIDText(rowID));
    const QString pending = store.Child(PhotoFiles::PendingName(rowID, tag));
    QFile::remove(pending); // only ever a leftover: no committed row carries a tag not yet drawn
    try {
        FolderItemExtensions::CreateNewFile(pending, png);
    } catch (const std::exception& e) {
        CannotWrite(target, QString::fromUtf8(e.what()));
    }
    // The row may name the new picture only once the picture's name is on disk too.
    if (!FolderItemExtensions::SyncFolder(store.AppFolder)) {
        const QString reason = FolderItemExtensions::SystemText(errno);
        QFile::remove(pending);
        CannotWrite(target, reason);
    }
    std::exception_ptr refused;
    try {
        transaction.Commit();
    } catch (const SaveError&) {
        transaction.Rollback();
        refused = std::current_exception();
    }
    // What the database holds now decides whether the new picture is the row's: a refused
    // commit may have happened all the same. Should the rename not happen now, the next start
    // does it, as the row's tag says.
    if (!PhotoFiles::Settle(db, store.AppFolder, rowID, tag) && refused) std::rethrow_exception(refused);
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
        mRestoreInfo = PhotoFiles::Untagged(row.Field(QStringLiteral("restoreinfo")).StringValue());
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
        // The file steps aside before the row goes and is removed once the delete committed, so a
        // crash or a refusal at any step leaves the photo whole or gone, never a file that a later
        // photo with the same row id would take for its own.
        DataStore& store = DataStore::Current();
        SqlFileDatabase& db = store.Database();
        const QString path = store.Child(RowIDText(mRowID));
        const QString aside = store.Child(PhotoFiles::DeletedName(mRowID));
        WriteTransaction transaction(db);
        const bool hadFile = QFileInfo::exists(path);
        if (hadFile && !PhotoFiles::Replace(path, aside)) return;
        auto putBack = [&] {
            if (hadFile) PhotoFiles::Replace(aside, path);
        };
        if (!db.SQLExecute(QStringLiteral("delete") + Where(mRowID))) {
            putBack();
            return;
        }
        try {
            transaction.Commit();
        } catch (...) {
            transaction.Rollback();
            auto rs = db.SQLSelect(QStringLiteral("select rowid") + Where(mRowID));
            if (!rs || !rs->Eof()) {
                putBack();
                return;
            }
        }
        store.RecordsWasDeleted = true;
        mRowID = 0;
        if (hadFile && QFile::remove(aside)) FolderItemExtensions::SyncFolder(store.AppFolder);
    } catch (...) {
    }
}
