#pragma once

#include "PassportPhotoInfo.h"

#include <QAbstractListModel>
#include <memory>
#include <vector>

// The rows of the photo list: one record per row, in the order they were added.
class PhotoListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using Record = std::shared_ptr<PassportPhotoInfo>;

    explicit PhotoListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The record of `row`; null when there is no such row.
    Record CellTag(int row) const;
    void SetCellTag(int row, Record record);
    void AddRow(Record record);
    void RemoveRow(int row);
    int ListCount() const { return static_cast<int>(mRows.size()); }
    int LastIndex() const { return ListCount() - 1; }

private:
    std::vector<Record> mRows;
};
