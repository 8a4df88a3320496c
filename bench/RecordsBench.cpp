// Picture operations against the plain Qt operation doing the same work, and the cost of
// saving a photo record with a camera-sized source picture.
#include "BenchPhoto.h"
#include "DataStore.h"
#include "DatabaseRecord.h"
#include "ExternalTool.h"
#include "FolderItemExtensions.h"
#include "PNGu.h"
#include "PassportPhotoInfo.h"
#include "PhotoFiles.h"
#include "PictureExtensions.h"
#include "Pictures.h"
#include "PngEncoder.h"
#include "SqlFileDatabase.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>
#include <QTransform>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <stdexcept>
#include <thread>
#include <vector>
#include <zlib.h>

namespace {

const QImage& Photo() {
    return BenchPhoto::CameraPhoto();
}

// --- Quarter turn -------------------------------------------------------------------------

void BM_RotateCW(benchmark::State& state) {
    const QImage& src = Photo();
    for (auto _ : state) benchmark::DoNotOptimize(PictureExtensions::RotateCW(src));
}
BENCHMARK(BM_RotateCW)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();

void BM_QtTransformed90(benchmark::State& state) {
    const QImage& src = Photo();
    const QTransform turn = QTransform().rotate(90);
    for (auto _ : state) benchmark::DoNotOptimize(src.transformed(turn));
}
BENCHMARK(BM_QtTransformed90)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();

// --- Contrast and brightness --------------------------------------------------------------

void BM_AdjustContrastAndBrightness(benchmark::State& state) {
    const QImage& src = Photo();
    for (auto _ : state) benchmark::DoNotOptimize(PictureExtensions::AdjustContrastAndBrightness(src, 35, -10));
}
BENCHMARK(BM_AdjustContrastAndBrightness)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();

// The same work in plain Qt: a new picture and one scanLine pass applying a 256-entry table.
void BM_QtScanLineTable(benchmark::State& state) {
    const QImage& src = Photo();
    const auto map = PictureExtensions::ContrastBrightnessLevelMap(35, -10);
    uchar table[256];
    for (int i = 0; i < 256; ++i) table[i] = static_cast<uchar>(map[static_cast<size_t>(i)]);
    for (auto _ : state) {
        QImage out(src.size(), QImage::Format_RGB32);
        for (int y = 0; y < src.height(); ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
            auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < src.width(); ++x)
                dst[x] = qRgb(table[qRed(in[x])], table[qGreen(in[x])], table[qBlue(in[x])]);
        }
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_QtScanLineTable)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();

// --- Saving a record ----------------------------------------------------------------------

struct TempStore {
    QTemporaryDir dir;
    TempStore() {
        DataStore& store = DataStore::Current();
        store.AppFolder = dir.path();
        store.db = std::make_unique<SqlFileDatabase>();
        store.db->DatabaseFile = dir.filePath(QStringLiteral("DataFile"));
        store.db->CreateDatabaseFile();
        store.db->SQLExecute(QStringLiteral(
            "create table passportdata (rowid integer primary key, name varchar, creationdate timestamp, "
            "passportpicture binary, previewpicture binary, passportformat varchar, restoreinfo varchar)"));
    }
    ~TempStore() {
        DataStore& store = DataStore::Current();
        store.db.reset();
        store.AppFolder.clear();
    }
};

QImage PassportPicture() {
    return Photo().copy(1700, 500, 2600, 2600).scaled(600, 600, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage Preview() {
    QImage p = PassportPicture().scaled(64, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage mask(64, 64, QImage::Format_Grayscale8);
    mask.fill(255);
    QPainter g(&mask);
    QPainterPath path;
    path.addRoundedRect(QRectF(4, 4, 56, 56), 10, 10);
    g.fillPath(path, QColor(0, 0, 0));
    g.end();
    Pictures::SetMask(p, mask);
    return p;
}

// libpng's size at its default settings (Qt's PNG writer leaves them as they are).
qint64 LibpngDefaultSize() {
    static const qint64 size = [] {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        QImage pic = Photo();
        Pictures::SetResolution(pic, 72, 72);
        writer.write(pic);
        return png.size();
    }();
    return size;
}

void BM_SaveToDB_NewRecord(benchmark::State& state) {
    TempStore temp;
    const QImage passport = PassportPicture();
    const QImage preview = Preview();
    QImage source = Photo();
    Pictures::SetResolution(source, 72, 72);
    qint64 fileSize = 0;
    for (auto _ : state) {
        PassportPhotoInfo record;
        record.mPicOriginal(source);
        record.mPicPassPort(passport);
        record.mPicPreview = preview;
        record.mRestoreInfo = QStringLiteral("RestoreVersion=Integer=1");
        record.SaveToDB();
        state.PauseTiming();
        fileSize = QFileInfo(DataStore::Current().Child(QString::number(record.mRowID))).size();
        QFile::remove(DataStore::Current().Child(QString::number(record.mRowID)));
        state.ResumeTiming();
    }
    const qint64 reference = LibpngDefaultSize();
    state.counters["file_MB"] = double(fileSize) / 1e6;
    state.counters["libpng_MB"] = double(reference) / 1e6;
    state.counters["size_ratio"] = double(fileSize) / double(reference);
}
BENCHMARK(BM_SaveToDB_NewRecord)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7)->ReportAggregatesOnly();

// The parts of a save, one by one (the save runs the encoding while it writes the row).
void BM_SavePart_EncodeSource(benchmark::State& state) {
    const QImage& source = Photo();
    for (auto _ : state) benchmark::DoNotOptimize(PngEncoder::Encode(source));
}
BENCHMARK(BM_SavePart_EncodeSource)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)->ReportAggregatesOnly();

// The encoder held to one thread, beside its compressor on one thread below.
void BM_EncodeSourceOneThread(benchmark::State& state) {
    const QImage& source = Photo();
    for (auto _ : state) benchmark::DoNotOptimize(PngEncoder::Encode(source, 1));
}
BENCHMARK(BM_EncodeSourceOneThread)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3)->ReportAggregatesOnly();

void BM_SavePart_DatabaseRow(benchmark::State& state) {
    TempStore temp;
    const QImage passport = PassportPicture();
    const QImage preview = Preview();
    SqlFileDatabase& db = DataStore::Current().Database();
    for (auto _ : state) {
        DatabaseRecord record;
        record.Column(QStringLiteral("name"), QStringLiteral("First Last"));
        record.DateColumn(QStringLiteral("creationdate"), QDateTime::currentDateTime());
        record.BlobColumn(QStringLiteral("passportpicture"), PNGu::GetData(passport));
        record.BlobColumn(QStringLiteral("previewpicture"), PNGu::GetData(preview));
        record.Column(QStringLiteral("passportformat"), QStringLiteral("US"));
        record.Column(QStringLiteral("restoreinfo"), QString());
        db.InsertRecord(QStringLiteral("passportdata"), record);
        db.Commit();
    }
}
BENCHMARK(BM_SavePart_DatabaseRow)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)->ReportAggregatesOnly();

// The save's own write of the source picture: a new file under its pending name. The file must
// not be there yet, so each round's is removed untimed.
void BM_SavePart_FileWrite(benchmark::State& state) {
    QTemporaryDir dir;
    const QByteArray png = PngEncoder::Encode(Photo());
    const QString pending = dir.filePath(PhotoFiles::PendingName(1, PhotoFiles::NewTag()));
    for (auto _ : state) {
        FolderItemExtensions::CreateNewFile(pending, png);
        state.PauseTiming();
        QFile::remove(pending);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SavePart_FileWrite)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)->ReportAggregatesOnly();

// --- The encoder's compressor alone on the same bytes -------------------------------------

// The level PngEncoder gives libdeflate; keep the two in step.
constexpr int kEncoderLevel = 3;

// The filtered rows the encoder compresses, taken back out of its own PNG.
const QByteArray& FilteredRows() {
    static const QByteArray rows = [] {
        const QByteArray png = PngEncoder::Encode(Photo());
        QByteArray stream;
        for (qsizetype at = 8; at + 12 <= png.size();) {
            const auto length = qFromBigEndian<quint32>(png.constData() + at);
            if (png.mid(at + 4, 4) == "IDAT") stream += png.mid(at + 8, length);
            at += 12 + static_cast<qsizetype>(length);
        }
        QByteArray out(static_cast<qsizetype>(Photo().height()) * (Photo().width() * 3 + 1), Qt::Uninitialized);
        uLongf size = static_cast<uLongf>(out.size());
        if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(stream.constData()),
                       static_cast<uLong>(stream.size())) != Z_OK || size != static_cast<uLongf>(out.size()))
            throw std::runtime_error("the encoder's PNG does not inflate");
        return out;
    }();
    return rows;
}

// libdeflate at the encoder's level over the same bytes, in the same bands on `threads`
// threads; the filtering, the checksums and the PNG container are left out.
void DeflateBands(benchmark::State& state, int threads) {
    const QByteArray& rows = FilteredRows();
    const size_t rowBytes = static_cast<size_t>(Photo().width()) * 3 + 1;
    const int height = Photo().height();
    const int bands = std::clamp(height / 64, 1, threads * 4);
    size_t compressed = 0;
    for (auto _ : state) {
        std::atomic<int> next{0};
        std::atomic<size_t> total{0};
        auto work = [&] {
            libdeflate_compressor* c = libdeflate_alloc_compressor(kEncoderLevel);
            std::vector<unsigned char> out;
            for (int i; (i = next.fetch_add(1)) < bands;) {
                const size_t first = size_t(height) * size_t(i) / size_t(bands);
                const size_t end = size_t(height) * size_t(i + 1) / size_t(bands);
                const size_t in = (end - first) * rowBytes;
                out.resize(libdeflate_deflate_compress_bound(c, in));
                total += libdeflate_deflate_compress(c, rows.constData() + first * rowBytes, in, out.data(), out.size());
            }
            libdeflate_free_compressor(c);
        };
        std::vector<std::thread> helpers;
        for (int t = 1; t < threads; ++t) helpers.emplace_back(work);
        work();
        for (auto& t : helpers) t.join();
        compressed = total;
    }
    state.counters["deflate_MB"] = double(compressed) / 1e6;
}

int EncoderThreads() {
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 8);
}

void BM_DeflateSameThreads(benchmark::State& state) {
    DeflateBands(state, EncoderThreads());
}
BENCHMARK(BM_DeflateSameThreads)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)->ReportAggregatesOnly();

void BM_DeflateOneThread(benchmark::State& state) {
    DeflateBands(state, 1);
}
BENCHMARK(BM_DeflateOneThread)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3)->ReportAggregatesOnly();

// --- vips ---------------------------------------------------------------------------------

// vips turning the photo a quarter, from and to its own uncompressed format (one run of the tool).
void BM_VipsRotate90(benchmark::State& state) {
    QString photo;
    try {
        photo = BenchPhoto::CameraVipsFile();
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    const QStringList args{QStringLiteral("rot"), photo, BenchPhoto::ScratchFolder() + QStringLiteral("/turned.v"),
                           QStringLiteral("d90")};
    for (auto _ : state)
        if (!ExternalTool::Run(QStringLiteral("vips"), args)) {
            state.SkipWithError("vips failed");
            break;
        }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (ExternalTool::Available(QStringLiteral("vips")))
        benchmark::RegisterBenchmark("BM_VipsRotate90", BM_VipsRotate90)
            ->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
