#include "DataStore.h"
#include "JpegSheet.h"
#include "PassportPhotoInfo.h"
#include "PhotoPrinting.h"
#include "SqlFileDatabase.h"

#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <stdexcept>

namespace {

QImage Photo(int width, int height) {
    QImage pic(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(pic.scanLine(y));
        for (int x = 0; x < width; ++x) line[x] = qRgb((x * 3) & 255, (y * 5) & 255, (x ^ y) & 255);
    }
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
        record.mPicOriginal(Photo(1600, 1200));
        record.mPicPassPort(Photo(600, 600));
        record.mPicPreview = Photo(64, 64);
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
BENCHMARK(BM_JpegSheetExport)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// One four-up page of a 2 x 2 inch photo into a 720 dpi PDF.
void BM_FourUpPageToPdf(benchmark::State& state) {
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFileName(dir.filePath(QStringLiteral("page.pdf")));
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setResolution(720);
    const QImage pic = Photo(600, 600);
    for (auto _ : state) {
        QPainter g(&printer);
        const QSize page(printer.width(), printer.height());
        PhotoPrinting::PrintPicsToGraphics4Up(g, page, pic, QSize(printer.resolution(), printer.resolution()));
        g.end();
    }
}
BENCHMARK(BM_FourUpPageToPdf)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
