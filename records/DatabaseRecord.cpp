#include "DatabaseRecord.h"

void DatabaseRecord::Set(const QString& name, const QVariant& value) {
    for (auto& column : mColumns) {
        if (column.first.compare(name, Qt::CaseInsensitive) == 0) {
            column.second = value;
            return;
        }
    }
    mColumns.emplace_back(name, value);
}
