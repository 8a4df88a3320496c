#include "App.h"
#include "TestApp.h"
#include "MenuBar1.h"
#include "MenuDispatcher.h"
#include "Prefs.h"
#include "QtPrinters.h"
#include "ScriptedDesktop.h"
#include "XdgSandbox.h"
#include "winPrefs.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QMainWindow>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Only ends the wait for a window system that never answers; a busy machine may be slow to.
constexpr int kHangMs = 60000;

struct PrefsWindowTest : ::testing::Test {
    XdgSandbox sandbox;
    std::unique_ptr<App> app;
    QListView* list = nullptr;
    void SetUp() override {
        app = NewTestApp();
        ScriptedDesktop::InstallNew();
        Prefs::Reset();
        // A stand-in for the main window: all the preferences window needs is its list.
        auto* main = new QMainWindow;
        list = new QListView(main);
        list->setObjectName(QStringLiteral("ListBox1"));
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        main->setCentralWidget(list);
        main->setMenuBar(MenuBar1());
        app->MainWindow = main;
    }
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<winPrefs*>(w)) delete w;
        MenuDispatcher::Instance().SetFrontWindowForTesting(nullptr);
        app.reset();
        Desktop::Install(nullptr);
        Prefs::Reset();
    }
    static QCheckBox* Box(QWidget* w, const char* name) {
        auto* box = w->findChild<QCheckBox*>(QLatin1String(name));
        if (!box) throw std::runtime_error(name);
        return box;
    }
    static bool Stored(const QString& key) { return Prefs::GetPref(key, QVariant()).isValid(); }
    static int OpenWindows() {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<winPrefs*>(w) && w->isVisible()) ++n;
        return n;
    }
};

TEST_F(PrefsWindowTest, OpensWithItsDesignAndTheDefaultsWhenNothingIsStored) {
    winPrefs* w = winPrefs::Instance();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Preferences"));
    EXPECT_EQ(w->size(), QSize(299, 188));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(w->isModal());

    auto* group = w->findChild<QGroupBox*>(QStringLiteral("GroupBox1"));
    ASSERT_TRUE(group);
    EXPECT_EQ(group->geometry(), QRect(20, 20, 259, 148));
    auto windowRect = [&](QWidget* c) { return QRect(c->mapTo(w, QPoint(0, 0)), c->size()); };
    EXPECT_EQ(windowRect(Box(w, "cbDrawCropMarks")), QRect(40, 40, 219, 20));
    EXPECT_EQ(windowRect(Box(w, "cbAllowMultipleSelection")), QRect(40, 72, 219, 20));
    EXPECT_EQ(windowRect(Box(w, "cbPrint4Up")), QRect(40, 131, 219, 20));
    auto* text = w->findChild<QLabel*>(QStringLiteral("StaticText1"));
    ASSERT_TRUE(text);
    EXPECT_EQ(windowRect(text), QRect(61, 97, 200, 29));
    EXPECT_EQ(text->text(), QStringLiteral("This allows you to print or delete mulitple passport photos all at once."));
    EXPECT_EQ(Box(w, "cbDrawCropMarks")->text(), QStringLiteral("Draw Crop Marks"));
    EXPECT_EQ(Box(w, "cbAllowMultipleSelection")->text(), QStringLiteral("Allow selecting multiple rows"));
    EXPECT_EQ(Box(w, "cbPrint4Up")->text(), QStringLiteral("Print 4 photos on larger paper"));
    // Every caption fits its box.
    for (const char* name : {"cbDrawCropMarks", "cbAllowMultipleSelection", "cbPrint4Up"})
        EXPECT_LE(Box(w, name)->sizeHint().width(), 219) << name;
    EXPECT_LE(text->heightForWidth(200), 29);

    EXPECT_FALSE(Box(w, "cbDrawCropMarks")->isChecked());
    EXPECT_TRUE(Box(w, "cbAllowMultipleSelection")->isChecked());
    EXPECT_TRUE(Box(w, "cbPrint4Up")->isChecked());
    // Opening the window stores nothing.
    EXPECT_FALSE(Stored(QStringLiteral("DrawCropMarks")));
    EXPECT_FALSE(Stored(QStringLiteral("AllowMultipleSelection")));
    EXPECT_FALSE(Stored(QStringLiteral("Print4UpWherePossible")));
}

TEST_F(PrefsWindowTest, StoredValuesOverrideTheDesign) {
    Prefs::SetPref(QStringLiteral("DrawCropMarks"), true);
    Prefs::SetPref(QStringLiteral("AllowMultipleSelection"), false);
    Prefs::SetPref(QStringLiteral("Print4UpWherePossible"), false);
    winPrefs* w = winPrefs::Instance();
    EXPECT_TRUE(Box(w, "cbDrawCropMarks")->isChecked());
    EXPECT_FALSE(Box(w, "cbAllowMultipleSelection")->isChecked());
    EXPECT_FALSE(Box(w, "cbPrint4Up")->isChecked());
    // Showing the stored state does not touch the list.
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
}

TEST_F(PrefsWindowTest, MultipleSelectionSwitchesTheMainListAtOnceAndIsStored) {
    winPrefs* w = winPrefs::Instance();
    QCheckBox* box = Box(w, "cbAllowMultipleSelection");
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(Prefs::GetPref(QStringLiteral("AllowMultipleSelection"), true), QVariant(false));
    EXPECT_TRUE(w->isVisible());

    box->click();
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(Prefs::GetPref(QStringLiteral("AllowMultipleSelection"), false), QVariant(true));
    EXPECT_FALSE(Stored(QStringLiteral("DrawCropMarks")));
    EXPECT_FALSE(Stored(QStringLiteral("Print4UpWherePossible")));

    // Without a main window the choice is still kept.
    delete app->MainWindow.data();
    box->click();
    EXPECT_EQ(Prefs::GetPref(QStringLiteral("AllowMultipleSelection"), true), QVariant(false));
}

TEST_F(PrefsWindowTest, CropMarksAndFourUpChangeOnlyTheirOwnKey) {
    winPrefs* w = winPrefs::Instance();
    Box(w, "cbDrawCropMarks")->click();
    EXPECT_EQ(Prefs::GetPref(QStringLiteral("DrawCropMarks"), false), QVariant(true));
    EXPECT_FALSE(Stored(QStringLiteral("AllowMultipleSelection")));
    EXPECT_FALSE(Stored(QStringLiteral("Print4UpWherePossible")));

    Box(w, "cbPrint4Up")->click();
    EXPECT_EQ(Prefs::GetPref(QStringLiteral("Print4UpWherePossible"), true), QVariant(false));
    EXPECT_FALSE(Stored(QStringLiteral("AllowMultipleSelection")));
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);

    Box(w, "cbDrawCropMarks")->click();
    EXPECT_EQ(Prefs::GetPref(QStringLiteral("DrawCropMarks"), true), QVariant(false));
}

TEST_F(PrefsWindowTest, ChoosingPreferencesAgainBringsBackTheSameWindowAndClosingMakesAFreshOne) {
    EXPECT_TRUE(app->_EditPreferences_Action());
    winPrefs* first = winPrefs::Instance();
    Box(first, "cbDrawCropMarks")->click();
    Box(first, "cbPrint4Up")->click();
    EXPECT_TRUE(MenuDispatcher::Instance().Dispatch(QStringLiteral("EditPreferences")));
    EXPECT_EQ(winPrefs::Instance(), first);
    EXPECT_EQ(OpenWindows(), 1);
    EXPECT_TRUE(Box(first, "cbDrawCropMarks")->isChecked());
    EXPECT_FALSE(Box(first, "cbPrint4Up")->isChecked());

    // Close Window closes it and counts as handled.
    MenuDispatcher::Instance().SetFrontWindowForTesting(first);
    EXPECT_TRUE(MenuDispatcher::Instance().Dispatch(QStringLiteral("FileClose")));
    EXPECT_EQ(OpenWindows(), 0);
    MenuDispatcher::Instance().SetFrontWindowForTesting(nullptr);

    winPrefs* second = winPrefs::Instance();
    EXPECT_NE(second, first);
    EXPECT_EQ(OpenWindows(), 1);
    EXPECT_TRUE(Box(second, "cbDrawCropMarks")->isChecked());
    EXPECT_TRUE(Box(second, "cbAllowMultipleSelection")->isChecked());
    EXPECT_FALSE(Box(second, "cbPrint4Up")->isChecked());

    // The menu bar belongs to the main window, yet Ctrl+W closes the preferences window.
    app->MainWindow->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app->MainWindow.data(), kHangMs));
    second->activateWindow();
    QApplication::setActiveWindow(second);
    ASSERT_TRUE(QTest::qWaitForWindowActive(second, kHangMs));
    QTest::keyClick(second, Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(OpenWindows(), 0);
}

} // namespace
