#include "CanvasMath.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace CanvasMath {

int Trunc(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT_MAX;
    if (v <= -2147483648.0) return INT_MIN;
    return static_cast<int>(v);
}

ScaleLimits CalcScales(int picWidth, int picHeight, int capWidth, int capHeight) {
    ScaleLimits limits;
    limits.ScaleMin = 1.0;
    limits.ScaleMax = std::min(static_cast<double>(picWidth) / capWidth, static_cast<double>(picHeight) / capHeight);
    if (limits.ScaleMax < limits.ScaleMin) limits.ScaleMin = limits.ScaleMax / 2.0;
    return limits;
}

double ZoomSize(double scaleMin, double scaleMax, double percent) {
    // Evaluated in this order so that percent 100 gives scaleMin exactly.
    const double ratio = scaleMax / scaleMin;
    const double perPercent = std::log(ratio) / 100.0;
    return scaleMin * std::exp(perPercent * (100.0 - percent));
}

int ClampCentre(int centre, int halfExtent, double size, int picExtent) {
    const double half = halfExtent * size;
    if (centre - half < 0) centre = Trunc(half);
    if (picExtent < centre + half) centre = Trunc(picExtent - half);
    return centre;
}

int DragCentre(int downCentre, int mouse, int mouseDown, double size) {
    return Trunc(downCentre - static_cast<double>(mouse - mouseDown) * size + 0.5);
}

int StepCentre(int centre, int step, double size) {
    return Trunc(centre + step * size + 1e-8);
}

QRectF ViewSource(int canvasWidth, int canvasHeight, int capCenterX, int capCenterY, int picCenterX,
                  int picCenterY, double size) {
    return QRectF(Trunc(picCenterX - capCenterX * size), Trunc(picCenterY - capCenterY * size),
                  Trunc(canvasWidth * size), Trunc(canvasHeight * size));
}

namespace {

// One axis of the crop: start and length within a picture of `extent` pixels.
void CropAxis(int capExtent, double size, int centre, int extent, int& start, int& length) {
    const int wanted = Trunc(capExtent * size + 1e-6);
    length = wanted;
    start = Trunc(centre - length / 2.0);
    if (start < 0) start = 0;
    if (static_cast<long long>(extent) < static_cast<long long>(start) + length) length = extent - start;
    // A centre beyond the far edge, or a crop thinner than a pixel, would leave nothing to
    // scale: keep at least one pixel, as much of the wanted size as fits, against the edge.
    if (length < 1) {
        length = std::max(1, std::min(wanted, extent));
        start = std::min(start, extent - length);
    }
}

} // namespace

QRect PassportCrop(int capWidth, int capHeight, double size, int picCenterX, int picCenterY, int picWidth,
                   int picHeight) {
    int x = 0, y = 0, w = 0, h = 0;
    CropAxis(capWidth, size, picCenterX, picWidth, x, w);
    CropAxis(capHeight, size, picCenterY, picHeight, y, h);
    return QRect(x, y, w, h);
}

bool LimitsFit(double scaleMin, double scaleMax, ScaleLimits fresh) {
    // The limits go through the restore info's decimal form: allow for its last digit.
    constexpr double kSlack = 1e-9;
    return std::isfinite(scaleMin) && std::isfinite(scaleMax) && scaleMin > 0.0 && scaleMin <= scaleMax &&
           scaleMin >= fresh.ScaleMin * (1.0 - kSlack) && scaleMax <= fresh.ScaleMax * (1.0 + kSlack);
}

View SoundView(View v, int picWidth, int picHeight, int capWidth, int capHeight, int halfWidth, int halfHeight) {
    const ScaleLimits fresh = CalcScales(picWidth, picHeight, capWidth, capHeight);
    if (!LimitsFit(v.scaleMin, v.scaleMax, fresh)) {
        v.scaleMin = fresh.ScaleMin;
        v.scaleMax = fresh.ScaleMax;
    }
    v.percent = std::isfinite(v.percent) ? std::clamp(v.percent, 0.0, 100.0) : kDefaultPercent;
    // What the first rendering would make of the percent anyway.
    v.size = ZoomSize(v.scaleMin, v.scaleMax, v.percent);
    if (v.centreX == kNoCentre) v.centreX = Trunc(picWidth / 2.0);
    if (v.centreY == kNoCentre) v.centreY = Trunc(picHeight / 2.0);
    v.centreX = ClampCentre(v.centreX, halfWidth, v.size, picWidth);
    v.centreY = ClampCentre(v.centreY, halfHeight, v.size, picHeight);
    v.contrast = std::clamp(v.contrast, -100, 100);
    v.brightness = std::clamp(v.brightness, -100, 100);
    return v;
}

} // namespace CanvasMath
