#pragma once

#include <QImage>
#include <QString>

// The picture layer: a plain picture is a Format_RGB32 QImage, a picture with a mask is a
// Format_ARGB32 QImage whose alpha is 255 minus the mask's grey (white transparent, black
// opaque). A null QImage is a nil picture.
namespace Pictures {

// A new 32-bit picture filled with white; null when it cannot be made.
QImage NewPicture(int width, int height);

bool HasMask(const QImage& pic);
// The mask as a greyscale picture (white where fully transparent); all black when there is none.
QImage Mask(const QImage& pic);
// Gives the picture the mask (same size, grey levels); the colours of hidden pixels are kept.
void SetMask(QImage& pic, const QImage& mask);
// Drops the mask, keeping every pixel's colour.
QImage WithoutMask(const QImage& pic);

// Opens a file as a picture: EXIF orientation applied, up to 100-megapixel-class sizes;
// null when the file holds no picture.
QImage OpenAsPicture(const QString& path);
// Writes the picture as PNG, atomically; false when it could not be written.
bool SaveAsPicture(const QImage& pic, const QString& path);

// Dots per inch of the picture (Qt keeps dots per metre).
double HorizontalResolution(const QImage& pic);
double VerticalResolution(const QImage& pic);
void SetResolution(QImage& pic, double horizontalDpi, double verticalDpi);

} // namespace Pictures
