#pragma once

#include <QString>
#include <QUrl>
#include <memory>

class QDialog;
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
    // The open dialog; the chosen file's path, or empty when cancelled.
    virtual QString OpenFile(QWidget* parent, const QString& filter);
    // The save dialog; the chosen path (which need not exist), or empty when cancelled.
    virtual QString SaveFile(QWidget* parent, const QString& filter, const QString& defaultName);
    // The page setup dialog on `printer`; true on OK.
    virtual bool PageSetup(QPrinter& printer);
    // The print dialog on `printer`; true when the user chose to print.
    virtual bool PrintDialog(QPrinter& printer);
    // Runs the dialog modally and returns its result code.
    virtual int ShowModal(QDialog& dialog);
    virtual void ShowURL(const QUrl& url);
    virtual void Beep();

    // The one in use; the real dialogs unless a test installed another.
    static Desktop& Current();
    // Installs `desktop` (null puts the real dialogs back); returns the one it replaces.
    static std::unique_ptr<Desktop> Install(std::unique_ptr<Desktop> desktop);
};
