#pragma once

#include <QApplication>
#include <QPointer>
#include <QString>
#include <memory>

#include <QMainWindow>
class QAction;
class RunningCopy;
class SqlFileDatabase;

// The application object: owns the data folder, the photo database and the main window.
class App : public QApplication {
    Q_OBJECT
public:
    App(int& argc, char** argv);
    ~App() override;

    // The running application object; raises NilObjectException when there is none.
    static App& Instance();

    QString AppFolder() const;
    SqlFileDatabase* db() const;
    bool RecordsWasDeleted() const;
    void SetRecordsWasDeleted(bool deleted);
    QPointer<QMainWindow> MainWindow;

    void Event_Open();
    void Event_Activate();
    // Runs once, however often it is called.
    void Event_Close();
    bool Event_UnhandledException();

    bool _HelpAbout_Action();
    bool _HelpHelp_Action();
    bool _EditPreferences_Action();
    bool _HelpWebsite_Action();

    // Asks the application to end with `code`; also works before the event loop runs.
    void Quit(int code = 0);
    bool QuitRequested() const { return mQuitRequested; }
    int QuitCode() const { return mQuitCode; }

    bool notify(QObject* receiver, QEvent* event) override;

private:
    // Makes this the one copy on the data folder, or hands over to the copy that is and asks to
    // quit; false then.
    bool TakeLibrary();
    void BringToFront();
    void InitDatabase();
    void AddMenuHandlers();
    void LoadPreferences();
    void SavePreferences();
    void CreateMainWindow();

    bool mQuitRequested = false;
    int mQuitCode = 0;
    bool mClosed = false;
    bool mHandedOver = false;
    std::unique_ptr<RunningCopy> mCopy;
};

// Tells the user that `count` pictures that belong to no photo are now in the data folder's
// Recovered folder.
void TellMovedAside(int count);

// The menu bar's Quit item; raises NilObjectException when there is no menu bar or no such item.
QAction* FileQuit();
