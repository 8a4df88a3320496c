#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

class SqlFileDatabase;

// The source-picture files in the data folder, and how a save changes them so that a crash at
// any instant leaves every row with the picture that was saved with it.
//
// A save writes the new picture as "<row id>.<tag>", stores the tag in the row (at the end of its
// restore info) and commits; only then is the file renamed to "<row id>". So the row on disk
// always says which file is its own: after a crash, a "<row id>.<tag>" whose tag the committed row
// carries is renamed into place, any other is dropped. A delete first renames "<row id>" to
// "<row id>.deleted", which goes back when the delete did not commit.
namespace PhotoFiles {

// Where pictures that belong to no photo of the library in `folder` are kept.
QString RecoveredFolder(const QString& folder);

// A fresh tag of six letters and digits.
QString NewTag();
QString PendingName(int rowID, const QString& tag);
QString DeletedName(int rowID);

// The restore info as stored in the row: `restoreInfo` with `tag` after it, in a form that the
// restore-info reader never reaches (past the last entry, or inside a header without a body).
QString Tagged(const QString& restoreInfo, const QString& tag);
// The restore info without its tag, exactly as it was given to Tagged.
QString Untagged(const QString& stored);
// The tag a stored restore info carries, or empty.
QString TagOf(const QString& stored);

// The file holding row `rowID`'s picture: the pending file the committed row's tag names while it
// is there (a save whose rename into place was refused, or not yet made), else "<row id>".
QString OwnFile(SqlFileDatabase& db, const QString& folder, int rowID);

// Renames `from` over `to` and makes the change durable; false with errno set when refused.
bool Replace(const QString& from, const QString& to);
// Moves `name` of the data folder into its "Recovered" folder, under a name not yet taken there.
// Its new path, or empty with errno set when it could not be moved.
QString MoveAside(const QString& folder, const QString& name);

// The numbers a new photo must not take although no row has them: those of pictures lying in the
// Recovered folder (an earlier library put back would take them for its rows' own) and of pending
// or set-aside files in the data folder.
QSet<int> NumbersInUse(const QString& folder);

// What a start's sweep did with the pictures that belong to no photo of the library.
struct Recovery {
    int movedAside = 0;  // into the Recovered folder
    QStringList stayed;  // could not be moved there, and stay where they are
    QString reason;      // the system's words for the first that could not be moved
};

// Settles what an interrupted save or delete left in the data folder, as its committed rows say:
// a pending file the row carries the tag of goes into place, other pending files go, a deleted
// file whose row is still there comes back, and a picture file that no row owns is moved into
// the Recovered folder. In a library made at this start (`newLibrary`) nothing is deleted: every
// pending, deleted and picture file goes into the Recovered folder. A new library that could not
// move them all is marked (KeepLeftovers), and until a later start has moved every one, its
// sweeps delete nothing either. Runs under the database's write lock; does nothing when another
// process holds it (that one is saving, the next start settles it).
Recovery Recover(SqlFileDatabase& db, const QString& folder, bool newLibrary);
// Marks the library, inside the caller's transaction, as one whose folder still holds pictures of
// an earlier library.
bool KeepLeftovers(SqlFileDatabase& db);

// After a save's commit, or its refusal: true when the row on disk carries `tag`, that is, when
// the save is stored. The pending file of row `rowID` goes into place only under the write lock
// and while the row still carries its tag, so no later save of the row can be undone by it; a
// pending file the row disowns is removed. Without the lock nothing moves: the next start settles.
bool Settle(SqlFileDatabase& db, const QString& folder, int rowID, const QString& tag);

} // namespace PhotoFiles
