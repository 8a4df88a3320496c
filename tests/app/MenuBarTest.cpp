#include "App.h"
#include "TestApp.h"
#include "MenuBar1.h"
#include "MenuDispatcher.h"
#include "NilObjectException.h"
#include "QtPrinters.h"
#include "ScriptedDesktop.h"
#include "Toolbar1.h"
#include "XdgSandbox.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

// Only ends the wait for a window system that never answers; a busy machine may be slow to.
constexpr int kHangMs = 60000;

struct MenuBarTest : ::testing::Test {
    XdgSandbox sandbox;
    std::unique_ptr<App> app;
    MenuDispatcher& menus = MenuDispatcher::Instance();
    void SetUp() override {
        app = NewTestApp();
        ScriptedDesktop::InstallNew();
    }
    void TearDown() override {
        menus.SetFrontWindowForTesting(nullptr);
        app.reset();
        Desktop::Install(nullptr);
    }
    QAction* Item(const char* name) { return menus.Item(QString::fromUtf8(name)); }
    bool Enabled(const char* name) {
        QAction* a = Item(name);
        return a && a->isEnabled();
    }
};

// "name text shortcut" per item, "name -" per separator, in menu order.
QStringList Describe(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator())
            out << a->objectName() + QStringLiteral(" -");
        else
            out << QStringList{a->objectName(), a->text(), a->shortcut().toString(QKeySequence::PortableText)}.join(' ');
    }
    return out;
}

TEST_F(MenuBarTest, TheOneMenuBarListsFileEditAndHelpWithTheirItemsInOrder) {
    QMenuBar* bar = MenuBar1();
    ASSERT_TRUE(bar);
    EXPECT_EQ(MenuBar1(), bar);
    EXPECT_EQ(menus.MenuBar(), bar);

    const QList<QAction*> top = bar->actions();
    ASSERT_EQ(top.size(), 3);
    QStringList titles;
    for (QAction* a : top) titles << a->menu()->objectName() + ' ' + a->text();
    EXPECT_EQ(titles, QStringList({"FileMenu &File", "EditMenu &Edit", "HelpMenu Help"}));

    EXPECT_EQ(Describe(top[0]->menu()),
              QStringList({"FileNew New Ctrl+N", "FileClose Close Window Ctrl+W", "UntitledSeparator0 -",
                           "FileSave Save as Picture Ctrl+S", "UntitledSeparator2 -",
                           "FilePageSetup Page Setup Ctrl+Shift+P", "FilePrint Print Ctrl+P",
                           "UntitledSeparator1 -", "FileQuit &Quit Ctrl+Q"}));
    EXPECT_EQ(Describe(top[1]->menu()),
              QStringList({"EditEditSelectedPhoto Edit Selected Photo Ctrl+E", "UntitledSeparator5 -",
                           "EditUndo &Undo Ctrl+Z", "UntitledMenu1 -", "EditCut Cu&t Ctrl+X", "EditCopy &Copy Ctrl+C",
                           "EditPaste &Paste Ctrl+V", "EditDelete &Delete ", "UntitledMenu0 -",
                           "EditSelectAll Select &All Ctrl+A", "UntitledSeparator3 -",
                           "EditPreferences Preferences... Ctrl+,"}));
    EXPECT_EQ(Describe(top[2]->menu()),
              QStringList({"HelpHelp Help ", "UntitledSeparator -", "HelpWebsite Website... ",
                           "UntitledSeparator4 -", "HelpAbout About Kestrine "}));

    // Only the platform's own three items may move to the macOS application menu.
    EXPECT_EQ(Item("FileQuit")->menuRole(), QAction::QuitRole);
    EXPECT_EQ(Item("EditPreferences")->menuRole(), QAction::PreferencesRole);
    EXPECT_EQ(Item("HelpAbout")->menuRole(), QAction::AboutRole);
    EXPECT_EQ(Item("HelpHelp")->menuRole(), QAction::NoRole);
    EXPECT_EQ(Item("EditCopy")->menuRole(), QAction::NoRole);

    EXPECT_EQ(FileQuit(), Item("FileQuit"));
    menus.SetMenuBar(nullptr);
    EXPECT_THROW(FileQuit(), NilObjectException);
    menus.SetMenuBar(bar);
}

TEST_F(MenuBarTest, WithNoPhotoSelectedOnlyTheFourManualItemsAreDisabled) {
    QWidget front;
    int selected = 0;
    menus.SetWindowEnabler(&front, [&] {
        if (selected == 1) Item("FileSave")->setEnabled(true);
        if (selected >= 1) Item("FilePrint")->setEnabled(true);
    });
    menus.SetFrontWindowForTesting(&front);
    menus.EnableMenuItems();
    for (const char* off : {"FileSave", "FilePrint", "EditEditSelectedPhoto", "EditDelete"}) EXPECT_FALSE(Enabled(off)) << off;
    for (const char* on : {"FileNew", "FileClose", "FilePageSetup", "FileQuit", "EditCopy", "HelpAbout"})
        EXPECT_TRUE(Enabled(on)) << on;

    // Recomputed before a menu opens.
    selected = 2;
    emit Item("FileMenu")->menu()->aboutToShow();
    EXPECT_TRUE(Enabled("FilePrint"));
    EXPECT_FALSE(Enabled("FileSave"));

    // Another window in front: its own update, not this one's.
    QWidget other;
    menus.SetFrontWindowForTesting(&other);
    menus.EnableMenuItems();
    EXPECT_FALSE(Enabled("FilePrint"));
}

struct ShownWindow {
    QMainWindow window;
    QListWidget* list = new QListWidget;
    QLineEdit* field = new QLineEdit(QStringLiteral("First Last"));
    explicit ShownWindow(bool withMenuBar) {
        auto* central = new QWidget;
        auto* layout = new QVBoxLayout(central);
        layout->addWidget(list);
        layout->addWidget(field);
        window.setCentralWidget(central);
        if (withMenuBar) window.setMenuBar(MenuBar1());
        window.show();
        window.activateWindow();
    }
};

TEST_F(MenuBarTest, ShortcutsReachTheFrontWindowsHandlersAndObeyItsEnabling) {
    ShownWindow main(true);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main.window, kHangMs));
    QStringList calls;
    bool selection = false;
    menus.AddWindowHandler(&main.window, QStringLiteral("FilePageSetup"), [&] { calls << "PageSetup"; return false; });
    menus.AddWindowHandler(&main.window, QStringLiteral("FilePrint"), [&] { calls << "Print"; return false; });
    menus.SetWindowEnabler(&main.window, [&] {
        if (selection) Item("FilePrint")->setEnabled(true);
    });
    main.list->setFocus();

    QTest::keyClick(&main.window, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(&main.window, Qt::Key_P, Qt::ControlModifier); // no selection: Print is off
    EXPECT_EQ(calls, QStringList({"PageSetup"}));

    // The selection changes without anyone refreshing the menus: the shortcut still sees it.
    selection = true;
    QTest::keyClick(&main.window, Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(calls, QStringList({"PageSetup", "Print"}));
    menus.RemoveWindow(&main.window);
}

TEST_F(MenuBarTest, CtrlWClosesAWindowThatDoesNotShowTheMenuBar) {
    ShownWindow main(true);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main.window, kHangMs));
    QWidget prefs;
    prefs.resize(200, 100);
    int closes = 0;
    menus.AddWindowHandler(&prefs, QStringLiteral("FileClose"), [&] {
        ++closes;
        prefs.close();
        return true;
    });
    prefs.show();
    prefs.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&prefs, kHangMs));
    int prefsCommands = 0;
    menus.AddAppHandler(QStringLiteral("EditPreferences"), [&] { return ++prefsCommands > 0; });
    QTest::keyClick(&prefs, Qt::Key_Comma, Qt::ControlModifier); // the application's item, from any window
    EXPECT_EQ(prefsCommands, 1);
    QTest::keyClick(&prefs, Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(prefs.isVisible());

    // Alone on screen, without the menu bar's window, it still answers its shortcut.
    main.window.hide();
    prefs.show();
    prefs.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&prefs, kHangMs));
    QTest::keyClick(&prefs, Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(closes, 2);
}

TEST_F(MenuBarTest, TheFocusedControlIsAskedFirstAndItsEnablingHasTheLastWord) {
    ShownWindow main(false);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main.window, kHangMs));
    QStringList calls;
    menus.AddWindowHandler(main.field, QStringLiteral("EditSelectAll"), [&] { calls << "field"; return false; });
    menus.AddWindowHandler(&main.window, QStringLiteral("EditSelectAll"), [&] { calls << "window"; return false; });
    menus.SetWindowEnabler(&main.window, [&] { Item("EditCopy")->setEnabled(true); });
    // The list's own update while it has the focus.
    menus.SetWindowEnabler(main.list, [&] { Item("EditCopy")->setEnabled(false); });

    main.list->setFocus();
    QCoreApplication::processEvents(); // focus changes refresh the menus from the event loop
    EXPECT_FALSE(Enabled("EditCopy"));
    main.field->setFocus();
    QCoreApplication::processEvents();
    EXPECT_TRUE(Enabled("EditCopy"));

    // No handler takes it, so the focused field selects its text as the platform's item would.
    EXPECT_TRUE(menus.Dispatch(QStringLiteral("EditSelectAll")));
    EXPECT_EQ(calls, QStringList({"field", "window"}));
    EXPECT_EQ(main.field->selectedText(), QStringLiteral("First Last"));
    menus.RemoveWindow(main.field);
    menus.RemoveWindow(main.list);
    menus.RemoveWindow(&main.window);
}

TEST_F(MenuBarTest, QuitQuitsWhenNoHandlerTakesItAndNotWhileDisabled) {
    int quitEvents = 0;
    struct QuitCounter : QObject {
        int* count;
        explicit QuitCounter(int* c) : count(c) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Quit) ++*count;
            return false;
        }
    } counter(&quitEvents);
    app->installEventFilter(&counter);

    QWidget editor;
    menus.SetWindowEnabler(&editor, [&] { Item("FileQuit")->setEnabled(false); });
    menus.SetFrontWindowForTesting(&editor);
    QTimer::singleShot(0, app.get(), [&] {
        Item("FileQuit")->trigger();
        QCoreApplication::exit(7);
    });
    EXPECT_EQ(app->exec(), 7);
    QCoreApplication::processEvents();
    EXPECT_EQ(quitEvents, 0);

    menus.SetFrontWindowForTesting(nullptr);
    menus.EnableMenuItems(); // as the focus change would
    QTimer::singleShot(0, app.get(), [&] { Item("FileQuit")->trigger(); });
    // Only a safety net: the quit ends the loop at once.
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    safety.start(10000);
    EXPECT_EQ(app->exec(), 0);
    EXPECT_EQ(quitEvents, 1);
}

TEST_F(MenuBarTest, AMenuBarTakenByAWindowIsRebuiltWhenThatWindowGoes) {
    QMenuBar* first = MenuBar1();
    {
        QMainWindow window;
        window.setMenuBar(first);
        EXPECT_EQ(MenuBar1(), first);
    }
    QMenuBar* second = MenuBar1();
    ASSERT_TRUE(second);
    EXPECT_EQ(menus.MenuBar(), second);
    EXPECT_TRUE(Item("FileQuit"));
}

TEST_F(MenuBarTest, ToolbarHoldsItsEightItemsWithOnlyNewEnabledAndDeleteAtTheRight) {
    QMainWindow window;
    auto* toolbar = new Toolbar1;
    window.addToolBar(toolbar);
    window.resize(600, 200);
    window.show();

    QStringList names, captions;
    for (QAction* a : toolbar->actions()) {
        names << a->objectName();
        captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
    }
    EXPECT_EQ(names, QStringList({"AddNew", "Sep1", "Edit", "Sep2", "Print", "Save", "FlexSpace", "Delete"}));
    EXPECT_EQ(captions, QStringList({"New", "-", "Edit", "-", "Print", "Save Jpg", "Untitled", "Delete"}));
    EXPECT_EQ(toolbar->actions(), QList<QAction*>({toolbar->AddNew, toolbar->Sep1, toolbar->Edit, toolbar->Sep2,
                                                    toolbar->Print, toolbar->Save, toolbar->FlexSpace, toolbar->Delete}));
    EXPECT_TRUE(toolbar->AddNew->isEnabled());
    for (QAction* off : {toolbar->Edit, toolbar->Print, toolbar->Save, toolbar->Delete}) {
        EXPECT_FALSE(off->isEnabled()) << off->objectName().toStdString();
        EXPECT_FALSE(off->icon().isNull()) << off->objectName().toStdString();
    }
    EXPECT_FALSE(toolbar->AddNew->icon().isNull());
    EXPECT_EQ(toolbar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);

    QWidget* newButton = toolbar->widgetForAction(toolbar->AddNew);
    QWidget* saveButton = toolbar->widgetForAction(toolbar->Save);
    QWidget* deleteButton = toolbar->widgetForAction(toolbar->Delete);
    ASSERT_TRUE(newButton && saveButton && deleteButton);
    EXPECT_LT(newButton->x(), saveButton->x());
    EXPECT_GT(deleteButton->x(), saveButton->x() + 200); // the flexible space in between
    EXPECT_GE(deleteButton->geometry().right(), toolbar->width() - 20);

    QList<QAction*> clicked;
    QObject::connect(toolbar, &Toolbar1::Action, [&](QAction* item) { clicked << item; });
    QTest::mouseClick(newButton, Qt::LeftButton);
    QTest::mouseClick(deleteButton, Qt::LeftButton); // disabled: nothing
    EXPECT_EQ(clicked, QList<QAction*>({toolbar->AddNew}));
}

TEST_F(MenuBarTest, ToolbarButtonsShowNoTooltips) {
    QMainWindow window;
    auto* toolbar = new Toolbar1;
    window.addToolBar(toolbar);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, kHangMs));
    toolbar->Edit->setEnabled(true); // a changed action hands its button the tooltip again
    for (QAction* item : {toolbar->AddNew, toolbar->Edit, toolbar->Print, toolbar->Save, toolbar->Delete}) {
        QWidget* button = toolbar->widgetForAction(item);
        ASSERT_TRUE(button);
        const QPoint at = button->rect().center();
        QHelpEvent hover(QEvent::ToolTip, at, button->mapToGlobal(at));
        QCoreApplication::sendEvent(button, &hover);
        EXPECT_FALSE(QToolTip::isVisible()) << item->objectName().toStdString();
        EXPECT_TRUE(QToolTip::text().isEmpty()) << QToolTip::text().toStdString();
    }
}

} // namespace
