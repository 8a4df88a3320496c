#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <vector>

// Picture files of every awkward kind people feed the editor, made at run time (two small
// files made with other encoders come from tests/data). Each knows what opening it must give.
namespace BadPictureCorpus {

enum class Expect {
    Picture,     // a whole picture, upright, with the colours of `reference`
    Damaged,     // a picture whose data ends early or is corrupt: imported with a warning
    Unreadable,  // a picture format whose data cannot be decoded: refused as damaged
    NotAPicture, // no picture at all
    TooLarge,    // declares more pixels than the program accepts: refused before decoding
};

struct Case {
    QString name;     // letters, digits and '_' only, for test names
    QString fileName; // with its suffix
    QByteArray bytes;
    bool folder = false; // a folder of that name instead of a file
    Expect expect = Expect::Picture;
    QSize size;        // the upright size of the picture; the declared size when TooLarge
    QImage reference;  // what the picture must look like (Picture only), compared cell by cell
    int cell = 16;     // the side of the reference's flat-coloured cells
    bool grey = false; // every pixel must have red = green = blue
};

// Every case, generated afresh.
std::vector<Case> Cases();
// Writes the case into `dir` and returns the path.
QString Write(const Case& c, const QString& dir);

// A picture of flat `cell` x `cell` squares of distinct colours: JPEG keeps each square's
// colour and a wrong turn or mirror shows at once.
QImage Patches(int width, int height, int cell = 16);
// The average colour of the middle of every whole cell, in reading order.
QList<QRgb> CellColours(const QImage& pic, int cell = 16);
// Empty when every cell of `a` is within `tolerance` of `b`'s, else the first difference.
QString CellDifference(const QImage& a, const QImage& b, int cell, int tolerance);

QByteArray Jpeg(const QImage& pic, int quality = 95, bool progressive = false);
// The JPEG with an EXIF block whose orientation tag holds `orientation` (1 to 8 are valid).
QByteArray WithExifOrientation(const QByteArray& jpeg, int orientation);
QByteArray Png(const QImage& pic);
// A GIF of a picture of at most 256 colours, with LZW kept at 9-bit codes.
QByteArray Gif(const QImage& pic);
// The PNG with its IHDR declaring `size`, its checksum made right again.
QByteArray PngDeclaring(const QByteArray& png, QSize size);
// The JPEG with its frame header declaring `size`.
QByteArray JpegDeclaring(const QByteArray& jpeg, QSize size);
// A file from tests/data.
QByteArray DataFile(const QString& name);

} // namespace BadPictureCorpus
