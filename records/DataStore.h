#pragma once

#include "SqlFileDatabase.h"

#include <QString>
#include <functional>
#include <memory>

// What the photo records need of the running application: the data folder, the open
// database and the deletion flag. The application object owns the one instance.
struct DataStore {
    QString AppFolder;                   // the data folder; empty until start-up found it
    std::unique_ptr<SqlFileDatabase> db; // the open database; null until start-up opened it
    bool RecordsWasDeleted = false;
    // Files a new photo found in the way of its name and moved into the Recovered folder, for
    // the caller to tell the user of (and set back to 0).
    int MovedAside = 0;
    // Run before each change to the library: the application makes sure it holds the library's
    // lock file by then.
    std::function<void()> BeforeChange;

    // The path of a file in the data folder; raises NilObjectException when there is no folder.
    QString Child(const QString& name) const;
    // The database; raises NilObjectException when none is open.
    SqlFileDatabase& Database() const;

    static DataStore& Current();
};
