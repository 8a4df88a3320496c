#include "DataStore.h"
#include "NilObjectException.h"
#include "PassportPhotoInfo.h"
#include "PhotoFiles.h"
#include "PictureCompare.h"
#include "Pictures.h"
#include "QtPrinters.h"
#include "RecordSet.h"
#include "SqlFileDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sqlite3.h>
#include <sys/resource.h>

namespace {

QImage WithMask(const QImage& pic, int hiddenColumns) {
    QImage out = pic;
    QImage mask(pic.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < pic.height(); ++y)
        for (int x = 0; x < pic.width(); ++x) mask.scanLine(y)[x] = x < hiddenColumns ? 255 : (y % 3) * 60;
    Pictures::SetMask(out, mask);
    return out;
}

// A picture of noise, which PNG cannot shrink much.
QImage Noise(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    QImage pic(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(pic.scanLine(y));
        for (int x = 0; x < w; ++x) line[x] = 0xFF000000u | (rng() & 0xFFFFFFu);
    }
    return pic;
}

struct PassportPhotoInfoTest : ::testing::Test {
    QTemporaryDir dir;
    DataStore& store = DataStore::Current();

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        store.AppFolder = dir.filePath(QStringLiteral("Kestrine"));
        ASSERT_TRUE(QDir().mkpath(store.AppFolder));
        store.db = std::make_unique<SqlFileDatabase>();
        store.db->DatabaseFile = QDir(store.AppFolder).filePath(QStringLiteral("DataFile"));
        ASSERT_TRUE(store.db->CreateDatabaseFile());
        ASSERT_TRUE(store.db->SQLExecute(QStringLiteral(
            "create table passportdata (rowid integer primary key, name varchar, creationdate timestamp, "
            "passportpicture binary, previewpicture binary, passportformat varchar, restoreinfo varchar)")));
        ASSERT_TRUE(store.db->SQLExecute(QStringLiteral("CREATE TABLE preferences ( prefname VARCHAR, prefvalue VARCHAR )")));
        store.RecordsWasDeleted = false;
    }
    void TearDown() override {
        store.db.reset();
        store.AppFolder.clear();
        store.RecordsWasDeleted = false;
    }

    // A record as the editor leaves it on Save.
    static void Fill(PassportPhotoInfo& r, const QString& name = QStringLiteral("Ada Lovelace")) {
        r.mName = name;
        r.mFormat = QStringLiteral("UK");
        r.mRestoreInfo = QStringLiteral("RestoreVersion=Integer=1");
        r.mDate = QDateTime(QDate(2024, 3, 5), QTime(10, 11, 12, 345));
        r.mPicOriginal(PictureCompare::Gradient(40, 30));
        r.mPicPassPort(WithMask(PictureCompare::Gradient(24, 31), 3));
        r.mPicPreview = WithMask(PictureCompare::Gradient(8, 8), 2);
    }
    QString FileOf(int rowID) const { return QDir(store.AppFolder).filePath(QString::number(rowID)); }
    int RowCount() const {
        auto rs = store.db->SQLSelect(QStringLiteral("select count(*) as n from passportdata"));
        return rs ? static_cast<int>(rs->Field(QStringLiteral("n")).IntegerValue()) : -1;
    }
    QString StoredName(int rowID) const {
        auto rs = store.db->SQLSelect(QStringLiteral("select name from passportdata where rowid = %1").arg(rowID));
        return rs && !rs->Eof() ? rs->Field(QStringLiteral("name")).StringValue() : QStringLiteral("<no row>");
    }
};

TEST_F(PassportPhotoInfoTest, NewRecordIsUnstoredFirstLastInUSFormatDatedNow) {
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    PassportPhotoInfo r;
    EXPECT_EQ(r.mName, QStringLiteral("First Last"));
    EXPECT_EQ(r.mFormat, QStringLiteral("US"));
    EXPECT_EQ(r.mRowID, 0);
    EXPECT_TRUE(r.mRestoreInfo.isEmpty());
    EXPECT_GE(r.mDate, before);
    EXPECT_LE(r.mDate, QDateTime::currentDateTime());
    EXPECT_TRUE(r.mPicOriginal().isNull());
    EXPECT_TRUE(r.mPicPassPort().isNull());
}

TEST_F(PassportPhotoInfoTest, FirstSaveInsertsARowAndWritesTheSourceFileNamedByItsId) {
    PassportPhotoInfo first;
    Fill(first);
    first.SaveToDB();
    PassportPhotoInfo second;
    Fill(second, QStringLiteral("Second"));
    second.SaveToDB();
    EXPECT_EQ(first.mRowID, 1);
    EXPECT_EQ(second.mRowID, 2);
    EXPECT_EQ(StoredName(2), QStringLiteral("Second"));

    const QImage file = Pictures::OpenAsPicture(FileOf(2));
    ASSERT_FALSE(file.isNull());
    EXPECT_EQ(PictureCompare::Difference(file, PictureCompare::Gradient(40, 30)), QString());
    EXPECT_EQ(Pictures::HorizontalResolution(file), 72);
    EXPECT_EQ(Pictures::VerticalResolution(file), 72);
    QFile raw(FileOf(2));
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    EXPECT_TRUE(raw.read(8).startsWith("\x89PNG")); // lossless
    // Nothing else lands in the data folder.
    EXPECT_EQ(QDir(store.AppFolder).entryList(QDir::Files, QDir::Name),
              QStringList({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("DataFile")}));
}

TEST_F(PassportPhotoInfoTest, SecondSaveUpdatesTheSameRowAndRewritesTheFile) {
    PassportPhotoInfo r;
    Fill(r);
    r.SaveToDB();
    const int id = r.mRowID;
    r.mName = QStringLiteral("Renamed");
    r.mPicOriginal(Noise(17, 9, 1));
    r.SaveToDB();
    EXPECT_EQ(r.mRowID, id);
    EXPECT_EQ(RowCount(), 1);
    EXPECT_EQ(StoredName(id), QStringLiteral("Renamed"));
    EXPECT_EQ(PictureCompare::Difference(Pictures::OpenAsPicture(FileOf(id)), Noise(17, 9, 1)), QString());
}

TEST_F(PassportPhotoInfoTest, LoadIDReadsTheSmallColumnsAndDatesToTheSecond) {
    PassportPhotoInfo saved;
    Fill(saved, QStringLiteral("Zoë \"O'Brien\"; x'); drop table passportdata; --"));
    saved.SaveToDB();

    PassportPhotoInfo loaded;
    ASSERT_TRUE(loaded.LoadID(saved.mRowID));
    EXPECT_EQ(loaded.mRowID, saved.mRowID);
    EXPECT_EQ(loaded.mName, saved.mName);
    EXPECT_EQ(loaded.mFormat, QStringLiteral("UK"));
    EXPECT_EQ(loaded.mRestoreInfo, QStringLiteral("RestoreVersion=Integer=1"));
    EXPECT_EQ(loaded.mDate, QDateTime(QDate(2024, 3, 5), QTime(10, 11, 12)));
    EXPECT_EQ(RowCount(), 1); // the table is still there

    // Preview and passport picture keep their masks, and the colours under them.
    EXPECT_EQ(PictureCompare::Difference(loaded.mPicPreview, saved.mPicPreview), QString());
    EXPECT_EQ(PictureCompare::Difference(Pictures::Mask(loaded.mPicPreview), Pictures::Mask(saved.mPicPreview)),
              QString());
    const QImage passport = loaded.mPicPassPort();
    EXPECT_TRUE(Pictures::HasMask(passport));
    EXPECT_EQ(PictureCompare::Difference(passport, saved.mPicPassPort()), QString());
}

TEST_F(PassportPhotoInfoTest, LargePicturesLoadOnFirstUseAndAreKeptAfterwards) {
    PassportPhotoInfo saved;
    Fill(saved);
    saved.SaveToDB();
    PassportPhotoInfo loaded;
    ASSERT_TRUE(loaded.LoadID(saved.mRowID));

    // Replaced in storage after LoadID: the first use must see the new content.
    const QImage newPassport = WithMask(Noise(6, 6, 3), 1);
    {
        PassportPhotoInfo other(saved);
        other.mPicPassPort(newPassport);
        other.mPicOriginal(Noise(5, 4, 2));
        other.SaveToDB();
    }
    const QImage original = loaded.mPicOriginal();
    const QImage passport = loaded.mPicPassPort();
    EXPECT_EQ(PictureCompare::Difference(original, Noise(5, 4, 2)), QString());
    EXPECT_EQ(PictureCompare::Difference(passport, newPassport), QString());

    // Later calls give the same pictures, even with the file gone.
    ASSERT_TRUE(QFile::remove(FileOf(saved.mRowID)));
    EXPECT_EQ(loaded.mPicOriginal().cacheKey(), original.cacheKey());
    EXPECT_EQ(loaded.mPicPassPort().cacheKey(), passport.cacheKey());

    // A record loaded after the file was removed has no source picture.
    PassportPhotoInfo fresh;
    ASSERT_TRUE(fresh.LoadID(saved.mRowID));
    EXPECT_TRUE(fresh.mPicOriginal().isNull());
}

TEST_F(PassportPhotoInfoTest, LoadIDOfAMissingRowFailsButKeepsTheId) {
    PassportPhotoInfo r;
    EXPECT_FALSE(r.LoadID(999));
    EXPECT_EQ(r.mRowID, 999);
    EXPECT_EQ(r.mName, QStringLiteral("First Last"));
}

TEST_F(PassportPhotoInfoTest, CopyKeepsIdentityAndIsIndependentOfItsSource) {
    PassportPhotoInfo stored;
    Fill(stored);
    stored.SaveToDB();
    PassportPhotoInfo source;
    ASSERT_TRUE(source.LoadID(stored.mRowID));

    PassportPhotoInfo copy(source);
    EXPECT_EQ(copy.mRowID, source.mRowID);
    EXPECT_EQ(copy.mName, source.mName);
    EXPECT_EQ(copy.mFormat, source.mFormat);
    EXPECT_EQ(copy.mRestoreInfo, source.mRestoreInfo);
    EXPECT_EQ(copy.mDate, source.mDate);
    EXPECT_EQ(PictureCompare::Difference(copy.mPicOriginal(), source.mPicOriginal()), QString());
    EXPECT_EQ(PictureCompare::Difference(copy.mPicPreview, source.mPicPreview), QString());
    EXPECT_EQ(PictureCompare::Difference(Pictures::Mask(copy.mPicPreview), Pictures::Mask(source.mPicPreview)),
              QString());
    EXPECT_NE(copy.mPicOriginal().cacheKey(), source.mPicOriginal().cacheKey());

    copy.mName = QStringLiteral("Changed");
    copy.mDate = copy.mDate.addDays(1);
    EXPECT_EQ(source.mName, QStringLiteral("Ada Lovelace"));
    EXPECT_EQ(source.mDate, QDateTime(QDate(2024, 3, 5), QTime(10, 11, 12)));

    copy.SaveToDB();
    EXPECT_EQ(RowCount(), 1);
    EXPECT_EQ(StoredName(source.mRowID), QStringLiteral("Changed"));
}

TEST_F(PassportPhotoInfoTest, CopyOfARecordWhoseFileIsMissingHasNoSourcePicture) {
    PassportPhotoInfo stored;
    Fill(stored);
    stored.SaveToDB();
    ASSERT_TRUE(QFile::remove(FileOf(stored.mRowID)));
    PassportPhotoInfo source;
    ASSERT_TRUE(source.LoadID(stored.mRowID));
    PassportPhotoInfo copy(source);
    EXPECT_TRUE(copy.mPicOriginal().isNull());
    EXPECT_FALSE(copy.mPicPassPort().isNull());
}

TEST_F(PassportPhotoInfoTest, ASourceFileWhoseReadsFailIsToldWhyAndLeftAsItIs) {
    PassportPhotoInfo stored;
    Fill(stored);
    stored.SaveToDB();
    const QString file = FileOf(stored.mRowID);
    const QString kept = file + QStringLiteral(".kept");
    ASSERT_TRUE(QFile::rename(file, kept));
    // Every read of our own memory at offset 0 fails with EIO, as a failing disk's do.
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/mem"), file));
    PassportPhotoInfo loaded;
    ASSERT_TRUE(loaded.LoadID(stored.mRowID));
    EXPECT_TRUE(loaded.mPicOriginal().isNull());
    EXPECT_EQ(loaded.OriginalReadFailure(), QStringLiteral("Input/output error"));
    EXPECT_EQ(QFileInfo(file).symLinkTarget(), QStringLiteral("/proc/self/mem"));
    EXPECT_EQ(StoredName(stored.mRowID), QStringLiteral("Ada Lovelace"));

    // Each load asks again: once the reads pass, the picture is there and the failure gone.
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QFile::rename(kept, file));
    EXPECT_FALSE(loaded.mPicOriginal().isNull());
    EXPECT_EQ(loaded.OriginalReadFailure(), QString());
}

TEST_F(PassportPhotoInfoTest, DeleteFromDiskRemovesRowAndFileAndMarksTheDeletion) {
    PassportPhotoInfo keep;
    Fill(keep, QStringLiteral("Keep"));
    keep.SaveToDB();
    PassportPhotoInfo gone;
    Fill(gone, QStringLiteral("Gone"));
    gone.SaveToDB();
    const int id = gone.mRowID;
    gone.DeleteFromDisk();
    EXPECT_EQ(gone.mRowID, 0);
    EXPECT_TRUE(store.RecordsWasDeleted);
    EXPECT_FALSE(QFileInfo::exists(FileOf(id)));
    EXPECT_EQ(StoredName(id), QStringLiteral("<no row>"));
    EXPECT_EQ(StoredName(keep.mRowID), QStringLiteral("Keep"));
    EXPECT_TRUE(QFileInfo::exists(FileOf(keep.mRowID)));
}

TEST_F(PassportPhotoInfoTest, ADeleteTheDatabaseRefusesKeepsTheWholePhoto) {
    PassportPhotoInfo kept;
    Fill(kept);
    kept.SaveToDB();
    ASSERT_TRUE(store.db->SQLExecute(QStringLiteral(
        "create trigger refuse before delete on passportdata begin select raise(abort, 'refused'); end")));
    kept.DeleteFromDisk();
    EXPECT_NE(kept.mRowID, 0);
    EXPECT_FALSE(store.RecordsWasDeleted);
    EXPECT_EQ(StoredName(kept.mRowID), QStringLiteral("Ada Lovelace"));
    EXPECT_TRUE(QFileInfo::exists(FileOf(kept.mRowID))); // the source picture is not lost
}

TEST_F(PassportPhotoInfoTest, ANewPhotoNeverTakesOrOverwritesAFileInTheWayOfItsName) {
    // Left by an earlier library, and by a delete whose file removal failed.
    for (const char* name : {"1", "1.deleted"}) {
        QFile f(QDir(store.AppFolder).filePath(QLatin1String(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("someone else's picture");
    }
    // "1" goes aside; "1.deleted" may be an earlier library's only copy of a photo: it stays, and
    // the row takes the next number.
    PassportPhotoInfo photo;
    Fill(photo);
    photo.SaveToDB();
    ASSERT_EQ(photo.mRowID, 2);
    EXPECT_EQ(Pictures::OpenAsPicture(FileOf(2)).size(), QSize(40, 30));
    QFile kept(QDir(store.AppFolder).filePath(QStringLiteral("Recovered/1")));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("someone else's picture"));
    EXPECT_EQ(QDir(store.AppFolder).entryList(QDir::Files),
              QStringList({QStringLiteral("1.deleted"), QStringLiteral("2"), QStringLiteral("DataFile")}));
    EXPECT_EQ(StoredName(1), QStringLiteral("<no row>"));
    // The row's bookkeeping stays out of what the editor reads back.
    PassportPhotoInfo loaded;
    ASSERT_TRUE(loaded.LoadID(2));
    EXPECT_EQ(loaded.mRestoreInfo, QStringLiteral("RestoreVersion=Integer=1"));

    // A file that cannot be moved aside (the Recovered folder is a plain file) keeps its name too,
    // and the save still works.
    ASSERT_TRUE(QDir(store.AppFolder).rename(QStringLiteral("Recovered"), QStringLiteral("Recovered.old")));
    for (const char* name : {"Recovered", "3"}) {
        QFile f(QDir(store.AppFolder).filePath(QLatin1String(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("someone else's picture");
    }
    PassportPhotoInfo next;
    Fill(next, QStringLiteral("Next"));
    next.SaveToDB();
    EXPECT_EQ(next.mRowID, 4);
    EXPECT_EQ(StoredName(4), QStringLiteral("Next"));
    EXPECT_EQ(Pictures::OpenAsPicture(FileOf(4)).size(), QSize(40, 30));
    QFile stayed(FileOf(3));
    ASSERT_TRUE(stayed.open(QIODevice::ReadOnly));
    EXPECT_EQ(stayed.readAll(), QByteArray("someone else's picture"));
}

// A save's picture goes into place only when the row carries its tag and nothing else can change
// the row meanwhile: neither inside an open transaction nor without the write lock.
TEST_F(PassportPhotoInfoTest, APendingPictureIsSettledOnlyUnderTheWriteLockAndOutsideATransaction) {
    const QString tag = QStringLiteral("AbC123");
    ASSERT_TRUE(store.db->SQLExecute(QStringLiteral("insert into passportdata (rowid, name, restoreinfo) values (5, 'x', ?)"),
                                     {PhotoFiles::Tagged(QString(), tag)}));
    const QString pending = QDir(store.AppFolder).filePath(PhotoFiles::PendingName(5, tag));
    QFile f(pending);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();

    // Inside a transaction the row read is this connection's own, not yet committed.
    ASSERT_TRUE(store.db->SQLExecute(QStringLiteral("BEGIN")));
    EXPECT_FALSE(PhotoFiles::Settle(*store.db, store.AppFolder, 5, tag));
    ASSERT_TRUE(store.db->SQLExecute(QStringLiteral("ROLLBACK")));
    EXPECT_TRUE(QFileInfo::exists(pending));

    // Another copy holds the write lock: the row is owned, but nothing moves until it lets go.
    sqlite3_busy_timeout(store.db->Handle(), 10);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(store.db->DatabaseFile).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_TRUE(PhotoFiles::Settle(*store.db, store.AppFolder, 5, tag));
    EXPECT_TRUE(QFileInfo::exists(pending));
    EXPECT_FALSE(QFileInfo::exists(FileOf(5)));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    EXPECT_TRUE(PhotoFiles::Settle(*store.db, store.AppFolder, 5, tag));
    EXPECT_FALSE(QFileInfo::exists(pending));
    EXPECT_TRUE(QFileInfo::exists(FileOf(5)));
}

TEST_F(PassportPhotoInfoTest, DeleteFromDiskOfAnUnstoredRecordTouchesNothing) {
    // A row and a file that "0" would name, were the row id text acted on.
    ASSERT_TRUE(store.db->SQLExecute(QStringLiteral("insert into passportdata (rowid, name) values (0, 'zero')")));
    ASSERT_TRUE(Pictures::SaveAsPicture(Noise(2, 2, 4), FileOf(0)));
    PassportPhotoInfo fresh;
    fresh.DeleteFromDisk();
    EXPECT_EQ(StoredName(0), QStringLiteral("zero"));
    EXPECT_TRUE(QFileInfo::exists(FileOf(0)));
    EXPECT_FALSE(store.RecordsWasDeleted);
}

TEST_F(PassportPhotoInfoTest, SaveWithoutSourcePictureStoresTheRowThenRaises) {
    PassportPhotoInfo r;
    Fill(r);
    r.mPicOriginal(QImage());
    EXPECT_THROW(r.SaveToDB(), NilObjectException);
    EXPECT_EQ(r.mRowID, 1);
    EXPECT_EQ(RowCount(), 1);
    EXPECT_FALSE(QFileInfo::exists(FileOf(1)));
}

TEST_F(PassportPhotoInfoTest, SaveRefusedByTheDatabaseRaisesWithTheReason) {
    ASSERT_TRUE(store.db->SQLExecute(QStringLiteral("drop table passportdata")));
    PassportPhotoInfo r;
    Fill(r);
    try {
        r.SaveToDB();
        FAIL() << "a refused insert passed for a success";
    } catch (const PassportPhotoInfo::SaveError& e) {
        EXPECT_NE(std::string(e.what()).find("passportdata"), std::string::npos) << e.what();
    }
    EXPECT_EQ(r.mRowID, 0);

    PassportPhotoInfo stored;
    Fill(stored);
    stored.mRowID = 5; // its row is gone too
    EXPECT_THROW(stored.SaveToDB(), PassportPhotoInfo::SaveError);
}

TEST_F(PassportPhotoInfoTest, SaveIntoAVanishedDataFolderRaises) {
    PassportPhotoInfo r;
    Fill(r);
    store.AppFolder = dir.filePath(QStringLiteral("gone"));
    EXPECT_THROW(r.SaveToDB(), PassportPhotoInfo::SaveError);
}

TEST_F(PassportPhotoInfoTest, AFullDiskDuringTheFileWriteLeavesThePreviousFileWhole) {
    PassportPhotoInfo r;
    Fill(r);
    r.SaveToDB();
    QFile before(FileOf(r.mRowID));
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray old = before.readAll();
    before.close();

    // Noise of 300 x 300 gives a PNG of about 270 KB; the database stays far below the limit.
    r.mPicOriginal(Noise(300, 300, 5));
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 128 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool raised = false;
    std::string reason;
    try {
        r.SaveToDB();
    } catch (const PassportPhotoInfo::SaveError& e) {
        raised = true;
        reason = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(raised);
    EXPECT_NE(reason.find(FileOf(r.mRowID).toStdString()), std::string::npos) << reason; // the file, not the row
    QFile after(FileOf(r.mRowID));
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), old);
    EXPECT_EQ(QDir(store.AppFolder).entryList(QDir::Files, QDir::Name),
              QStringList({QStringLiteral("1"), QStringLiteral("DataFile")})); // no half-written leftovers
}

TEST_F(PassportPhotoInfoTest, PictureGettersOfAStoredRecordNeedTheStore) {
    PassportPhotoInfo r;
    r.mRowID = 3;
    store.AppFolder.clear();
    EXPECT_THROW(r.mPicOriginal(), NilObjectException);
    store.db.reset();
    EXPECT_THROW(r.mPicPassPort(), NilObjectException);
    EXPECT_FALSE(r.LoadID(3));
    EXPECT_NO_THROW(r.DeleteFromDisk());
    EXPECT_EQ(r.mRowID, 3);
}

} // namespace
