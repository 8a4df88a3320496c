#include "Pictures.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

namespace Pictures {

namespace {
constexpr double kInchesPerMetre = 39.37007874015748;
// Room for the largest accepted picture as a decoder may hold it: 16-bit channels with alpha
// take 8 bytes a pixel.
constexpr int kAllocationLimitMB = 1024;
static_assert(kMaxPicturePixels * 8 <= qint64(kAllocationLimitMB) * 1024 * 1024);

bool TooLarge(QSize size) {
    return qint64(size.width()) * size.height() > kMaxPicturePixels;
}

// Counts the JPEG decoder's reports of corrupt data while it lives. Qt passes libjpeg's
// warnings (a bad Huffman code, a premature end of data) to this logging category and then
// carries on with what it could decode; the messages still go wherever they went before.
class DecoderWarnings {
public:
    DecoderWarnings() {
        sCount = 0;
        sPrevious = qInstallMessageHandler(&Handle);
    }
    ~DecoderWarnings() { qInstallMessageHandler(sPrevious); }
    DecoderWarnings(const DecoderWarnings&) = delete;
    DecoderWarnings& operator=(const DecoderWarnings&) = delete;
    int Count() const { return sCount; }

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type != QtDebugMsg && type != QtInfoMsg && context.category &&
            std::strcmp(context.category, "qt.gui.imageio.jpeg") == 0)
            ++sCount;
        if (sPrevious) sPrevious(type, context, message);
    }
    static inline QtMessageHandler sPrevious = nullptr;
    static inline int sCount = 0;
};

// A picture file that keeps the first failure of a read: the file's error is cleared by the next
// read or seek, and the decoders take a failed read for the end of the data.
class WatchedFile : public QFile {
public:
    using QFile::QFile;
    QString ReadFailure() const { return mReadFailure; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 n = QFile::readData(data, maxSize);
        if (n < 0 && mReadFailure.isEmpty()) mReadFailure = errorString();
        return n;
    }

private:
    QString mReadFailure;
};

// Whether `path` names nothing to open (no file, or a folder), so a failed open is no read failure.
bool NothingToOpen(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) return S_ISDIR(st.st_mode);
    return errno == ENOENT || errno == ENOTDIR;
}

// Reads a device forward a window at a time with plain reads: a large file is never held whole,
// and never mapped, as touching a mapping of a file another program has cut short kills us.
class ForwardReader {
public:
    explicit ForwardReader(QIODevice& device) : mDevice(device) {}
    ForwardReader(const ForwardReader&) = delete;
    ForwardReader& operator=(const ForwardReader&) = delete;

    // The byte at `offset`, or -1 past the end or when it cannot be read.
    int At(qint64 offset) {
        return Load(offset) ? static_cast<uchar>(mWindow.constData()[offset - mStart]) : -1;
    }
    // Where the first 0xFF at or after `offset` lies; -1 when none does.
    qint64 NextFF(qint64 offset) {
        for (; Load(offset); offset = mStart + mWindow.size()) {
            const char* from = mWindow.constData() + (offset - mStart);
            if (const void* ff = std::memchr(from, 0xFF, size_t(mStart + mWindow.size() - offset)))
                return offset + (static_cast<const char*>(ff) - from);
        }
        return -1;
    }

private:
    static constexpr qint64 kWindow = 64 * 1024;

    // Makes `offset` part of the window; false past the end or when the read fails.
    bool Load(qint64 offset) {
        if (offset >= mStart && offset < mStart + mWindow.size()) return true;
        // Checked first: a buffer refuses, with a warning, a seek past its end.
        if (offset >= mDevice.size()) return false;
        if (mDevice.pos() != offset && !mDevice.seek(offset)) return false;
        mWindow.resize(kWindow);
        const qint64 n = mDevice.read(mWindow.data(), kWindow);
        mWindow.resize(std::max<qint64>(n, 0));
        mStart = offset;
        return n > 0;
    }

    QIODevice& mDevice;
    QByteArray mWindow;
    qint64 mStart = 0;
};

// True when a JPEG stream runs through its scans to the end-of-image marker. A file cut short
// decodes without complaint, its missing part grey; what follows the marker (some cameras
// append data) does not matter. The walk only moves forward.
bool JpegReachesItsEnd(ForwardReader& in) {
    if (in.At(0) != 0xFF || in.At(1) != 0xD8) return false;
    qint64 i = 2;
    for (int c = in.At(i); c >= 0; c = in.At(i)) {
        if (c != 0xFF) {
            // Coded data of a scan, or stray bytes the decoder skips: on to the next marker.
            i = in.NextFF(i);
            if (i < 0) return false;
        }
        while ((c = in.At(i)) == 0xFF) ++i;
        if (c < 0) return false;
        ++i;
        if (c == 0xD9) return true;
        // A stuffed 0xFF, a restart marker, or TEM: no length follows.
        if (c == 0x00 || c == 0x01 || (c >= 0xD0 && c <= 0xD7)) continue;
        const int high = in.At(i), low = in.At(i + 1);
        if (high < 0 || low < 0) return false;
        const qint64 length = (qint64(high) << 8) | low;
        if (length < 2) return false;
        i += length;
    }
    return false;
}

// The decoded picture as the editor works on it: Format_RGB32 in sRGB, transparent areas laid
// on white as on paper. The decoded picture is let go as soon as the plain one exists.
QImage PlainPicture(QImage image) {
    const QColorSpace space = image.colorSpace();
    const int dpmX = image.dotsPerMeterX(), dpmY = image.dotsPerMeterY();
    QImage plain;
    if (image.hasAlphaChannel()) {
        plain = QImage(image.size(), QImage::Format_RGB32);
        if (plain.isNull()) return {};
        plain.fill(Qt::white);
        QPainter p(&plain);
        p.drawImage(0, 0, image);
    } else {
        plain = image.convertToFormat(QImage::Format_RGB32);
        if (plain.isNull()) return {};
    }
    image = QImage();
    plain.setDotsPerMeterX(dpmX);
    plain.setDotsPerMeterY(dpmY);
    if (space.isValid() && space != QColorSpace(QColorSpace::SRgb)) {
        plain.setColorSpace(space);
        plain.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
    }
    return plain;
}

// Asked before reading: once the data is read the reader no longer names its format.
bool IsJpeg(QImageReader& reader) {
    const QByteArray format = reader.format();
    return format == "jpeg" || format == "jpg";
}

// Reads the picture `reader` is set on, refusing it from its header when too large.
OpenedPicture Decode(QImageReader& reader) {
    const bool jpeg = IsJpeg(reader);
    QImageReader::setAllocationLimit(kAllocationLimitMB);
    reader.setAutoTransform(true);
    OpenedPicture result;
    const DecoderWarnings warnings;
    if (!reader.canRead()) return result;
    QSize size = reader.size();
    if (size.isValid()) {
        if (reader.transformation() & QImageIOHandler::TransformationRotate90) size.transpose();
        result.size = size;
        if (TooLarge(size)) {
            result.status = OpenStatus::TooLarge;
            return result;
        }
    }
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        result.status = OpenStatus::Unreadable;
        return result;
    }
    result.size = image.size();
    // A format whose header gave no size is held to the same bound once decoded.
    if (TooLarge(image.size())) {
        result.status = OpenStatus::TooLarge;
        return result;
    }
    result.picture = PlainPicture(std::move(image));
    if (result.picture.isNull()) {
        result.status = OpenStatus::Unreadable;
        return result;
    }
    result.status = warnings.Count() > 0 ? OpenStatus::Damaged : OpenStatus::Ok;
    if (result.status == OpenStatus::Ok && jpeg) {
        ForwardReader in(*reader.device());
        if (!JpegReachesItsEnd(in)) result.status = OpenStatus::Damaged;
    }
    return result;
}

} // namespace

QImage NewPicture(int width, int height) {
    if (width <= 0 || height <= 0) return {};
    QImage pic(width, height, QImage::Format_RGB32);
    if (pic.isNull()) return {};
    pic.fill(Qt::white);
    SetResolution(pic, 72, 72);
    return pic;
}

bool HasMask(const QImage& pic) {
    return !pic.isNull() && pic.hasAlphaChannel();
}

QImage Mask(const QImage& pic) {
    if (pic.isNull()) return {};
    QImage mask(pic.size(), QImage::Format_Grayscale8);
    if (!HasMask(pic)) {
        mask.fill(0);
        return mask;
    }
    const QImage argb = pic.format() == QImage::Format_ARGB32 ? pic : pic.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        uchar* dst = mask.scanLine(y);
        for (int x = 0; x < argb.width(); ++x) dst[x] = static_cast<uchar>(255 - qAlpha(src[x]));
    }
    return mask;
}

void SetMask(QImage& pic, const QImage& mask) {
    if (pic.isNull() || mask.isNull()) return;
    const QImage grey = mask.size() == pic.size() ? mask.convertToFormat(QImage::Format_Grayscale8)
                                                  : mask.scaled(pic.size()).convertToFormat(QImage::Format_Grayscale8);
    // Straight (not premultiplied) alpha keeps the colour of hidden pixels.
    if (pic.format() != QImage::Format_ARGB32) pic = pic.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < pic.height(); ++y) {
        auto* dst = reinterpret_cast<QRgb*>(pic.scanLine(y));
        const uchar* src = grey.constScanLine(y);
        for (int x = 0; x < pic.width(); ++x) dst[x] = (dst[x] & 0x00FFFFFFu) | (uint(255 - src[x]) << 24);
    }
}

QImage WithoutMask(const QImage& pic) {
    if (pic.isNull()) return {};
    if (!pic.hasAlphaChannel()) return pic.format() == QImage::Format_RGB32 ? pic : pic.convertToFormat(QImage::Format_RGB32);
    QImage argb = pic.convertToFormat(QImage::Format_ARGB32);
    QImage out(argb.size(), QImage::Format_RGB32);
    out.setDotsPerMeterX(pic.dotsPerMeterX());
    out.setDotsPerMeterY(pic.dotsPerMeterY());
    for (int y = 0; y < argb.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) dst[x] = src[x] | 0xFF000000u;
    }
    return out;
}

OpenedPicture OpenPicture(const QString& path) {
    WatchedFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        OpenedPicture result;
        if (!NothingToOpen(path)) result.readFailure = file.errorString();
        return result;
    }
    QImageReader reader(&file);
    OpenedPicture result = Decode(reader);
    result.readFailure = file.ReadFailure();
    return result;
}

OpenedPicture OpenPictureData(const QByteArray& data) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return Decode(reader);
}

QImage OpenAsPicture(const QString& path) {
    return OpenPicture(path).picture;
}

bool SaveAsPicture(const QImage& pic, const QString& path) {
    if (pic.isNull()) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QImageWriter writer(&file, "png");
    if (!writer.write(pic)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// Qt stores whole dots per metre; whole dots per inch survive the round trip.
double HorizontalResolution(const QImage& pic) {
    return std::round(pic.dotsPerMeterX() / kInchesPerMetre);
}

double VerticalResolution(const QImage& pic) {
    return std::round(pic.dotsPerMeterY() / kInchesPerMetre);
}

void SetResolution(QImage& pic, double horizontalDpi, double verticalDpi) {
    pic.setDotsPerMeterX(static_cast<int>(std::lround(horizontalDpi * kInchesPerMetre)));
    pic.setDotsPerMeterY(static_cast<int>(std::lround(verticalDpi * kInchesPerMetre)));
}

} // namespace Pictures
