#include "Pictures.h"

#include <QColorSpace>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <cmath>

namespace Pictures {

namespace {
constexpr double kInchesPerMetre = 39.37007874015748;
// Room for a 100-megapixel photo decoded at 32 bits, with headroom for the decoder.
constexpr int kAllocationLimitMB = 1024;
} // namespace

QImage NewPicture(int width, int height) {
    if (width <= 0 || height <= 0) return {};
    QImage pic(width, height, QImage::Format_RGB32);
    if (pic.isNull()) return {};
    pic.fill(Qt::white);
    SetResolution(pic, 72, 72);
    return pic;
}

bool HasMask(const QImage& pic) {
    return !pic.isNull() && pic.hasAlphaChannel();
}

QImage Mask(const QImage& pic) {
    if (pic.isNull()) return {};
    QImage mask(pic.size(), QImage::Format_Grayscale8);
    if (!HasMask(pic)) {
        mask.fill(0);
        return mask;
    }
    const QImage argb = pic.format() == QImage::Format_ARGB32 ? pic : pic.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        uchar* dst = mask.scanLine(y);
        for (int x = 0; x < argb.width(); ++x) dst[x] = static_cast<uchar>(255 - qAlpha(src[x]));
    }
    return mask;
}

void SetMask(QImage& pic, const QImage& mask) {
    if (pic.isNull() || mask.isNull()) return;
    const QImage grey = mask.size() == pic.size() ? mask.convertToFormat(QImage::Format_Grayscale8)
                                                  : mask.scaled(pic.size()).convertToFormat(QImage::Format_Grayscale8);
    // Straight (not premultiplied) alpha keeps the colour of hidden pixels.
    if (pic.format() != QImage::Format_ARGB32) pic = pic.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < pic.height(); ++y) {
        auto* dst = reinterpret_cast<QRgb*>(pic.scanLine(y));
        const uchar* src = grey.constScanLine(y);
        for (int x = 0; x < pic.width(); ++x) dst[x] = (dst[x] & 0x00FFFFFFu) | (uint(255 - src[x]) << 24);
    }
}

QImage WithoutMask(const QImage& pic) {
    if (pic.isNull()) return {};
    if (!pic.hasAlphaChannel()) return pic.format() == QImage::Format_RGB32 ? pic : pic.convertToFormat(QImage::Format_RGB32);
    QImage argb = pic.convertToFormat(QImage::Format_ARGB32);
    QImage out(argb.size(), QImage::Format_RGB32);
    out.setDotsPerMeterX(pic.dotsPerMeterX());
    out.setDotsPerMeterY(pic.dotsPerMeterY());
    for (int y = 0; y < argb.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) dst[x] = src[x] | 0xFF000000u;
    }
    return out;
}

QImage OpenAsPicture(const QString& path) {
    QImageReader::setAllocationLimit(kAllocationLimitMB);
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage image;
    if (!reader.read(&image) || image.isNull()) return {};
    if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace(QColorSpace::SRgb))
        image.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
    if (image.hasAlphaChannel()) {
        // Transparent areas of an imported picture show as white, as on paper.
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter p(&flat);
        p.drawImage(0, 0, image);
        p.end();
        flat.setDotsPerMeterX(image.dotsPerMeterX());
        flat.setDotsPerMeterY(image.dotsPerMeterY());
        return flat;
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

bool SaveAsPicture(const QImage& pic, const QString& path) {
    if (pic.isNull()) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QImageWriter writer(&file, "png");
    if (!writer.write(pic)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// Qt stores whole dots per metre; whole dots per inch survive the round trip.
double HorizontalResolution(const QImage& pic) {
    return std::round(pic.dotsPerMeterX() / kInchesPerMetre);
}

double VerticalResolution(const QImage& pic) {
    return std::round(pic.dotsPerMeterY() / kInchesPerMetre);
}

void SetResolution(QImage& pic, double horizontalDpi, double verticalDpi) {
    pic.setDotsPerMeterX(static_cast<int>(std::lround(horizontalDpi * kInchesPerMetre)));
    pic.setDotsPerMeterY(static_cast<int>(std::lround(verticalDpi * kInchesPerMetre)));
}

} // namespace Pictures
