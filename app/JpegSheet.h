#pragma once

#include "PictureArea.h"

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>

class PassportPhotoInfo;
class QWidget;

// The JPEG sheet: two copies of a passport picture at their true size on a 4" x 6" landscape
// picture (1800 x 1200 at 300 dpi), with optional crop marks and two caption lines.
namespace JpegSheet {

inline constexpr int kSheetWidth = 1800;
inline constexpr int kSheetHeight = 1200;
inline constexpr int kResolution = 300;
inline constexpr int kQuality = 90;

QString FirstCaption();  // Print this image at 4" x 6"
QString SecondCaption(); // the product's web site

// Where things go on a sheet of size `sheet` for a passport picture of size `pic`.
struct Layout {
    int gap = 0;      // left of the first copy, and the space between the copies
    int top = 0;      // top of both copies; also the height of the caption bands
    PictureArea first;
    PictureArea second;
    int textSize = 0; // caption size in pixels
};
Layout SheetLayout(QSize sheet, QSize pic);

// The captions' left ends and baselines for the caption font of `layout`.
struct Captions {
    QPoint first;
    QPoint second;
};
Captions CaptionPlacement(const QImage& sheet, const Layout& layout);

// The sheet for `pic`, resolution 300 dpi. Raises NilObjectException for a nil picture.
QImage DrawSheet(const QImage& pic, bool cropMarks);
// The sheet as JPEG file bytes, quality 90, the JFIF density set to 300 dpi in both directions;
// empty when the encoder failed or wrote no JFIF header.
QByteArray EncodeSheet(const QImage& sheet);

// "<name> Passport Photo.jpg"
QString DefaultFileName(const PassportPhotoInfo& record);

// Draws, encodes and writes the sheet for `record` to `path` ("DrawCropMarks" read afresh).
// An existing file is replaced only once the new one is completely written. False, with the
// reason in `error`, when it could not be written. Raises NilObjectException when the record has
// no passport picture.
bool WriteSheetFile(const PassportPhotoInfo& record, const QString& path, QString* error = nullptr);

// Asks where to save and saves the sheet for `record` (the selected photo; null when none is).
// Tells the user, and writes nothing, when the photo has no passport picture or the file could
// not be written; cancelling, no selection and a failed drawing end it silently.
void SavePicture(const PassportPhotoInfo* record, QWidget* parent = nullptr);

} // namespace JpegSheet
