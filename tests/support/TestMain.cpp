#include "XdgSandbox.h"

#include <QApplication>
#include <gtest/gtest.h>

// Each suite runs offscreen inside its own XDG sandbox, with one QApplication for all its cases.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    XdgSandbox sandbox;
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
