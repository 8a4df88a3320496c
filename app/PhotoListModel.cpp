#include "PhotoListModel.h"

PhotoListModel::PhotoListModel(QObject* parent) : QAbstractListModel(parent) {}

int PhotoListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ListCount();
}

QVariant PhotoListModel::data(const QModelIndex& index, int role) const {
    // Rows carry no text of their own; the delegate draws everything from the record.
    if (role == Qt::AccessibleTextRole && index.isValid() && index.row() < ListCount())
        return mRows[static_cast<size_t>(index.row())]->mName;
    return {};
}

PhotoListModel::Record PhotoListModel::CellTag(int row) const {
    if (row < 0 || row >= ListCount()) return nullptr;
    return mRows[static_cast<size_t>(row)];
}

void PhotoListModel::SetCellTag(int row, Record record) {
    if (row < 0 || row >= ListCount()) return;
    mRows[static_cast<size_t>(row)] = std::move(record);
    const QModelIndex i = index(row);
    emit dataChanged(i, i);
}

void PhotoListModel::AddRow(Record record) {
    beginInsertRows({}, ListCount(), ListCount());
    mRows.push_back(std::move(record));
    endInsertRows();
}

void PhotoListModel::RemoveRow(int row) {
    if (row < 0 || row >= ListCount()) return;
    beginRemoveRows({}, row, row);
    mRows.erase(mRows.begin() + row);
    endRemoveRows();
}
