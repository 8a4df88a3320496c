#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// A folder item is a path; these read and write a file's whole content in one piece.
namespace FolderItemExtensions {

// The file's whole content, bytes unchanged. Raises NilObjectException when it cannot be opened.
QByteArray text(const QString& path);
// Replaces the file's whole content with `bytes`, unchanged, atomically: until the new content
// is complete on disk the old file stays as it was. Raises NilObjectException when the file
// cannot be created or written.
void SetText(const QString& path, const QByteArray& bytes);

// The folder item (a QFileInfo in a variant) that an absolute path names, or nil when the path
// is empty, relative, or its parent folder does not exist.
QVariant GetFolderItem(const QString& path);

} // namespace FolderItemExtensions
