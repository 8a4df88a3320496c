#include "App.h"

#include "FileTypes1.h"
#include "Guard.h"

int main(int argc, char** argv) {
    FileTypes1::Initialize();
    App app(argc, argv);
    app.Event_Open();
    // On Linux an application without a window cannot be reached; end it instead of idling.
    if (!app.QuitRequested() && !app.MainWindow) app.Quit(0);
    int code = app.QuitRequested() ? app.QuitCode() : app.exec();
    Guard([&app] { app.Event_Close(); });
    return code;
}
