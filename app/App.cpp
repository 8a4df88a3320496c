#include "App.h"

#include "AboutWindow.h"
#include "DataStore.h"
#include "Desktop.h"
#include "Guard.h"
#include "MenuBar1.h"
#include "MenuDispatcher.h"
#include "NilObjectException.h"
#include "Prefs.h"
#include "RecordSet.h"
#include "Site.h"
#include "winMain.h"
#include "SqlFileDatabase.h"
#include "winPrefs.h"

#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {
App* gInstance = nullptr;

// Photo files are written beside themselves under "<row id>.XXXXXX" (QSaveFile's temporary
// names, and the copy a save keeps of the previous file) and renamed into place; one that a crash
// left behind is garbage. Holding the write lock means no other copy of the application is in the
// middle of a save; when another one holds it too long the sweep waits for the next start.
void SweepTemporaryFiles(SqlFileDatabase& db, const QString& folder) {
    if (!db.SQLExecute(QStringLiteral("BEGIN IMMEDIATE"))) return;
    static const QRegularExpression temporary(QStringLiteral("^[0-9]+\\.[A-Za-z0-9]{6}$"));
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (temporary.match(name).hasMatch()) QFile::remove(dir.filePath(name));
    db.SQLExecute(QStringLiteral("ROLLBACK"));
}
}

App::App(int& argc, char** argv) : QApplication(argc, argv) {
    gInstance = this;
    setApplicationName(QStringLiteral("Kestrine"));
    setOrganizationName(QStringLiteral("Kestrine"));
    setApplicationVersion(QStringLiteral(KESTRINE_VERSION));
    // The main window's close handler decides when the application ends.
    setQuitOnLastWindowClosed(false);
    connect(this, &QCoreApplication::aboutToQuit, this, [this] { Guard([this] { Event_Close(); }); });
    connect(this, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) Guard([this] { Event_Activate(); });
    });
    MenuBar1();
    AddMenuHandlers();
}

App::~App() {
    if (gInstance == this) gInstance = nullptr;
    // Releases the data folder, the database and the main window, as the process would.
    delete MainWindow.data();
    // Windows still open (preferences, about box) go with the application, as they would with
    // the process; the single-window accessors then make fresh ones for a later application.
    QList<QPointer<QWidget>> windows;
    for (QWidget* w : topLevelWidgets())
        if (!w->parentWidget()) windows << w;
    for (const QPointer<QWidget>& w : windows) delete w.data();
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

    // Both tables or none: a first start cut short leaves a file without any table, never one
    // with half the schema.
    auto createSchema = [&db] {
        db.SQLExecute(QStringLiteral("BEGIN"));
        db.SQLExecute(QStringLiteral("create table passportdata (rowid integer primary key, name varchar, "
                                     "creationdate timestamp, passportpicture binary, previewpicture binary, "
                                     "passportformat varchar, restoreinfo varchar)"));
        db.SQLExecute(QStringLiteral("CREATE TABLE preferences ( prefname VARCHAR, prefvalue VARCHAR )"));
        if (!db.SQLExecute(QStringLiteral("COMMIT"))) db.SQLExecute(QStringLiteral("ROLLBACK"));
    };

    if (QFileInfo::exists(db.DatabaseFile)) {
        if (db.Connect()) {
            SweepTemporaryFiles(db, store.AppFolder);
            // A file that holds nothing at all (no table, no data) is one whose first start was
            // cut short: it gets its tables. Anything else is used as it is.
            auto objects = db.SQLSelect(QStringLiteral("select count(*) as n from sqlite_master"));
            if (objects && !objects->Eof() && objects->Field(QStringLiteral("n")).IntegerValue() == 0) createSchema();
            return;
        }
        // A file another copy keeps locked is not damaged: telling the user to delete it would
        // lose every photo in it.
        if (db.Busy())
            Desktop::Current().MsgBox(QStringLiteral("Data file at ") + path +
                                      QStringLiteral(" is in use by another copy of Kestrine.  Quit the other copy "
                                                     "and restart app."));
        else
            Desktop::Current().MsgBox(QStringLiteral("Data file at ") + path +
                                      QStringLiteral(" appears corrupt.  Try deleting file and restarting app."));
        Quit(0);
        return;
    }
    if (db.CreateDatabaseFile()) {
        createSchema();
        return;
    }
    Desktop::Current().MsgBox(
        QStringLiteral("Unable to create data file at ") + path +
        QStringLiteral(" Please check that the file isn't locked and permissions are correct and restart app."));
    Quit(0);
}

void App::LoadPreferences() {
    try {
        Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    } catch (const std::exception& e) {
        // Starting with the defaults beats not starting at all (without a window nothing could
        // be done); the unreadable file is kept aside before the next save replaces it.
        Desktop::Current().MsgBox(
            QStringLiteral("The preferences could not be read (%1). Kestrine starts with its default settings.")
                .arg(QString::fromUtf8(e.what())));
    }
}

void App::SavePreferences() {
    try {
        Prefs::SavePrefs();
    } catch (const std::exception&) {
        // The previous file is still whole; the user should know this run's changes are not in it.
        Desktop::Current().MsgBox(QStringLiteral("Your preferences could not be saved to \"") +
                                  QDir::toNativeSeparators(Prefs::PrefFile()) +
                                  QStringLiteral("\". Check that the disk has space and the file can be "
                                                 "written."));
        throw;
    }
}

void App::CreateMainWindow() {
    delete MainWindow.data();
    MainWindow = new winMain;
    MainWindow->show();
}
