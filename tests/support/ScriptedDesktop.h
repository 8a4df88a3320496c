#pragma once

#include "Desktop.h"

#include <QStringList>
#include <QUrl>
#include <deque>
#include <functional>

// A Desktop that never shows a real dialog: it records what was asked and answers from a script.
class ScriptedDesktop : public Desktop {
public:
    // What was shown, in order.
    QStringList messages;     // MsgBox texts
    QStringList sheets;       // ConfirmSheet messages
    QList<QUrl> urls;         // addresses handed to the browser
    int beeps = 0;
    QStringList openFilters;  // OpenFile filters
    QStringList saveDefaults; // SaveFile default names
    int pageSetups = 0;
    int printDialogs = 0;

    // Answers, taken from the front; when a queue is empty the dialog counts as cancelled.
    std::deque<bool> sheetAnswers;
    std::deque<QString> openAnswers;
    std::deque<QString> saveAnswers;
    std::deque<bool> pageSetupAnswers;
    std::deque<bool> printAnswers;
    // Whether the browser takes each address; when empty it does.
    std::deque<bool> urlAnswers;
    // Runs while a modal dialog is "open"; returns its result code. Without one the dialog is rejected.
    std::deque<std::function<int(QDialog&)>> modalScripts;
    // Optional: lets a test change the printer as the user would in the dialog.
    std::function<void(QPrinter&)> onPageSetup;
    std::function<void(QPrinter&)> onPrintDialog;

    void MsgBox(const QString& text) override;
    bool ConfirmSheet(QWidget* window, const QString& message, const QString& explanation,
                      const QString& actionCaption, const QString& cancelCaption) override;
    QString OpenFile(QWidget* parent, const QString& filter) override;
    QString SaveFile(QWidget* parent, const QString& filter, const QString& defaultName) override;
    bool PageSetup(QPrinter& printer) override;
    bool PrintDialog(QPrinter& printer) override;
    int ShowModal(QDialog& dialog) override;
    // ShowURL itself is the real one, so its message on failure is what the user would see.
    bool OpenURL(const QUrl& url) override;
    void Beep() override;

    // Installs a fresh one as the current Desktop and returns it (owned by Desktop).
    static ScriptedDesktop& InstallNew();
};
