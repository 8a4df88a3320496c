#include "GraphicsExtensions.h"

#include "NilObjectException.h"

#include <QPainter>
#include <QPoint>

namespace GraphicsExtensions {

void FillTriangle(QPainter& g, int x1, int y1, int x2, int y2, int x3, int y3) {
    if (!g.isActive()) throw NilObjectException("no drawing surface");
    const QPoint corners[3] = {QPoint(x1, y1), QPoint(x2, y2), QPoint(x3, y3)};
    g.save();
    g.setPen(Qt::NoPen);
    g.drawPolygon(corners, 3);
    g.restore();
}

} // namespace GraphicsExtensions
