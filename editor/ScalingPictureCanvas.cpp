#include "ScalingPictureCanvas.h"

#include "CanvasMath.h"
#include "DictionaryFile.h"
#include "Guard.h"
#include "NilObjectException.h"
#include "PassportPhotoInfo.h"
#include "PassportTemplates.h"
#include "PictureExtensions.h"
#include "Pictures.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <cmath>
#include <limits>

namespace {

constexpr int kCanvasSize = 300;
constexpr QRgb kBackground = 0xFFAAAAAA;

const QString kRestoreVersion = QStringLiteral("RestoreVersion");
const QString kLastPercentScale = QStringLiteral("LastPercentScale");
const QString kLastSize = QStringLiteral("LastSize");
const QString kBrightness = QStringLiteral("Brightness");
const QString kContrast = QStringLiteral("Contrast");
const QString kPicCenterX = QStringLiteral("PicCenterX");
const QString kPicCenterY = QStringLiteral("PicCenterY");
const QString kScaleMax = QStringLiteral("ScaleMax");
const QString kScaleMin = QStringLiteral("ScaleMin");

// A view of the w x h pixels at (x, y) that shares the picture's memory: scaling a crop of a
// large photo then costs no copy of it.
QImage SubPicture(const QImage& p, const QRect& r) {
    if (p.depth() != 32) return p.copy(r);
    const uchar* first = p.constScanLine(r.y()) + static_cast<qsizetype>(r.x()) * 4;
    return QImage(first, r.width(), r.height(), p.bytesPerLine(), p.format());
}

} // namespace

ScalingPictureCanvas::ScalingPictureCanvas(QWidget* parent) : QWidget(parent) {
    setFixedSize(kCanvasSize, kCanvasSize);
    // The buffer covers every pixel, so Qt need not clear the widget first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    Event_Open();
}

ScalingPictureCanvas::~ScalingPictureCanvas() = default;

void ScalingPictureCanvas::Event_Open() {
    CapArea = CaptureArea{};
    CapArea.left = x();
    CapArea.top = y();
    CapArea.width = width();
    CapArea.height = height();
    bufPic = QImage(width(), height(), QImage::Format_RGB32);
    bufPic.fill(kBackground);
    Invalidate();
    // Whoever creates the canvas connects to Open after the constructor; it hears it at show.
    mOpenPending = true;
}

void ScalingPictureCanvas::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!mOpenPending) return;
    mOpenPending = false;
    Guard([this] { emit Open(); });
}

void ScalingPictureCanvas::setPic(const QImage& p) {
    if (p.isNull()) return;
    pic = p;
    PicCenterX = CanvasMath::Trunc(p.width() / 2.0);
    PicCenterY = CanvasMath::Trunc(p.height() / 2.0);
    ReCalcScales();
    Invalidate();
}

void ScalingPictureCanvas::ReCalcScales() {
    if (pic.isNull()) return;
    const CanvasMath::ScaleLimits limits = CanvasMath::CalcScales(pic.width(), pic.height(), CapArea.width, CapArea.height);
    ScaleMin = limits.ScaleMin;
    ScaleMax = limits.ScaleMax;
}

void ScalingPictureCanvas::ReDraw(double percent) {
    LastPercentScale = percent;
    LastSize = CanvasMath::ZoomSize(ScaleMin, ScaleMax, percent);
    Compose(true);
}

void ScalingPictureCanvas::Redraw() {
    ReDraw(LastPercentScale);
}

void ScalingPictureCanvas::ReDrawNoMask() {
    if (pic.isNull()) return;
    Compose(false);
}

void ScalingPictureCanvas::Compose(bool withOverlay) {
    const int w = width(), h = height();
    QImage buf(w, h, QImage::Format_RGB32);
    MustPicture(buf);
    buf.fill(kBackground);
    if (!pic.isNull()) {
        const int dx = CapArea.CenterX - CapArea.left;
        const int dy = CapArea.CenterY - CapArea.top;
        // The clamped centre is kept: a drag past an edge is taken back here.
        PicCenterX = CanvasMath::ClampCentre(PicCenterX, dx, LastSize, pic.width());
        PicCenterY = CanvasMath::ClampCentre(PicCenterY, dy, LastSize, pic.height());
        const QRectF source =
            CanvasMath::ViewSource(w, h, CapArea.CenterX, CapArea.CenterY, PicCenterX, PicCenterY, LastSize);
        // QPainter reads an empty source rectangle as "the whole picture"; it shows nothing here.
        if (source.width() > 0 && source.height() > 0) {
            QPainter g(&buf);
            g.setRenderHint(QPainter::SmoothPixmapTransform);
            // Parts of the source rectangle outside the picture are left out, so the grey shows.
            g.drawImage(QRectF(0, 0, w, h), pic, source);
        }
    }
    // The whole buffer is adjusted, background included; the overlay never is.
    buf = PictureExtensions::AdjustContrastAndBrightness(buf, mContrast, mBrightness);
    if (withOverlay && !mOverlay.isNull()) {
        QPainter g(&buf);
        g.drawImage(0, 0, mOverlay);
    }
    bufPic = buf;
    mStale = false;
    if (!mPainting) update();
}

void ScalingPictureCanvas::Event_Paint() {
    if (mStale) {
        const QScopedValueRollback<bool> painting(mPainting, true);
        Redraw();
    }
    QPainter g(this);
    g.drawImage(0, 0, bufPic);
}

void ScalingPictureCanvas::paintEvent(QPaintEvent*) {
    if (Guard([this] { Event_Paint(); })) return;
    // Whatever failed, the last finished view is still better than garbage.
    QPainter g(this);
    g.drawImage(0, 0, bufPic);
}

bool ScalingPictureCanvas::Event_MouseDown(int x, int y) {
    if (QWidget* focused = window()->focusWidget()) focused->clearFocus();
    if (pic.isNull()) return false;
    MouseDownX = x;
    MouseDownY = y;
    MouseDownCenterX = PicCenterX;
    MouseDownCenterY = PicCenterY;
    setCursor(Qt::ClosedHandCursor);
    return true;
}

void ScalingPictureCanvas::Event_MouseDrag(int x, int y) {
    PicCenterX = CanvasMath::DragCentre(MouseDownCenterX, x, MouseDownX, LastSize);
    PicCenterY = CanvasMath::DragCentre(MouseDownCenterY, y, MouseDownY, LastSize);
    Redraw();
}

void ScalingPictureCanvas::Event_MouseUp(int, int) {
    setCursor(Qt::OpenHandCursor);
}

void ScalingPictureCanvas::Event_MouseEnter() {
    if (!pic.isNull()) setCursor(Qt::OpenHandCursor);
}

void ScalingPictureCanvas::Event_MouseExit() {
    unsetCursor();
}

void ScalingPictureCanvas::Event_MouseMove(int, int) {}

void ScalingPictureCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    const QPoint p = event->position().toPoint();
    mDragging = GuardValue(false, [&] { return Event_MouseDown(p.x(), p.y()); });
}

void ScalingPictureCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (mDragging && (event->buttons() & Qt::LeftButton))
        Guard([&] { Event_MouseDrag(p.x(), p.y()); });
    else
        Guard([&] { Event_MouseMove(p.x(), p.y()); });
}

void ScalingPictureCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !mDragging) return QWidget::mouseReleaseEvent(event);
    mDragging = false;
    const QPoint p = event->position().toPoint();
    Guard([&] { Event_MouseUp(p.x(), p.y()); });
}

void ScalingPictureCanvas::enterEvent(QEnterEvent*) {
    Guard([this] { Event_MouseEnter(); });
}

void ScalingPictureCanvas::leaveEvent(QEvent*) {
    Guard([this] { Event_MouseExit(); });
}

void ScalingPictureCanvas::MoveByPixels(int dx, int dy) {
    PicCenterX = CanvasMath::StepCentre(PicCenterX, dx, LastSize);
    PicCenterY = CanvasMath::StepCentre(PicCenterY, dy, LastSize);
    Redraw();
}

void ScalingPictureCanvas::Rotate(bool counterClockwise) {
    if (pic.isNull()) return;
    setPic(counterClockwise ? PictureExtensions::RotateCCW(pic) : PictureExtensions::RotateCW(pic));
}

void ScalingPictureCanvas::SetContrastAndBrightness(int contrast, int brightness) {
    mContrast = contrast;
    mBrightness = brightness;
    Invalidate();
}

void ScalingPictureCanvas::SetMaskPic(const QImage& mask) {
    MaskPic = mask;
    mOverlay = mask.isNull() ? QImage() : mask.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void ScalingPictureCanvas::SetCaptureArea(int left, int top, int width, int height, int centerX, int centerY) {
    CapArea.left = left;
    CapArea.top = top;
    CapArea.width = width;
    CapArea.height = height;
    CapArea.CenterX = centerX;
    CapArea.CenterY = centerY;
    SetMaskPic(PassportTemplates::OvalOverlay(size(), QRect(left, top, width, height)));
    ReCalcScales();
    Invalidate();
}

void ScalingPictureCanvas::SetCaptureArea(int left, int top, int width, int height) {
    SetCaptureArea(left, top, width, height, CanvasMath::Trunc(left + width / 2.0),
                   CanvasMath::Trunc(top + height / 2.0));
}

void ScalingPictureCanvas::SetCaptureArea(const QString& code) {
    CapArea = PassportTemplates::PassportCaptureArea(code);
    SetMaskPic(PassportTemplates::MaskImage(code));
    ReCalcScales();
    Invalidate();
}

QImage ScalingPictureCanvas::getPic() const {
    return pic;
}

QImage ScalingPictureCanvas::GetPassportPic(QImage&& target) {
    return GetPassportPic(target);
}

QImage ScalingPictureCanvas::GetPassportPic(QImage& target) {
    MustPicture(pic);
    MustPicture(target);
    // A view that cannot show the picture would crop a pixel or nothing: never print that.
    if (!(std::isfinite(LastSize) && LastSize > 0.0) ||
        !CanvasMath::LimitsFit(ScaleMin, ScaleMax,
                               CanvasMath::CalcScales(pic.width(), pic.height(), CapArea.width, CapArea.height)))
        MakeViewSound();
    const QRect crop = CanvasMath::PassportCrop(CapArea.width, CapArea.height, LastSize, PicCenterX, PicCenterY,
                                                pic.width(), pic.height());
    // One area-averaging step from the photo's own pixels: this is what gets printed, so fine
    // detail must average out rather than alias.
    const QImage scaled = SubPicture(pic, crop).scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    {
        QPainter g(&target);
        g.drawImage(0, 0, scaled);
    }
    QImage result = PictureExtensions::AdjustContrastAndBrightness(target, mContrast, mBrightness);
    // The print picture's resolution travels with it.
    result.setDotsPerMeterX(target.dotsPerMeterX());
    result.setDotsPerMeterY(target.dotsPerMeterY());
    return result;
}

QString ScalingPictureCanvas::GetRestoreInfo() const {
    DictionaryFile d;
    d.SetValue(kRestoreVersion, QVariant(qint32(1)));
    d.SetValue(kLastPercentScale, QVariant(LastPercentScale));
    d.SetValue(kLastSize, QVariant(LastSize));
    d.SetValue(kBrightness, QVariant(qint32(mBrightness)));
    d.SetValue(kContrast, QVariant(qint32(mContrast)));
    d.SetValue(kPicCenterX, QVariant(qint32(PicCenterX)));
    d.SetValue(kPicCenterY, QVariant(qint32(PicCenterY)));
    d.SetValue(kScaleMax, QVariant(ScaleMax));
    d.SetValue(kScaleMin, QVariant(ScaleMin));
    return d.GetStringValue();
}

void ScalingPictureCanvas::SetRestoreInfo(const QString& s) {
    // Read in this order; the first key missing ends it, and what was read stays.
    try {
        DictionaryFile d;
        d.SetStringValue(s);
        LastPercentScale = d.Value(kLastPercentScale).toDouble();
        LastSize = d.Value(kLastSize).toDouble();
        mBrightness = d.Value(kBrightness).toInt();
        mContrast = d.Value(kContrast).toInt();
        PicCenterX = d.Value(kPicCenterX).toInt();
        PicCenterY = d.Value(kPicCenterY).toInt();
        ScaleMax = d.Value(kScaleMax).toDouble();
        ScaleMin = d.Value(kScaleMin).toDouble();
    } catch (...) {
    }
    Invalidate();
}

void ScalingPictureCanvas::Restore(const PassportPhotoInfo& info) {
    const QImage original = info.mPicOriginal();
    if (!original.isNull()) {
        // Marks for the values a damaged restore info does not give, so each gets its default.
        LastPercentScale = LastSize = ScaleMax = ScaleMin = std::numeric_limits<double>::quiet_NaN();
        PicCenterX = PicCenterY = CanvasMath::kNoCentre;
        mContrast = mBrightness = 0;
    }
    SetRestoreInfo(info.mRestoreInfo);
    // Directly, not through setPic: centre, limits and zoom are the restored ones.
    pic = original;
    if (!pic.isNull()) MakeViewSound();
    Invalidate();
}

void ScalingPictureCanvas::MakeViewSound() {
    CanvasMath::View v;
    v.percent = LastPercentScale;
    v.size = LastSize;
    v.scaleMin = ScaleMin;
    v.scaleMax = ScaleMax;
    v.centreX = PicCenterX;
    v.centreY = PicCenterY;
    v.contrast = mContrast;
    v.brightness = mBrightness;
    v = CanvasMath::SoundView(v, pic.width(), pic.height(), CapArea.width, CapArea.height,
                              CapArea.CenterX - CapArea.left, CapArea.CenterY - CapArea.top);
    LastPercentScale = v.percent;
    LastSize = v.size;
    ScaleMin = v.scaleMin;
    ScaleMax = v.scaleMax;
    PicCenterX = v.centreX;
    PicCenterY = v.centreY;
    mContrast = v.contrast;
    mBrightness = v.brightness;
}
