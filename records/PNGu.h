#pragma once

#include <QByteArray>
#include <QImage>

// PNG data that carries a picture's mask as its alpha channel.
namespace PNGu {

// PNG bytes of the picture, without a gamma chunk (gamma is always 0). Empty for a nil picture.
QByteArray GetData(const QImage& pic, double gamma = 0.0);
// The picture back from PNG bytes, with its mask when the data has alpha; nil when unreadable.
QImage GetPictureWithMask(const QByteArray& data, double gamma = 0.0);

} // namespace PNGu
