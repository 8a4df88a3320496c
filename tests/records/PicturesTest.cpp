#include "JpegExporter.h"
#include "PNGu.h"
#include "PictureCompare.h"
#include "Pictures.h"
#include "QtPrinters.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

// A JPEG with an EXIF APP1 segment that carries only the orientation tag.
QByteArray JpegWithOrientation(const QImage& pic, quint16 orientation) {
    QByteArray jpeg;
    QBuffer buf(&jpeg);
    buf.open(QIODevice::WriteOnly);
    QImageWriter w(&buf, "jpeg");
    w.setQuality(95);
    EXPECT_TRUE(w.write(pic));
    QByteArray tiff("MM\0\x2a\0\0\0\x08", 8);
    tiff += QByteArray("\0\x01", 2);                   // one entry
    tiff += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8); // orientation, SHORT, count 1
    tiff += char(orientation >> 8);
    tiff += char(orientation & 0xff);
    tiff += QByteArray(2, '\0');
    tiff += QByteArray(4, '\0'); // no next IFD
    QByteArray app1("Exif\0\0", 6);
    app1 += tiff;
    QByteArray segment("\xff\xe1", 2);
    const quint16 len = static_cast<quint16>(app1.size() + 2);
    segment += char(len >> 8);
    segment += char(len & 0xff);
    segment += app1;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

TEST(PicturesTest, SoftMaskSurvivesPngRoundTripPixelForPixel) {
    QImage pic = PictureCompare::Gradient(37, 23);
    QImage mask(pic.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x) mask.scanLine(y)[x] = static_cast<uchar>((x * 7 + y * 11) % 256);
    Pictures::SetMask(pic, mask);
    ASSERT_TRUE(Pictures::HasMask(pic));

    const QImage back = PNGu::GetPictureWithMask(PNGu::GetData(pic, 0.0), 0.0);
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(PictureCompare::Difference(back, pic), QString()); // colours under hidden pixels too
    EXPECT_EQ(PictureCompare::Difference(Pictures::Mask(back), mask), QString());
}

TEST(PicturesTest, PngOfAPlainPictureHasNoMaskAndNoGammaChunk) {
    const QImage pic = PictureCompare::Gradient(10, 10);
    const QByteArray png = PNGu::GetData(pic);
    EXPECT_FALSE(png.contains("gAMA"));
    const QImage back = PNGu::GetPictureWithMask(png);
    EXPECT_FALSE(Pictures::HasMask(back));
    EXPECT_EQ(PictureCompare::Difference(back, pic), QString());
    EXPECT_TRUE(PNGu::GetPictureWithMask(QByteArray("garbage")).isNull());
    EXPECT_TRUE(PNGu::GetData(QImage()).isEmpty());
}

TEST(PicturesTest, ExifRotatedJpegOpensUpright) {
    QTemporaryDir dir;
    QImage pic(60, 40, QImage::Format_RGB32);
    pic.fill(Qt::white);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) pic.setPixel(x, y, qRgb(255, 0, 0)); // red in the top-left corner
    const QString path = dir.filePath(QStringLiteral("rotated.jpg"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(JpegWithOrientation(pic, 6)); // stored picture must be turned 90 degrees clockwise
    f.close();

    const QImage opened = Pictures::OpenAsPicture(path);
    ASSERT_FALSE(opened.isNull());
    EXPECT_EQ(opened.size(), QSize(40, 60));
    EXPECT_EQ(opened.format(), QImage::Format_RGB32);
    const QRgb corner = opened.pixel(35, 4); // red corner is now top-right
    EXPECT_GT(qRed(corner), 200);
    EXPECT_LT(qGreen(corner), 60);
}

TEST(PicturesTest, UnreadableFilesOpenAsNil) {
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("text.jpg"));
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("hello");
    f.close();
    const QString missing = dir.filePath(QStringLiteral("missing.jpg"));
    for (const QString& path : {text, missing, dir.path(), dir.filePath(QStringLiteral("text.jpg/x"))}) {
        SCOPED_TRACE(path.toStdString());
        const Pictures::OpenedPicture opened = Pictures::OpenPicture(path);
        EXPECT_TRUE(opened.picture.isNull());
        // Nothing there to read, or nothing in it: neither is a failed read.
        EXPECT_EQ(opened.readFailure, QString());
    }
    // Every read of our own memory at offset 0 fails with EIO, as a failing disk's do.
    const QString refusing = dir.filePath(QStringLiteral("refusing.jpg"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/mem"), refusing));
    const Pictures::OpenedPicture opened = Pictures::OpenPicture(refusing);
    EXPECT_TRUE(opened.picture.isNull());
    EXPECT_EQ(opened.readFailure, QStringLiteral("Input/output error"));
    // One that cannot be opened names the system's reason too.
    const QString loop = dir.filePath(QStringLiteral("loop.jpg"));
    ASSERT_TRUE(QFile::link(loop, loop));
    EXPECT_EQ(Pictures::OpenPicture(loop).readFailure, QStringLiteral("Too many levels of symbolic links"));
}

TEST(PicturesTest, SavedPictureOpensAgainWithItsResolution) {
    QTemporaryDir dir;
    QImage pic = PictureCompare::Gradient(20, 30);
    Pictures::SetResolution(pic, 72, 72);
    const QString path = dir.filePath(QStringLiteral("12"));
    ASSERT_TRUE(Pictures::SaveAsPicture(pic, path));
    const QImage back = Pictures::OpenAsPicture(path);
    EXPECT_EQ(PictureCompare::Difference(back, pic), QString());
    EXPECT_EQ(Pictures::HorizontalResolution(back), 72);
    EXPECT_FALSE(Pictures::SaveAsPicture(pic, dir.filePath(QStringLiteral("no/such/folder/x"))));
}

TEST(PicturesTest, JpegExporterWritesJfifWithItsQuality) {
    QTemporaryDir dir;
    QImage pic = PictureCompare::Gradient(64, 64);
    Pictures::SetResolution(pic, 300, 300);
    JpegExporter low, high;
    low.Quality = 10;
    high.Quality = 95;
    const QString a = dir.filePath(QStringLiteral("a.jpg")), b = dir.filePath(QStringLiteral("b.jpg"));
    ASSERT_TRUE(low.SaveToFile(pic, a));
    ASSERT_TRUE(high.SaveToFile(pic, b));
    QFile fa(a), fb(b);
    ASSERT_TRUE(fa.open(QIODevice::ReadOnly));
    ASSERT_TRUE(fb.open(QIODevice::ReadOnly));
    const QByteArray da = fa.readAll(), db = fb.readAll();
    EXPECT_TRUE(db.startsWith(QByteArray("\xff\xd8\xff\xe0", 4)));
    EXPECT_EQ(db.mid(6, 5), QByteArray("JFIF\0", 5));
    EXPECT_LT(da.size(), db.size());
}

TEST(PicturesTest, MaskOfAPlainPictureIsAllOpaque) {
    const QImage pic = PictureCompare::Gradient(5, 5);
    const QImage mask = Pictures::Mask(pic);
    ASSERT_EQ(mask.size(), pic.size());
    EXPECT_EQ(qGray(mask.pixel(2, 2)), 0);
    QImage plain = Pictures::NewPicture(3, 4);
    EXPECT_EQ(plain.format(), QImage::Format_RGB32);
    EXPECT_TRUE(Pictures::NewPicture(0, 4).isNull());
}

} // namespace
