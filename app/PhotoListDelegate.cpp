#include "PhotoListDelegate.h"

#include "PassportTemplates.h"
#include "PhotoListModel.h"
#include "Resources.h"

#include <QApplication>
#include <QLocale>
#include <QPainter>

PhotoListDelegate::PhotoListDelegate(const PhotoListModel* model, QObject* parent)
    : QStyledItemDelegate(parent), mModel(model) {}

QFont PhotoListDelegate::ListFont() {
    QFont font = QApplication::font();
    font.setPixelSize(13);
    font.setBold(false);
    font.setItalic(false);
    font.setUnderline(false);
    return font;
}

QSize PhotoListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width(), kRowHeight);
}

void PhotoListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const bool active = option.state.testFlag(QStyle::State_Active);
    painter->save();
    painter->translate(option.rect.topLeft());
    painter->setClipRect(QRect(QPoint(0, 0), option.rect.size()));
    PaintRow(*painter, option.rect.size(), index.row(), selected, active,
             option.palette.color(active ? QPalette::Active : QPalette::Inactive, QPalette::HighlightedText));
    painter->restore();
}

void PhotoListDelegate::PaintRow(QPainter& g, QSize size, int row, bool selected, bool active,
                                 const QColor& selectedText) const {
    const int w = size.width(), h = size.height();
    if (selected) {
        const QImage strip = active ? Resources::BlueHighlight() : Resources::GrayHighlight();
        if (!strip.isNull()) g.drawImage(QRect(0, -3, w, h + 2), strip);
    } else {
        g.fillRect(0, 0, w, h, QColor::fromRgb(active ? kActiveBackground : kInactiveBackground));
    }

    const auto record = mModel ? mModel->CellTag(row) : nullptr;
    if (!record) return;
    if (!record->mPicPreview.isNull()) g.drawImage(0, 4, record->mPicPreview);
    g.setPen(selected ? selectedText : QColor::fromRgb(kTextColour));
    const QFont font = ListFont();
    g.setFont(font);
    g.drawText(72, 22, record->mName);
    const QString date = QLocale().toString(record->mDate.date(), QLocale::LongFormat);
    g.drawText(82, 60, QFontMetrics(font).elidedText(date, Qt::ElideRight, w - 86));
    g.drawText(82, 41, PassportTemplates::DisplayName(record->mFormat));
}
