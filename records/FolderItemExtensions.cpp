#include "FolderItemExtensions.h"

#include "NilObjectException.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace FolderItemExtensions {

QByteArray text(const QString& path) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) throw NilObjectException("file cannot be opened");
    QByteArray bytes = file.readAll();
    // Half a file read as the whole would be written back as the whole later.
    if (file.error() != QFileDevice::NoError) throw NilObjectException("file cannot be read");
    return bytes;
}

void SetText(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    // Unbuffered, so a short write (a full disk) shows in write(): a buffered one surfaces only
    // in commit(), which keeps the cut file all the same.
    if (path.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw NilObjectException("file cannot be created");
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        throw NilObjectException("file cannot be written");
    }
    if (!file.commit()) throw NilObjectException("file cannot be written");
}

QVariant GetFolderItem(const QString& path) {
    if (path.isEmpty() || !QDir::isAbsolutePath(path)) return {};
    const QFileInfo item(path);
    if (!item.dir().exists()) return {};
    return QVariant::fromValue(item);
}

} // namespace FolderItemExtensions
