// Draws the application's 32 named pictures and writes them as PNG files into resources/
// (or into the folder given as the first argument). Run by hand after changing a drawing;
// the PNG files are committed and compiled into the program.

#include "ResourceNames.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>
#include <cstdio>
#include <functional>

namespace {

// ---------------------------------------------------------------------------------------------
// Head guides. Both are drawn over the 300 x 300 editing canvas, whose capture rectangle stands
// for the whole printed photo.

constexpr int kCanvas = 300;

// United States: the 2 x 2 in photo is the 200 x 200 capture rectangle at (50, 50).
constexpr double kUsCaptureLeft = 50, kUsCaptureTop = 50, kUsCaptureSize = 200;
constexpr double kUsPixelsPerInch = kUsCaptureSize / 2.0;             // 100
constexpr double kUsHeadMin = 1.0 * kUsPixelsPerInch;                 // chin to top of hair at least 1 in
constexpr double kUsHeadMax = 1.375 * kUsPixelsPerInch;               // and at most 1 3/8 in
constexpr double kUsEyeLowest = 1.125 * kUsPixelsPerInch;             // eyes at least 1 1/8 in above the bottom
constexpr double kUsEyeHighest = 1.375 * kUsPixelsPerInch;            // and at most 1 3/8 in
constexpr double kUsBottom = kUsCaptureTop + kUsCaptureSize;          // 250
constexpr double kUsEyeLineLow = kUsBottom - kUsEyeLowest;            // y 137.5
constexpr double kUsEyeLineHigh = kUsBottom - kUsEyeHighest;          // y 112.5
// The eyes lie about halfway between chin and crown, so the head is centred on the middle of
// the eye band.
constexpr double kUsHeadCenterY = (kUsEyeLineLow + kUsEyeLineHigh) / 2.0; // 125

// United Kingdom: the 35 x 45 mm photo is the 154 x 198 capture rectangle at (73, 51).
constexpr double kUkCaptureLeft = 73, kUkCaptureTop = 51, kUkCaptureWidth = 154, kUkCaptureHeight = 198;
constexpr double kUkPixelsPerMm = kUkCaptureWidth / 35.0;             // 4.4 (198 / 45 too)
constexpr double kUkHeadMin = 29.0 * kUkPixelsPerMm;                  // chin to crown at least 29 mm
constexpr double kUkHeadMax = 34.0 * kUkPixelsPerMm;                  // and at most 34 mm
constexpr double kUkCrownGap = 5.0 * kUkPixelsPerMm;                  // crown 4 to 6 mm below the top edge
// A head of middling size (31.5 mm) has its crown in the middle of that gap; the smallest and
// largest heads share its centre.
constexpr double kUkHeadCenterY = kUkCaptureTop + kUkCrownGap + (kUkHeadMin + kUkHeadMax) / 4.0; // 142.3

// A head outline is this much wider than tall (a face with hair and ears).
constexpr double kHeadWidthPerHeight = 0.70;
constexpr double kCanvasCenterX = kCanvas / 2.0;

// Mask greys: the darker, the more of the overlay (grey outside, green inside) shows.
constexpr int kMaskOutside = 0x80;  // half veil outside the capture rectangle
constexpr int kMaskClear = 0xFF;    // the photo as it is
constexpr int kMaskVeil = 0xCC;     // light veil between the smallest and largest head
constexpr int kMaskLine = 0x22;     // guide lines, nearly solid green
constexpr double kGuidePen = 2.0;

QColor Grey(int level) {
    return QColor(level, level, level);
}

QRectF HeadOval(double centerY, double headHeight) {
    const double w = headHeight * kHeadWidthPerHeight;
    return QRectF(kCanvasCenterX - w / 2.0, centerY - headHeight / 2.0, w, headHeight);
}

// Grey mask with the capture rectangle clear and the ring of allowed head sizes veiled.
QImage HeadGuide(const QRectF& capture, double centerY, double headMin, double headMax,
                 const std::function<void(QPainter&)>& extra) {
    QImage mask(kCanvas, kCanvas, QImage::Format_RGB32);
    mask.fill(Grey(kMaskOutside));
    QPainter g(&mask);
    g.fillRect(capture, Grey(kMaskClear));
    g.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = HeadOval(centerY, headMax), inner = HeadOval(centerY, headMin);
    QPainterPath ring;
    ring.addEllipse(outer);
    ring.addEllipse(inner);
    g.fillPath(ring, Grey(kMaskVeil)); // odd-even fill: the ring only
    if (extra) extra(g);
    g.setPen(QPen(Grey(kMaskLine), kGuidePen));
    g.setBrush(Qt::NoBrush);
    g.drawEllipse(outer);
    g.drawEllipse(inner);
    g.end();
    return mask.convertToFormat(QImage::Format_Grayscale8);
}

QImage USPassportMask() {
    const QRectF capture(kUsCaptureLeft, kUsCaptureTop, kUsCaptureSize, kUsCaptureSize);
    return HeadGuide(capture, kUsHeadCenterY, kUsHeadMin, kUsHeadMax, [&](QPainter& g) {
        // The eye band at both sides: a light veil between two ticks.
        constexpr double tick = 16.0;
        for (const double x : {capture.left(), capture.right() - tick}) {
            g.fillRect(QRectF(x, kUsEyeLineHigh, tick, kUsEyeLineLow - kUsEyeLineHigh), Grey(kMaskVeil));
            g.setPen(QPen(Grey(kMaskLine), kGuidePen, Qt::SolidLine, Qt::FlatCap));
            g.drawLine(QPointF(x, kUsEyeLineHigh), QPointF(x + tick, kUsEyeLineHigh));
            g.drawLine(QPointF(x, kUsEyeLineLow), QPointF(x + tick, kUsEyeLineLow));
        }
    });
}

QImage UKPassportMask() {
    const QRectF capture(kUkCaptureLeft, kUkCaptureTop, kUkCaptureWidth, kUkCaptureHeight);
    return HeadGuide(capture, kUkHeadCenterY, kUkHeadMin, kUkHeadMax, {});
}

// ---------------------------------------------------------------------------------------------
// One palette for every icon.

const QColor kInk(0x2B, 0x34, 0x40);          // outlines
const QColor kPaper(0xFF, 0xFF, 0xFF);
const QColor kPaperShade(0xE6, 0xEB, 0xF1);
const QColor kSky(0xCF, 0xE0, 0xF3);          // photo background, top
const QColor kSkyLow(0xA9, 0xC6, 0xE8);       // photo background, bottom
const QColor kSitter(0x3D, 0x5A, 0x7D);       // the portrait's silhouette
const QColor kBlue(0x2F, 0x6F, 0xC0);
const QColor kBlueLight(0x5E, 0x9A, 0xDE);
const QColor kBlueDark(0x1E, 0x4E, 0x8C);
const QColor kGreen(0x2E, 0x9D, 0x57);
const QColor kGreenLight(0x4C, 0xC0, 0x75);
const QColor kRed(0xD2, 0x45, 0x3B);
const QColor kRedLight(0xEC, 0x6A, 0x5E);
const QColor kGuide(0x34, 0xC7, 0x5A);        // the passport head guide
const QColor kMetal(0x5B, 0x6B, 0x7E);
const QColor kMetalLight(0x8A, 0x99, 0xAB);

QImage NewArt(int w, int h) {
    QImage art(w, h, QImage::Format_ARGB32_Premultiplied);
    art.fill(Qt::transparent);
    return art;
}

QLinearGradient Vertical(const QRectF& r, const QColor& top, const QColor& bottom) {
    QLinearGradient grad(r.topLeft(), r.bottomLeft());
    grad.setColorAt(0, top);
    grad.setColorAt(1, bottom);
    return grad;
}

// A head-and-shoulders portrait filling `frame` (clipped to it).
void DrawPortrait(QPainter& g, const QRectF& frame) {
    g.save();
    g.setClipRect(frame);
    g.setPen(Qt::NoPen);
    g.setBrush(Vertical(frame, kSky, kSkyLow));
    g.drawRect(frame);
    const double w = frame.width(), h = frame.height();
    const double cx = frame.center().x();
    const double headW = w * 0.40, headH = h * 0.36;
    const QRectF head(cx - headW / 2, frame.top() + h * 0.20, headW, headH);
    QPainterPath shoulders;
    const double sTop = frame.top() + h * 0.66, sW = w * 0.92;
    shoulders.addRoundedRect(QRectF(cx - sW / 2, sTop, sW, h * 0.60), w * 0.36, h * 0.30);
    g.setBrush(kSitter);
    g.drawPath(shoulders);
    // The neck joins head and shoulders.
    g.drawRect(QRectF(cx - headW * 0.22, head.bottom() - headH * 0.2, headW * 0.44, sTop - head.bottom() + headH * 0.3));
    g.drawEllipse(head);
    g.restore();
}

// A photo print: white card with a thin outline and the portrait inside.
void DrawPhotoCard(QPainter& g, const QRectF& card, double border, double outline) {
    g.setPen(QPen(kInk, outline));
    g.setBrush(Vertical(card, kPaper, kPaperShade));
    g.drawRoundedRect(card, outline * 1.2, outline * 1.2);
    DrawPortrait(g, card.adjusted(border, border, -border, -border));
    g.setPen(QPen(kInk.lighter(150), outline * 0.5));
    g.setBrush(Qt::NoBrush);
    g.drawRect(card.adjusted(border, border, -border, -border));
}

// A round badge in the icons' bottom-right corner.
void DrawBadge(QPainter& g, const QPointF& center, double radius, const QColor& light, const QColor& dark) {
    const QRectF r(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius);
    g.setPen(QPen(kPaper, 3.0));
    g.setBrush(Vertical(r, light, dark));
    g.drawEllipse(r);
}

// ---------------------------------------------------------------------------------------------
// Toolbar icons, 64 x 64 on an even grid so that they stay crisp at 32 x 32.

constexpr int kToolbarSize = 64;
constexpr double kToolbarLine = 3.0;
const QRectF kCard(8, 5, 40, 50); // the photo of New and Edit

QImage NewPhotoIcon() {
    QImage art = NewArt(kToolbarSize, kToolbarSize);
    QPainter g(&art);
    g.setRenderHint(QPainter::Antialiasing);
    DrawPhotoCard(g, kCard, 5, kToolbarLine);
    const QPointF c(46, 46);
    DrawBadge(g, c, 15, kGreenLight, kGreen);
    g.setPen(QPen(kPaper, 5.0, Qt::SolidLine, Qt::RoundCap));
    g.drawLine(QPointF(c.x() - 7, c.y()), QPointF(c.x() + 7, c.y()));
    g.drawLine(QPointF(c.x(), c.y() - 7), QPointF(c.x(), c.y() + 7));
    g.end();
    return art;
}

QImage EditPhotoIcon() {
    QImage art = NewArt(kToolbarSize, kToolbarSize);
    QPainter g(&art);
    g.setRenderHint(QPainter::Antialiasing);
    DrawPhotoCard(g, kCard, 5, kToolbarLine);
    // A pencil lying across the bottom-right corner, tip towards the photo.
    g.save();
    g.translate(43, 43);
    g.rotate(-45);
    const double len = 40, thick = 11;
    const QRectF body(-len / 2 + 9, -thick / 2, len - 17, thick);
    QPainterPath pencil;
    pencil.moveTo(-len / 2, 0);
    pencil.lineTo(body.left(), body.top());
    pencil.lineTo(body.right() + 8, body.top());
    pencil.lineTo(body.right() + 8, body.bottom());
    pencil.lineTo(body.left(), body.bottom());
    pencil.closeSubpath();
    g.setPen(QPen(kInk, kToolbarLine, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
    g.setBrush(QColor(0xF2, 0xB6, 0x32));
    g.drawPath(pencil);
    // Bare wood of the point, its lead, the ferrule and the eraser.
    QPainterPath wood;
    wood.moveTo(-len / 2, 0);
    wood.lineTo(body.left(), body.top());
    wood.lineTo(body.left(), body.bottom());
    wood.closeSubpath();
    g.setBrush(QColor(0xF6, 0xDD, 0xB0));
    g.drawPath(wood);
    g.setPen(Qt::NoPen);
    g.setBrush(kInk);
    QPainterPath lead;
    lead.moveTo(-len / 2, 0);
    lead.lineTo(-len / 2 + 3.6, -2);
    lead.lineTo(-len / 2 + 3.6, 2);
    lead.closeSubpath();
    g.drawPath(lead);
    g.setPen(QPen(kInk, kToolbarLine));
    g.setBrush(kMetalLight);
    g.drawRect(QRectF(body.right(), body.top(), 4, thick));
    g.setBrush(QColor(0xE8, 0x7C, 0x8A));
    g.drawRoundedRect(QRectF(body.right() + 4, body.top(), 6, thick), 2, 2);
    g.restore();
    g.end();
    return art;
}

QImage PrintIcon() {
    QImage art = NewArt(kToolbarSize, kToolbarSize);
    QPainter g(&art);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(kInk, kToolbarLine, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
    // Blank paper waiting at the back.
    g.setBrush(kPaper);
    g.drawRect(QRectF(18, 5, 28, 20));
    // The printer's body.
    const QRectF body(5, 21, 54, 26);
    g.setBrush(Vertical(body, kMetalLight, kMetal));
    g.drawRoundedRect(body, 5, 5);
    g.setPen(Qt::NoPen);
    g.setBrush(kGreenLight);
    g.drawEllipse(QRectF(48, 26, 5, 5));
    // The output slot and the printed photo coming out of it.
    g.setPen(QPen(kInk, kToolbarLine));
    g.setBrush(kInk);
    g.drawRect(QRectF(13, 37, 38, 3));
    const QRectF photo(17, 38, 30, 23);
    g.setBrush(kPaper);
    g.drawRect(photo);
    DrawPortrait(g, photo.adjusted(4, 3, -4, -2));
    g.end();
    return art;
}

QImage SaveIcon() {
    QImage art = NewArt(kToolbarSize, kToolbarSize);
    QPainter g(&art);
    g.setRenderHint(QPainter::Antialiasing);
    // A picture file: a page with a folded corner and a photo on it.
    const QRectF page(9, 4, 40, 52);
    const double fold = 11;
    QPainterPath sheet;
    sheet.moveTo(page.topLeft());
    sheet.lineTo(page.right() - fold, page.top());
    sheet.lineTo(page.right(), page.top() + fold);
    sheet.lineTo(page.bottomRight());
    sheet.lineTo(page.bottomLeft());
    sheet.closeSubpath();
    g.setPen(QPen(kInk, kToolbarLine, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
    g.setBrush(Vertical(page, kPaper, kPaperShade));
    g.drawPath(sheet);
    QPainterPath corner;
    corner.moveTo(page.right() - fold, page.top());
    corner.lineTo(page.right() - fold, page.top() + fold);
    corner.lineTo(page.right(), page.top() + fold);
    g.setBrush(kPaperShade.darker(110));
    g.drawPath(corner);
    const QRectF photo(15, 18, 22, 28);
    DrawPortrait(g, photo);
    g.setPen(QPen(kInk.lighter(150), 1.5));
    g.setBrush(Qt::NoBrush);
    g.drawRect(photo);
    // Blue badge with the arrow down into the file.
    const QPointF c(46, 46);
    DrawBadge(g, c, 15, kBlueLight, kBlue);
    g.setPen(QPen(kPaper, 5.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    g.drawLine(QPointF(c.x(), c.y() - 8), QPointF(c.x(), c.y() + 6));
    g.setBrush(Qt::NoBrush);
    QPainterPath head;
    head.moveTo(c.x() - 6.5, c.y() + 0.5);
    head.lineTo(c.x(), c.y() + 7);
    head.lineTo(c.x() + 6.5, c.y() + 0.5);
    g.drawPath(head);
    g.end();
    return art;
}

QImage DeleteIcon() {
    QImage art = NewArt(kToolbarSize, kToolbarSize);
    QPainter g(&art);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(kInk, kToolbarLine, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    // A waste bin: tapered body with ribs, lid and handle.
    const QRectF lid(10, 12, 44, 7);
    QPainterPath bin;
    bin.moveTo(14, 19);
    bin.lineTo(50, 19);
    bin.lineTo(46, 59);
    bin.lineTo(18, 59);
    bin.closeSubpath();
    g.setBrush(Vertical(QRectF(14, 19, 36, 40), kPaper, kPaperShade.darker(108)));
    g.drawPath(bin);
    g.setPen(QPen(kInk.lighter(160), kToolbarLine, Qt::SolidLine, Qt::RoundCap));
    for (const double x : {24.0, 32.0, 40.0}) {
        const double slant = (x - 32.0) * 0.12;
        g.drawLine(QPointF(x, 26), QPointF(x - slant, 52));
    }
    g.setPen(QPen(kInk, kToolbarLine, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    g.setBrush(Qt::NoBrush);
    g.drawRoundedRect(QRectF(25, 5, 14, 9), 3, 3);
    g.setBrush(Vertical(lid, kRedLight, kRed));
    g.drawRoundedRect(lid, 2.5, 2.5);
    g.end();
    return art;
}

// ---------------------------------------------------------------------------------------------
// The editor's round picture buttons, 32 x 32: a blue disc with a white sign. The disc is the
// button's shape (the mask is white outside it, so a click there misses).

constexpr int kButtonSize = 32;
constexpr double kButtonRadius = 15.0;
const QPointF kButtonCenter(16.0, 16.0);

template <class Sign> QImage RoundButton(Sign drawSign) {
    QImage art = NewArt(kButtonSize, kButtonSize);
    QPainter g(&art);
    g.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(kButtonCenter.x() - kButtonRadius, kButtonCenter.y() - kButtonRadius,
                      2 * kButtonRadius, 2 * kButtonRadius);
    g.setPen(Qt::NoPen);
    g.setBrush(kBlueDark);
    g.drawEllipse(disc);
    g.setBrush(Vertical(disc, kBlueLight, kBlue));
    g.drawEllipse(disc.adjusted(1, 1, -1, -1));
    // A soft sheen on the upper half.
    QRadialGradient sheen(QPointF(16, 8), 14);
    sheen.setColorAt(0, QColor(255, 255, 255, 90));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    g.setBrush(sheen);
    g.drawEllipse(disc.adjusted(3, 2, -3, -14));
    g.setPen(Qt::NoPen);
    g.setBrush(kPaper);
    drawSign(g);
    g.end();
    return art;
}

// A solid arrow pointing up, turned by `degrees` clockwise about the button's centre.
QImage ArrowButton(double degrees) {
    return RoundButton([&](QPainter& g) {
        g.translate(kButtonCenter);
        g.rotate(degrees);
        QPainterPath arrow;
        arrow.moveTo(0, -9);
        arrow.lineTo(8, -1);
        arrow.lineTo(3, -1);
        arrow.lineTo(3, 9);
        arrow.lineTo(-3, 9);
        arrow.lineTo(-3, -1);
        arrow.lineTo(-8, -1);
        arrow.closeSubpath();
        g.drawPath(arrow);
    });
}

// Three quarters of a circle ending in an arrow head; mirrored for the counter-clockwise turn.
QImage RotateButton(bool counterClockwise) {
    return RoundButton([&](QPainter& g) {
        g.translate(kButtonCenter);
        if (counterClockwise) g.scale(-1, 1);
        const double r = 7.5;
        g.setPen(QPen(kPaper, 3.0, Qt::SolidLine, Qt::FlatCap));
        g.setBrush(Qt::NoBrush);
        // Clockwise from the left (9 o'clock) round to the top.
        QPainterPath arc;
        arc.arcMoveTo(QRectF(-r, -r + 1, 2 * r, 2 * r), 90);
        arc.arcTo(QRectF(-r, -r + 1, 2 * r, 2 * r), 90, 270);
        g.drawPath(arc);
        // The arrow head at the top, pointing right (clockwise).
        g.setPen(Qt::NoPen);
        g.setBrush(kPaper);
        QPainterPath head;
        head.moveTo(1.5, -r - 5.5 + 1);
        head.lineTo(8.0, -r + 1);
        head.lineTo(1.5, -r + 6.5 + 1);
        head.closeSubpath();
        g.drawPath(head);
    });
}

// A magnifying glass with a plus or a minus in its lens.
QImage ZoomButton(bool in) {
    return RoundButton([&](QPainter& g) {
        const QPointF lens(14.0, 14.0);
        const double r = 6.5;
        g.setPen(QPen(kPaper, 2.5));
        g.setBrush(Qt::NoBrush);
        g.drawEllipse(lens, r, r);
        g.setPen(QPen(kPaper, 4.0, Qt::SolidLine, Qt::RoundCap));
        g.drawLine(QPointF(19.2, 19.2), QPointF(23.5, 23.5));
        g.setPen(QPen(kPaper, 2.2, Qt::SolidLine, Qt::FlatCap));
        g.drawLine(QPointF(lens.x() - 3.5, lens.y()), QPointF(lens.x() + 3.5, lens.y()));
        if (in) g.drawLine(QPointF(lens.x(), lens.y() - 3.5), QPointF(lens.x(), lens.y() + 3.5));
    });
}

// ---------------------------------------------------------------------------------------------
// The application icon, 128 x 128: a passport photo print with its head guide and crop marks,
// lying on a second print.

QImage ApplicationIcon() {
    constexpr int size = 128;
    QImage art = NewArt(size, size);
    QPainter g(&art);
    g.setRenderHint(QPainter::Antialiasing);
    // 35 x 45 proportions.
    const QRectF front(26, 8, 77, 99);
    const double line = 3.0;
    // Soft shadow under both prints.
    for (int i = 6; i >= 1; --i) {
        g.setPen(Qt::NoPen);
        g.setBrush(QColor(0, 0, 0, 10));
        g.drawRoundedRect(front.translated(2, 6).adjusted(-i, -i, i, i), 4 + i, 4 + i);
    }
    // The print behind, turned a little.
    g.save();
    g.translate(front.center());
    g.rotate(-10);
    g.translate(-front.center());
    g.translate(-10, 6);
    DrawPhotoCard(g, front, 8, line);
    g.restore();
    DrawPhotoCard(g, front, 8, line);
    // Head guide over the front portrait.
    const QRectF photo = front.adjusted(8, 8, -8, -8);
    const double headW = photo.width() * 0.40, headH = photo.height() * 0.36;
    const QRectF head(photo.center().x() - headW / 2, photo.top() + photo.height() * 0.20, headW, headH);
    g.setBrush(Qt::NoBrush);
    g.setPen(QPen(kGuide, 2.5, Qt::DashLine, Qt::FlatCap));
    g.drawEllipse(head.adjusted(-5, -6, 5, 5));
    // Crop marks at the photo's corners.
    g.setPen(QPen(kInk, 2.0, Qt::SolidLine, Qt::FlatCap));
    const double m = 9;
    for (const QPointF& corner : {photo.topLeft(), photo.topRight(), photo.bottomLeft(), photo.bottomRight()}) {
        const double sx = corner.x() < photo.center().x() ? 1 : -1;
        const double sy = corner.y() < photo.center().y() ? 1 : -1;
        const QPointF c = corner + QPointF(sx * 3, sy * 3);
        g.drawLine(c, c + QPointF(sx * m, 0));
        g.drawLine(c, c + QPointF(0, sy * m));
    }
    // A round green badge with a check: the photo meets the rules.
    const QPointF badge(98, 102);
    DrawBadge(g, badge, 17, kGreenLight, kGreen);
    g.setPen(QPen(kPaper, 5.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath check;
    check.moveTo(badge + QPointF(-8, 0));
    check.lineTo(badge + QPointF(-2.5, 6));
    check.lineTo(badge + QPointF(8, -6));
    g.drawPath(check);
    g.end();
    return art;
}

// ---------------------------------------------------------------------------------------------
// Selection strips, stretched over a 72-pixel list row (drawn from 3 pixels above the row to
// 74 pixels tall); only the top 3 rows fall outside the cell.

constexpr int kStripWidth = 16;
constexpr int kStripHeight = 74;
constexpr int kStripHidden = 3;

QImage Strip(const QColor& top, const QColor& bottom, const QColor& topLine, const QColor& bottomLine) {
    QImage strip(kStripWidth, kStripHeight, QImage::Format_RGB32);
    QPainter g(&strip);
    const QRectF r(0, 0, kStripWidth, kStripHeight);
    g.fillRect(r, Vertical(r, top, bottom));
    g.fillRect(QRectF(0, 0, kStripWidth, kStripHidden + 1), topLine);
    g.fillRect(QRectF(0, kStripHeight - 1, kStripWidth, 1), bottomLine);
    g.end();
    return strip;
}

QImage BlueHighlight() {
    return Strip(QColor(0x68, 0x9E, 0xE0), QColor(0x2F, 0x6B, 0xBE), QColor(0x8C, 0xB8, 0xEC), QColor(0x25, 0x58, 0xA0));
}

QImage GrayHighlight() {
    return Strip(QColor(0xAB, 0xB2, 0xBB), QColor(0x8A, 0x92, 0x9D), QColor(0xC0, 0xC6, 0xCD), QColor(0x7A, 0x82, 0x8C));
}

// ---------------------------------------------------------------------------------------------
// Writing.

bool Write(const QImage& pic, const QDir& dir, const char* name) {
    const QString path = dir.filePath(ResourceNames::FileName(name));
    if (!pic.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(path), pic.width(), pic.height());
    return true;
}

// Splits drawn art into the icon's colours (what is hidden, white) and its grey mask.
bool WriteIcon(const QImage& art, const QDir& dir, const char* name, const char* maskName) {
    const QImage straight = art.convertToFormat(QImage::Format_ARGB32);
    QImage colours(straight.size(), QImage::Format_RGB32);
    QImage mask(straight.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < straight.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(straight.constScanLine(y));
        auto* dst = reinterpret_cast<QRgb*>(colours.scanLine(y));
        uchar* m = mask.scanLine(y);
        for (int x = 0; x < straight.width(); ++x) {
            const int alpha = qAlpha(src[x]);
            dst[x] = alpha == 0 ? qRgb(255, 255, 255) : (src[x] | 0xFF000000u);
            m[x] = static_cast<uchar>(255 - alpha);
        }
    }
    return Write(colours, dir, name) && Write(mask, dir, maskName);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(KESTRINE_RESOURCES_DIR));
    if (!dir.exists()) {
        std::fprintf(stderr, "no folder %s\n", qPrintable(dir.path()));
        return 1;
    }
    namespace R = ResourceNames;
    bool ok = true;
    ok &= Write(USPassportMask(), dir, R::USPassportMask);
    ok &= Write(UKPassportMask(), dir, R::UKPassportMask);
    ok &= WriteIcon(DeleteIcon(), dir, R::DeleteIcon, R::DeleteMask);
    ok &= WriteIcon(NewPhotoIcon(), dir, R::NewPhotoIcon, R::NewPhotoMask);
    ok &= WriteIcon(SaveIcon(), dir, R::SaveIcon, R::SaveMask);
    ok &= WriteIcon(PrintIcon(), dir, R::PrintIcon, R::PrintMask);
    ok &= WriteIcon(EditPhotoIcon(), dir, R::EditPhotoIcon, R::EditPhotoMask);
    ok &= WriteIcon(ApplicationIcon(), dir, R::ApplicationIcon, R::ApplicationMask);
    ok &= WriteIcon(RotateButton(false), dir, R::RotateRightIcon, R::RotateRightMask);
    ok &= WriteIcon(RotateButton(true), dir, R::RotateLeftIcon, R::RotateLeftMask);
    ok &= WriteIcon(ArrowButton(270), dir, R::back, R::backMask);
    ok &= WriteIcon(ArrowButton(180), dir, R::download, R::downloadMask);
    ok &= WriteIcon(ArrowButton(90), dir, R::forward, R::forwardMask);
    ok &= WriteIcon(ArrowButton(0), dir, R::upload, R::uploadMask);
    ok &= WriteIcon(ZoomButton(true), dir, R::zoom_in, R::zoom_inMask);
    ok &= WriteIcon(ZoomButton(false), dir, R::zoom_out, R::zoom_outMask);
    ok &= Write(BlueHighlight(), dir, R::BlueHighlight);
    ok &= Write(GrayHighlight(), dir, R::GrayHighlight);
    return ok ? 0 : 1;
}
