#include "WindowExtensions.h"

#include "Val.h"

#include <QGuiApplication>
#include <QScreen>

namespace WindowExtensions {

namespace {
// Wide coordinates, so a far corner (left + width) cannot overflow.
int WhichScreen(qint64 x, qint64 y, const QList<QRect>& screens) {
    for (qsizetype i = 0; i < screens.size(); ++i) {
        const QRect& s = screens[i];
        if (s.left() <= x && s.top() <= y && x < qint64(s.left()) + s.width() && y < qint64(s.top()) + s.height())
            return static_cast<int>(i);
    }
    return -1;
}
} // namespace

QList<QRect> ScreenGeometries() {
    QList<QRect> geometries;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return geometries;
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (const QScreen* screen : screens) geometries.append(screen->geometry());
    return geometries;
}

int GetWhichScreen(int x, int y) {
    return WhichScreen(x, y, ScreenGeometries());
}

int GetWhichScreen(int x, int y, const QList<QRect>& screens) {
    return WhichScreen(x, y, screens);
}

QString PositionAndSize(const QRect& geometry) {
    return QStringLiteral("%1,%2,%3,%4").arg(geometry.left()).arg(geometry.top()).arg(geometry.width()).arg(geometry.height());
}

std::optional<QRect> PositionAndSize(const QString& s) {
    try {
        return PositionAndSize(s, ScreenGeometries());
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<QRect> PositionAndSize(const QString& s, const QList<QRect>& screens) {
    try {
        const QList<QStringView> fields = QStringView(s).split(u',');
        if (fields.size() != 4) return std::nullopt;
        const qint32 l = ToInt32(Val(fields[0]));
        const qint32 t = ToInt32(Val(fields[1]));
        const qint32 w = ToInt32(Val(fields[2]));
        const qint32 h = ToInt32(Val(fields[3]));
        if (w == 0 || h == 0) return std::nullopt;
        const int a = WhichScreen(l, t, screens);
        if (a == -1) return std::nullopt;
        // The point just beyond the bottom-right corner: a window flush with its screen's right
        // or bottom edge is not restored.
        if (WhichScreen(qint64(l) + w, qint64(t) + h, screens) != a) return std::nullopt;
        return QRect(l, t, w, h);
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace WindowExtensions
