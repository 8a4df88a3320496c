#include "PictureExtensions.h"

#include "NilObjectException.h"
#include "Pictures.h"

#include <QPainter>
#include <algorithm>

namespace PictureExtensions {

namespace {

// The picture as 32-bit pixels whose colour bits are the raw colours (hidden ones included
// where the format keeps them): RGB32 and ARGB32 as they are, anything else converted.
QImage Raw32(const QImage& p) {
    switch (p.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        return p;
    default:
        return p.convertToFormat(p.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    }
}

// Square blocks keep both the rows read and the rows written in cache during a quarter turn.
constexpr int kTile = 64;

enum class Turn { Clockwise, CounterClockwise };

QImage Rotate(const QImage& p, Turn turn) {
    if (p.isNull()) return {};
    const QImage src = Raw32(p);
    const int w = src.width();
    const int h = src.height();
    QImage out(h, w, QImage::Format_RGB32);
    if (out.isNull()) return {};
    out.setDotsPerMeterX(src.dotsPerMeterY());
    out.setDotsPerMeterY(src.dotsPerMeterX());

    const auto* srcBits = reinterpret_cast<const QRgb*>(src.constBits());
    const qsizetype srcStride = src.bytesPerLine() / 4;
    auto* outBits = reinterpret_cast<QRgb*>(out.bits());
    const qsizetype outStride = out.bytesPerLine() / 4;
    // The result has no mask: every pixel opaque, the colour as stored.
    constexpr QRgb opaque = 0xFF000000u;

    // Result row r is source column r (clockwise) or w - 1 - r (counter-clockwise); result
    // column c is source row h - 1 - c (clockwise) or c (counter-clockwise).
    for (int r0 = 0; r0 < w; r0 += kTile) {
        const int r1 = std::min(r0 + kTile, w);
        for (int c0 = 0; c0 < h; c0 += kTile) {
            const int c1 = std::min(c0 + kTile, h);
            for (int r = r0; r < r1; ++r) {
                QRgb* dst = outBits + r * outStride;
                if (turn == Turn::Clockwise) {
                    const QRgb* col = srcBits + r;
                    for (int c = c0; c < c1; ++c) dst[c] = col[(h - 1 - c) * srcStride] | opaque;
                } else {
                    const QRgb* col = srcBits + (w - 1 - r);
                    for (int c = c0; c < c1; ++c) dst[c] = col[c * srcStride] | opaque;
                }
            }
        }
    }
    return out;
}

} // namespace

QImage RotateCW(const QImage& p) {
    return Rotate(p, Turn::Clockwise);
}

QImage RotateCCW(const QImage& p) {
    return Rotate(p, Turn::CounterClockwise);
}

LevelMap ContrastBrightnessLevelMap(int contrast, int brightness) {
    contrast = std::max(std::min(contrast, 100), -100);
    brightness = std::max(std::min(brightness, 100), -100);
    LevelMap map{};
    // The factor is formed first and the level truncated toward zero before the brightness is
    // added: both change which input levels land on which output level.
    const double factor = static_cast<double>(contrast + 100) / 100.0;
    for (int i = 0; i < 256; ++i) {
        const double v = static_cast<double>(i - 127) * factor + 127.0;
        int level = static_cast<int>(v);
        level += brightness;
        map[static_cast<size_t>(i)] = std::min(std::max(level, 0), 255);
    }
    return map;
}

QImage AdjustContrastAndBrightness(const QImage& p, int contrast, int brightness) {
    MustPicture(p);
    const LevelMap map = ContrastBrightnessLevelMap(contrast, brightness);
    // One table per channel, already in place, so each pixel is three loads and two ors.
    quint32 red[256], green[256], blue[256];
    for (int i = 0; i < 256; ++i) {
        const auto level = static_cast<quint32>(map[static_cast<size_t>(i)]);
        red[i] = 0xFF000000u | (level << 16);
        green[i] = level << 8;
        blue[i] = level;
    }
    auto apply = [&](const QRgb* in, QRgb* out, int n) {
        for (int x = 0; x < n; ++x) {
            const QRgb c = in[x];
            out[x] = red[(c >> 16) & 0xFF] | green[(c >> 8) & 0xFF] | blue[c & 0xFF];
        }
    };

    if (p.format() == QImage::Format_RGB32) {
        // Nothing is hidden, so drawing over white is a plain copy: map while copying.
        QImage out(p.size(), QImage::Format_RGB32);
        if (out.isNull()) throw NilObjectException("picture too large");
        Pictures::SetResolution(out, 72, 72);
        for (int y = 0; y < p.height(); ++y)
            apply(reinterpret_cast<const QRgb*>(p.constScanLine(y)), reinterpret_cast<QRgb*>(out.scanLine(y)),
                  p.width());
        return out;
    }
    QImage out = Clone(p);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        apply(line, line, out.width());
    }
    return out;
}

QImage Clone(const QImage& p) {
    MustPicture(p);
    QImage n;
    if (p.format() == QImage::Format_RGB32) {
        n = p.copy();
    } else {
        n = Pictures::NewPicture(p.width(), p.height());
        if (n.isNull()) throw NilObjectException("picture too large");
        QPainter g(&n);
        g.drawImage(0, 0, p);
    }
    if (n.isNull()) throw NilObjectException("picture too large");
    Pictures::SetResolution(n, 72, 72);
    return n;
}

QImage CloneWithMask(const QImage& p) {
    MustPicture(p);
    // ARGB32 keeps the colour under hidden pixels; a picture without a mask gets an opaque one.
    QImage n = p.format() == QImage::Format_ARGB32 ? p.copy() : p.convertToFormat(QImage::Format_ARGB32);
    if (n.isNull()) throw NilObjectException("picture too large");
    Pictures::SetResolution(n, 72, 72);
    return n;
}

} // namespace PictureExtensions
