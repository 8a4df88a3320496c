#include "MenuDispatcher.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

struct MenuDispatcherTest : ::testing::Test {
    QMenuBar bar;
    QWidget front, other;
    MenuDispatcher& menus = MenuDispatcher::Instance();
    void SetUp() override {
        QMenu* file = bar.addMenu(QStringLiteral("&File"));
        auto* a = file->addAction(QStringLiteral("&New"));
        a->setObjectName(QStringLiteral("FileNew"));
        menus.Attach(a, false);
        auto* b = file->addAction(QStringLiteral("&Quit"));
        b->setObjectName(QStringLiteral("FileQuit"));
        menus.Attach(b, true);
        menus.SetMenuBar(&bar);
        menus.SetFrontWindowForTesting(&front);
    }
    void TearDown() override {
        menus.RemoveWindow(&front);
        menus.RemoveWindow(&other);
        menus.SetFrontWindowForTesting(nullptr);
        menus.SetMenuBar(nullptr);
    }
};

TEST_F(MenuDispatcherTest, FrontWindowHandlerComesBeforeTheApplicationsAndFalseFallsThrough) {
    QStringList calls;
    menus.AddAppHandler(QStringLiteral("FileNew"), [&] { calls << "app"; return true; });
    menus.AddWindowHandler(&other, QStringLiteral("FileNew"), [&] { calls << "other"; return true; });
    menus.AddWindowHandler(&front, QStringLiteral("filenew"), [&] { calls << "front"; return false; });
    EXPECT_TRUE(menus.Dispatch(QStringLiteral("FileNew")));
    EXPECT_EQ(calls, QStringList({"front", "app"}));
    EXPECT_FALSE(menus.Dispatch(QStringLiteral("NoSuchItem")));
    menus.AddAppHandler(QStringLiteral("FileNew"), {});
}

TEST_F(MenuDispatcherTest, AThrowingHandlerIsSwallowedAndCountsAsHandled) {
    menus.AddWindowHandler(&front, QStringLiteral("FileNew"), []() -> bool { throw std::runtime_error("boom"); });
    EXPECT_TRUE(menus.Dispatch(QStringLiteral("FileNew")));
}

TEST_F(MenuDispatcherTest, EnablingStartsFromAutoEnableThenAsksTheFrontWindow) {
    QAction* fileNew = menus.Item(QStringLiteral("FileNew"));
    QAction* quit = menus.Item(QStringLiteral("filequit"));
    ASSERT_TRUE(fileNew && quit);
    menus.EnableMenuItems();
    EXPECT_FALSE(fileNew->isEnabled());
    EXPECT_TRUE(quit->isEnabled());

    menus.SetWindowEnabler(&front, [&] { fileNew->setEnabled(true); quit->setEnabled(false); });
    menus.EnableMenuItems();
    EXPECT_TRUE(fileNew->isEnabled());
    EXPECT_FALSE(quit->isEnabled());

    int ran = 0;
    menus.AddWindowHandler(&front, QStringLiteral("FileQuit"), [&] { ++ran; return true; });
    quit->trigger(); // disabled by the front window: the command does not run
    fileNew->trigger();
    EXPECT_EQ(ran, 0);
}

} // namespace
