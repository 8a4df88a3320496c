#pragma once

#include "CaptureArea.h"

#include <QImage>
#include <QString>
#include <QWidget>

class PassportPhotoInfo;

// The editor's picture canvas (300 x 300): shows the working picture zoomed on a logarithmic
// scale so that the passport format's capture area lies over the part the user chooses, lets
// the user drag it, step it, turn it and preview contrast and brightness, with the format's
// overlay on top. Every view is composed in an off-screen buffer and painted in one piece.
class ScalingPictureCanvas : public QWidget {
    Q_OBJECT
public:
    explicit ScalingPictureCanvas(QWidget* parent = nullptr);
    ~ScalingPictureCanvas() override;

    void Event_MouseMove(int x, int y);
    void Event_Paint();
    // Starts a drag; false (no drag) while no picture is set.
    bool Event_MouseDown(int x, int y);
    void Event_MouseDrag(int x, int y);
    // Run by the constructor: a placeholder capture area of the canvas's own rectangle and the
    // buffer. The Open notification follows when the canvas is first shown.
    void Event_Open();
    void Event_MouseEnter();
    void Event_MouseExit();
    void Event_MouseUp(int x, int y);

    // Makes p the working picture (shared, not copied), centres it and computes the zoom
    // limits; a null picture changes nothing. No redraw.
    void setPic(const QImage& p);
    // Renders with the overlay at `percent` (0 most zoomed out, 100 most zoomed in).
    void ReDraw(double percent);
    // ReDraw at the last percent.
    void Redraw();
    // Moves the centre by dx, dy canvas pixels, then Redraw.
    void MoveByPixels(int dx, int dy);
    // A quarter turn of the working picture through setPic; no redraw.
    void Rotate(bool counterClockwise);
    // Applied from the next rendering on, and to the passport picture; no redraw.
    void SetContrastAndBrightness(int contrast, int brightness);
    // Renders at the current zoom without the overlay; nothing while no picture is set.
    void ReDrawNoMask();

    // The view as a DictionaryFile string (see the restore-info keys).
    QString GetRestoreInfo() const;
    // Sets the view from a restore-info string, key by key, stopping silently at the first
    // key that is missing.
    void SetRestoreInfo(const QString& s);
    // The working picture (null when none is set).
    QImage getPic() const;
    // Scales the part of the working picture under the capture rectangle onto the whole of
    // `target` and returns a copy with contrast and brightness applied (target keeps the
    // unadjusted crop). Raises NilObjectException when no picture is set or target is null.
    QImage GetPassportPic(QImage& target);
    QImage GetPassportPic(QImage&& target);
    // The view stored with a saved record and its source picture; nothing is redrawn. Values the
    // restore info lacks or holds out of range are made sound, so the picture always shows.
    void Restore(const PassportPhotoInfo& info);
    // The capture area and overlay of a format code; recomputes the zoom limits, keeps the
    // centre and the percent; no redraw.
    void SetCaptureArea(const QString& code);

    // LastSize at 100 percent (most zoomed in).
    double ScaleMin = 0.0;
    // The capture rectangle and its centre, in canvas pixels.
    CaptureArea CapArea;

signals:
    // The canvas has opened: raised once, when it is first shown.
    void Open();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    friend struct ScalingPictureCanvasTestAccess;

    void ReCalcScales();
    // Replaces whatever in the view cannot show the picture (see CanvasMath::SoundView).
    void MakeViewSound();
    void SetCaptureArea(int left, int top, int width, int height, int centerX, int centerY);
    void SetCaptureArea(int left, int top, int width, int height);
    void SetMaskPic(const QImage& mask);
    // Composes the view at LastSize into a new buffer, with or without the overlay.
    void Compose(bool withOverlay);
    // The next paint composes the view again instead of showing the buffer.
    void Invalidate() { mStale = true; }

    QImage pic;
    int PicCenterX = 0;
    int PicCenterY = 0;
    double LastPercentScale = 0.0;
    double LastSize = 0.0;
    int MouseDownX = 0;
    int MouseDownY = 0;
    int MouseDownCenterX = 0;
    int MouseDownCenterY = 0;
    QImage MaskPic;
    double ScaleMax = 0.0;
    QImage bufPic;
    int mContrast = 0;
    int mBrightness = 0;

    QImage mOverlay;           // MaskPic, premultiplied once so each rendering only blends it
    bool mStale = true;        // the buffer no longer shows the current view
    bool mDragging = false;    // a mouse-down started a drag
    bool mOpenPending = false; // Open is raised at the first show
    bool mPainting = false;    // composing inside a paint, which needs no further update
};
