#include "GraphicsExtensions.h"
#include "NilObjectException.h"
#include "PictureCompare.h"
#include "PictureExtensions.h"
#include "Pictures.h"
#include "QtPrinters.h"

#include <QPainter>
#include <QTransform>
#include <gtest/gtest.h>

namespace {

using PictureExtensions::ContrastBrightnessLevelMap;

// A picture whose every pixel differs from the others.
QImage Numbered(int w, int h) {
    QImage pic(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pic.setPixel(x, y, qRgb(x & 255, y & 255, (x * 7 + y * 13) & 255));
    return pic;
}

// The left half hidden, the right half shown, with a half-transparent column in between.
QImage HalfHidden(int w, int h) {
    QImage pic = Numbered(w, h);
    QImage mask(w, h, QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) mask.scanLine(y)[x] = x < w / 2 ? 255 : (x == w / 2 ? 128 : 0);
    Pictures::SetMask(pic, mask);
    return pic;
}

QRgb Mapped(const PictureExtensions::LevelMap& map, QRgb c) {
    return qRgb(map[qRed(c)], map[qGreen(c)], map[qBlue(c)]);
}

TEST(PictureExtensionsTest, QuarterTurnsMoveEveryPixelAndUndoEachOther) {
    const QImage src = Numbered(7, 4);
    const QImage cw = PictureExtensions::RotateCW(src);
    const QImage ccw = PictureExtensions::RotateCCW(src);
    ASSERT_EQ(cw.size(), QSize(4, 7));
    ASSERT_EQ(ccw.size(), QSize(4, 7));
    for (int x = 0; x < 7; ++x)
        for (int y = 0; y < 4; ++y) {
            EXPECT_EQ(cw.pixel(y, x), src.pixel(x, 4 - 1 - y)) << x << "," << y;
            EXPECT_EQ(ccw.pixel(y, 7 - 1 - x), src.pixel(x, y)) << x << "," << y;
        }
    EXPECT_EQ(cw.pixel(0, 0), src.pixel(0, 3)); // bottom-left becomes top-left
    EXPECT_EQ(ccw.pixel(0, 0), src.pixel(6, 0)); // top-right becomes top-left
    EXPECT_EQ(PictureCompare::Difference(PictureExtensions::RotateCCW(cw), src), QString());
    EXPECT_EQ(PictureCompare::Difference(PictureExtensions::RotateCW(ccw), src), QString());
}

TEST(PictureExtensionsTest, QuarterTurnsAcrossManyTilesMatchQt) {
    const QImage src = PictureCompare::Gradient(203, 131); // not a multiple of the tile size
    EXPECT_EQ(PictureCompare::Difference(PictureExtensions::RotateCW(src), src.transformed(QTransform().rotate(90))),
              QString());
    EXPECT_EQ(PictureCompare::Difference(PictureExtensions::RotateCCW(src), src.transformed(QTransform().rotate(270))),
              QString());
}

TEST(PictureExtensionsTest, QuarterTurnsCopyHiddenPixelsRawAndDropTheMask) {
    const QImage src = HalfHidden(6, 5);
    const QImage back = PictureExtensions::RotateCCW(PictureExtensions::RotateCW(src));
    EXPECT_FALSE(Pictures::HasMask(back));
    EXPECT_EQ(PictureCompare::Difference(back, Pictures::WithoutMask(src)), QString());

    const QImage one = Numbered(1, 1);
    EXPECT_EQ(PictureCompare::Difference(PictureExtensions::RotateCW(one), one), QString());
    EXPECT_EQ(PictureCompare::Difference(PictureExtensions::RotateCCW(one), one), QString());
    EXPECT_TRUE(PictureExtensions::RotateCW(QImage()).isNull());
    EXPECT_TRUE(PictureExtensions::RotateCCW(QImage()).isNull());
}

TEST(PictureExtensionsTest, LevelMapTruncatesBeforeAddingBrightness) {
    for (int i = 0; i < 256; ++i) EXPECT_EQ(ContrastBrightnessLevelMap(0, 0)[i], i);
    for (int v : ContrastBrightnessLevelMap(-100, 20)) EXPECT_EQ(v, 147);

    const auto full = ContrastBrightnessLevelMap(100, 0);
    EXPECT_EQ(full[0], 0);
    EXPECT_EQ(full[63], 0);
    EXPECT_EQ(full[64], 1);
    EXPECT_EQ(full[127], 127);
    EXPECT_EQ(full[128], 129);
    EXPECT_EQ(full[191], 255);
    EXPECT_EQ(full[255], 255);

    const auto half = ContrastBrightnessLevelMap(-50, 0);
    EXPECT_EQ(half[0], 63); // 63.5 truncated
    EXPECT_EQ(half[255], 191);
    EXPECT_EQ(ContrastBrightnessLevelMap(50, 10)[42], 10); // -0.5 truncates to 0, not -1
    const auto tenth = ContrastBrightnessLevelMap(10, 0);
    EXPECT_EQ(tenth[17], 5); // the factor 1.1 is formed first: products just short of 6 and 17
    EXPECT_EQ(tenth[27], 16);

    EXPECT_EQ(ContrastBrightnessLevelMap(150, 0), ContrastBrightnessLevelMap(100, 0));
    EXPECT_EQ(ContrastBrightnessLevelMap(30, -300), ContrastBrightnessLevelMap(30, -100));
    EXPECT_EQ(ContrastBrightnessLevelMap(-250, 400), ContrastBrightnessLevelMap(-100, 100));
}

TEST(PictureExtensionsTest, ContrastAndBrightnessMapEveryChannelIntoANewPlainPicture) {
    const QImage src = Numbered(9, 6);
    const QImage before = src.copy();
    const auto map = ContrastBrightnessLevelMap(35, -12);
    const QImage out = PictureExtensions::AdjustContrastAndBrightness(src, 35, -12);
    ASSERT_EQ(out.size(), src.size());
    EXPECT_FALSE(Pictures::HasMask(out));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x) ASSERT_EQ(out.pixel(x, y), Mapped(map, src.pixel(x, y))) << x << "," << y;
    EXPECT_EQ(PictureCompare::Difference(src, before), QString());

    const QImage same = PictureExtensions::AdjustContrastAndBrightness(src, 0, 0);
    EXPECT_EQ(PictureCompare::Difference(same, src), QString());
    EXPECT_NE(same.constBits(), src.constBits());
}

TEST(PictureExtensionsTest, ContrastAndBrightnessShowHiddenPixelsAsWhite) {
    const QImage src = HalfHidden(8, 3);
    const auto map = ContrastBrightnessLevelMap(-40, 15);
    const QImage out = PictureExtensions::AdjustContrastAndBrightness(src, -40, 15);
    EXPECT_FALSE(Pictures::HasMask(out));
    EXPECT_EQ(out.pixel(0, 1), Mapped(map, qRgb(255, 255, 255)));
    EXPECT_EQ(out.pixel(7, 1), Mapped(map, src.pixel(7, 1) | 0xFF000000u));
    EXPECT_THROW(PictureExtensions::AdjustContrastAndBrightness(QImage(), 0, 0), NilObjectException);
}

TEST(PictureExtensionsTest, CloneDrawsOverWhiteWithoutTheMask) {
    const QImage src = HalfHidden(8, 3);
    const QImage c = PictureExtensions::Clone(src);
    EXPECT_FALSE(Pictures::HasMask(c));
    EXPECT_EQ(c.pixel(1, 2), qRgb(255, 255, 255));     // hidden: not copied
    EXPECT_EQ(c.pixel(6, 2), src.pixel(6, 2));          // shown: copied
    const QRgb half = c.pixel(4, 2);                     // half hidden: half way to white
    EXPECT_NEAR(qRed(half), (qRed(src.pixel(4, 2)) + 255) / 2, 2);

    const QImage plain = Numbered(5, 5);
    const QImage copy = PictureExtensions::Clone(plain);
    EXPECT_EQ(PictureCompare::Difference(copy, plain), QString());
    EXPECT_NE(copy.constBits(), plain.constBits());
    EXPECT_THROW(PictureExtensions::Clone(QImage()), NilObjectException);
}

TEST(PictureExtensionsTest, CloneWithMaskKeepsHiddenColoursAndTheMaskAndLeavesTheSource) {
    const QImage src = HalfHidden(8, 3);
    const QImage maskBefore = Pictures::Mask(src);
    const QImage c = PictureExtensions::CloneWithMask(src);
    EXPECT_EQ(PictureCompare::Difference(c, src), QString()); // colours under hidden pixels too
    EXPECT_EQ(PictureCompare::Difference(Pictures::Mask(c), maskBefore), QString());
    EXPECT_EQ(PictureCompare::Difference(Pictures::Mask(src), maskBefore), QString());
    EXPECT_NE(c.constBits(), src.constBits());

    const QImage plain = Numbered(4, 4);
    const QImage opaque = PictureExtensions::CloneWithMask(plain);
    EXPECT_TRUE(Pictures::HasMask(opaque));
    EXPECT_EQ(PictureCompare::Difference(Pictures::Mask(opaque), Pictures::Mask(plain)), QString()); // all black
    EXPECT_EQ(PictureCompare::Difference(Pictures::WithoutMask(opaque), plain), QString());
    EXPECT_THROW(PictureExtensions::CloneWithMask(QImage()), NilObjectException);
}

TEST(PictureExtensionsTest, FillTriangleFillsWithTheBrushAndDrawsNoOutline) {
    QImage pic = Pictures::NewPicture(20, 20);
    {
        QPainter g(&pic);
        g.setBrush(QColor(0, 0, 0));
        g.setPen(QColor(255, 0, 0));
        GraphicsExtensions::FillTriangle(g, 0, 0, 20, 0, 0, 20);
    }
    EXPECT_EQ(pic.pixel(2, 2), qRgb(0, 0, 0));
    EXPECT_EQ(pic.pixel(8, 8), qRgb(0, 0, 0));
    EXPECT_EQ(pic.pixel(12, 12), qRgb(255, 255, 255));
    EXPECT_EQ(pic.pixel(19, 19), qRgb(255, 255, 255));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_NE(pic.pixel(x, y), qRgb(255, 0, 0)) << x << "," << y;

    QPainter idle;
    EXPECT_THROW(GraphicsExtensions::FillTriangle(idle, 0, 0, 1, 0, 0, 1), NilObjectException);
}

} // namespace
