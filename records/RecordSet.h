#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

class SqlFileDatabase;
class RecordSet;

// One field of the current row of a RecordSet. Reading past the end raises NilObjectException.
class DatabaseField {
public:
    QString StringValue() const;
    QByteArray BlobValue() const; // raw bytes (text or picture data alike)
    qint64 IntegerValue() const;
    QDateTime DateValue() const;
    bool IsNull() const;

    void SetStringValue(const QString& text);
    void SetBlobValue(const QByteArray& bytes);
    void SetDateValue(const QDateTime& date);

private:
    friend class RecordSet;
    DatabaseField(RecordSet* set, int column) : mSet(set), mColumn(column) {}
    const QVariant& Value() const;
    void Set(const QVariant& value);
    RecordSet* mSet;
    int mColumn;
};

// The rows of one select, read at once. Edit/Update writes the current row back when the
// select named one table.
class RecordSet {
public:
    bool Eof() const { return mRow >= static_cast<int>(mRows.size()); }
    void MoveNext() { ++mRow; }
    int RecordCount() const { return static_cast<int>(mRows.size()); }

    // Raises NilObjectException for an unknown column or when no row is current.
    DatabaseField Field(const QString& name);
    DatabaseField IdxField(int column); // 1-based, as the runtime counts
    int FieldCount() const { return mColumns.size(); }

    void Edit();
    bool Update();

private:
    friend class SqlFileDatabase;
    friend class DatabaseField;
    explicit RecordSet(SqlFileDatabase* db) : mDb(db) {}

    SqlFileDatabase* mDb;
    QStringList mColumns;
    std::vector<std::vector<QVariant>> mRows;
    std::vector<qint64> mRowIds; // filled when the select named one table
    QString mTable;
    int mRow = 0;
    bool mEditing = false;
    std::vector<bool> mChanged;
};
