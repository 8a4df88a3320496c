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
// part of the new one; the folder is synced after the rename. An existing file keeps its
// permissions. Through symbolic links, however many in a row, the file at the end of the chain is
// written (made when missing) and the links stay. Raises NilObjectException whose what() is the
// system's own text for the failure (such as "No space left on device", or "Too many levels of
// symbolic links" for a chain that loops).
void SetText(const QString& path, const QByteArray& bytes);
// Makes the new file `path` (none may be there) holding `bytes`, complete on disk. On failure
// nothing is left at `path`, and NilObjectException gives the system's text as SetText does.
void CreateNewFile(const QString& path, const QByteArray& bytes);
// The system's own words for the error `code` (an errno), such as "No space left on device".
QString SystemText(int code);
// Writes all of `bytes` at `fd`'s position; 0, or the errno of the failure (ENOSPC for a write
// that takes nothing without saying why).
int WriteAll(int fd, const QByteArray& bytes);
// Makes the folder's entries durable (after a rename or removal in it); false when the system
// refused, with errno set.
bool SyncFolder(const QString& folder);
// Removes what SetText left of `path` when a crash cut it short (its "<name>.<random>.tmp"
// files, beside the file its links end at, where SetText writes them), leaving any made in the
// last minute: another process may be writing it right now.
void RemoveLeftovers(const QString& path);

// The folder item (a QFileInfo in a variant) that an absolute path names, or nil when the path
// is empty, relative, or its parent folder does not exist.
QVariant GetFolderItem(const QString& path);

} // namespace FolderItemExtensions
