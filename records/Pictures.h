#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
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

// The most pixels a picture may have to be opened (100 megapixels, e.g. 10000 x 10000): a
// larger one is refused from its header, before any memory is spent on decoding it.
inline constexpr qint64 kMaxPicturePixels = 100'000'000;

// What opening a picture found.
enum class OpenStatus {
    Ok,          // a whole picture
    Damaged,     // a picture whose data ends early or that the decoder found corrupt; what
                 // could be decoded is there, missing parts grey
    Unreadable,  // a picture format whose data cannot be decoded at all
    TooLarge,    // more than kMaxPicturePixels pixels; not decoded
    NotAPicture, // empty, missing, a folder, or no picture format at all
};

struct OpenedPicture {
    OpenStatus status = OpenStatus::NotAPicture;
    // Upright (EXIF orientation applied), Format_RGB32, transparency laid on white, sRGB;
    // null unless the status is Ok or Damaged.
    QImage picture;
    // The upright size, when the header gave it (also for TooLarge).
    QSize size;
    // The system's words when the file is there but opening or reading it failed (a failing
    // disk, a network folder); empty otherwise. What was decoded then is not the file's picture.
    QString readFailure;
};

// Opens a picture file, reporting why when it gives no whole picture.
OpenedPicture OpenPicture(const QString& path);
// The same for encoded picture data (a drop that carries no file).
OpenedPicture OpenPictureData(const QByteArray& data);
// The picture of OpenPicture, also a damaged one; null when there is none.
QImage OpenAsPicture(const QString& path);
// Writes the picture as PNG, atomically; false when it could not be written.
bool SaveAsPicture(const QImage& pic, const QString& path);

// Dots per inch of the picture (Qt keeps dots per metre).
double HorizontalResolution(const QImage& pic);
double VerticalResolution(const QImage& pic);
void SetResolution(QImage& pic, double horizontalDpi, double verticalDpi);

} // namespace Pictures
