#include "AboutWindow.h"
#include "TestApp.h"
#include "App.h"
#include "EditfieldWithLinks.h"
#include "MenuDispatcher.h"
#include "PictureCompare.h"
#include "QtPrinters.h"
#include "Resources.h"
#include "ScriptedDesktop.h"
#include "Site.h"
#include "XdgSandbox.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

struct AboutWindowTest : AppTest {
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<AboutWindow*>(w)) delete w;
        MenuDispatcher::Instance().SetFrontWindowForTesting(nullptr);
        AppTest::TearDown();
    }
    static int OpenBoxes() {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<AboutWindow*>(w) && w->isVisible()) ++n;
        return n;
    }
    static EditfieldWithLinks& Credits(AboutWindow* w) {
        auto* field = w->findChild<EditfieldWithLinks*>(QStringLiteral("EditAppCredits"));
        if (!field) throw std::runtime_error("no credits");
        return *field;
    }
    static QTextCharFormat FormatAt(EditfieldWithLinks& field, int pos) {
        QTextCursor c(field.document());
        c.setPosition(pos + 1);
        return c.charFormat();
    }
};

TEST_F(AboutWindowTest, ShowingTwiceGivesOneBoxWithNameAndVersion) {
    EXPECT_FALSE(app->_HelpAbout_Action());
    AboutWindow* w = AboutWindow::Instance();
    auto* name = w->findChild<QLabel*>(QStringLiteral("StatAppName"));
    auto* version = w->findChild<QLabel*>(QStringLiteral("StatAppVersion"));
    ASSERT_TRUE(name && version);
    name->setText(QString());
    version->setText(QString());
    EXPECT_FALSE(MenuDispatcher::Instance().Dispatch(QStringLiteral("HelpAbout")));
    EXPECT_EQ(AboutWindow::Instance(), w);
    EXPECT_EQ(OpenBoxes(), 1);
    EXPECT_EQ(name->text(), QStringLiteral("Kestrine"));
    EXPECT_EQ(version->text(), QStringLiteral("Version ") + QCoreApplication::applicationVersion());
    EXPECT_TRUE(name->font().bold());

    // The title the window system gets: Qt would fill an empty one with the application's name.
    ASSERT_TRUE(w->windowHandle());
    EXPECT_FALSE(w->windowHandle()->title().isEmpty());
    EXPECT_TRUE(w->windowHandle()->title().trimmed().isEmpty());
    EXPECT_EQ(w->size(), QSize(300, 400));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(w->findChild<QWidget*>(QStringLiteral("AppIconCanvas"))->geometry(), QRect(84, 14, 128, 128));
    EXPECT_EQ(name->geometry(), QRect(20, 154, 260, 20));
    EXPECT_EQ(version->geometry(), QRect(20, 182, 260, 16));
    EXPECT_EQ(Credits(w).geometry(), QRect(-1, 210, 302, 139));
    // The captions fit their boxes.
    EXPECT_LE(name->sizeHint().height(), name->height());
    EXPECT_LE(version->sizeHint().height(), version->height());

    // Close Window closes the box but leaves the command unhandled.
    MenuDispatcher::Instance().SetFrontWindowForTesting(w);
    EXPECT_FALSE(MenuDispatcher::Instance().Dispatch(QStringLiteral("FileClose")));
    EXPECT_EQ(OpenBoxes(), 0);
    MenuDispatcher::Instance().SetFrontWindowForTesting(nullptr);
    EXPECT_NE(AboutWindow::Instance(), w);
    EXPECT_EQ(OpenBoxes(), 1);
}

TEST_F(AboutWindowTest, CreditsHaveBoldHeadingsAndABlueLinkThatOpensTheWebSite) {
    AboutWindow* w = AboutWindow::Instance();
    EditfieldWithLinks& field = Credits(w);
    const QString site = QString::fromLatin1(Site::WebSite);
    EXPECT_EQ(field.toPlainText(), QStringLiteral("Programming:\n\n\nWebsite: \n     ") + site +
                                       QStringLiteral("\n\nOther software by same author:: \n     "));
    EXPECT_TRUE(field.isReadOnly());

    const QString text = field.toPlainText();
    for (const QString& heading : {QStringLiteral("Programming:"), QStringLiteral("Website: "),
                                   QStringLiteral("Other software by same author:: ")}) {
        const int at = int(text.indexOf(heading));
        for (int i = 0; i < heading.size(); ++i)
            EXPECT_EQ(FormatAt(field, at + i).fontWeight(), QFont::Bold) << heading.toStdString() << i;
    }
    const int linkAt = int(text.indexOf(site));
    ASSERT_EQ(field.LinkCount(), 1);
    EXPECT_EQ(field.LinkStartOf(0), linkAt);
    EXPECT_EQ(field.LinkEndOf(0), linkAt + site.size());
    EXPECT_EQ(FormatAt(field, linkAt).foreground().color(), QColor(0, 0, 0xFF));
    EXPECT_EQ(FormatAt(field, linkAt).fontWeight(), QFont::Normal);
    EXPECT_EQ(FormatAt(field, linkAt - 1).foreground().color(), QColor(0, 0, 0));

    QTextCursor c(field.document());
    c.setPosition(linkAt + 3);
    const QPoint onLink = field.cursorRect(c).center();
    QTest::mouseClick(field.viewport(), Qt::LeftButton, {}, onLink);
    ASSERT_EQ(desktop->urls.size(), 1);
    EXPECT_EQ(desktop->urls[0], QUrl(site));

    c.setPosition(3);
    QTest::mouseClick(field.viewport(), Qt::LeftButton, {}, field.cursorRect(c).center());
    EXPECT_EQ(desktop->urls.size(), 1);
}

TEST_F(AboutWindowTest, SelectAllWhileTheCreditsHaveTheFocusSelectsThemAll) {
    AboutWindow* w = AboutWindow::Instance();
    EditfieldWithLinks& field = Credits(w);
    field.setFocus();
    MenuDispatcher::Instance().SetFrontWindowForTesting(w);
    EXPECT_FALSE(MenuDispatcher::Instance().Dispatch(QStringLiteral("EditSelectAll")));
    EXPECT_EQ(field.textCursor().selectionStart(), 0);
    EXPECT_EQ(field.textCursor().selectionEnd(), field.toPlainText().size());
}

TEST_F(AboutWindowTest, TheIconIsDrawnWithItsMaskIntoTheCanvas) {
    AboutWindow* w = AboutWindow::Instance();
    QWidget* canvas = w->findChild<QWidget*>(QStringLiteral("AppIconCanvas"));
    const QImage shot = canvas->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), QSize(128, 128));

    QImage expected(128, 128, QImage::Format_RGB32);
    expected.fill(w->palette().color(QPalette::Window));
    {
        QPainter p(&expected);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRect(0, 0, 128, 128), Resources::ApplicationIcon());
    }
    EXPECT_LE(PictureCompare::MaxChannelDifference(shot, expected), 2);
    // The mask leaves the corner to the window and covers the middle.
    EXPECT_EQ(shot.pixel(0, 0), w->palette().color(QPalette::Window).rgb());
    EXPECT_NE(shot.pixel(64, 64), w->palette().color(QPalette::Window).rgb());
}

TEST_F(AboutWindowTest, CreditsMarkupStylesTheTextAfterEachTag) {
    AboutWindow* w = AboutWindow::Instance();
    EditfieldWithLinks& field = Credits(w);
    const int base = QFontInfo(field.font()).pixelSize();
    w->SetCreditsFieldText(QStringLiteral("a<b>B</b>c<I>i</i><font size=\"20\">F</font>n 1 < 2"), true);
    EXPECT_EQ(field.toPlainText(), QStringLiteral("aBciFn 1 < 2"));
    EXPECT_EQ(field.LinkCount(), 0);
    EXPECT_EQ(FormatAt(field, 0).fontWeight(), QFont::Normal);
    EXPECT_EQ(FormatAt(field, 1).fontWeight(), QFont::Bold);
    EXPECT_EQ(FormatAt(field, 2).fontWeight(), QFont::Normal);
    EXPECT_TRUE(FormatAt(field, 3).fontItalic());
    EXPECT_FALSE(FormatAt(field, 4).fontItalic());
    EXPECT_EQ(FormatAt(field, 4).font().pixelSize(), 20);
    EXPECT_EQ(FormatAt(field, 5).font().pixelSize(), base);
    EXPECT_EQ(field.textCursor().position(), 0);

    w->SetCreditsFieldText(QStringLiteral("<b>kept as typed</b>"), false);
    EXPECT_EQ(field.toPlainText(), QStringLiteral("<b>kept as typed</b>"));
    EXPECT_EQ(FormatAt(field, 3).fontWeight(), QFont::Normal);
}

} // namespace
