#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <utility>
#include <vector>

// A new row for SqlFileDatabase::InsertRecord; columns keep the order they were set in.
class DatabaseRecord {
public:
    void Column(const QString& name, const QString& text) { Set(name, text); }
    void DateColumn(const QString& name, const QDateTime& date) { Set(name, date); }
    void BlobColumn(const QString& name, const QByteArray& bytes) { Set(name, bytes); }
    void IntegerColumn(const QString& name, qint64 value) { Set(name, value); }

    const std::vector<std::pair<QString, QVariant>>& Columns() const { return mColumns; }

private:
    void Set(const QString& name, const QVariant& value);
    std::vector<std::pair<QString, QVariant>> mColumns;
};
