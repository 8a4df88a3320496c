#include "RecordSet.h"

#include "NilObjectException.h"
#include "SqlFileDatabase.h"

const QVariant& DatabaseField::Value() const {
    if (mSet->Eof()) throw NilObjectException("no current row");
    return mSet->mRows[static_cast<size_t>(mSet->mRow)][static_cast<size_t>(mColumn)];
}

QString DatabaseField::StringValue() const {
    const QVariant& v = Value();
    if (v.typeId() == QMetaType::QByteArray) return QString::fromUtf8(v.toByteArray());
    return v.toString();
}

QByteArray DatabaseField::BlobValue() const {
    const QVariant& v = Value();
    if (v.typeId() == QMetaType::QByteArray) return v.toByteArray();
    return v.toString().toUtf8();
}

qint64 DatabaseField::IntegerValue() const {
    const QVariant& v = Value();
    if (v.typeId() == QMetaType::QString) return v.toString().trimmed().toLongLong();
    return v.toLongLong();
}

QDateTime DatabaseField::DateValue() const {
    return SqlFileDatabase::DateFromText(StringValue());
}

bool DatabaseField::IsNull() const {
    return !Value().isValid();
}

void DatabaseField::Set(const QVariant& value) {
    if (mSet->Eof()) throw NilObjectException("no current row");
    mSet->mRows[static_cast<size_t>(mSet->mRow)][static_cast<size_t>(mColumn)] = value;
    if (mSet->mEditing) mSet->mChanged[static_cast<size_t>(mColumn)] = true;
}

void DatabaseField::SetStringValue(const QString& text) { Set(text); }
void DatabaseField::SetBlobValue(const QByteArray& bytes) { Set(bytes); }
void DatabaseField::SetDateValue(const QDateTime& date) { Set(SqlFileDatabase::DateToText(date)); }

DatabaseField RecordSet::Field(const QString& name) {
    for (int c = 0; c < mColumns.size(); ++c)
        if (mColumns[c].compare(name, Qt::CaseInsensitive) == 0) return DatabaseField(this, c);
    throw NilObjectException("no such field");
}

DatabaseField RecordSet::IdxField(int column) {
    if (column < 1 || column > mColumns.size()) throw NilObjectException("no such field");
    return DatabaseField(this, column - 1);
}

void RecordSet::Edit() {
    mEditing = true;
    mChanged.assign(static_cast<size_t>(mColumns.size()), false);
}

bool RecordSet::Update() {
    if (!mEditing || Eof() || mTable.isEmpty() || mRowIds.empty()) return false;
    mEditing = false;
    QStringList sets;
    QVariantList values;
    const auto& row = mRows[static_cast<size_t>(mRow)];
    for (int c = 0; c < mColumns.size(); ++c) {
        if (!mChanged[static_cast<size_t>(c)]) continue;
        sets << QStringLiteral("%1 = ?").arg(mColumns[c]);
        values << row[static_cast<size_t>(c)];
    }
    if (sets.isEmpty()) return true;
    values << mRowIds[static_cast<size_t>(mRow)];
    return mDb->SQLExecute(
        QStringLiteral("update %1 set %2 where rowid = ?").arg(mTable, sets.join(QStringLiteral(", "))), values);
}
