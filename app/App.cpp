#include "App.h"

#include "AboutWindow.h"
#include "DataStore.h"
#include "Desktop.h"
#include "Guard.h"
#include "MenuBar1.h"
#include "MenuDispatcher.h"
#include "NilObjectException.h"
#include "Prefs.h"
#include "Site.h"
#include "winMain.h"
#include "SqlFileDatabase.h"
#include "winPrefs.h"

#include <QDir>
#include <QMainWindow>
#include <QStandardPaths>

namespace {
App* gInstance = nullptr;
}

App::App(int& argc, char** argv) : QApplication(argc, argv) {
    gInstance = this;
    setApplicationName(QStringLiteral("Kestrine"));
    setOrganizationName(QStringLiteral("Kestrine"));
    setApplicationVersion(QStringLiteral(KESTRINE_VERSION));
    // The main window's close handler decides when the application ends.
    setQuitOnLastWindowClosed(false);
    connect(this, &QCoreApplication::aboutToQuit, this, [this] { Guard([this] { Event_Close(); }); });
    MenuBar1();
    AddMenuHandlers();
}

App::~App() {
    if (gInstance == this) gInstance = nullptr;
    // Releases the data folder, the database and the main window, as the process would.
    delete MainWindow.data();
    DataStore& store = DataStore::Current();
    store.db.reset();
    store.AppFolder.clear();
    store.RecordsWasDeleted = false;
}

QAction* FileQuit() {
    QMenuBar* bar = MenuDispatcher::Instance().MenuBar();
    Must(bar);
    QAction* item = MenuDispatcher::Instance().Item(QStringLiteral("FileQuit"));
    return &Must(item);
}

App& App::Instance() {
    if (!gInstance) throw NilObjectException("no application");
    return *gInstance;
}

QString App::AppFolder() const {
    return DataStore::Current().AppFolder;
}

SqlFileDatabase* App::db() const {
    return DataStore::Current().db.get();
}

bool App::RecordsWasDeleted() const {
    return DataStore::Current().RecordsWasDeleted;
}

void App::SetRecordsWasDeleted(bool deleted) {
    DataStore::Current().RecordsWasDeleted = deleted;
}

void App::AddMenuHandlers() {
    MenuDispatcher& menus = MenuDispatcher::Instance();
    menus.AddAppHandler(QStringLiteral("HelpAbout"), [this] { return _HelpAbout_Action(); });
    menus.AddAppHandler(QStringLiteral("HelpHelp"), [this] { return _HelpHelp_Action(); });
    menus.AddAppHandler(QStringLiteral("EditPreferences"), [this] { return _EditPreferences_Action(); });
    menus.AddAppHandler(QStringLiteral("HelpWebsite"), [this] { return _HelpWebsite_Action(); });
}

void App::Event_Open() {
    // A failure at any step ends the opening there, as an unhandled exception would.
    Guard([this] {
        LoadPreferences();
        InitDatabase();
        CreateMainWindow();
    });
}

void App::Event_Activate() {
    if (MainWindow) MainWindow->show();
}

void App::Event_Close() {
    if (mClosed) return;
    mClosed = true;
    SavePreferences();
    if (RecordsWasDeleted() && db()) db()->SQLExecute(QStringLiteral("Vacuum"));
}

bool App::Event_UnhandledException() {
    return true;
}

bool App::_HelpAbout_Action() {
    AboutWindow::Instance()->Show();
    return false;
}

bool App::_HelpHelp_Action() {
    Desktop::Current().ShowURL(Site::PageURL(QStringLiteral("help.html")));
    return true;
}

bool App::_EditPreferences_Action() {
    winPrefs::Instance()->Show();
    return true;
}

bool App::_HelpWebsite_Action() {
    Desktop::Current().ShowURL(Site::PageURL(QStringLiteral("purchase.html")));
    return true;
}

void App::Quit(int code) {
    mQuitRequested = true;
    mQuitCode = code;
    QCoreApplication::exit(code);
}

bool App::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        return Event_UnhandledException();
    }
}

void App::InitDatabase() {
    DataStore& store = DataStore::Current();
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty()) throw NilObjectException("no application-data folder");
    store.AppFolder = QDir(base).filePath(QStringLiteral("Kestrine"));
    QDir().mkpath(store.AppFolder);

    store.db = std::make_unique<SqlFileDatabase>();
    SqlFileDatabase& db = *store.db;
    db.DatabaseFile = QDir(store.AppFolder).filePath(QStringLiteral("DataFile"));
    const QString path = QDir::toNativeSeparators(QFileInfo(db.DatabaseFile).absoluteFilePath());

    if (QFileInfo::exists(db.DatabaseFile)) {
        if (db.Connect()) return;
        Desktop::Current().MsgBox(QStringLiteral("Data file at ") + path +
                                  QStringLiteral(" appears corrupt.  Try deleting file and restarting app."));
        Quit(0);
        return;
    }
    if (db.CreateDatabaseFile()) {
        db.SQLExecute(QStringLiteral("create table passportdata (rowid integer primary key, name varchar, "
                                     "creationdate timestamp, passportpicture binary, previewpicture binary, "
                                     "passportformat varchar, restoreinfo varchar)"));
        db.SQLExecute(QStringLiteral("CREATE TABLE preferences ( prefname VARCHAR, prefvalue VARCHAR )"));
        return;
    }
    Desktop::Current().MsgBox(
        QStringLiteral("Unable to create data file at ") + path +
        QStringLiteral(" Please check that the file isn't locked and permissions are correct and restart app."));
    Quit(0);
}

void App::LoadPreferences() {
    Prefs::LoadPrefs(QStringLiteral("Kestrine"));
}

void App::SavePreferences() {
    Prefs::SavePrefs();
}

void App::CreateMainWindow() {
    delete MainWindow.data();
    MainWindow = new winMain;
    MainWindow->show();
}
