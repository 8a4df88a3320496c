#pragma once

#include <QImage>

// The application's named pictures. Each accessor loads its picture on first use and keeps it
// for the run; every later call answers the same picture. An icon's mask picture is drawn into
// the icon's mask when the icon is first loaded. A picture that cannot be found gives a null
// QImage and is looked for again at the next call.
namespace Resources {

// Grey head guides over the 300 x 300 editing canvas (white lets the photo through).
QImage USPassportMask();
QImage UKPassportMask();

// Toolbar icons and their masks.
QImage DeleteIcon();
QImage DeleteMask();
QImage NewPhotoIcon();
QImage NewPhotoMask();
QImage SaveIcon();
QImage SaveMask();
QImage PrintIcon();
QImage PrintMask();
QImage EditPhotoIcon();
QImage EditPhotoMask();

// The application icon (a portrait in a passport-photo frame) and its mask.
QImage ApplicationIcon();
QImage ApplicationMask();

// The editor's picture buttons; their masks give the buttons their shapes.
QImage RotateRightIcon();
QImage RotateRightMask();
QImage RotateLeftIcon();
QImage RotateLeftMask();
QImage back();
QImage backMask();
QImage download();
QImage downloadMask();
QImage forward();
QImage forwardMask();
QImage upload();
QImage uploadMask();
QImage zoom_in();
QImage zoom_inMask();
QImage zoom_out();
QImage zoom_outMask();

// Strips stretched over a selected list row: active list, inactive list.
QImage BlueHighlight();
QImage GrayHighlight();

} // namespace Resources
