#include "ScalingPictureCanvas.h"

#include "DictionaryFile.h"
#include "NilObjectException.h"
#include "PassportPhotoInfo.h"
#include "PassportTemplates.h"
#include "PictureCompare.h"
#include "PictureExtensions.h"
#include "QtPrinters.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <cmath>
#include <gtest/gtest.h>

// Reaches the canvas's private view state, which only the canvas itself changes in use.
struct ScalingPictureCanvasTestAccess {
    static int& PicCenterX(ScalingPictureCanvas& c) { return c.PicCenterX; }
    static int& PicCenterY(ScalingPictureCanvas& c) { return c.PicCenterY; }
    static double& LastSize(ScalingPictureCanvas& c) { return c.LastSize; }
    static double& LastPercentScale(ScalingPictureCanvas& c) { return c.LastPercentScale; }
    static double& ScaleMax(ScalingPictureCanvas& c) { return c.ScaleMax; }
    static int& Contrast(ScalingPictureCanvas& c) { return c.mContrast; }
    static int& Brightness(ScalingPictureCanvas& c) { return c.mBrightness; }
    static const QImage& bufPic(const ScalingPictureCanvas& c) { return c.bufPic; }
    static const QImage& MaskPic(const ScalingPictureCanvas& c) { return c.MaskPic; }
};

namespace {

using Access = ScalingPictureCanvasTestAccess;

// Every pixel tells where it came from: red and green the position, blue a checker.
QImage Coded(int width, int height) {
    QImage pic(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(pic.scanLine(y));
        for (int x = 0; x < width; ++x) line[x] = qRgb(x % 251, y % 241, ((x / 7 + y / 5) % 2) * 255);
    }
    return pic;
}

// Large flat blocks of 100 x 100 pixels, so scaled views can be checked away from the edges.
QImage Blocks(int width, int height) {
    QImage pic(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(pic.scanLine(y));
        for (int x = 0; x < width; ++x) line[x] = qRgb((x / 100) * 20, (y / 100) * 30, 200);
    }
    return pic;
}

QRgb Rgb(const QImage& pic, int x, int y) {
    return pic.pixel(x, y) & 0xFFFFFFu;
}

void Send(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(at), w.mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}

struct CanvasTest : ::testing::Test {
    QWidget window; // holds the canvas, as the editor window does
    ScalingPictureCanvas& canvas = *new ScalingPictureCanvas(&window);

    // A picture in a format, at a zoom percent, as the editor sets it up.
    void Show(const QImage& pic, const QString& code, double percent) {
        canvas.SetCaptureArea(code);
        canvas.setPic(pic);
        canvas.ReDraw(percent);
    }
    const QImage& Buffer() const { return Access::bufPic(canvas); }
    int CenterX() { return Access::PicCenterX(canvas); }
    int CenterY() { return Access::PicCenterY(canvas); }
    double Size() { return Access::LastSize(canvas); }
};

TEST_F(CanvasTest, LimitsAndZoomForAPictureLargerThanTheCaptureArea) {
    Show(Coded(1000, 800), "US", 100);
    EXPECT_DOUBLE_EQ(canvas.ScaleMin, 1.0);
    EXPECT_DOUBLE_EQ(Access::ScaleMax(canvas), 4.0);
    EXPECT_EQ(Size(), 1.0);
    canvas.ReDraw(50);
    EXPECT_DOUBLE_EQ(Size(), 2.0);
    canvas.ReDraw(0);
    EXPECT_DOUBLE_EQ(Size(), 4.0);

    // At 50 percent the canvas shows the 600 x 600 square around the centre (500, 400).
    canvas.setPic(Blocks(1000, 800));
    canvas.ReDraw(50);
    canvas.ReDrawNoMask();
    EXPECT_EQ(Rgb(Buffer(), 10, 10), Rgb(Blocks(1000, 800), 220, 120));     // source (200, 100) + 20
    EXPECT_EQ(Rgb(Buffer(), 290, 290), Rgb(Blocks(1000, 800), 780, 680));   // source (800, 700) - 20
    EXPECT_EQ(Rgb(Buffer(), 150, 150), Rgb(Blocks(1000, 800), 510, 410));

    // The centre is held within 200..800 x 200..600, and the clamped centre is kept.
    Access::PicCenterX(canvas) = -300;
    Access::PicCenterY(canvas) = -300;
    canvas.Redraw();
    EXPECT_EQ(CenterX(), 200);
    EXPECT_EQ(CenterY(), 200);
    Access::PicCenterX(canvas) = 5000;
    Access::PicCenterY(canvas) = 5000;
    canvas.Redraw();
    EXPECT_EQ(CenterX(), 800);
    EXPECT_EQ(CenterY(), 600);
}

TEST_F(CanvasTest, SmallAndExactPicturesAndTheStartingCentre) {
    Show(Coded(150, 100), "US", 100);
    EXPECT_DOUBLE_EQ(Access::ScaleMax(canvas), 0.5);
    EXPECT_DOUBLE_EQ(canvas.ScaleMin, 0.25);
    EXPECT_EQ(Size(), 0.25);

    Show(Coded(200, 200), "US", 0);
    EXPECT_DOUBLE_EQ(canvas.ScaleMin, 1.0);
    EXPECT_DOUBLE_EQ(Access::ScaleMax(canvas), 1.0);
    for (double p : {0.0, 33.5, 100.0}) {
        canvas.ReDraw(p);
        EXPECT_EQ(Size(), 1.0) << p;
    }

    canvas.setPic(Coded(1001, 801));
    EXPECT_EQ(CenterX(), 500);
    EXPECT_EQ(CenterY(), 400);
    canvas.setPic(QImage()); // a nil picture changes nothing
    EXPECT_EQ(canvas.getPic().size(), QSize(1001, 801));
}

TEST_F(CanvasTest, DraggingMovesThePictureWithTheMouseUntilTheClamp) {
    auto* field = new QLineEdit(&window);
    canvas.move(0, 40);
    window.show();
    field->setFocus();
    ASSERT_EQ(window.focusWidget(), field);
    Show(Coded(1000, 800), "US", 50);
    ASSERT_DOUBLE_EQ(Size(), 2.0);

    Send(canvas, QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(window.focusWidget(), nullptr); // no control keeps the keyboard focus
    EXPECT_EQ(canvas.cursor().shape(), Qt::ClosedHandCursor);
    Send(canvas, QEvent::MouseMove, {110, 105}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(CenterX(), 480);
    EXPECT_EQ(CenterY(), 390);
    Send(canvas, QEvent::MouseMove, {-400, 105}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(CenterX(), 800); // 1500 wanted, held at the right clamp
    Send(canvas, QEvent::MouseButtonRelease, {-400, 105}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(canvas.cursor().shape(), Qt::OpenHandCursor);

    // Moving without a pressed button is no drag.
    Send(canvas, QEvent::MouseMove, {200, 200}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(CenterX(), 800);
}

TEST_F(CanvasTest, NoDragWithoutAPicture) {
    canvas.SetCaptureArea("US");
    EXPECT_FALSE(canvas.Event_MouseDown(10, 10));
    Send(canvas, QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    Send(canvas, QEvent::MouseMove, {150, 150}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(CenterX(), 0);
    EXPECT_EQ(CenterY(), 0);
    EXPECT_NE(canvas.cursor().shape(), Qt::ClosedHandCursor);
}

TEST_F(CanvasTest, StepsBelowOneSourcePixelMoveOnlyBackward) {
    Show(Coded(150, 100), "US", 100); // LastSize 0.25
    const int x = CenterX(), y = CenterY();
    canvas.MoveByPixels(1, 0);
    EXPECT_EQ(CenterX(), x);
    canvas.MoveByPixels(-1, 0);
    EXPECT_EQ(CenterX(), x - 1);
    EXPECT_EQ(CenterY(), y);
}

TEST_F(CanvasTest, BrightnessAdjustsTheBackgroundButNeverTheOverlay) {
    for (const char* code : {"Test", "US", "UK"}) {
        ScalingPictureCanvas empty;
        empty.SetCaptureArea(code);
        empty.SetContrastAndBrightness(0, 50);
        empty.ReDraw(50);
        QImage expected(300, 300, QImage::Format_RGB32);
        expected.fill(QColor(0xDC, 0xDC, 0xDC));
        {
            QPainter g(&expected);
            g.drawImage(0, 0, PassportTemplates::MaskImage(code));
        }
        EXPECT_LE(PictureCompare::MaxChannelDifference(Access::bufPic(empty), expected), 1) << code;
        EXPECT_EQ(Rgb(Access::bufPic(empty), 150, 150), 0xDCDCDCu) << code; // under clear mask
    }
}

TEST_F(CanvasTest, OverlayIsLeftOutOnlyByReDrawNoMask) {
    Show(Coded(1000, 800), "Test", 100);
    const QImage withOverlay = Buffer();
    canvas.ReDrawNoMask();
    const QImage without = Buffer();
    // At size 1 the view is the source itself around the centre.
    EXPECT_EQ(PictureCompare::Difference(without, Coded(1000, 800).copy(350, 250, 300, 300)), QString());
    // The "Test" overlay veils the corner and leaves the middle clear.
    EXPECT_NE(Rgb(withOverlay, 10, 10), Rgb(without, 10, 10));
    EXPECT_EQ(Rgb(withOverlay, 150, 150), Rgb(without, 150, 150));
    canvas.MoveByPixels(0, 0);
    EXPECT_EQ(PictureCompare::Difference(Buffer(), withOverlay), QString());

    // Nothing at all while no picture is set.
    ScalingPictureCanvas empty;
    empty.SetCaptureArea("Test");
    empty.ReDraw(0);
    const QImage before = Access::bufPic(empty);
    empty.ReDrawNoMask();
    EXPECT_EQ(Access::bufPic(empty).cacheKey(), before.cacheKey());
}

TEST_F(CanvasTest, TheViewShowsTheRightSourcePixelsAndGreyOutsideThePicture) {
    // Size 2, centre (500, 400): canvas (x, y) shows source (200 + 2x, 100 + 2y).
    Show(Blocks(1000, 800), "US", 50);
    canvas.ReDrawNoMask();
    const QImage src = Blocks(1000, 800);
    for (QPoint p : {QPoint(20, 20), QPoint(75, 210), QPoint(230, 130), QPoint(280, 280)})
        EXPECT_EQ(Rgb(Buffer(), p.x(), p.y()), Rgb(src, 200 + 2 * p.x() + 1, 100 + 2 * p.y() + 1)) << p.x() << "," << p.y();

    // A 150 x 100 picture fully zoomed out: the canvas spans 150 x 150 source pixels, so grey
    // bands lie above and below it. Contrast and brightness reach the grey too.
    Show(Blocks(150, 100), "US", 0);
    canvas.ReDrawNoMask();
    EXPECT_EQ(Rgb(Buffer(), 150, 5), 0xAAAAAAu);
    EXPECT_EQ(Rgb(Buffer(), 150, 295), 0xAAAAAAu);
    EXPECT_EQ(Rgb(Buffer(), 100, 150), Rgb(Blocks(150, 100), 50, 50));
    canvas.SetContrastAndBrightness(-100, 0);
    canvas.ReDrawNoMask();
    EXPECT_EQ(Rgb(Buffer(), 150, 5), 0x7F7F7Fu);
}

TEST_F(CanvasTest, ZoomedInViewsAreSmooth) {
    // Black left half, white right half, shown at four canvas pixels per source pixel.
    QImage edge(150, 100, QImage::Format_RGB32);
    edge.fill(Qt::white);
    QPainter(&edge).fillRect(0, 0, 75, 100, Qt::black);
    Show(edge, "US", 100);
    ASSERT_EQ(Size(), 0.25);
    canvas.ReDrawNoMask();
    int between = 0;
    for (int x = 130; x < 170; ++x) {
        const int grey = qRed(Buffer().pixel(x, 150));
        if (grey > 10 && grey < 245) ++between;
    }
    EXPECT_GE(between, 2); // nearest-neighbour scaling would jump from black to white
}

TEST_F(CanvasTest, RotationTurnsTheWorkingPictureAndRecentres) {
    Show(Coded(1000, 800), "US", 50);
    canvas.Rotate(false);
    const QImage turned = canvas.getPic();
    EXPECT_EQ(turned.size(), QSize(800, 1000));
    EXPECT_EQ(Rgb(turned, 799, 0), Rgb(Coded(1000, 800), 0, 0)); // clockwise: top-left goes top-right
    EXPECT_EQ(CenterX(), 400);
    EXPECT_EQ(CenterY(), 500);
    EXPECT_DOUBLE_EQ(Access::ScaleMax(canvas), 4.0);
    canvas.Rotate(true);
    EXPECT_EQ(PictureCompare::Difference(canvas.getPic(), Coded(1000, 800)), QString());

    ScalingPictureCanvas empty;
    empty.Rotate(true);
    EXPECT_TRUE(empty.getPic().isNull());
}

TEST_F(CanvasTest, PassportPictureIsTheCaptureRectangleScaledFromTheSource) {
    const QImage src = Coded(1000, 800);
    Show(src, "US", 50);
    Access::LastSize(canvas) = 2.0;
    Access::PicCenterX(canvas) = 500;
    Access::PicCenterY(canvas) = 400;
    QImage target = PassportTemplates::BlankPassportPicture("US");
    const QImage out = canvas.GetPassportPic(target);
    const QImage expected = src.copy(300, 200, 400, 400).scaled(600, 600, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_EQ(PictureCompare::Difference(target, expected), QString());
    EXPECT_EQ(PictureCompare::Difference(out, expected), QString()); // contrast and brightness 0
    EXPECT_EQ(out.dotsPerMeterX(), target.dotsPerMeterX());

    // "UK" at size 1: 154 x 198 source pixels fill 414 x 532.
    canvas.SetCaptureArea("UK");
    Access::LastSize(canvas) = 1.0;
    const QImage uk = canvas.GetPassportPic(PassportTemplates::BlankPassportPicture("UK"));
    EXPECT_EQ(uk.size(), QSize(414, 532));
    EXPECT_EQ(PictureCompare::Difference(uk, src.copy(423, 301, 154, 198).scaled(414, 532, Qt::IgnoreAspectRatio,
                                                                                Qt::SmoothTransformation)),
              QString());
}

TEST_F(CanvasTest, PassportCropStaysInsideThePictureAndStillFillsTheTarget) {
    const QImage src = Blocks(1000, 800);
    Show(src, "US", 50);
    Access::LastSize(canvas) = 2.0;
    Access::PicCenterX(canvas) = 50; // x would be -150: starts at 0, width kept
    Access::PicCenterY(canvas) = 400;
    QImage target = PassportTemplates::BlankPassportPicture("US");
    canvas.GetPassportPic(target);
    EXPECT_EQ(PictureCompare::Difference(
                  target, src.copy(0, 200, 400, 400).scaled(600, 600, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)),
              QString());

    Access::PicCenterX(canvas) = 950; // the crop passes the right edge: cut to 250 wide
    target = PassportTemplates::BlankPassportPicture("US");
    canvas.GetPassportPic(target);
    EXPECT_EQ(PictureCompare::Difference(
                  target, src.copy(750, 200, 250, 400).scaled(600, 600, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)),
              QString());
    EXPECT_EQ(Rgb(target, 599, 330), Rgb(src, 999, 420)); // no white strip at the right
}

TEST_F(CanvasTest, PassportPictureAveragesFineDetailAndCarriesTheAdjustment) {
    // One-pixel black and white stripes, 1600 x 1600 of them scaled into 600 x 600.
    QImage stripes(2000, 2000, QImage::Format_RGB32);
    for (int y = 0; y < 2000; ++y) {
        auto* line = reinterpret_cast<QRgb*>(stripes.scanLine(y));
        for (int x = 0; x < 2000; ++x) line[x] = x % 2 ? 0xFFFFFFFFu : 0xFF000000u;
    }
    Show(stripes, "US", 0);
    Access::LastSize(canvas) = 8.0;
    QImage target = PassportTemplates::BlankPassportPicture("US");
    const QImage out = canvas.GetPassportPic(target);
    double sum = 0, sumSq = 0;
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const double g = qGray(out.pixel(x, y));
            sum += g;
            sumSq += g * g;
        }
    const double n = double(out.width()) * out.height();
    const double mean = sum / n;
    EXPECT_LE(std::sqrt(sumSq / n - mean * mean), 30.0);

    // The returned copy is adjusted; the target keeps the plain crop.
    canvas.SetContrastAndBrightness(-100, 20);
    QImage second = PassportTemplates::BlankPassportPicture("US");
    const QImage flat = canvas.GetPassportPic(second);
    EXPECT_EQ(Rgb(flat, 300, 300), 0x939393u); // 127 + 20 everywhere
    EXPECT_EQ(PictureCompare::Difference(second, target), QString());
}

TEST_F(CanvasTest, PassportPictureNeedsAPictureAndATarget) {
    canvas.SetCaptureArea("US");
    QImage target = PassportTemplates::BlankPassportPicture("US");
    EXPECT_THROW(canvas.GetPassportPic(target), NilObjectException);
    canvas.setPic(Coded(400, 400));
    QImage none;
    EXPECT_THROW(canvas.GetPassportPic(none), NilObjectException);
}

TEST_F(CanvasTest, RestoreInfoRoundTripsTheEightValuesInItsKeyOrder) {
    Show(Coded(1000, 800), "UK", 37.5);
    canvas.SetContrastAndBrightness(-12, 34);
    canvas.MoveByPixels(-7, 5);
    const QString info = canvas.GetRestoreInfo();

    DictionaryFile d;
    d.SetStringValue(info);
    EXPECT_EQ(d.Keys(), QStringList({"RestoreVersion", "LastPercentScale", "LastSize", "Brightness", "Contrast",
                                     "PicCenterX", "PicCenterY", "ScaleMax", "ScaleMin"}));
    EXPECT_TRUE(info.startsWith("i14.1:d16.")) << info.toStdString();
    EXPECT_EQ(d.Value("RestoreVersion"), QVariant(qint32(1)));
    EXPECT_EQ(d.Value("Contrast").typeId(), QMetaType::Int);
    EXPECT_EQ(d.Value("LastSize").typeId(), QMetaType::Double);

    ScalingPictureCanvas other;
    other.SetRestoreInfo(info);
    EXPECT_DOUBLE_EQ(Access::LastPercentScale(other), 37.5);
    EXPECT_DOUBLE_EQ(Access::LastSize(other), Size());
    EXPECT_EQ(Access::Brightness(other), 34);
    EXPECT_EQ(Access::Contrast(other), -12);
    EXPECT_EQ(Access::PicCenterX(other), CenterX());
    EXPECT_EQ(Access::PicCenterY(other), CenterY());
    EXPECT_DOUBLE_EQ(Access::ScaleMax(other), Access::ScaleMax(canvas));
    EXPECT_DOUBLE_EQ(other.ScaleMin, canvas.ScaleMin);
}

TEST_F(CanvasTest, APartialRestoreInfoSetsWhatItHoldsAndStops) {
    Show(Coded(1000, 800), "US", 50);
    canvas.SetContrastAndBrightness(5, 6);
    DictionaryFile d;
    d.SetValue("LastPercentScale", 80.0);
    d.SetValue("LastSize", 1.5);
    d.SetValue("ScaleMax", 9.0); // after the first missing key: never read
    canvas.SetRestoreInfo(d.GetStringValue());
    EXPECT_DOUBLE_EQ(Access::LastPercentScale(canvas), 80.0);
    EXPECT_DOUBLE_EQ(Size(), 1.5);
    EXPECT_EQ(Access::Contrast(canvas), 5);
    EXPECT_EQ(Access::Brightness(canvas), 6);
    EXPECT_EQ(CenterX(), 500);
    EXPECT_EQ(CenterY(), 400);
    EXPECT_DOUBLE_EQ(Access::ScaleMax(canvas), 4.0);
    EXPECT_DOUBLE_EQ(canvas.ScaleMin, 1.0);

    canvas.SetRestoreInfo("");
    canvas.SetRestoreInfo("garbage;;::");
    EXPECT_DOUBLE_EQ(Size(), 1.5);
}

TEST_F(CanvasTest, RestoreTakesTheRecordsPictureWithoutRecentring) {
    ScalingPictureCanvas saved;
    saved.SetCaptureArea("US");
    saved.setPic(Coded(1000, 800));
    saved.ReDraw(50);
    saved.MoveByPixels(40, -30);
    saved.SetContrastAndBrightness(0, 10);
    saved.Redraw();
    PassportPhotoInfo record;
    record.mRestoreInfo = saved.GetRestoreInfo();
    record.mPicOriginal(saved.getPic());

    canvas.SetCaptureArea("US");
    canvas.Restore(record);
    EXPECT_EQ(PictureCompare::Difference(canvas.getPic(), saved.getPic()), QString());
    EXPECT_EQ(CenterX(), Access::PicCenterX(saved));
    EXPECT_EQ(CenterY(), Access::PicCenterY(saved));
    EXPECT_DOUBLE_EQ(Size(), 2.0);

    // The first paint shows the restored view.
    const QImage shown = canvas.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_LE(PictureCompare::MaxChannelDifference(shown, Access::bufPic(saved)), 0);
}

TEST_F(CanvasTest, ChangingTheFormatKeepsCentreAndPercentAndRecomputesLimits) {
    Show(Coded(1000, 800), "US", 50);
    canvas.MoveByPixels(10, 10);
    const int x = CenterX(), y = CenterY();
    canvas.SetCaptureArea("UK");
    EXPECT_NEAR(Access::ScaleMax(canvas), 4.0404, 1e-4);
    EXPECT_DOUBLE_EQ(canvas.ScaleMin, 1.0);
    EXPECT_EQ(canvas.CapArea.width, 154);
    EXPECT_EQ(CenterX(), x);
    EXPECT_EQ(CenterY(), y);
    EXPECT_DOUBLE_EQ(Access::LastPercentScale(canvas), 50.0);
    EXPECT_EQ(PictureCompare::Difference(Access::MaskPic(canvas), PassportTemplates::MaskImage("UK")), QString());
}

TEST_F(CanvasTest, OpenIsRaisedOnceWhenFirstShown) {
    ScalingPictureCanvas fresh;
    EXPECT_EQ(fresh.CapArea.width, 300);
    EXPECT_EQ(fresh.CapArea.CenterX, 0);
    QSignalSpy opened(&fresh, &ScalingPictureCanvas::Open);
    fresh.show();
    fresh.hide();
    fresh.show();
    EXPECT_EQ(opened.count(), 1);
}

} // namespace
