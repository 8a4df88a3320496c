#include "PassportTemplates.h"

#include "NilObjectException.h"
#include "Pictures.h"
#include "Resources.h"

#include <QPainter>

namespace PassportTemplates {

namespace {

enum class Format { US, UK, Other };

// "US" is tested first, then "UK"; every other code takes the "Test" values.
Format FormatOf(const QString& code) {
    if (code.compare(QLatin1String("US"), Qt::CaseInsensitive) == 0) return Format::US;
    if (code.compare(QLatin1String("UK"), Qt::CaseInsensitive) == 0) return Format::UK;
    return Format::Other;
}

constexpr int kCanvasSize = 300;

// A colour written &hRRGGBB.
QColor Rgb(QRgb rgb) {
    return QColor::fromRgb(rgb);
}
constexpr double kPrintDpi = 300.0;

// Paints on pic's mask as on a grey picture (white lets what is below through); a new mask
// starts opaque.
template <class Draw> void PaintMask(QImage& pic, Draw draw) {
    QImage mask = Pictures::Mask(pic).convertToFormat(QImage::Format_RGB32);
    {
        QPainter g(&mask);
        draw(g);
    }
    Pictures::SetMask(pic, mask);
}

// An oval outline with a 2 x 2 pen that stays inside the rectangle, as the ovals of the
// "Test" overlay are drawn.
void DrawOval(QPainter& g, QColor colour, int left, int top, int width, int height) {
    g.setPen(QPen(colour, 2.0));
    g.setBrush(Qt::NoBrush);
    g.drawEllipse(QRectF(left + 1.0, top + 1.0, width - 2.0, height - 2.0));
}

void FillOval(QPainter& g, QColor colour, int left, int top, int width, int height) {
    g.setPen(Qt::NoPen);
    g.setBrush(colour);
    g.drawEllipse(QRectF(left, top, width, height));
}

} // namespace

QImage BlankPassportPicture(const QString& code) {
    QImage pic;
    switch (FormatOf(code)) {
    case Format::US: pic = Pictures::NewPicture(600, 600); break;
    case Format::UK: pic = Pictures::NewPicture(414, 532); break;
    case Format::Other: pic = Pictures::NewPicture(600, 600); break;
    }
    if (!pic.isNull()) Pictures::SetResolution(pic, kPrintDpi, kPrintDpi);
    return pic;
}

CaptureArea PassportCaptureArea(const QString& code) {
    CaptureArea a;
    switch (FormatOf(code)) {
    case Format::US: a.left = 50; a.top = 50; a.width = 200; a.height = 200; break;
    case Format::UK: a.left = 73; a.top = 51; a.width = 154; a.height = 198; break;
    case Format::Other: a.left = 75; a.top = 75; a.width = 150; a.height = 150; break;
    }
    a.CenterX = 150;
    a.CenterY = 150;
    return a;
}

QImage MaskImage(const QString& code) {
    const CaptureArea a = PassportCaptureArea(code);
    QImage p = Pictures::NewPicture(kCanvasSize, kCanvasSize);
    MustPicture(p);
    {
        QPainter g(&p);
        g.fillRect(0, 0, kCanvasSize, kCanvasSize, Rgb(0x777777));
        g.fillRect(a.left, a.top, a.width, a.height, Rgb(0x00FF00));
    }
    const Format format = FormatOf(code);
    if (format == Format::Other) return OvalOverlay(p.size(), QRect(a.left, a.top, a.width, a.height));
    const QImage head = format == Format::US ? Resources::USPassportMask() : Resources::UKPassportMask();
    MustPicture(head);
    PaintMask(p, [&](QPainter& g) { g.drawImage(0, 0, head); });
    return p;
}

QImage OvalOverlay(QSize size, const QRect& area) {
    QImage p = Pictures::NewPicture(size.width(), size.height());
    MustPicture(p);
    const int l = area.left(), t = area.top(), w = area.width(), h = area.height();
    {
        QPainter g(&p);
        g.setRenderHint(QPainter::Antialiasing);
        g.fillRect(p.rect(), Rgb(0xFFFFFF));
        DrawOval(g, Rgb(0x000000), l + 10, t + 10, w - 20, h - 20);
        DrawOval(g, Rgb(0x000000), l + 20, t + 20, w - 40, h - 40);
    }
    PaintMask(p, [&](QPainter& g) {
        g.setRenderHint(QPainter::Antialiasing);
        g.fillRect(p.rect(), Rgb(0x888888));
        g.fillRect(l, t, w, h, Rgb(0xFFFFFF));
        FillOval(g, Rgb(0xCCCCCC), l + 10, t + 10, w - 20, h - 20);
        FillOval(g, Rgb(0xFFFFFF), l + 20, t + 20, w - 40, h - 40);
        DrawOval(g, Rgb(0x222222), l + 10, t + 10, w - 20, h - 20);
        DrawOval(g, Rgb(0x222222), l + 20, t + 20, w - 40, h - 40);
    });
    return p;
}

QString DisplayName(const QString& code) {
    switch (FormatOf(code)) {
    case Format::US: return QStringLiteral("United States");
    case Format::UK: return QStringLiteral("United Kingdom");
    case Format::Other: break;
    }
    if (code.compare(QLatin1String("Test"), Qt::CaseInsensitive) == 0) return QStringLiteral("Test Format");
    return QStringLiteral("Unknown format");
}

} // namespace PassportTemplates
