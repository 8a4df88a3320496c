#include "Desktop.h"

#include "Prefs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QStandardPaths>

Desktop::~Desktop() = default;

void Desktop::MsgBox(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok);
    // A message may name a file or an address the user wants to copy.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
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
    QFileDialog dialog(parent);
    PrepareFileDialog(dialog, Folder::OpenPicture, filter);
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QString path = dialog.selectedFiles().value(0);
    RememberFolder(Folder::OpenPicture, path);
    return path;
}

QString Desktop::SaveFile(QWidget* parent, const QString& filter, const QString& defaultName) {
    QFileDialog dialog(parent);
    PrepareFileDialog(dialog, Folder::SaveJpg, filter, defaultName);
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QString path = dialog.selectedFiles().value(0);
    RememberFolder(Folder::SaveJpg, path);
    return path;
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
    if (!OpenURL(url)) MsgBox(URLFailedMessage(url));
}

bool Desktop::OpenURL(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

void Desktop::Beep() {
    QApplication::beep();
}

namespace {

QString FolderKey(Desktop::Folder which) {
    return which == Desktop::Folder::OpenPicture ? QStringLiteral("OpenPictureFolder")
                                                 : QStringLiteral("SaveJpgFolder");
}

bool IsFolder(const QString& path) {
    const QFileInfo info(path);
    return !path.isEmpty() && info.isAbsolute() && info.isDir();
}

} // namespace

QString Desktop::StartFolder(Folder which) {
    const QString last = Prefs::GetPref(FolderKey(which), QString()).toString();
    if (IsFolder(last)) return last;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (IsFolder(pictures)) return pictures;
    return QDir::homePath();
}

void Desktop::RememberFolder(Folder which, const QString& chosenPath) {
    if (chosenPath.isEmpty()) return;
    Prefs::SetPref(FolderKey(which), QFileInfo(chosenPath).absolutePath());
}

void Desktop::PrepareFileDialog(QFileDialog& dialog, Folder which, const QString& filter,
                                const QString& defaultName) {
    const bool save = which == Folder::SaveJpg;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The pattern spells out every letter case ("*.[jJ][pP][gG]"), which reads as noise.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(filter);
    const QString folder = StartFolder(which);
    dialog.setDirectory(folder);
    if (save && !defaultName.isEmpty()) dialog.selectFile(QDir(folder).filePath(defaultName));
}

QString Desktop::URLFailedMessage(const QUrl& url) {
    QString page = url.fileName();
    if (page.isEmpty()) page = url.host();
    if (page.isEmpty()) page = url.toString();
    const QString where = url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString();
    return QStringLiteral("The page \"%1\" could not be opened. You can find it at %2.").arg(page, where);
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
