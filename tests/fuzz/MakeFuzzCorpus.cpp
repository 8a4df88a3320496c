// Writes the seed inputs of the fuzz targets:
//   MakeFuzzCorpus <folder>   ->  <folder>/DictionaryFileFuzz, <folder>/PrefsFuzz, <folder>/PicturesFuzz
// Every seed is made here, from our own writers and a few hand-built byte strings, so the
// corpus needs no files from anywhere else.
#include "Currency.h"
#include "DictionaryFile.h"
#include "FolderItemExtensions.h"
#include "PNGu.h"
#include "Prefs.h"

#include <QBuffer>
#include <QColor>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>

#include <array>
#include <cstdio>

namespace {

QString gOut;

void Put(const QString& target, const QString& name, const QByteArray& bytes) {
    const QString folder = QDir(gOut).filePath(target);
    QDir().mkpath(folder);
    QFile file(QDir(folder).filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
}

// ---- typed key/value strings ----

DictionaryFile Nested(int depth) {
    DictionaryFile d;
    d.SetValue(QStringLiteral("n"), qint32(depth));
    if (depth > 0) d.SetValue(QStringLiteral("c"), QVariant::fromValue(Nested(depth - 1)));
    return d;
}

QImage SmallPictureWithMask() {
    QImage pic(3, 2, QImage::Format_ARGB32);
    pic.fill(qRgba(200, 30, 40, 255));
    pic.setPixel(1, 0, qRgba(0, 0, 255, 0));
    pic.setPixel(2, 1, qRgba(10, 250, 10, 128));
    return pic;
}

void DictionarySeeds() {
    const QString t = QStringLiteral("DictionaryFileFuzz");
    Put(t, QStringLiteral("empty"), QByteArray());

    DictionaryFile restore;
    restore.SetValue(QStringLiteral("RestoreVersion"), qint32(1));
    restore.SetValue(QStringLiteral("LastPercentScale"), 37.5);
    restore.SetValue(QStringLiteral("LastSize"), 1234.5678);
    restore.SetValue(QStringLiteral("Brightness"), qint32(0));
    restore.SetValue(QStringLiteral("Contrast"), qint32(-10));
    restore.SetValue(QStringLiteral("PicCenterX"), qint32(400));
    restore.SetValue(QStringLiteral("PicCenterY"), qint32(300));
    restore.SetValue(QStringLiteral("ScaleMax"), 400.0);
    restore.SetValue(QStringLiteral("ScaleMin"), 12.25);
    Put(t, QStringLiteral("restore-info"), restore.GetStringValue().toUtf8());

    DictionaryFile kinds;
    kinds.SetValue(QStringLiteral("text"), QStringLiteral("a;b:c.d \u00fc\u00ef\U0001F600"));
    kinds.SetValue(QStringLiteral("int"), qint32(-2147483647 - 1));
    kinds.SetValue(QStringLiteral("double"), 0.0001);
    kinds.SetValue(QStringLiteral("big"), 1e300);
    kinds.SetValue(QStringLiteral("bool"), true);
    kinds.SetValue(QStringLiteral("folder"), FolderItemExtensions::GetFolderItem(QDir::rootPath()));
    kinds.SetValue(QStringLiteral("picture"), SmallPictureWithMask());
    kinds.SetValue(QStringLiteral("table"), QVariant::fromValue(Nested(2)));
    kinds.SetValue(QStringLiteral("\U0001F600"), QStringLiteral("key outside the basic plane"));
    kinds.SetBooleanInt(QStringLiteral("flag"), true);
    Put(t, QStringLiteral("every-kind"), kinds.GetStringValue().toUtf8());

    // Deeper than the parser follows.
    Put(t, QStringLiteral("deep"), Nested(DictionaryFile::kMaxNesting + 8).GetStringValue().toUtf8());

    QByteArray many;
    for (int i = 0; i < 1000; ++i) many += "s0.0:";
    Put(t, QStringLiteral("many-fields"), many + ";");

    const QByteArray png = PNGu::GetData(SmallPictureWithMask());
    const QByteArray halfPng = png.left(png.size() / 2);
    Put(t, QStringLiteral("cut-picture"), "p1." + QByteArray::number(halfPng.size()) + ";k" + halfPng);

    const std::array<QByteArray, 14> shapes = {
        QByteArray("s5.3;hello"),                       // lengths beyond the input
        QByteArray("s2147483647.2147483647;ab"),
        QByteArray("s99999999999.1;ab"),
        QByteArray("s-1.-1:i1.1;ab1"),                  // negative lengths
        QByteArray("c1.20:s1.1;ks1.1;ab"),              // a nested table shorter than said
        QByteArray("\xf0\x9f\x98\x80" "1.1;ab"),        // a tag outside the basic plane
        QByteArray("s1.1;\xed\xa0\x80z"),               // a lone surrogate, invalid UTF-8
        QByteArray("s1.2;\0\0\0", 8),                   // NUL bytes
        QByteArray("::::;"),
        QByteArray(";;;;"),
        QByteArray("s1e3.1e-2:d1.3;k1.5"),              // numbers with exponents
        QByteArray("s 1. 1:b1.1:o1.0;ab1c"),
        QByteArray("i1.11;k99999999999d1.4;kNaN"),
        QByteArray("s1.1.1.1:.:.;abc"),
    };
    for (size_t i = 0; i < shapes.size(); ++i) Put(t, QStringLiteral("shape-%1").arg(i), shapes[i]);
}

// ---- the preferences file ----

void PrefsSeeds() {
    const QString t = QStringLiteral("PrefsFuzz");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    Prefs::Reset();
    Prefs::LoadPrefs(QStringLiteral("Kestrine"));
    Prefs::SetPref(QStringLiteral("winMainPosition"), QStringLiteral("wp=10,20,800,600"));
    Prefs::SetPref(QStringLiteral("AllowMultipleSelection"), true);
    Prefs::SetPref(QStringLiteral("DrawCropMarks"), false);
    Prefs::SetPref(QStringLiteral("Print4UpWherePossible"), true);
    Prefs::SetPref(QStringLiteral("printersettings"), QStringLiteral("printer=PDF;page=Letter;orientation=0"));
    Prefs::SetPref(QStringLiteral("color"), QColor::fromRgba(qRgba(255, 0, 128, 200)));
    Prefs::SetPref(QStringLiteral("currency"), QVariant::fromValue(Currency::FromUnits(-125000)));
    Prefs::SetPref(QStringLiteral("date"), QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58, 7)));
    Prefs::SetPref(QStringLiteral("double"), 0.1);
    Prefs::SetPref(QStringLiteral("integer"), qint32(-7));
    Prefs::SetPref(QStringLiteral("int64"), qint64(9007199254740993));
    Prefs::SetPref(QStringLiteral("single"), 1.5f);
    Prefs::SetPref(QStringLiteral("key =%\r\n \u00fc"), QStringLiteral("value =%\r\n \U0001F600"));
    Prefs::SetPref(QStringLiteral("binary"), QByteArray("\0\xff=%\n", 5));
    Prefs::SetPref(QStringLiteral("folder"), QVariant::fromValue(QFileInfo(QDir::rootPath())));
    Prefs::SavePrefs();
    QFile saved(Prefs::PrefFile());
    if (!saved.open(QIODevice::ReadOnly)) std::exit(1);
    Put(t, QStringLiteral("every-kind"), saved.readAll());
    Prefs::Reset();

    Put(t, QStringLiteral("empty"), QByteArray());
    Put(t, QStringLiteral("odd-values"),
        "a=integer=99999999999\r\nb=double=nan\rc=double=1e400\nd=single=1e40\n"
        "e=int64=-9223372036854775809\nf=color=&hFF00FF\ng=color=&hzz\nh=date=2020-13-45T25:61:00\n"
        "i=currency=922337203685477.5808\nj=boolean=yes\nk=unknown=1\n=string=nokey\nl\nm=string\n"
        "%zz=string=%\nn=string=%e2%82\no=folderitem=relative/path\np=INTEGER=1=2=3\n");
    Put(t, QStringLiteral("bytes"), QByteArray("k\0ey=string=v\0al\n\xff\xfe=string=\xc3\x28\n\n\n", 32));
}

// ---- pictures ----

QImage Sample(int w, int h) {
    QImage pic(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pic.setPixel(x, y, qRgba(x * 255 / w, y * 255 / h, 128, 255 - (x + y) % 256));
    return pic;
}

QByteArray Encode(const QImage& pic, const char* format, int quality = -1, bool progressive = false) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(pic)) return {};
    return bytes;
}

quint32 Crc32(const QByteArray& bytes) {
    quint32 crc = 0xffffffffu;
    for (const char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBigEndian(QByteArray& bytes, qsizetype at, quint32 v, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(v >> (8 * (size - 1 - i)));
}

// The PNG with the size in its header replaced, its checksum still right.
QByteArray PngDeclaring(QByteArray png, quint32 w, quint32 h) {
    PutBigEndian(png, 16, w, 4);
    PutBigEndian(png, 20, h, 4);
    PutBigEndian(png, 29, Crc32(png.mid(12, 17)), 4);
    return png;
}

// Position of the first marker `code` in a JPEG's header segments, or -1.
qsizetype JpegMarker(const QByteArray& jpeg, std::initializer_list<quint8> codes) {
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && quint8(jpeg[at]) == 0xff) {
        const quint8 code = quint8(jpeg[at + 1]);
        for (const quint8 c : codes)
            if (code == c) return at;
        if (code == 0xda) break;
        at += 2 + ((quint8(jpeg[at + 2]) << 8) | quint8(jpeg[at + 3]));
    }
    return -1;
}

QByteArray JpegDeclaring(QByteArray jpeg, quint16 w, quint16 h) {
    const qsizetype sof = JpegMarker(jpeg, {0xc0, 0xc1, 0xc2});
    if (sof < 0) return {};
    PutBigEndian(jpeg, sof + 5, h, 2);
    PutBigEndian(jpeg, sof + 7, w, 2);
    return jpeg;
}

// An EXIF segment holding only an orientation, put right after the start marker.
QByteArray JpegWithOrientation(const QByteArray& jpeg, quint16 orientation) {
    QByteArray exif("\xff\xe1\x00\x22" "Exif\0\0" "MM\x00\x2a\x00\x00\x00\x08" "\x00\x01"
                    "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x00\x00\x00" "\x00\x00\x00\x00",
                    36);
    PutBigEndian(exif, 4 + 6 + 8 + 2 + 8, orientation, 2);
    return jpeg.left(2) + exif + jpeg.mid(2);
}

void PictureSeeds() {
    const QString t = QStringLiteral("PicturesFuzz");
    const QImage colour = Sample(16, 12);
    const QImage plain = colour.convertToFormat(QImage::Format_RGB32);

    const QByteArray jpeg = Encode(plain, "jpeg", 50);
    const QByteArray progressive = Encode(plain, "jpeg", 50, true);
    Put(t, QStringLiteral("baseline.jpg"), jpeg);
    Put(t, QStringLiteral("progressive.jpg"), progressive);
    Put(t, QStringLiteral("grey.jpg"), Encode(plain.convertToFormat(QImage::Format_Grayscale8), "jpeg", 50));
    Put(t, QStringLiteral("one-pixel.jpg"), Encode(Sample(1, 1).convertToFormat(QImage::Format_RGB32), "jpeg"));
    Put(t, QStringLiteral("half-baseline.jpg"), jpeg.left(jpeg.size() / 2));
    Put(t, QStringLiteral("half-progressive.jpg"), progressive.left(progressive.size() / 2));
    Put(t, QStringLiteral("after-end.jpg"), jpeg + QByteArray("trailing bytes after the end marker"));
    Put(t, QStringLiteral("huge.jpg"), JpegDeclaring(jpeg, 60000, 60000));
    for (const quint16 orientation : {3, 6, 8, 9})
        Put(t, QStringLiteral("orientation-%1.jpg").arg(orientation), JpegWithOrientation(jpeg, orientation));
    const qsizetype scan = JpegMarker(jpeg, {0xda});
    if (scan > 0) {
        QByteArray flipped = jpeg;
        for (qsizetype i = scan + 20; i < flipped.size() - 4; i += 7) flipped[i] = char(flipped[i] ^ 0x10);
        Put(t, QStringLiteral("flipped-bits.jpg"), flipped);
    }

    const QByteArray png = Encode(plain, "png");
    Put(t, QStringLiteral("plain.png"), png);
    Put(t, QStringLiteral("alpha.png"), Encode(colour, "png"));
    Put(t, QStringLiteral("sixteen-bit-alpha.png"), Encode(colour.convertToFormat(QImage::Format_RGBA64), "png"));
    Put(t, QStringLiteral("palette.png"), Encode(plain.convertToFormat(QImage::Format_Indexed8), "png"));
    Put(t, QStringLiteral("grey16.png"), Encode(plain.convertToFormat(QImage::Format_Grayscale16), "png"));
    Put(t, QStringLiteral("mono.png"), Encode(plain.convertToFormat(QImage::Format_Mono), "png"));
    Put(t, QStringLiteral("huge.png"), PngDeclaring(png, 60000, 60000));
    QByteArray badCrc = png;
    badCrc[29] = char(badCrc[29] ^ 0x01);
    Put(t, QStringLiteral("bad-checksum.png"), badCrc);

    const QByteArray bmp = Encode(plain, "bmp");
    Put(t, QStringLiteral("plain.bmp"), bmp);
    QByteArray hugeBmp = bmp;
    for (const int at : {18, 22}) {
        const quint32 v = 60000;
        for (int i = 0; i < 4; ++i) hugeBmp[at + i] = static_cast<char>(v >> (8 * i));
    }
    Put(t, QStringLiteral("huge.bmp"), hugeBmp);

    // Qt reads GIF but does not write it: a 1 x 1 picture with a transparent colour.
    const QByteArray gif("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
                         "\x21\xf9\x04\x01\x00\x00\x00\x00\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00"
                         "\x02\x02\x44\x01\x00\x3b",
                         43);
    Put(t, QStringLiteral("one-pixel.gif"), gif);
    QByteArray hugeGif = gif;
    for (const int at : {6, 8}) {
        hugeGif[at] = char(0x60);
        hugeGif[at + 1] = char(0xea);
    }
    Put(t, QStringLiteral("huge.gif"), hugeGif);

    // Whatever else this Qt writes; the reader meets the same kinds in users' files.
    const QList<QByteArray> writable = QImageWriter::supportedImageFormats();
    for (const char* format : {"ppm", "pgm", "pbm", "xpm", "tiff", "webp", "ico"})
        if (writable.contains(format)) Put(t, QStringLiteral("plain.%1").arg(QLatin1String(format)), Encode(plain, format));

    Put(t, QStringLiteral("empty.jpg"), QByteArray());
    Put(t, QStringLiteral("text.jpg"), "This is a note, not a picture.\n");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    gOut = QString::fromLocal8Bit(argv[1]);
    DictionarySeeds();
    PrefsSeeds();
    PictureSeeds();
    return 0;
}
