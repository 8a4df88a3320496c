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
#include <QSaveFile>
#include <future>

namespace {

const QString kTable = QStringLiteral("passportdata");

QString Where(int rowID) {
    return QStringLiteral(" from passportdata where rowid = ") + PassportPhotoInfo::RowIDText(rowID);
}

void WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    // Written beside the old file and renamed over it once on disk, so a crash or a full disk
    // leaves the previous file whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw PassportPhotoInfo::SaveError("cannot write " + path.toStdString() + ": " + file.errorString().toStdString());
    if (file.write(bytes) != bytes.size()) {
        const std::string reason = file.errorString().toStdString();
        file.cancelWriting();
        throw PassportPhotoInfo::SaveError("cannot write " + path.toStdString() + ": " + reason);
    }
    if (!file.commit())
        throw PassportPhotoInfo::SaveError("cannot write " + path.toStdString() + ": " + file.errorString().toStdString());
}

[[noreturn]] void Refused(const SqlFileDatabase& db, const char* what) {
    throw PassportPhotoInfo::SaveError(std::string(what) + ": " + db.ErrorMessage().toStdString());
}

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
    // so it runs while the row is written.
    if (!mmPicOriginal.isNull() &&
        (Pictures::HorizontalResolution(mmPicOriginal) != 72 || Pictures::VerticalResolution(mmPicOriginal) != 72))
        Pictures::SetResolution(mmPicOriginal, 72, 72);
    std::future<QByteArray> sourceFile;
    if (!mmPicOriginal.isNull())
        sourceFile = std::async(std::launch::async | std::launch::deferred, [pic = mmPicOriginal] { return PngEncoder::Encode(pic); });

    const QByteArray passport = PNGu::GetData(mPicPassPort(), 0.0);
    const QByteArray preview = PNGu::GetData(mPicPreview, 0.0);
    if (mRowID == 0) {
        DatabaseRecord record;
        record.Column(QStringLiteral("name"), mName);
        record.DateColumn(QStringLiteral("creationdate"), mDate);
        record.BlobColumn(QStringLiteral("passportpicture"), passport);
        record.BlobColumn(QStringLiteral("previewpicture"), preview);
        record.Column(QStringLiteral("passportformat"), mFormat);
        record.Column(QStringLiteral("restoreinfo"), mRestoreInfo);
        if (!db.InsertRecord(kTable, record)) Refused(db, "the photo could not be added to the database");
        db.Commit();
        mRowID = db.LastRowID();
    } else {
        auto rs = db.SQLSelect(
            QStringLiteral("select name, creationdate, passportpicture, previewpicture, passportformat, restoreinfo") +
            Where(mRowID));
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
        db.Commit();
    }

    if (!sourceFile.valid()) throw NilObjectException("no source picture");
    const QByteArray png = sourceFile.get();
    if (png.isEmpty()) throw SaveError("the source picture could not be encoded (out of memory)");
    WriteFileAtomically(store.Child(RowIDText(mRowID)), png);
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
        DataStore& store = DataStore::Current();
        const QString path = store.Child(RowIDText(mRowID));
        if (QFileInfo::exists(path) && !QFile::remove(path)) return;
        SqlFileDatabase& db = store.Database();
        if (!db.SQLExecute(QStringLiteral("delete") + Where(mRowID))) return;
        db.Commit();
        store.RecordsWasDeleted = true;
        mRowID = 0;
    } catch (...) {
    }
}
