#include "App.h"
#include "TestApp.h"
#include "JpegSheet.h"
#include "PassportPhotoInfo.h"
#include "Prefs.h"
#include "QtPrinters.h"
#include "ScriptedDesktop.h"
#include "XdgSandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>
#include <climits>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

namespace {

struct JpegSheetTest : AppTest {};

std::unique_ptr<PassportPhotoInfo> Photo(int w, int h, QRgb colour = qRgb(200, 30, 30)) {
    auto record = std::make_unique<PassportPhotoInfo>();
    QImage pic(w, h, QImage::Format_RGB32);
    pic.fill(colour);
    record->mPicPassPort(pic);
    return record;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray DensityBytes(const QString& path) {
    return ReadAll(path).mid(13, 5);
}

const QByteArray k300Dpi("\x01\x01\x2C\x01\x2C", 5);

// The darkest grey level (min over R, G, B) in rows [top, bottom), and whether every pixel
// there is neutral (R = G = B within `slack`).
struct Ink {
    int darkest = 255;
    bool neutral = true;
    int left = INT_MAX, right = -1; // columns with any ink
};
Ink InkIn(const QImage& pic, int top, int bottom, int slack = 2) {
    Ink ink;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < pic.width(); ++x) {
            const QRgb c = pic.pixel(x, y);
            if (c != qRgb(255, 255, 255)) {
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
            }
            ink.darkest = std::min({ink.darkest, qRed(c), qGreen(c), qBlue(c)});
            if (std::abs(qRed(c) - qGreen(c)) > slack || std::abs(qGreen(c) - qBlue(c)) > slack) ink.neutral = false;
        }
    return ink;
}

TEST_F(JpegSheetTest, TheSheetLayoutFollowsThePictureSize) {
    const QSize sheet(1800, 1200);
    const JpegSheet::Layout us = JpegSheet::SheetLayout(sheet, QSize(600, 600));
    EXPECT_EQ(us.gap, 200);
    EXPECT_EQ(us.top, 300);
    EXPECT_EQ(QPoint(us.first.left, us.first.top), QPoint(200, 300));
    EXPECT_EQ(QPoint(us.second.left, us.second.top), QPoint(1000, 300));
    EXPECT_EQ(QSize(us.second.width, us.second.height), QSize(600, 600));
    EXPECT_EQ(us.textSize, 37);

    const JpegSheet::Layout uk = JpegSheet::SheetLayout(sheet, QSize(414, 532));
    EXPECT_EQ(uk.gap, 324);
    EXPECT_EQ(uk.top, 334);
    EXPECT_EQ(QPoint(uk.first.left, uk.first.top), QPoint(324, 334));
    EXPECT_EQ(QPoint(uk.second.left, uk.second.top), QPoint(1062, 334));
    EXPECT_EQ(uk.textSize, 41);

    // The second left comes from the truncated gap: 2 x 324 + 413, not 1062.
    EXPECT_EQ(JpegSheet::SheetLayout(sheet, QSize(413, 532)).second.left, 1061);

    const QImage blank(sheet, QImage::Format_RGB32);
    const JpegSheet::Captions usText = JpegSheet::CaptionPlacement(blank, us);
    const JpegSheet::Captions ukText = JpegSheet::CaptionPlacement(blank, uk);
    EXPECT_EQ(usText.second.y() - usText.first.y(), 900);
    EXPECT_EQ(ukText.second.y() - ukText.first.y(), 866);
    EXPECT_GT(usText.first.y(), 0);
    EXPECT_LT(usText.first.y(), 300);
}

TEST_F(JpegSheetTest, TheSheetShowsTwoCopiesAndCaptionsGreyWithMarksBlackWithout) {
    QImage pic(600, 600, QImage::Format_RGB32);
    pic.fill(qRgb(200, 30, 30));
    for (const bool marks : {false, true}) {
        SCOPED_TRACE(marks ? "with crop marks" : "without crop marks");
        const QImage sheet = JpegSheet::DrawSheet(pic, marks);
        ASSERT_EQ(sheet.size(), QSize(1800, 1200));
        EXPECT_EQ(sheet.dotsPerMeterX(), 11811);
        EXPECT_EQ(sheet.dotsPerMeterY(), 11811);
        EXPECT_EQ(sheet.pixel(0, 0), qRgb(255, 255, 255));
        for (const QPoint& at : {QPoint(200, 300), QPoint(799, 899), QPoint(1000, 300), QPoint(1599, 899)})
            EXPECT_EQ(sheet.pixel(at), qRgb(200, 30, 30)) << at.x() << "," << at.y();
        EXPECT_EQ(sheet.pixel(199, 300), qRgb(255, 255, 255));
        EXPECT_EQ(sheet.pixel(800, 300), qRgb(255, 255, 255));
        EXPECT_EQ(sheet.pixel(160, 305), marks ? qRgb(0x77, 0x77, 0x77) : qRgb(255, 255, 255));

        // The caption bands, clear of the marks (which reach 50 pixels out from the copies).
        const Ink top = InkIn(sheet, 0, 300 - 51);
        const Ink bottom = InkIn(sheet, 900 + 51, 1200);
        for (const Ink& ink : {top, bottom}) {
            EXPECT_TRUE(ink.neutral);
            // Centred across the sheet.
            EXPECT_GE(ink.left, 100);
            EXPECT_NEAR(ink.left + ink.right, 1800, 4);
            if (marks) {
                EXPECT_GE(ink.darkest, 0x77 - 2); // nothing darker than the grey
                EXPECT_LE(ink.darkest, 0x77 + 8); // and the grey is there
            } else {
                EXPECT_LE(ink.darkest, 16);
            }
        }
    }
}

TEST_F(JpegSheetTest, TheFileIsA300DpiJpegSheetAndReplacesAnExistingFile) {
    auto photo = Photo(414, 532);
    EXPECT_EQ(JpegSheet::DefaultFileName(*photo), QStringLiteral("First Last Passport Photo.jpg"));

    const QString path = Path(JpegSheet::DefaultFileName(*photo));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older file, not a picture");
    }
    QString error;
    ASSERT_TRUE(JpegSheet::WriteSheetFile(*photo, path, &error)) << error.toStdString();
    const QByteArray bytes = ReadAll(path);
    EXPECT_TRUE(bytes.startsWith(QByteArray("\xFF\xD8\xFF\xE0", 4)));
    EXPECT_EQ(bytes.mid(6, 5), QByteArray("JFIF\0", 5));
    EXPECT_EQ(bytes.mid(13, 5), k300Dpi);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({QFileInfo(path).fileName()}));

    QImageReader reader(path);
    EXPECT_EQ(reader.format(), QByteArray("jpeg"));
    const QImage read = reader.read();
    ASSERT_EQ(read.size(), QSize(1800, 1200));
    const QRgb inCopy = read.pixel(324 + 200, 334 + 266);
    EXPECT_NEAR(qRed(inCopy), 200, 8);
    EXPECT_NEAR(qGreen(inCopy), 30, 8);
    EXPECT_NEAR(qBlue(inCopy), 30, 8);
    EXPECT_EQ(qRound(read.dotsPerMeterX() * 0.0254), 300);

    // Exported again with crop marks over the first export: still 300 dpi.
    Prefs::SetPref(QStringLiteral("DrawCropMarks"), true);
    const QByteArray first = bytes;
    ASSERT_TRUE(JpegSheet::WriteSheetFile(*photo, path, &error)) << error.toStdString();
    EXPECT_NE(ReadAll(path), first);
    EXPECT_EQ(DensityBytes(path), k300Dpi);
}

TEST_F(JpegSheetTest, SavePictureProposesTheNameAndWritesTheChosenFile) {
    auto photo = Photo(600, 600);
    photo->mName = QStringLiteral("Ann Lee");
    desktop->saveAnswers = {Path("chosen.jpg")};
    JpegSheet::SavePicture(photo.get());
    EXPECT_EQ(desktop->saveDefaults, QStringList({QStringLiteral("Ann Lee Passport Photo.jpg")}));
    EXPECT_EQ(DensityBytes(Path("chosen.jpg")), k300Dpi);
    EXPECT_TRUE(desktop->messages.isEmpty());

    // Cancelled: nothing written.
    JpegSheet::SavePicture(photo.get());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);

    // No selected photo: no dialog, no word.
    JpegSheet::SavePicture(nullptr);
    EXPECT_EQ(desktop->saveDefaults.size(), 2);
    EXPECT_TRUE(desktop->messages.isEmpty());
}

TEST_F(JpegSheetTest, APhotoWithoutItsPassportPictureIsNamedAndLeavesNoFile) {
    PassportPhotoInfo nil;
    nil.mName = QStringLiteral("Nil");
    // A row that is not in the database: reading its picture raises.
    PassportPhotoInfo gone;
    gone.mName = QStringLiteral("Gone");
    gone.mRowID = 4242;
    const QString kept = Path("kept.jpg");
    {
        QFile f(kept);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("the user's earlier sheet");
    }

    JpegSheet::SavePicture(&nil); // cancelled: not a word
    EXPECT_EQ(desktop->saveDefaults, QStringList({QStringLiteral("Nil Passport Photo.jpg")}));
    EXPECT_TRUE(desktop->messages.isEmpty());

    desktop->saveAnswers = {Path("nil.jpg"), kept};
    JpegSheet::SavePicture(&nil);
    JpegSheet::SavePicture(&gone);
    const QString why = QStringLiteral("\" could not be saved as a picture: its passport picture is missing or "
                                       "damaged. To mend it, open the photo with Edit and save it again.");
    EXPECT_EQ(desktop->messages, QStringList({QStringLiteral("The photo \"Nil") + why,
                                              QStringLiteral("The photo \"Gone") + why}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({QStringLiteral("kept.jpg")}));
    EXPECT_EQ(ReadAll(kept), QByteArray("the user's earlier sheet"));
}

TEST_F(JpegSheetTest, AFailedExportKeepsTheExistingFileAndSaysWhy) {
    auto photo = Photo(600, 600);
    const QString path = Path("kept.jpg");
    const QByteArray original("the user's earlier sheet");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(original);
    }

    // A disk that fills up: files may grow no larger than 4 KB while the export runs.
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 4096;
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    desktop->saveAnswers = {path};
    JpegSheet::SavePicture(photo.get());
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(ReadAll(path), original);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({QStringLiteral("kept.jpg")}));
    ASSERT_EQ(desktop->messages.size(), 1);
    EXPECT_TRUE(desktop->messages[0].startsWith(QStringLiteral("The picture could not be saved as \"kept.jpg\".")))
        << desktop->messages[0].toStdString();

    // A folder that cannot be written to (here: one that does not exist).
    desktop->saveAnswers = {Path("missing/folder/sheet.jpg")};
    JpegSheet::SavePicture(photo.get());
    ASSERT_EQ(desktop->messages.size(), 2);
    EXPECT_TRUE(desktop->messages[1].contains(QStringLiteral("sheet.jpg")));
}

} // namespace
