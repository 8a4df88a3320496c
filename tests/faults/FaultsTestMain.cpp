#include <QByteArray>
#include <QtGlobal>
#include <gtest/gtest.h>

// Each case makes its own App (and XDG sandbox) when it needs one; the harnesses run offscreen too.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
