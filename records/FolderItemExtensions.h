#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// A folder item is a path; these read and write a file's whole content in one piece.
namespace FolderItemExtensions {

// The file's whole content, bytes unchanged. Raises NilObjectException when it cannot be opened.
QByteArray text(const QString& path);
// Replaces the file's whole content with `bytes`, unchanged, atomically: written beside it and
// renamed over it once complete on disk, so a failure leaves the earlier file as it was and no
// part of the new one. An existing file keeps its permissions; through a symbolic link the file
// it names is replaced. Raises NilObjectException whose what() is the system's own text for the
// failure (such as "No space left on device").
void SetText(const QString& path, const QByteArray& bytes);
// Makes the new file `path` (none may be there) holding `bytes`, complete on disk. On failure
// nothing is left at `path`, and NilObjectException gives the system's text as SetText does.
void CreateNewFile(const QString& path, const QByteArray& bytes);

// The folder item (a QFileInfo in a variant) that an absolute path names, or nil when the path
// is empty, relative, or its parent folder does not exist.
QVariant GetFolderItem(const QString& path);

} // namespace FolderItemExtensions
