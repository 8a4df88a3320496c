#include "Desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

Desktop::~Desktop() = default;

void Desktop::MsgBox(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok);
    box.exec();
}

bool Desktop::ConfirmSheet(QWidget* window, const QString& message, const QString& explanation,
                           const QString& actionCaption, const QString& cancelCaption) {
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(), message, QMessageBox::NoButton,
                    window);
    box.setInformativeText(explanation);
    box.setWindowModality(Qt::WindowModal);
    QPushButton* action = box.addButton(actionCaption, QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(cancelCaption, QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == action;
}

QString Desktop::OpenFile(QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

QString Desktop::SaveFile(QWidget* parent, const QString& filter, const QString& defaultName) {
    return QFileDialog::getSaveFileName(parent, QString(), defaultName, filter);
}

bool Desktop::PageSetup(QPrinter& printer) {
    QPageSetupDialog dialog(&printer);
    return dialog.exec() == QDialog::Accepted;
}

bool Desktop::PrintDialog(QPrinter& printer) {
    QPrintDialog dialog(&printer);
    return dialog.exec() == QDialog::Accepted;
}

int Desktop::ShowModal(QDialog& dialog) {
    return dialog.exec();
}

void Desktop::ShowURL(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

void Desktop::Beep() {
    QApplication::beep();
}

namespace {
std::unique_ptr<Desktop>& Slot() {
    static std::unique_ptr<Desktop> current;
    return current;
}
} // namespace

Desktop& Desktop::Current() {
    auto& slot = Slot();
    if (!slot) slot = std::make_unique<Desktop>();
    return *slot;
}

std::unique_ptr<Desktop> Desktop::Install(std::unique_ptr<Desktop> desktop) {
    auto& slot = Slot();
    std::unique_ptr<Desktop> old = std::move(slot);
    slot = std::move(desktop);
    return old;
}
