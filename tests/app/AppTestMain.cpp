#include <gtest/gtest.h>
#include <QByteArray>
#include <QtGlobal>

// The application suites make a fresh App (and XDG sandbox) in every case.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
