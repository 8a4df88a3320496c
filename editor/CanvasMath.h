#pragma once

#include <QRect>
#include <QRectF>
#include <climits>

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

// The zoom percent of the editor's design (its zoom slider at 40 of 200).
inline constexpr double kDefaultPercent = 20.0;
// A centre that was never read; SoundView puts it in the picture's middle.
inline constexpr int kNoCentre = INT_MIN;

// The whole view state of the canvas, as a saved photo brings it back.
struct View {
    double percent = kDefaultPercent;
    double size = 0.0;
    double scaleMin = 0.0;
    double scaleMax = 0.0;
    int centreX = kNoCentre;
    int centreY = kNoCentre;
    int contrast = 0;
    int brightness = 0;
};

// Whether stored limits can stand for a picture whose own limits are `fresh`: finite, in order,
// and zooming neither further out (the capture rectangle would pass the picture's edges) nor
// further in than an import of the picture allows.
bool LimitsFit(double scaleMin, double scaleMax, ScaleLimits fresh);

// A view that shows the picture whatever was stored: limits that do not fit are those of an import,
// a percent that is no number is the default and one out of range is clamped, the size follows
// the zoom law, a missing centre is the picture's middle and every centre is clamped as a
// rendering would, contrast and brightness are held to -100..100. A view as the editor saves it
// comes back unchanged.
View SoundView(View v, int picWidth, int picHeight, int capWidth, int capHeight, int halfWidth, int halfHeight);

} // namespace CanvasMath
