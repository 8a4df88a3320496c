#pragma once

#include "CaptureArea.h"

#include <QImage>
#include <QRect>
#include <QString>

// The passport formats by their code: "US", "UK", and "Test", whose values any other code gets
// too. Codes are compared without regard to letter case.
namespace PassportTemplates {

// A new white 32-bit picture of the format's print size at 300 dpi: 600 x 600 for "US",
// 414 x 532 for "UK", 600 x 600 otherwise.
QImage BlankPassportPicture(const QString& code);

// The format's capture rectangle in the editing canvas, centred on (150, 150).
CaptureArea PassportCaptureArea(const QString& code);

// A new 300 x 300 overlay with its mask, drawn over the editing canvas: grey with the capture
// rectangle in green, seen through the format's head mask for "US" and "UK"; white with two
// ovals for any other code. Raises NilObjectException when a head mask picture is missing.
QImage MaskImage(const QString& code);

// The "Test" format's two-oval overlay around `area`, on a new picture of `size` with its mask.
QImage OvalOverlay(QSize size, const QRect& area);

// "United States", "United Kingdom", "Test Format", or "Unknown format" for any other code.
QString DisplayName(const QString& code);

} // namespace PassportTemplates
