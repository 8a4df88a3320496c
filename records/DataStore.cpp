#include "DataStore.h"

#include "NilObjectException.h"

#include <QDir>

QString DataStore::Child(const QString& name) const {
    if (AppFolder.isEmpty()) throw NilObjectException("no data folder");
    return QDir(AppFolder).filePath(name);
}

SqlFileDatabase& DataStore::Database() const {
    return Must(db);
}

DataStore& DataStore::Current() {
    static DataStore store;
    return store;
}
