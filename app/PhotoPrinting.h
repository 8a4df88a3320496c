#pragma once

#include "PictureArea.h"

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class PassportPhotoInfo;
class QPainter;
class QPrinter;

// Page setup and printing of passport photos: one page per photo, two copies at their true
// size, or four where the paper allows, with optional crop marks. The layouts draw on any
// QPainter given the page's printable size in device pixels, so a page can go to a printer,
// a PDF or a plain picture alike.
namespace PhotoPrinting {

// The pixels per inch of every passport picture.
inline constexpr int kPictureResolution = 300;
// What is asked of a printer below kPictureResolution, and the most ever asked for.
inline constexpr int kPrintResolution = 720;
inline constexpr unsigned kCropMarkColor = 0x777777;

// The resolution (horizontal, vertical) to draw at for a printer offering `dpi`: below 300 in
// either direction asks for 720 in both; otherwise the resolution stands, capped at 720.
QSize AcceptedResolution(QSize dpi);
// Applies AcceptedResolution to the printer.
void ApplyResolutionRule(QPrinter& printer);

// The device size of one copy of a 300 ppi picture of size `pic` at `dpi`.
QSize CopySize(QSize pic, QSize dpi);
// True when four copies of size `copy` fit on a page of printable size `page`.
bool FitsFourUp(QSize page, QSize copy);
// Where the two copies go: side by side on a landscape page, stacked otherwise.
std::array<PictureArea, 2> TwoUpAreas(QSize page, QSize copy);
// Where the four copies go, in drawing order: top left, bottom right, bottom left, top right.
std::array<PictureArea, 4> FourUpAreas(QSize page, QSize copy);

// The eight crop-mark triangles around `area`, each as its three corners, the tip second.
using Triangle = std::array<QPoint, 3>;
std::array<Triangle, 8> CropMarkTriangles(const PictureArea& area);

// Fills the crop marks around `area` in grey. Pen and brush stay grey on `g` afterwards.
void DrawCropMarks(QPainter& g, const PictureArea& area);
// Draws `pic` into `area`: resampled once, smoothly, to exactly the area's size, then drawn
// unscaled. Raises NilObjectException for a nil picture.
void DrawPassportPhoto(QPainter& g, const PictureArea& area, const QImage& pic);

// One page for the passport picture `pic`, printed at `dpi`, on a page whose printable area is
// `page` device pixels: four copies when "Print4UpWherePossible" allows and they fit, else two.
// "DrawCropMarks" and "Print4UpWherePossible" are read afresh on every call.
void PrintPicsToGraphics2Up(QPainter& g, QSize page, const QImage& pic, QSize dpi);
void PrintPicsToGraphics4Up(QPainter& g, QSize page, const QImage& pic, QSize dpi);

// A new printer for the window's page setup.
std::unique_ptr<QPrinter> NewPrinterSettings();

// Shows the page setup dialog on `printerSettings` (made, and restored from "printersettings",
// when null) and stores the result under "printersettings", whether the user chose OK or Cancel.
void PageSetup(std::unique_ptr<QPrinter>& printerSettings);

// The record's passport picture, or a null picture when it cannot be had: a record that fails
// to load must not cost the user the other photos.
QImage PassportPictureOf(const PassportPhotoInfo* record);
// What mends photos whose passport picture is missing or damaged, as a sentence to the user.
QString MendAdvice(qsizetype photos);

// The selected photos, in list row order.
using SelectedRecords = std::function<std::vector<PassportPhotoInfo*>()>;

// Prints one page per record that `selected` answers after the print dialog, in that order.
// The stored page setup is applied first; with none, the page setup dialog comes first.
// A record whose passport picture cannot be had is left out, and the user told which after the
// job; with none left to print, no job is started. A job that cannot be completed is reported
// with the reason; a drawing failure is raised after the pages printed so far are sent. A print
// to a file replaces the file only with the whole document: on failure an earlier file is left
// as it was, and no part.
void PrintPicture(std::unique_ptr<QPrinter>& printerSettings, const SelectedRecords& selected);

} // namespace PhotoPrinting
