#pragma once

#include <QApplication>
#include <QPointer>
#include <QString>

#include <QMainWindow>
class QAction;
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
    void InitDatabase();
    void AddMenuHandlers();
    void LoadPreferences();
    void SavePreferences();
    void CreateMainWindow();

    bool mQuitRequested = false;
    int mQuitCode = 0;
    bool mClosed = false;
};

// The menu bar's Quit item; raises NilObjectException when there is no menu bar or no such item.
QAction* FileQuit();
