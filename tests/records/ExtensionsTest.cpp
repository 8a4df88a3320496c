#include "FolderItemExtensions.h"
#include "NilObjectException.h"
#include "QtPrinters.h"
#include "WindowExtensions.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>
#include <gtest/gtest.h>

using namespace WindowExtensions;

namespace {
const QList<QRect> kOne1024 = {QRect(0, 0, 1024, 768)};
const QList<QRect> kSideBySide = {QRect(0, 0, 1024, 768), QRect(1024, 0, 1280, 1024)};
} // namespace

TEST(ExtensionsTest, PositionAndSizeTextAndItsRoundTrip) {
    EXPECT_EQ(PositionAndSize(QRect(40, 60, 320, 447)), QStringLiteral("40,60,320,447"));
    EXPECT_EQ(PositionAndSize(QRect(-8, -30, 5, 6)), QStringLiteral("-8,-30,5,6"));
    const QRect r(100, 120, 640, 480);
    EXPECT_EQ(PositionAndSize(PositionAndSize(r), kSideBySide), r);
    EXPECT_EQ(PositionAndSize(PositionAndSize(r.translated(1100, 0)), kSideBySide), r.translated(1100, 0));
}

TEST(ExtensionsTest, TheFarCornerMustStayStrictlyInsideTheSameScreen) {
    EXPECT_EQ(PositionAndSize(QStringLiteral("24,0,1000,500"), kOne1024), std::nullopt); // 24 + 1000 = 1024 is off
    EXPECT_EQ(PositionAndSize(QStringLiteral("24,0,999,500"), kOne1024), QRect(24, 0, 999, 500));
    EXPECT_EQ(PositionAndSize(QStringLiteral("24,0,500,768"), kOne1024), std::nullopt); // flush with the bottom
    EXPECT_EQ(PositionAndSize(QStringLiteral("900,100,300,300"), kSideBySide), std::nullopt); // spans two screens
    EXPECT_EQ(PositionAndSize(QStringLiteral("-50,100,300,300"), kSideBySide), std::nullopt); // top-left on none
    EXPECT_EQ(PositionAndSize(QStringLiteral("2147483000,0,2147483000,10"), kOne1024), std::nullopt);
}

TEST(ExtensionsTest, MalformedPositionTextsAreIgnored) {
    for (const char* s : {"", "10,10,300", "10,10,300,200,1", "10,10,0,200", "10,10,300,0", "10;10;300;200"})
        EXPECT_EQ(PositionAndSize(QString::fromLatin1(s), kOne1024), std::nullopt) << s;
    // A field that does not start with a number reads 0; a negative size still goes to the screen test.
    EXPECT_EQ(PositionAndSize(QStringLiteral("x,10,300,200"), kOne1024), QRect(0, 10, 300, 200));
    EXPECT_EQ(PositionAndSize(QStringLiteral("500,100,-100,200"), kOne1024), QRect(500, 100, -100, 200));
    EXPECT_EQ(PositionAndSize(QStringLiteral(" 10.9,20,300,200"), kOne1024), QRect(10, 20, 300, 200));
}

TEST(ExtensionsTest, GetWhichScreenFirstMatchRightAndBottomEdgesExcluded) {
    const QList<QRect> overlapping = {QRect(0, 0, 100, 100), QRect(50, 50, 100, 100)};
    EXPECT_EQ(GetWhichScreen(60, 60, overlapping), 0);
    EXPECT_EQ(GetWhichScreen(100, 60, overlapping), 1);
    EXPECT_EQ(GetWhichScreen(150, 60, overlapping), -1);
    EXPECT_EQ(GetWhichScreen(0, 0, {}), -1);
    EXPECT_EQ(GetWhichScreen(1024, 10, kSideBySide), 1);
}

TEST(ExtensionsTest, RealScreensAndARealWindow) {
    const QList<QRect> screens = ScreenGeometries();
    ASSERT_FALSE(screens.isEmpty()); // the offscreen platform has one
    const QRect screen = screens.first();
    EXPECT_EQ(GetWhichScreen(screen.left(), screen.top()), 0);
    EXPECT_EQ(GetWhichScreen(screen.right() + 1, screen.top()), -1);

    QWindow window;
    const QRect before(screen.left() + 10, screen.top() + 10, 100, 80);
    window.setGeometry(before);
    const QString saved = GetPositionAndSize(window);
    SetPositionAndSize(window, PositionAndSize(QRect(screen.left() + 20, screen.top() + 30, 50, 40)));
    EXPECT_EQ(window.geometry(), QRect(screen.left() + 20, screen.top() + 30, 50, 40));
    SetPositionAndSize(window, QString()); // the preference's default leaves the window alone
    SetPositionAndSize(window, saved);
    EXPECT_EQ(window.geometry(), before);
}

TEST(ExtensionsTest, FolderItemTextIsTheWholeFileBytesUnchanged) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("f"));
    static constexpr char kRaw[] = "a\r\nb\rc\n\0\xff\xfe end";
    const QByteArray bytes(kRaw, sizeof kRaw - 1);
    FolderItemExtensions::SetText(path, bytes);
    EXPECT_EQ(FolderItemExtensions::text(path), bytes);
    FolderItemExtensions::SetText(path, QByteArray("short"));
    EXPECT_EQ(FolderItemExtensions::text(path), QByteArray("short")); // replaced, not overwritten in place
    FolderItemExtensions::SetText(path, QByteArray());
    EXPECT_EQ(QFileInfo(path).size(), 0);
    EXPECT_EQ(FolderItemExtensions::text(path), QByteArray());

    EXPECT_THROW(FolderItemExtensions::text(QDir(dir.path()).filePath(QStringLiteral("none"))), NilObjectException);
    const QString nowhere = QDir(dir.path()).filePath(QStringLiteral("no/such/f"));
    EXPECT_THROW(FolderItemExtensions::SetText(nowhere, "x"), NilObjectException);
    EXPECT_FALSE(QFileInfo::exists(nowhere));
}

// As dotfile managers link: to a link, to a file not made yet, from a folder reached by a link.
TEST(ExtensionsTest, WholeFileWritesAndTheirSweepGoThroughEveryLinkToTheRealFile) {
    QTemporaryDir dir;
    const QDir root(dir.path());
    ASSERT_TRUE(root.mkpath("dots") && root.mkpath("cfg") && root.mkpath("home"));
    ASSERT_TRUE(QFile::link("../cfg", root.filePath("home/.config")) &&
                QFile::link("mid", root.filePath("cfg/K")) &&
                QFile::link("../dots/K", root.filePath("cfg/mid")));
    const QString path = root.filePath("home/.config/K"), real = root.filePath("dots/K");
    FolderItemExtensions::SetText(path, "new");
    EXPECT_EQ(FolderItemExtensions::text(real), QByteArray("new"));
    EXPECT_TRUE(QFileInfo(root.filePath("cfg/K")).isSymLink() &&
                QFileInfo(root.filePath("cfg/mid")).isSymLink());

    QFile left(real + ".k2x9.tmp");
    ASSERT_TRUE(left.open(QIODevice::WriteOnly));
    ASSERT_TRUE(
        left.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    left.close();
    FolderItemExtensions::RemoveLeftovers(path);
    EXPECT_EQ(QDir(root.filePath("dots")).entryList(QDir::Files), QStringList{"K"});

    ASSERT_TRUE(QFile::link("loop", root.filePath("cfg/loop")));
    EXPECT_THROW(FolderItemExtensions::SetText(root.filePath("cfg/loop"), "x"), NilObjectException);
}

TEST(ExtensionsTest, GetFolderItemNeedsAnAbsolutePathInAnExistingFolder) {
    QTemporaryDir dir;
    const QString inside = QDir(dir.path()).filePath(QStringLiteral("not yet"));
    EXPECT_EQ(FolderItemExtensions::GetFolderItem(inside).value<QFileInfo>().absoluteFilePath(), inside);
    EXPECT_FALSE(FolderItemExtensions::GetFolderItem(QStringLiteral("relative/file")).isValid());
    EXPECT_FALSE(FolderItemExtensions::GetFolderItem(QDir(dir.path()).filePath(QStringLiteral("a/b"))).isValid());
    EXPECT_FALSE(FolderItemExtensions::GetFolderItem(QString()).isValid());
}
