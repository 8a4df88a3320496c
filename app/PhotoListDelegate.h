#pragma once

#include <QStyledItemDelegate>

class PhotoListModel;

// Paints a photo row (highlight or background, preview, name, format, date) from the record
// already in memory; never touches the database.
class PhotoListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 72;
    static constexpr QRgb kActiveBackground = 0xD4DDE5;
    static constexpr QRgb kInactiveBackground = 0xE8E8E8;
    static constexpr QRgb kTextColour = 0x000040;

    explicit PhotoListDelegate(const PhotoListModel* model, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Draws one cell of `size` at the painter's origin; `active` is whether the list's window is active.
    void PaintRow(QPainter& g, QSize size, int row, bool selected, bool active, const QColor& selectedText) const;

    // The list's font: the system font at 13 pixels.
    static QFont ListFont();

private:
    const PhotoListModel* mModel;
};
