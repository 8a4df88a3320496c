#include "App.h"

#include "AboutWindow.h"
#include "DataStore.h"
#include "Desktop.h"
#include "FolderItemExtensions.h"
#include "Guard.h"
#include "MenuBar1.h"
#include "MenuDispatcher.h"
#include "NilObjectException.h"
#include "PhotoFiles.h"
#include "Prefs.h"
#include "RecordSet.h"
#include "RunningCopy.h"
#include "Site.h"
#include "winMain.h"
#include "SqlFileDatabase.h"
#include "winPrefs.h"

#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QStandardPaths>

namespace {
App* gInstance = nullptr;

QString MovedAsideText(int count) {
    if (count <= 0) return {};
    const QString where = QDir::toNativeSeparators(PhotoFiles::RecoveredFolder(DataStore::Current().AppFolder));
    return count == 1 ? QStringLiteral("Kestrine found a picture in its data folder that belongs to no photo in its "
                                       "list. It is kept in \"%1\".")
                            .arg(where)
                      : QStringLiteral("Kestrine found %1 pictures in its data folder that belong to no photo in its "
                                       "list. They are kept in \"%2\".")
                            .arg(count)
                            .arg(where);
}

// Settles what an interrupted save or delete left in the data folder; pictures that belong to no
// photo of the library are kept aside, and the user is told where. Those that cannot be moved are
// told of once, by the start that made the new library; they stay, and nothing deletes them.
// Whether any stayed.
bool RecoverPhotoFiles(SqlFileDatabase& db, const QString& folder, bool newLibrary) {
    const PhotoFiles::Recovery recovery = PhotoFiles::Recover(db, folder, newLibrary);
    if (!newLibrary || recovery.stayed.isEmpty()) {
        TellMovedAside(recovery.movedAside);
        return false;
    }
    QStringList names;
    for (const QString& name : recovery.stayed) names << QLatin1Char('"') + name + QLatin1Char('"');
    const QString into = QDir::toNativeSeparators(PhotoFiles::RecoveredFolder(folder));
    const QString stayed =
        recovery.stayed.size() == 1
            ? QStringLiteral("Kestrine could not move the picture %1, which belongs to no photo in its list, into "
                             "\"%2\" (%3). It stays in \"%4\", and Kestrine will not remove it.")
                  .arg(names.first(), into, recovery.reason, QDir::toNativeSeparators(folder))
            : QStringLiteral("Kestrine could not move %1 pictures that belong to no photo in its list into \"%2\" "
                             "(%3): %4. They stay in \"%5\", and Kestrine will not remove them.")
                  .arg(QString::number(recovery.stayed.size()), into, recovery.reason, names.join(QStringLiteral(", ")),
                       QDir::toNativeSeparators(folder));
    const QString moved = MovedAsideText(recovery.movedAside);
    Desktop::Current().MsgBox(moved.isEmpty() ? stayed : moved + QLatin1Char(' ') + stayed);
    return true;
}

QString DataFolder() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty()) throw NilObjectException("no application-data folder");
    return QDir(base).filePath(QStringLiteral("Kestrine"));
}
} // namespace

void TellMovedAside(int count) {
    if (count > 0) Desktop::Current().MsgBox(MovedAsideText(count));
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
    store.BeforeChange = nullptr;
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
        if (!TakeLibrary()) return;
        LoadPreferences();
        InitDatabase();
        CreateMainWindow();
    });
}

void App::Event_Activate() {
    if (MainWindow) MainWindow->show();
}

void App::Event_Close() {
    // A start that handed over to the running copy leaves everything as that copy has it.
    if (mClosed || mHandedOver) return;
    mClosed = true;
    // The library stays this copy's until the process ends: a start meanwhile gets no answer,
    // and takes the library once the connection closes with this process.
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
    store.AppFolder = DataFolder();
    QDir().mkpath(store.AppFolder);

    store.db = std::make_unique<SqlFileDatabase>();
    SqlFileDatabase& db = *store.db;
    db.DatabaseFile = QDir(store.AppFolder).filePath(QStringLiteral("DataFile"));
    const QString path = QDir::toNativeSeparators(QFileInfo(db.DatabaseFile).absoluteFilePath());

    // Both tables or none: a first start cut short leaves a file without any table, never one
    // with half the schema.
    auto createSchema = [&db](bool keepLeftovers) {
        db.SQLExecute(QStringLiteral("BEGIN"));
        if (keepLeftovers) PhotoFiles::KeepLeftovers(db);
        db.SQLExecute(QStringLiteral("create table passportdata (rowid integer primary key, name varchar, "
                                     "creationdate timestamp, passportpicture binary, previewpicture binary, "
                                     "passportformat varchar, restoreinfo varchar)"));
        db.SQLExecute(QStringLiteral("CREATE TABLE preferences ( prefname VARCHAR, prefvalue VARCHAR )"));
        if (!db.SQLExecute(QStringLiteral("COMMIT"))) db.SQLExecute(QStringLiteral("ROLLBACK"));
    };

    if (QFileInfo::exists(db.DatabaseFile)) {
        if (db.Connect()) {
            // A file that holds nothing at all (no table, no data) is one whose first start was
            // cut short: it gets its tables. Anything else is used as it is.
            auto objects = db.SQLSelect(QStringLiteral("select count(*) as n from sqlite_master"));
            const bool empty =
                objects && !objects->Eof() && objects->Field(QStringLiteral("n")).IntegerValue() == 0;
            // Pictures first: a start cut short in between finds the library still new.
            const bool stayed = RecoverPhotoFiles(db, store.AppFolder, empty);
            if (empty) createSchema(stayed);
            return;
        }
        // Only a file that is damaged or no database is called corrupt: telling the user to
        // delete one that is merely locked or unreadable would lose every photo in it.
        if (db.Busy())
            Desktop::Current().MsgBox(QStringLiteral("Data file at ") + path +
                                      QStringLiteral(" is in use by another copy of Kestrine.  Quit the other copy "
                                                     "and restart app."));
        else if (db.Damaged())
            Desktop::Current().MsgBox(QStringLiteral("Data file at ") + path +
                                      QStringLiteral(" appears corrupt.  Try deleting file and restarting app."));
        else
            Desktop::Current().MsgBox(QStringLiteral("Data file at ") + path + QStringLiteral(" cannot be opened: ") +
                                      db.FailureReason() +
                                      QStringLiteral(".  Check that you may read and write it, and restart app."));
        Quit(0);
        return;
    }
    if (db.CreateDatabaseFile()) {
        createSchema(RecoverPhotoFiles(db, store.AppFolder, true));
        return;
    }
    Desktop::Current().MsgBox(
        QStringLiteral("Unable to create data file at ") + path +
        QStringLiteral(" Please check that the file isn't locked and permissions are correct and restart app."));
    Quit(0);
}

bool App::TakeLibrary() {
    if (mCopy) return true;
    QString folder;
    try {
        folder = DataFolder();
    } catch (const NilObjectException&) {
        return true; // the database's set-up meets the same failure
    }
    QDir().mkpath(folder);
    auto copy = std::make_unique<RunningCopy>(folder, [this] { BringToFront(); });
    switch (copy->Take()) {
    case RunningCopy::Claim::Own:
        mCopy = std::move(copy);
        DataStore::Current().BeforeChange = [copy = mCopy.get()] { copy->KeepLockFile(); };
        return true;
    case RunningCopy::Claim::HandedOver:
        break;
    case RunningCopy::Claim::Refused:
        Desktop::Current().MsgBox(copy->Why());
        break;
    }
    mHandedOver = true;
    Quit(0);
    return false;
}

void App::BringToFront() {
    if (MainWindow) {
        MainWindow->show();
        MainWindow->setWindowState((MainWindow->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        MainWindow->raise();
        MainWindow->activateWindow();
    }
    // An open editor or message keeps the front.
    if (QWidget* modal = activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
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
    // A crash while the preferences were written leaves the new text beside the file.
    if (const QString file = Prefs::PrefFile(); !file.isEmpty()) FolderItemExtensions::RemoveLeftovers(file);
}

void App::SavePreferences() {
    try {
        Prefs::SavePrefs();
    } catch (const std::exception& e) {
        // The previous file is still whole; the user should know this run's changes are not in it,
        // and why, in the system's words.
        Desktop::Current().MsgBox(QStringLiteral("Your preferences could not be saved to \"") +
                                  QDir::toNativeSeparators(Prefs::PrefFile()) + QStringLiteral("\": ") +
                                  QString::fromUtf8(e.what()) + QLatin1Char('.'));
        throw;
    }
}

void App::CreateMainWindow() {
    delete MainWindow.data();
    MainWindow = new winMain;
    MainWindow->show();
}
