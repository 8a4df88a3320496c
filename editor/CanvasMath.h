#pragma once

#include <QRect>
#include <QRectF>

// The scaling canvas's arithmetic, kept apart from the widget so each formula can be checked
// on its own. Sizes are source pixels per canvas pixel (larger is zoomed out); centres are
// source pixels; every Double-to-integer step drops the fraction (toward zero).
namespace CanvasMath {

// Double to Int32, toward zero. NaN gives 0 and values beyond Int32 stop at its ends, so a
// damaged view state can never turn into undefined behaviour.
int Trunc(double v);

struct ScaleLimits {
    double ScaleMin = 0.0;
    double ScaleMax = 0.0;
};

// Limits for a picture of picWidth x picHeight in a capture rectangle of capWidth x capHeight:
// most zoomed out the capture rectangle spans the picture's limiting side; most zoomed in is one
// source pixel per canvas pixel, or twice the fitting size for a picture smaller than that.
ScaleLimits CalcScales(int picWidth, int picHeight, int capWidth, int capHeight);

// The zoom law: percent 100 gives scaleMin, 0 gives scaleMax, evenly spaced on a log scale.
double ZoomSize(double scaleMin, double scaleMax, double percent);

// Holds one coordinate of the centre so that the capture rectangle (half its extent on either
// side, in canvas pixels) stays inside the picture: the low edge is tested first, then the high
// edge, so the high edge wins when the picture is too small for both.
int ClampCentre(int centre, int halfExtent, double size, int picExtent);

// The centre while dragging: the picture follows the mouse, to the nearest source pixel.
int DragCentre(int downCentre, int mouse, int mouseDown, double size);

// The centre after a step of `step` canvas pixels; the epsilon keeps whole products whole.
int StepCentre(int centre, int step, double size);

// The source rectangle that a canvas of canvasWidth x canvasHeight shows when the canvas point
// (capCenterX, capCenterY) lies over the source point (picCenterX, picCenterY). Whole numbers,
// held as doubles so that no damaged size can overflow the rectangle's arithmetic.
QRectF ViewSource(int canvasWidth, int canvasHeight, int capCenterX, int capCenterY, int picCenterX,
                  int picCenterY, double size);

// The part of the picture under the capture rectangle, for the passport output. The crop is
// moved inside the picture at the left and top and narrowed at the right and bottom; it is
// never empty.
QRect PassportCrop(int capWidth, int capHeight, double size, int picCenterX, int picCenterY, int picWidth,
                   int picHeight);

} // namespace CanvasMath
