#include "FaultPhotos.h"

#include "PassportPhotoInfo.h"

#include <QBuffer>
#include <QImageReader>
#include <QRandomGenerator>

namespace FaultPhotos {

namespace {

QRgb SeqColour(int seq) {
    return qRgb((seq >> 16) & 0xff, (seq >> 8) & 0xff, seq & 0xff);
}

// Noise compresses badly, so the files are large enough for a kill to land inside a write.
QImage Picture(int width, int height, int seq, bool mask) {
    QImage pic(width, height, mask ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    QRandomGenerator noise(static_cast<quint32>(seq) * 2654435761u + static_cast<quint32>(width));
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(pic.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const quint32 v = noise.generate();
            line[x] = qRgba(v & 0xff, (v >> 8) & 0xff, (v >> 16) & 0xff, mask ? int(v >> 24) : 255);
        }
    }
    pic.setPixel(0, 0, SeqColour(seq));
    return pic;
}

} // namespace

QString NameOf(int seq) {
    return QStringLiteral("photo %1").arg(seq);
}

int SeqOfName(const QString& name) {
    if (!name.startsWith(QStringLiteral("photo "))) return -1;
    bool ok = false;
    const int seq = name.mid(6).toInt(&ok);
    return ok ? seq : -1;
}

int SeqOfPicture(const QImage& pic) {
    if (pic.isNull()) return -1;
    const QRgb c = pic.pixel(0, 0);
    return (qRed(c) << 16) | (qGreen(c) << 8) | qBlue(c);
}

void Fill(PassportPhotoInfo& record, int seq, QSize source) {
    record.mName = NameOf(seq);
    record.mFormat = QStringLiteral("US");
    record.mRestoreInfo = QStringLiteral("RestoreVersion=integer=1");
    record.mPicOriginal(Picture(source.width(), source.height(), seq, false));
    record.mPicPassPort(Picture(kPassportSize, kPassportSize, seq, true));
    record.mPicPreview = Picture(kPreviewSize, kPreviewSize, seq, true);
}

bool IsWholePng(const QByteArray& bytes, QImage* decoded) {
    static const QByteArray kEnd("\x00\x00\x00\x00IEND\xAE\x42\x60\x82", 12);
    if (!bytes.endsWith(kEnd)) return false;
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "png");
    const QImage pic = reader.read();
    if (pic.isNull()) return false;
    if (decoded) *decoded = pic;
    return true;
}

} // namespace FaultPhotos
