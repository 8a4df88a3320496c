#include "PNGu.h"

#include "PngEncoder.h"

#include <QBuffer>
#include <QImageReader>

namespace PNGu {

QByteArray GetData(const QImage& pic, double /*gamma*/) {
    // Qt's writer compresses harder but some twenty times slower, and every save waits on it.
    return PngEncoder::Encode(pic, 1);
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
