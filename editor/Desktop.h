#pragma once

#include <QString>
#include <QUrl>
#include <memory>

class QDialog;
class QFileDialog;
class QPrinter;
class QWidget;

// Every dialog, browser hand-off and beep goes through here, so tests can answer them.
// The base class shows the real Qt dialogs.
class Desktop {
public:
    virtual ~Desktop();

    // A modal message with an OK button.
    virtual void MsgBox(const QString& text);
    // A confirmation sheet on `window`; true when the user chose the action button.
    virtual bool ConfirmSheet(QWidget* window, const QString& message, const QString& explanation,
                              const QString& actionCaption, const QString& cancelCaption);
    // The open dialog, starting in StartFolder(Folder::OpenPicture); the chosen file's path, or
    // empty when cancelled.
    virtual QString OpenFile(QWidget* parent, const QString& filter);
    // The save dialog, proposing `defaultName` in StartFolder(Folder::SaveJpg); the chosen path
    // (which need not exist), or empty when cancelled.
    virtual QString SaveFile(QWidget* parent, const QString& filter, const QString& defaultName);
    // The page setup dialog on `printer`; true on OK.
    virtual bool PageSetup(QPrinter& printer);
    // The print dialog on `printer`; true when the user chose to print.
    virtual bool PrintDialog(QPrinter& printer);
    // Runs the dialog modally and returns its result code.
    virtual int ShowModal(QDialog& dialog);
    // Hands `url` to the browser (OpenURL); when nothing takes it, tells the user where the page
    // is (URLFailedMessage), since otherwise the click would seem to do nothing.
    virtual void ShowURL(const QUrl& url);
    // The bare hand-off to the desktop's browser or launcher; false when none took the address.
    virtual bool OpenURL(const QUrl& url);
    virtual void Beep();

    // The folders the file dialogs start in, each remembered in the preferences on its own.
    enum class Folder { OpenPicture, SaveJpg };
    // The folder last chosen in that dialog while it still exists, else the user's pictures
    // folder, else the home folder: never the process's working directory.
    static QString StartFolder(Folder which);
    // Keeps the folder of `chosenPath` for the next dialog of that kind; an empty path keeps none.
    static void RememberFolder(Folder which, const QString& chosenPath);
    // Sets `dialog` up as the open dialog (OpenPicture) or the save dialog (SaveJpg, proposing
    // `defaultName`), starting in StartFolder(which); the filter shows its name, not its pattern.
    static void PrepareFileDialog(QFileDialog& dialog, Folder which, const QString& filter,
                                  const QString& defaultName = QString());
    // What ShowURL tells the user when `url` could not be opened: the page and where it is.
    static QString URLFailedMessage(const QUrl& url);

    // The one in use; the real dialogs unless a test installed another.
    static Desktop& Current();
    // Installs `desktop` (null puts the real dialogs back); returns the one it replaces.
    static std::unique_ptr<Desktop> Install(std::unique_ptr<Desktop> desktop);
};
