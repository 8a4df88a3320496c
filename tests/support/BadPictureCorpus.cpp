#include "BadPictureCorpus.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QTransform>
#include <algorithm>
#include <cstdlib>

namespace BadPictureCorpus {

namespace {

QByteArray BE16(int v) {
    QByteArray b;
    b += char((v >> 8) & 0xFF);
    b += char(v & 0xFF);
    return b;
}

QByteArray BE32(quint32 v) {
    return BE16(int(v >> 16)) + BE16(int(v & 0xFFFF));
}

QByteArray LE16(int v) {
    QByteArray b;
    b += char(v & 0xFF);
    b += char((v >> 8) & 0xFF);
    return b;
}

int Byte(const QByteArray& b, qsizetype i) {
    return static_cast<uchar>(b[i]);
}

quint32 Crc32(const QByteArray& data) {
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= static_cast<uchar>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray Encode(const QImage& pic, const char* format, int quality = -1, bool progressive = false) {
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    QImageWriter writer(&buf, format);
    if (quality >= 0) writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(pic)) return {};
    return bytes;
}

// Where the segment with marker `code` starts, walking the segments up to the first scan; -1
// when there is none.
qsizetype FindSegment(const QByteArray& jpeg, int code) {
    qsizetype i = 2;
    while (i + 4 <= jpeg.size() && Byte(jpeg, i) == 0xFF) {
        const int marker = Byte(jpeg, i + 1);
        if (marker == code) return i;
        if (marker == 0xDA) return -1;
        i += 2 + ((Byte(jpeg, i + 2) << 8) | Byte(jpeg, i + 3));
    }
    return -1;
}

// The first frame header, whatever its coding (baseline, progressive, arithmetic).
qsizetype FindFrame(const QByteArray& jpeg) {
    for (const int code : {0xC0, 0xC1, 0xC2, 0xC9, 0xCA}) {
        const qsizetype at = FindSegment(jpeg, code);
        if (at >= 0) return at;
    }
    return -1;
}

QByteArray WithApp1(const QByteArray& jpeg, const QByteArray& tiff) {
    const QByteArray app1 = QByteArray("Exif\0\0", 6) + tiff;
    return jpeg.left(2) + QByteArray("\xFF\xE1", 2) + BE16(int(app1.size() + 2)) + app1 + jpeg.mid(2);
}

// An EXIF block whose only directory lies beyond the block's end.
QByteArray WithBrokenExif(const QByteArray& jpeg) {
    return WithApp1(jpeg, QByteArray("MM\0\x2a", 4) + BE32(0x00FFFFF0u) + QByteArray(8, '\0'));
}

// The JPEG with a comment right after its start marker, `length` as its segment header counts it.
QByteArray WithComment(const QByteArray& jpeg, int length) {
    return jpeg.left(2) + QByteArray("\xFF\xFE", 2) + BE16(length) + QByteArray(length - 2, 'K') + jpeg.mid(2);
}

// Flips one bit in every 23rd byte of the middle half of the scan, never making or breaking a
// 0xFF, so the file keeps its markers but its coded data goes wrong.
QByteArray WithFlippedScanBits(const QByteArray& jpeg) {
    QByteArray out = jpeg;
    const qsizetype sos = FindSegment(out, 0xDA);
    if (sos < 0) return {};
    const qsizetype start = sos + 2 + ((Byte(out, sos + 2) << 8) | Byte(out, sos + 3));
    const qsizetype end = out.lastIndexOf(QByteArray("\xFF\xD9", 2));
    for (qsizetype i = start + (end - start) / 4; i < start + 3 * (end - start) / 4; i += 23) {
        const int flipped = Byte(out, i) ^ 0x10;
        if (Byte(out, i) == 0xFF || Byte(out, i - 1) == 0xFF || flipped == 0xFF) continue;
        out[i] = char(flipped);
    }
    return out;
}

// The PNG with one bit of its image data's checksum flipped.
QByteArray WithBadChecksum(const QByteArray& png) {
    QByteArray out = png;
    const qsizetype type = out.indexOf("IDAT");
    if (type < 4) return {};
    const quint32 length = (quint32(Byte(out, type - 4)) << 24) | (Byte(out, type - 3) << 16) |
                           (Byte(out, type - 2) << 8) | Byte(out, type - 1);
    const qsizetype crc = type + 4 + qsizetype(length);
    out[crc + 3] = char(Byte(out, crc + 3) ^ 0x01);
    return out;
}

// The picture as it must be stored so that an EXIF `orientation` shows it upright.
QImage StoredFor(const QImage& upright, int orientation) {
    switch (orientation) {
    case 3:
        return upright.transformed(QTransform().rotate(180));
    case 6:
        return upright.transformed(QTransform().rotate(-90));
    case 8:
        return upright.transformed(QTransform().rotate(90));
    default:
        return upright;
    }
}

// A 16-bit picture with alpha: opaque, half transparent and fully transparent bands over cells.
QImage TranslucentPatches(int width, int height) {
    QImage pic = Patches(width, height).convertToFormat(QImage::Format_RGBA64);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgba64*>(pic.scanLine(y));
        const quint16 alpha = y < height / 3 ? 65535 : y < 2 * height / 3 ? 32768 : 0;
        for (int x = 0; x < width; ++x)
            line[x].setAlpha(alpha);
    }
    return pic;
}

// The same picture laid on white, as an import must show it.
QImage OnWhite(const QImage& pic) {
    QImage flat(pic.size(), QImage::Format_RGB32);
    const QImage argb = pic.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < pic.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        auto* dst = reinterpret_cast<QRgb*>(flat.scanLine(y));
        for (int x = 0; x < pic.width(); ++x) {
            const int a = qAlpha(src[x]);
            const auto mix = [a](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
            dst[x] = qRgb(mix(qRed(src[x])), mix(qGreen(src[x])), mix(qBlue(src[x])));
        }
    }
    return flat;
}

Case Good(const char* name, const char* file, const QByteArray& bytes, const QImage& reference,
          int cell = 16) {
    Case c;
    c.name = QString::fromLatin1(name);
    c.fileName = QString::fromLatin1(file);
    c.bytes = bytes;
    c.expect = Expect::Picture;
    c.size = reference.size();
    c.reference = reference;
    c.cell = cell;
    return c;
}

Case Bad(const char* name, const char* file, const QByteArray& bytes, Expect expect, QSize size = {}) {
    Case c;
    c.name = QString::fromLatin1(name);
    c.fileName = QString::fromLatin1(file);
    c.bytes = bytes;
    c.expect = expect;
    c.size = size;
    return c;
}

} // namespace

QImage Patches(int width, int height, int cell) {
    QImage pic(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(pic.scanLine(y));
        const int cy = y / cell;
        for (int x = 0; x < width; ++x) {
            const int cx = x / cell;
            line[x] = qRgb(28 + (cx * 53 + cy * 97) % 200, 28 + (cx * 29 + cy * 71 + 80) % 200,
                           28 + (cx * 61 + cy * 17 + 160) % 200);
        }
    }
    return pic;
}

QList<QRgb> CellColours(const QImage& pic, int cell) {
    QList<QRgb> colours;
    const QImage rgb = pic.convertToFormat(QImage::Format_RGB32);
    for (int cy = 0; cy < pic.height() / cell; ++cy) {
        for (int cx = 0; cx < pic.width() / cell; ++cx) {
            const int x0 = cx * cell + cell / 2 - 2, y0 = cy * cell + cell / 2 - 2;
            int r = 0, g = 0, b = 0, n = 0;
            for (int y = std::max(0, y0); y < std::min(pic.height(), y0 + 4); ++y)
                for (int x = std::max(0, x0); x < std::min(pic.width(), x0 + 4); ++x, ++n) {
                    const QRgb p = rgb.pixel(x, y);
                    r += qRed(p);
                    g += qGreen(p);
                    b += qBlue(p);
                }
            colours.append(n ? qRgb(r / n, g / n, b / n) : 0);
        }
    }
    return colours;
}

QString CellDifference(const QImage& a, const QImage& b, int cell, int tolerance) {
    if (a.size() != b.size())
        return QStringLiteral("sizes differ: %1x%2 vs %3x%4")
            .arg(a.width())
            .arg(a.height())
            .arg(b.width())
            .arg(b.height());
    const QList<QRgb> x = CellColours(a, cell), y = CellColours(b, cell);
    const int across = std::max(1, a.width() / cell);
    for (qsizetype i = 0; i < x.size(); ++i) {
        const int d = std::max({std::abs(qRed(x[i]) - qRed(y[i])), std::abs(qGreen(x[i]) - qGreen(y[i])),
                                std::abs(qBlue(x[i]) - qBlue(y[i]))});
        if (d > tolerance)
            return QStringLiteral("cell (%1,%2): %3 vs %4")
                .arg(i % across)
                .arg(i / across)
                .arg(x[i] & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                .arg(y[i] & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    }
    return {};
}

QByteArray Jpeg(const QImage& pic, int quality, bool progressive) {
    return Encode(pic, "jpeg", quality, progressive);
}

QByteArray WithExifOrientation(const QByteArray& jpeg, int orientation) {
    QByteArray tiff("MM\0\x2a", 4);
    tiff += BE32(8);
    tiff += BE16(1);                          // one entry
    tiff += BE16(0x0112) + BE16(3) + BE32(1); // Orientation, SHORT, one value
    tiff += BE16(orientation) + BE16(0);
    tiff += BE32(0); // no further directory
    return WithApp1(jpeg, tiff);
}

QByteArray Png(const QImage& pic) {
    return Encode(pic, "png");
}

QByteArray Gif(const QImage& pic) {
    const QImage indexed = pic.convertToFormat(QImage::Format_Indexed8);
    QList<QRgb> table = indexed.colorTable();
    table.resize(256);
    QByteArray out("GIF89a");
    out += LE16(pic.width()) + LE16(pic.height());
    out += char(0xF7); // a global table of 256 colours
    out += char(0);
    out += char(0);
    for (const QRgb c : table) {
        out += char(qRed(c));
        out += char(qGreen(c));
        out += char(qBlue(c));
    }
    out += char(0x2C);
    out += LE16(0) + LE16(0) + LE16(pic.width()) + LE16(pic.height());
    out += char(0);
    out += char(8); // 8-bit literals: clear code 256, end code 257

    // Every pixel a literal, the table cleared before the codes would grow past 9 bits.
    QByteArray data;
    quint32 bits = 0;
    int count = 0;
    const auto put = [&](int code) {
        bits |= quint32(code) << count;
        count += 9;
        while (count >= 8) {
            data += char(bits & 0xFF);
            bits >>= 8;
            count -= 8;
        }
    };
    put(256);
    int sinceClear = 0;
    for (int y = 0; y < indexed.height(); ++y)
        for (int x = 0; x < indexed.width(); ++x) {
            if (sinceClear == 250) {
                put(256);
                sinceClear = 0;
            }
            put(indexed.pixelIndex(x, y));
            ++sinceClear;
        }
    put(257);
    if (count > 0) data += char(bits & 0xFF);
    for (qsizetype i = 0; i < data.size(); i += 255) {
        const qsizetype n = std::min<qsizetype>(255, data.size() - i);
        out += char(n);
        out += data.mid(i, n);
    }
    out += char(0);
    out += char(0x3B);
    return out;
}

QByteArray PngDeclaring(const QByteArray& png, QSize size) {
    QByteArray out = png;
    out.replace(16, 4, BE32(quint32(size.width())));
    out.replace(20, 4, BE32(quint32(size.height())));
    out.replace(29, 4, BE32(Crc32(out.mid(12, 17))));
    return out;
}

QByteArray JpegDeclaring(const QByteArray& jpeg, QSize size) {
    QByteArray out = jpeg;
    const qsizetype sof = FindFrame(out);
    if (sof < 0) return {};
    out.replace(sof + 5, 2, BE16(size.height()));
    out.replace(sof + 7, 2, BE16(size.width()));
    return out;
}

QByteArray DataFile(const QString& name) {
    const QDir data(QFileInfo(QString::fromUtf8(__FILE__)).absolutePath() + QStringLiteral("/../data"));
    QFile f(data.filePath(name));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

std::vector<Case> Cases() {
    const QImage patches = Patches(320, 240);
    const QByteArray baseline = Jpeg(patches);
    const QByteArray progressive = Jpeg(patches, 95, true);
    const QImage few = Patches(256, 208); // 208 colours: fits a palette
    const QImage grey = patches.convertToFormat(QImage::Format_Grayscale8);
    const QImage translucent = TranslucentPatches(320, 240);

    std::vector<Case> cases;
    cases.push_back(Bad("Empty", "empty.jpg", {}, Expect::NotAPicture));
    cases.push_back(Bad("TextNamedJpg", "notes.jpg", "These are not the pixels you are looking for.\n",
                        Expect::NotAPicture));
    cases.push_back(Bad("FolderNamedJpg", "x.jpg", {}, Expect::NotAPicture));
    cases.back().folder = true;

    cases.push_back(Bad("BaselineCutInHalf", "cut.jpg", baseline.left(baseline.size() / 2), Expect::Damaged,
                        patches.size()));
    cases.push_back(Bad("ProgressiveCutInHalf", "cut-progressive.jpg",
                        progressive.left(progressive.size() / 2), Expect::Damaged, patches.size()));
    cases.push_back(Bad("FlippedScanBits", "flipped.jpg", WithFlippedScanBits(baseline), Expect::Damaged,
                        patches.size()));
    cases.push_back(Bad("NoEndMarker", "no-end.jpg", baseline.left(baseline.size() - 2), Expect::Damaged,
                        patches.size()));
    // The marker after the comment lies either side of 64 KiB, and the end marker well past it.
    const QByteArray commented = WithComment(baseline, 65531);
    cases.push_back(Bad("LongCommentNoEndMarker", "comment-no-end.jpg", commented.left(commented.size() - 2),
                        Expect::Damaged, patches.size()));
    cases.push_back(Bad("PngBadChecksum", "bad-checksum.png", WithBadChecksum(Png(patches)),
                        Expect::Unreadable, patches.size()));

    cases.push_back(Good("GarbageAfterEnd", "trailing.jpg", baseline + QByteArray(4096, '\x5A'), patches));
    cases.push_back(Good("LongComment", "comment.jpg", commented, patches));
    cases.push_back(Good("Progressive", "progressive.jpg", progressive, patches));
    cases.push_back(
        Good("Arithmetic", "arithmetic.jpg", DataFile(QStringLiteral("arithmetic.jpg")), Patches(64, 48)));
    cases.push_back(Good("Cmyk", "cmyk.jpg", DataFile(QStringLiteral("cmyk.jpg")), Patches(64, 48)));
    cases.push_back(Good("Greyscale", "grey.jpg", Jpeg(grey), grey.convertToFormat(QImage::Format_RGB32)));
    cases.back().grey = true;
    for (const int orientation : {3, 6, 8})
        cases.push_back(Good(
            orientation == 3   ? "ExifOrientation3"
            : orientation == 6 ? "ExifOrientation6"
                               : "ExifOrientation8",
            "turned.jpg", WithExifOrientation(Jpeg(StoredFor(patches, orientation)), orientation), patches));
    cases.push_back(
        Good("ExifOrientationInvalid", "orientation9.jpg", WithExifOrientation(baseline, 9), patches));
    cases.push_back(Good("ExifBroken", "broken-exif.jpg", WithBrokenExif(baseline), patches));

    cases.push_back(Good("Png16WithAlpha", "alpha16.png", Png(translucent), OnWhite(translucent)));
    cases.push_back(
        Good("PalettePng", "palette.png", Png(few.convertToFormat(QImage::Format_Indexed8)), few));
    cases.push_back(Good("PngNamedJpg", "really-a-png.jpg", Png(patches), patches));
    cases.push_back(Good("Bmp", "patches.bmp", Encode(patches, "bmp"), patches));
    cases.push_back(Good("Gif", "patches.gif", Gif(few), few));

    cases.push_back(Good("OnePixel", "dot.jpg", Jpeg(Patches(1, 1)), Patches(1, 1), 1));
    cases.push_back(Good("Small150x100", "small.jpg", Jpeg(Patches(150, 100)), Patches(150, 100)));
    const QImage panorama = Patches(20000, 1000, 40);
    cases.push_back(Good("Panorama20000x1000", "panorama.jpg", Jpeg(panorama, 90), panorama, 40));

    const QByteArray tinyPng = Png(Patches(16, 16)), tinyJpeg = Jpeg(Patches(16, 16));
    cases.push_back(Bad("PngDeclaring60000Square", "huge.png", PngDeclaring(tinyPng, QSize(60000, 60000)),
                        Expect::TooLarge, QSize(60000, 60000)));
    cases.push_back(Bad("JpegDeclaring60000Square", "huge.jpg", JpegDeclaring(tinyJpeg, QSize(60000, 60000)),
                        Expect::TooLarge, QSize(60000, 60000)));
    // Small enough for the decoder to try, too large for the editor.
    cases.push_back(Bad("JpegDeclaring11000Square", "big.jpg", JpegDeclaring(tinyJpeg, QSize(11000, 11000)),
                        Expect::TooLarge, QSize(11000, 11000)));
    return cases;
}

QString Write(const Case& c, const QString& dir) {
    const QString path = QDir(dir).filePath(c.fileName);
    if (c.folder) {
        QDir().mkpath(path);
        return path;
    }
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(c.bytes);
    return path;
}

} // namespace BadPictureCorpus
