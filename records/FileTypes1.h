#pragma once

#include <QString>

// A document type: its name, its extensions (".jpg, .bmp") and the old Mac type and creator codes.
struct FileType {
    QString Name;
    QString Extensions;
    QString MacType;
    QString MacCreator;

    // The type as a file-dialog name filter, e.g. "JPEG (*.[jJ][pP][gG])": every extension matches
    // in any letter case, since cameras write "IMG_0001.JPG" and Linux file names are case-sensitive.
    QString Filter() const;
};

// The application's file types.
namespace FileTypes1 {

// Builds the five file types; start-up calls it once, later calls change nothing.
void Initialize();

// The JPEG type (".jpg, .jpeg, .jpe"), the filter of the editor's open dialog and of the sheet's
// save dialog. Builds the types when start-up has not.
const FileType& JPEG();

} // namespace FileTypes1
