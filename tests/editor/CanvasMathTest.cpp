#include "CanvasMath.h"
#include "QtPrinters.h"

#include <climits>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace CanvasMath;

namespace {

TEST(CanvasMathTest, TruncDropsTheFractionTowardZeroAndNeverOverflows) {
    EXPECT_EQ(Trunc(2.9), 2);
    EXPECT_EQ(Trunc(-0.5), 0);
    EXPECT_EQ(Trunc(-1.7), -1);
    EXPECT_EQ(Trunc(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(Trunc(1e300), INT_MAX);
    EXPECT_EQ(Trunc(-std::numeric_limits<double>::infinity()), INT_MIN);
}

TEST(CanvasMathTest, ScaleLimitsFollowTheLimitingSide) {
    ScaleLimits us = CalcScales(1000, 800, 200, 200);
    EXPECT_DOUBLE_EQ(us.ScaleMin, 1.0);
    EXPECT_DOUBLE_EQ(us.ScaleMax, 4.0);

    // Smaller than the capture rectangle: zooms in to twice its fitting size.
    ScaleLimits small = CalcScales(150, 100, 200, 200);
    EXPECT_DOUBLE_EQ(small.ScaleMax, 0.5);
    EXPECT_DOUBLE_EQ(small.ScaleMin, 0.25);

    ScaleLimits exact = CalcScales(200, 200, 200, 200);
    EXPECT_DOUBLE_EQ(exact.ScaleMin, 1.0);
    EXPECT_DOUBLE_EQ(exact.ScaleMax, 1.0);

    ScaleLimits uk = CalcScales(1000, 800, 154, 198);
    EXPECT_DOUBLE_EQ(uk.ScaleMax, 800.0 / 198.0);
    EXPECT_NEAR(uk.ScaleMax, 4.0404, 1e-4);
    EXPECT_DOUBLE_EQ(uk.ScaleMin, 1.0);
}

TEST(CanvasMathTest, ZoomLawIsLogarithmicBetweenTheLimits) {
    EXPECT_EQ(ZoomSize(1.0, 4.0, 100.0), 1.0); // exactly
    EXPECT_DOUBLE_EQ(ZoomSize(1.0, 4.0, 50.0), 2.0);
    EXPECT_DOUBLE_EQ(ZoomSize(1.0, 4.0, 0.0), 4.0);
    EXPECT_EQ(ZoomSize(0.25, 0.5, 100.0), 0.25);
    for (double p : {0.0, 37.5, 100.0}) EXPECT_EQ(ZoomSize(1.0, 1.0, p), 1.0);
    // Every percent multiplies the size by the same factor.
    const double step = std::pow(4.0, 1.0 / 100.0);
    EXPECT_NEAR(ZoomSize(1.0, 4.0, 20.0) / ZoomSize(1.0, 4.0, 21.0), step, 1e-12);
    EXPECT_NEAR(ZoomSize(1.0, 4.0, 80.5) / ZoomSize(1.0, 4.0, 81.5), step, 1e-12);
}

TEST(CanvasMathTest, CentreClampsKeepTheCaptureRectangleInsideAndTheFarEdgeWins) {
    // "US" half-extent 100 at size 2 in a 1000-pixel side: the centre stays within 200..800.
    EXPECT_EQ(ClampCentre(-50, 100, 2.0, 1000), 200);
    EXPECT_EQ(ClampCentre(500, 100, 2.0, 1000), 500);
    EXPECT_EQ(ClampCentre(950, 100, 2.0, 1000), 800);
    EXPECT_EQ(ClampCentre(200, 100, 2.0, 1000), 200);
    EXPECT_EQ(ClampCentre(800, 100, 2.0, 1000), 800);
    // Too narrow for both: the left clamp gives 200, then the right one takes it to 100.
    EXPECT_EQ(ClampCentre(0, 100, 2.0, 300), 100);
    // Fractional extents are truncated.
    EXPECT_EQ(ClampCentre(0, 77, 1.3, 1000), 100); // 100.1
    EXPECT_EQ(ClampCentre(999, 77, 1.3, 1000), 899); // 899.9
}

TEST(CanvasMathTest, DragRoundsToTheNearestPixelAndStepsTruncate) {
    // 10 right and 5 down at size 2: the centre goes 20 left and 10 up.
    EXPECT_EQ(DragCentre(500, 110, 100, 2.0), 480);
    EXPECT_EQ(DragCentre(400, 105, 100, 2.0), 390);
    EXPECT_EQ(DragCentre(500, 101, 100, 1.3), 499); // 498.7 rounds to 499
    EXPECT_EQ(DragCentre(500, 99, 100, 1.3), 501);  // 501.3
    EXPECT_EQ(DragCentre(500, 99, 100, 1.6), 502);  // 502.1

    EXPECT_EQ(StepCentre(75, 1, 0.25), 75); // below one source pixel a forward step is lost
    EXPECT_EQ(StepCentre(75, -1, 0.25), 74);
    EXPECT_EQ(StepCentre(500, 1, 2.0), 502);
    // A product a hair below a whole number still counts as whole.
    EXPECT_EQ(StepCentre(500, 1, 0.99999999999), 501);
}

TEST(CanvasMathTest, ViewSourcePutsTheCentreUnderTheCaptureCentre) {
    EXPECT_EQ(ViewSource(300, 300, 150, 150, 500, 400, 2.0), QRectF(200, 100, 600, 600));
    EXPECT_EQ(ViewSource(300, 300, 150, 150, 500, 400, 1.0), QRectF(350, 250, 300, 300));
    EXPECT_EQ(ViewSource(300, 300, 150, 150, 30, 20, 0.25), QRectF(-7, -17, 75, 75)); // -7.5, -17.5
}

TEST(CanvasMathTest, PassportCropFollowsTheCaptureRectangleWithGuards) {
    EXPECT_EQ(PassportCrop(200, 200, 2.0, 500, 400, 1000, 800), QRect(300, 200, 400, 400));
    EXPECT_EQ(PassportCrop(154, 198, 1.0, 500, 400, 1000, 800), QRect(423, 301, 154, 198));
    // The epsilon: 154 x (400 / 154) lands a hair below 400.
    EXPECT_EQ(PassportCrop(154, 154, 400.0 / 154.0, 500, 400, 1000, 800).width(), 400);
    // A negative start moves to 0 and keeps its size; the far edge cuts the crop.
    EXPECT_EQ(PassportCrop(200, 200, 2.0, 50, 100, 1000, 800), QRect(0, 0, 400, 400));
    EXPECT_EQ(PassportCrop(200, 200, 2.0, 950, 750, 1000, 800), QRect(750, 550, 250, 250));
}

TEST(CanvasMathTest, PassportCropIsNeverEmpty) {
    // A centre beyond the far edge (a view no rendering clamped) crops against that edge.
    EXPECT_EQ(PassportCrop(200, 200, 2.0, 5000, 4000, 1000, 800), QRect(600, 400, 400, 400));
    EXPECT_EQ(PassportCrop(200, 200, 8.0, 5000, 400, 1000, 800), QRect(0, 0, 1000, 800));
    // Less than one source pixel under the capture rectangle still gives one pixel.
    EXPECT_EQ(PassportCrop(200, 200, 0.0025, 0, 0, 1, 1), QRect(0, 0, 1, 1));
}

} // namespace
