#include "PNGu.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

namespace PNGu {

QByteArray GetData(const QImage& pic, double /*gamma*/) {
    if (pic.isNull()) return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // Straight alpha so the colours under hidden pixels are written as they are.
    const QImage out = pic.hasAlphaChannel() ? pic.convertToFormat(QImage::Format_ARGB32) : pic;
    if (!writer.write(out)) return {};
    return bytes;
}

QImage GetPictureWithMask(const QByteArray& data, double /*gamma*/) {
    if (data.isEmpty()) return {};
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    QImage image;
    if (!reader.read(&image) || image.isNull()) return {};
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

} // namespace PNGu
