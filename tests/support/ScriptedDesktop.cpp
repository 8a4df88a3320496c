#include "ScriptedDesktop.h"

#include <QDialog>

namespace {
template <class T> T TakeFront(std::deque<T>& queue, T fallback) {
    if (queue.empty()) return fallback;
    T value = std::move(queue.front());
    queue.pop_front();
    return value;
}
} // namespace

void ScriptedDesktop::MsgBox(const QString& text) {
    messages << text;
}

bool ScriptedDesktop::ConfirmSheet(QWidget*, const QString& message, const QString&, const QString&,
                                   const QString&) {
    sheets << message;
    return TakeFront(sheetAnswers, false);
}

QString ScriptedDesktop::OpenFile(QWidget*, const QString& filter) {
    openFilters << filter;
    return TakeFront(openAnswers, QString());
}

QString ScriptedDesktop::SaveFile(QWidget*, const QString&, const QString& defaultName) {
    saveDefaults << defaultName;
    return TakeFront(saveAnswers, QString());
}

bool ScriptedDesktop::PageSetup(QPrinter& printer) {
    ++pageSetups;
    if (onPageSetup) onPageSetup(printer);
    return TakeFront(pageSetupAnswers, false);
}

bool ScriptedDesktop::PrintDialog(QPrinter& printer) {
    ++printDialogs;
    if (onPrintDialog) onPrintDialog(printer);
    return TakeFront(printAnswers, false);
}

int ScriptedDesktop::ShowModal(QDialog& dialog) {
    auto script = TakeFront(modalScripts, std::function<int(QDialog&)>());
    if (!script) {
        dialog.reject();
        return QDialog::Rejected;
    }
    dialog.setModal(true);
    dialog.show();
    const int result = script(dialog);
    dialog.hide();
    return result;
}

bool ScriptedDesktop::OpenURL(const QUrl& url) {
    urls << url;
    return TakeFront(urlAnswers, true);
}

void ScriptedDesktop::Beep() {
    ++beeps;
}

ScriptedDesktop& ScriptedDesktop::InstallNew() {
    auto desktop = std::make_unique<ScriptedDesktop>();
    ScriptedDesktop& ref = *desktop;
    Desktop::Install(std::move(desktop));
    return ref;
}
