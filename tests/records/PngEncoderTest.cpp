#include "PNGu.h"
#include "PictureCompare.h"
#include "Pictures.h"
#include "PngEncoder.h"
#include "QtPrinters.h"

#include <QBuffer>
#include <QImageReader>
#include <gtest/gtest.h>
#include <random>

namespace {

QImage Decode(const QByteArray& png) {
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    return reader.read();
}

// Smooth areas, edges and noise, so every row filter gets chosen somewhere.
QImage Mixed(int w, int h) {
    std::mt19937 rng(11);
    QImage pic(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(pic.scanLine(y));
        for (int x = 0; x < w; ++x) {
            if (y % 50 < 10) line[x] = 0xFF000000u | (rng() & 0xFFFFFFu);
            else if (x < w / 3) line[x] = qRgb(200, 10, 30);
            else line[x] = qRgb((x + y) & 255, (x * 2) & 255, (y * 3) & 255);
        }
    }
    return pic;
}

QImage Flat(int w, int h) {
    QImage pic(w, h, QImage::Format_RGB32);
    pic.fill(qRgb(12, 200, 99));
    return pic;
}

QImage Noise(int w, int h) {
    std::mt19937 rng(5);
    QImage pic(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) reinterpret_cast<QRgb*>(pic.scanLine(y))[x] = 0xFF000000u | (rng() & 0xFFFFFFu);
    return pic;
}

// The bands are compressed apart and joined; stored blocks (noise) and tiny streams (flat)
// are the cases where a join can go wrong.
TEST(PngEncoderTest, PlainPicturesRoundTripPixelForPixelOnAnyNumberOfThreads) {
    const QImage pictures[] = {Mixed(301, 517), Noise(97, 700), Flat(300, 300)};
    for (const QImage& pic : pictures) {
        for (int threads : {1, 3, 8}) {
            const QByteArray png = PngEncoder::Encode(pic, threads);
            ASSERT_TRUE(png.startsWith("\x89PNG\r\n\x1a\n"));
            EXPECT_FALSE(png.contains("gAMA"));
            const QImage back = Decode(png); // libpng checks every CRC and the Adler-32
            ASSERT_FALSE(back.isNull()) << threads;
            EXPECT_FALSE(back.hasAlphaChannel());
            EXPECT_EQ(PictureCompare::Difference(back, pic), QString()) << threads;
        }
    }
    const QImage one = Mixed(1, 1);
    EXPECT_EQ(PictureCompare::Difference(Decode(PngEncoder::Encode(one)), one), QString());
    EXPECT_TRUE(PngEncoder::Encode(QImage()).isEmpty());
}

TEST(PngEncoderTest, MaskAndTheColoursUnderItSurviveAndResolutionIsWritten) {
    QImage pic = Mixed(130, 260);
    QImage mask(pic.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < pic.height(); ++y)
        for (int x = 0; x < pic.width(); ++x) mask.scanLine(y)[x] = static_cast<uchar>((x * 5 + y) % 256);
    Pictures::SetMask(pic, mask);
    Pictures::SetResolution(pic, 72, 72);

    const QImage back = PNGu::GetPictureWithMask(PngEncoder::Encode(pic, 4));
    ASSERT_TRUE(Pictures::HasMask(back));
    EXPECT_EQ(PictureCompare::Difference(back, pic), QString()); // hidden colours too
    EXPECT_EQ(Pictures::HorizontalResolution(back), 72);
    EXPECT_EQ(Pictures::VerticalResolution(back), 72);
}

} // namespace
