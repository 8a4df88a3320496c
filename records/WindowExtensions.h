#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <optional>

// A window's position and size as one text ("left,top,width,height", global pixels of the
// window's geometry()), and the screen test that decides whether such a text is restored.
// Works on rectangles so storage code needs no widgets; the templates apply to any window class.
namespace WindowExtensions {

// Geometries of the platform's screens in its order; empty without a GUI application.
QList<QRect> ScreenGeometries();

// Index of the first screen with left <= x < left + width and top <= y < top + height, or -1.
int GetWhichScreen(int x, int y);
int GetWhichScreen(int x, int y, const QList<QRect>& screens);

// "40,60,320,447" for a window at 40, 60 that is 320 x 447.
QString PositionAndSize(const QRect& geometry);
// The rectangle to give the window, or nothing when the text must be ignored: not exactly four
// fields, a zero width or height, the top-left corner on no screen, or the point just beyond
// the bottom-right corner on another screen (or none). Never raises.
std::optional<QRect> PositionAndSize(const QString& s);
std::optional<QRect> PositionAndSize(const QString& s, const QList<QRect>& screens);

template <class Window> QString GetPositionAndSize(const Window& window) {
    return PositionAndSize(window.geometry());
}
template <class Window> void SetPositionAndSize(Window& window, const QString& s) noexcept {
    try {
        if (const auto r = PositionAndSize(s)) window.setGeometry(*r);
    } catch (...) {
    }
}

} // namespace WindowExtensions
