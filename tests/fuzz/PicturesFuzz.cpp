#include "Pictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>

// Any bytes in a file named like a photo either open as a whole plain picture or as none.
namespace {

QTemporaryDir* gFolder = nullptr;
QString gPath;
volatile unsigned gSink;

const char* const kFormats[] = {"jpeg", "png", "gif", "bmp", "webp", "tiff", "ico", "ppm", "pgm", "pbm", "xpm",
                                "xbm", "tga", "wbmp", "icns", "cur"};
constexpr int kFormatCount = static_cast<int>(std::size(kFormats)) + 1;
constexpr int kSizeClasses = 18;

// Which decoder read the file, how large it said the picture was, and whether a picture came
// out. The decoders are not compiled for coverage, so this tells libFuzzer apart what it cannot
// see itself.
int Outcome(const QByteArray& format, QSize declared, bool opened) {
    int f = kFormatCount - 1;
    for (int i = 0; i < kFormatCount - 1; ++i)
        if (format == kFormats[i]) f = i;
    int size = 0;
    if (declared.isValid())
        for (qint64 side = std::max(declared.width(), declared.height()); side > 0 && size < kSizeClasses - 1; side >>= 1)
            ++size;
    return (f * kSizeClasses + size) * 2 + (opened ? 1 : 0);
}

} // namespace

// Read by libFuzzer as further coverage, cleared before every input.
__attribute__((section("__libfuzzer_extra_counters"))) uint8_t gPictureOutcomes[kFormatCount * kSizeClasses * 2];

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    // The image plug-ins are found through the application object, as in the program.
    new QCoreApplication(*argc, *argv);
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    gFolder = new QTemporaryDir(base + QStringLiteral("/kestrine-pictures-fuzz-XXXXXX"));
    if (!gFolder->isValid()) std::abort();
    std::atexit([] { delete gFolder; });
    // Named as most photos are; the reader falls back to the content for every other kind.
    gPath = QDir(gFolder->path()).filePath(QStringLiteral("photo.jpg"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        QFile file(gPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    QImageReader probe(gPath);
    const QByteArray format = probe.format();
    const QSize declared = probe.size();
    const QImage pic = Pictures::OpenAsPicture(gPath);
    gPictureOutcomes[Outcome(format, declared, !pic.isNull())] = 1;
    if (pic.isNull()) return 0;
    if (pic.format() != QImage::Format_RGB32 || pic.width() <= 0 || pic.height() <= 0) std::abort();
    // Touch the first and last rows whole, so a short pixel buffer shows.
    unsigned sum = 0;
    for (const int y : {0, pic.height() - 1}) {
        const auto* row = reinterpret_cast<const QRgb*>(pic.constScanLine(y));
        for (int x = 0; x < pic.width(); ++x) sum += row[x];
    }
    gSink = sum;
    return 0;
}
