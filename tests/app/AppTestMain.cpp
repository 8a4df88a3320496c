#include "TestApp.h"

#include <QByteArray>
#include <QtGlobal>
#include <gtest/gtest.h>

namespace {
int gArgc = 1;
char gArg0[] = "kestrine-test";
char* gArgv[] = {gArg0, nullptr};
} // namespace

std::unique_ptr<App> NewTestApp() {
    return std::make_unique<App>(gArgc, gArgv);
}

// The application suites make a fresh App (and XDG sandbox) in every case.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
