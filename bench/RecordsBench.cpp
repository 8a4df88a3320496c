// Picture operations against the plain Qt operation doing the same work, and the cost of
// saving a photo record with a camera-sized source picture.
#include "DataStore.h"
#include "DatabaseRecord.h"
#include "PNGu.h"
#include "PassportPhotoInfo.h"
#include "PictureExtensions.h"
#include "Pictures.h"
#include "PngEncoder.h"
#include "SqlFileDatabase.h"

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTransform>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A stand-in for a camera photo as the editor gets it: a lit backdrop, a subject with shading
// and texture, sensor noise, then a pass through JPEG at quality 90, as photos arrive.
QImage MakePhoto() {
    QImage pic(kWidth, kHeight, QImage::Format_RGB32);
    quint32 seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 24;
    };
    for (int y = 0; y < kHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(pic.scanLine(y));
        const double fy = double(y) / kHeight;
        for (int x = 0; x < kWidth; ++x) {
            const double fx = double(x) / kWidth;
            const double dx = fx - 0.5, dy = (fy - 0.55) * 0.75;
            const bool subject = dx * dx + dy * dy < 0.05;
            const double shade = subject ? 150 + 60 * std::sin(fx * 40) * std::cos(fy * 31) + 25 * std::sin((fx + fy) * 400)
                                         : 190 + 30 * fx - 20 * fy + 6 * std::sin(fx * 9 + fy * 7);
            // Triangular noise of a few levels, partly shared by the channels as in sensors.
            const int common = int(next() + next()) / 64 - 8;
            auto level = [&](double base) {
                const int n = int(next() + next()) / 128 - 4;
                return std::clamp(int(base) + common + n, 0, 255);
            };
            line[x] = subject ? qRgb(level(shade), level(shade * 0.8), level(shade * 0.7))
                              : qRgb(level(shade * 0.95), level(shade), level(shade * 1.05));
        }
    }
    QByteArray jpeg;
    QBuffer out(&jpeg);
    out.open(QIODevice::WriteOnly);
    QImageWriter writer(&out, "jpeg");
    writer.setQuality(90);
    writer.write(pic);
    out.close();
    QBuffer in(&jpeg);
    in.open(QIODevice::ReadOnly);
    QImageReader::setAllocationLimit(1024);
    QImageReader reader(&in, "jpeg");
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

const QImage& Photo() {
    static const QImage photo = MakePhoto();
    return photo;
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

void BM_SavePart_FileWrite(benchmark::State& state) {
    QTemporaryDir dir;
    const QByteArray png = PngEncoder::Encode(Photo());
    for (auto _ : state) {
        QSaveFile file(dir.filePath(QStringLiteral("1")));
        file.open(QIODevice::WriteOnly);
        file.write(png);
        benchmark::DoNotOptimize(file.commit());
    }
}
BENCHMARK(BM_SavePart_FileWrite)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)->ReportAggregatesOnly();

// Prints the usual table, then each operation against its plain Qt counterpart.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& reports) override {
        ConsoleReporter::ReportRuns(reports);
        for (const Run& run : reports)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    void PrintRatios() const {
        const std::pair<const char*, const char*> pairs[] = {
            {"BM_RotateCW", "BM_QtTransformed90"},
            {"BM_AdjustContrastAndBrightness", "BM_QtScanLineTable"},
        };
        std::printf("\nmedian real time, ours against plain Qt (limit 1.5):\n");
        for (const auto& [ours, qt] : pairs) {
            const auto a = medians.find(ours), b = medians.find(qt);
            if (a == medians.end() || b == medians.end()) continue;
            std::printf("  %-32s %8.1f ms   %-20s %8.1f ms   ratio %.2f\n", ours, a->second, qt, b->second,
                        a->second / b->second);
        }
        if (const auto save = medians.find("BM_SaveToDB_NewRecord"); save != medians.end())
            std::printf("  BM_SaveToDB_NewRecord median %.0f ms (limit 1000 ms)\n", save->second);
    }

private:
    std::map<std::string, double> medians;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
