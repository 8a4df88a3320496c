#include "BenchPhoto.h"

#include "ExternalTool.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace BenchPhoto {

namespace {

// Each term is a product of a column factor and a row factor, so a 24-megapixel picture takes
// well under a second to make.
struct Axis {
    std::vector<float> sinWave, cosWave, slow, sinFine, cosFine;
    template <class Slow> Axis(int n, double wave, Slow slowOf) {
        for (auto* v : {&sinWave, &cosWave, &slow, &sinFine, &cosFine}) v->resize(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            const double t = double(i) / n;
            const auto k = static_cast<size_t>(i);
            sinWave[k] = float(std::sin(t * wave));
            cosWave[k] = float(std::cos(t * wave));
            slow[k] = float(slowOf(t));
            sinFine[k] = float(std::sin(t * 400));
            cosFine[k] = float(std::cos(t * 400));
        }
    }
};

} // namespace

QImage Photo(int width, int height, quint32 seed) {
    QImage pic(width, height, QImage::Format_RGB32);
    if (pic.isNull()) throw std::runtime_error("no memory for the test photo");
    quint32 state = seed * 2654435761u + 12345u;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return int(state >> 24);
    };
    const Axis cols(width, 9, [](double t) { return std::sin(t * 40); });
    const Axis rows(height, 7, [](double t) { return std::cos(t * 31); });
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(pic.scanLine(y));
        const double fy = double(y) / height;
        const auto ky = static_cast<size_t>(y);
        const double dy = (fy - 0.55) * 0.75;
        for (int x = 0; x < width; ++x) {
            const auto kx = static_cast<size_t>(x);
            const double fx = double(x) / width;
            const double dx = fx - 0.5;
            const bool subject = dx * dx + dy * dy < 0.05;
            // sin(a + b) = sin a cos b + cos a sin b keeps the diagonal texture separable.
            const double shade =
                subject ? 150 + 60 * cols.slow[kx] * rows.slow[ky] +
                              25 * (cols.sinFine[kx] * rows.cosFine[ky] + cols.cosFine[kx] * rows.sinFine[ky])
                        : 190 + 30 * fx - 20 * fy +
                              6 * (cols.sinWave[kx] * rows.cosWave[ky] + cols.cosWave[kx] * rows.sinWave[ky]);
            // Triangular noise of a few levels, partly shared by the channels as in sensors.
            const int common = (next() + next()) / 64 - 8;
            auto level = [&](double base) {
                const int n = (next() + next()) / 128 - 4;
                return std::clamp(int(base) + common + n, 0, 255);
            };
            line[x] = subject ? qRgb(level(shade), level(shade * 0.8), level(shade * 0.7))
                              : qRgb(level(shade * 0.95), level(shade), level(shade * 1.05));
        }
    }
    return pic;
}

QByteArray Jpeg(const QImage& pic, int quality) {
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    QImageWriter writer(&out, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(pic)) throw std::runtime_error("JPEG encoding failed");
    return bytes;
}

namespace {

const QByteArray& CameraJpeg() {
    static const QByteArray bytes = Jpeg(Photo(kCameraWidth, kCameraHeight));
    return bytes;
}

QTemporaryDir& Scratch() {
    static QTemporaryDir dir;
    return dir;
}

} // namespace

const QImage& CameraPhoto() {
    static const QImage photo = [] {
        QBuffer in;
        in.setData(CameraJpeg());
        in.open(QIODevice::ReadOnly);
        QImageReader::setAllocationLimit(1024);
        QImageReader reader(&in, "jpeg");
        QImage pic = reader.read().convertToFormat(QImage::Format_RGB32);
        if (pic.isNull()) throw std::runtime_error("JPEG decoding failed");
        return pic;
    }();
    return photo;
}

const QString& CameraJpegFile() {
    static const QString path = [] {
        const QString p = ScratchFolder() + QStringLiteral("/Photo.jpg");
        QFile file(p);
        if (!file.open(QIODevice::WriteOnly) || file.write(CameraJpeg()) != CameraJpeg().size())
            throw std::runtime_error("cannot write the test JPEG");
        return p;
    }();
    return path;
}

const QString& CameraVipsFile() {
    static const QString path = [] {
        const QString p = ScratchFolder() + QStringLiteral("/Photo.v");
        if (!ExternalTool::Run(QStringLiteral("vips"), {QStringLiteral("copy"), CameraJpegFile(), p}))
            throw std::runtime_error("vips could not read the test JPEG");
        return p;
    }();
    return path;
}

QString ScratchFolder() {
    if (!Scratch().isValid()) throw std::runtime_error("no temporary folder");
    return Scratch().path();
}

} // namespace BenchPhoto
