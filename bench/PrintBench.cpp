// Printing and the JPEG sheet, each beside the plain work it rests on, measured in the same run.
#include "BenchPhoto.h"
#include "DataStore.h"
#include "ExternalTool.h"
#include "JpegSheet.h"
#include "PassportPhotoInfo.h"
#include "PhotoPrinting.h"
#include "SqlFileDatabase.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <stdexcept>

namespace {

// A 2 x 2 inch passport picture at 300 ppi, resampled from a camera-sized photo as the editor
// does it.
const QImage& PassportPicture() {
    static const QImage pic = [] {
        QImage p = BenchPhoto::CameraPhoto()
                       .copy(2000, 1000, 2000, 2000)
                       .scaled(600, 600, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        p.setDotsPerMeterX(11811);
        p.setDotsPerMeterY(11811);
        return p;
    }();
    return pic;
}

// A data folder and database holding one stored 2 x 2 inch photo.
struct StoredPhoto {
    QTemporaryDir dir;
    int rowID = 0;

    StoredPhoto() {
        DataStore& store = DataStore::Current();
        store.AppFolder = dir.path();
        store.db = std::make_unique<SqlFileDatabase>();
        store.db->DatabaseFile = dir.filePath(QStringLiteral("DataFile"));
        if (!store.db->CreateDatabaseFile() ||
            !store.db->SQLExecute(QStringLiteral(
                "create table passportdata (rowid integer primary key, name varchar, creationdate timestamp, "
                "passportpicture binary, previewpicture binary, passportformat varchar, restoreinfo varchar)")))
            throw std::runtime_error("no database");
        PassportPhotoInfo record;
        record.mPicOriginal(BenchPhoto::Photo(1600, 1200));
        record.mPicPassPort(PassportPicture());
        record.mPicPreview = PassportPicture().scaled(64, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        record.SaveToDB();
        rowID = record.mRowID;
    }
    ~StoredPhoto() {
        DataStore& store = DataStore::Current();
        store.db.reset();
        store.AppFolder.clear();
    }
};

// Fetching the record's passport picture, drawing the sheet, encoding it and writing the file.
void BM_JpegSheetExport(benchmark::State& state) {
    StoredPhoto stored;
    const QString path = stored.dir.filePath(QStringLiteral("First Last Passport Photo.jpg"));
    for (auto _ : state) {
        PassportPhotoInfo record;
        if (!record.LoadID(stored.rowID) || !JpegSheet::WriteSheetFile(record, path)) {
            state.SkipWithError("export failed");
            break;
        }
    }
}
BENCHMARK(BM_JpegSheetExport)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same sheet in plain Qt: two copies drawn unscaled on white, encoded at quality 90 into memory.
void BM_QtSheetComposeAndEncode(benchmark::State& state) {
    const QImage& pic = PassportPicture();
    for (auto _ : state) {
        QImage sheet(JpegSheet::kSheetWidth, JpegSheet::kSheetHeight, QImage::Format_RGB32);
        sheet.fill(Qt::white);
        {
            QPainter g(&sheet);
            g.drawImage(200, 300, pic);
            g.drawImage(1000, 300, pic);
        }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(JpegSheet::kQuality);
        benchmark::DoNotOptimize(writer.write(sheet));
    }
}
BENCHMARK(BM_QtSheetComposeAndEncode)->Unit(benchmark::kMillisecond)->UseRealTime();

// vips placing the two copies on a white sheet and writing it as JPEG at quality 90, from its
// own uncompressed format (two runs of the tool; no captions).
void BM_VipsSheet(benchmark::State& state) {
    QTemporaryDir dir;
    const QString white = dir.filePath(QStringLiteral("white.v"));
    const QString pic = dir.filePath(QStringLiteral("pic.v"));
    const QString half = dir.filePath(QStringLiteral("half.v"));
    const QString sheet = dir.filePath(QStringLiteral("sheet.jpg")) + QStringLiteral("[Q=90]");
    QImage blank(JpegSheet::kSheetWidth, JpegSheet::kSheetHeight, QImage::Format_RGB32);
    blank.fill(Qt::white);
    if (!blank.save(dir.filePath(QStringLiteral("white.ppm"))) || !PassportPicture().save(dir.filePath(QStringLiteral("pic.ppm"))) ||
        !ExternalTool::Run(QStringLiteral("vips"), {QStringLiteral("copy"), dir.filePath(QStringLiteral("white.ppm")), white}) ||
        !ExternalTool::Run(QStringLiteral("vips"), {QStringLiteral("copy"), dir.filePath(QStringLiteral("pic.ppm")), pic})) {
        state.SkipWithError("vips could not read the pictures");
        return;
    }
    const QStringList first{QStringLiteral("insert"), white, pic, half, QStringLiteral("200"), QStringLiteral("300")};
    const QStringList second{QStringLiteral("insert"), half, pic, sheet, QStringLiteral("1000"), QStringLiteral("300")};
    for (auto _ : state)
        if (!ExternalTool::Run(QStringLiteral("vips"), first) || !ExternalTool::Run(QStringLiteral("vips"), second)) {
            state.SkipWithError("vips failed");
            break;
        }
}

// One four-up page of a 2 x 2 inch photo into a 720 dpi PDF.
void BM_FourUpPageToPdf(benchmark::State& state) {
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFileName(dir.filePath(QStringLiteral("page.pdf")));
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setResolution(720);
    const QImage& pic = PassportPicture();
    for (auto _ : state) {
        QPainter g(&printer);
        const QSize page(printer.width(), printer.height());
        PhotoPrinting::PrintPicsToGraphics4Up(g, page, pic, QSize(printer.resolution(), printer.resolution()));
        g.end();
    }
}
BENCHMARK(BM_FourUpPageToPdf)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    PassportPicture();
    if (ExternalTool::Available(QStringLiteral("vips")))
        benchmark::RegisterBenchmark("BM_VipsSheet", BM_VipsSheet)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
