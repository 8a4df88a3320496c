// The editor on a 6000 x 4000 JPEG. The goals are relative, so each figure sits beside its
// reference from the same run:
// - a drop, up to the first rendered view, within the JPEG decode plus 50 ms
//   (BM_DropFileToFirstView against BM_OpenAsPictureJpeg; BM_DropDecodedPictureToFirstView is the
//   part beyond the decode on its own);
// - Save, with every picture made but nothing stored, within GetPassportPic plus 150 ms
//   (BM_SaveMakesAllPictures against BM_GetPassportPic).
#include "BenchPhoto.h"
#include "EditWindow.h"
#include "ExternalTool.h"
#include "PassportPhotoInfo.h"
#include "PassportTemplates.h"
#include "Pictures.h"
#include "ScalingPictureCanvas.h"

#include <QApplication>
#include <QImageReader>
#include <QMimeData>
#include <QUrl>
#include <benchmark/benchmark.h>

namespace {

const QString& PhotoFile() {
    return BenchPhoto::CameraJpegFile();
}

// An editor window on a new record, as the main window opens it (not shown).
struct Editor {
    PassportPhotoInfo info;
    EditWindow window;
    ScalingPictureCanvas* canvas = window.findChild<ScalingPictureCanvas*>(QStringLiteral("ScaleCanvas"));
    Editor() {
        window.LocalPassportInfo = &info;
        window.LoadInfo();
    }
    // The view as the screen gets it: the canvas painted.
    void Render() { benchmark::DoNotOptimize(canvas->grab()); }
};

// Opening the photo as the editor does (EXIF orientation, colour space, plain 32-bit picture).
void BM_OpenAsPictureJpeg(benchmark::State& state) {
    const QString& path = PhotoFile();
    for (auto _ : state) benchmark::DoNotOptimize(Pictures::OpenAsPicture(path));
}
BENCHMARK(BM_OpenAsPictureJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();

// Qt's JPEG reader (libjpeg-turbo underneath) with no work beyond the decode.
void BM_QtPlainJpegRead(benchmark::State& state) {
    const QString& path = PhotoFile();
    for (auto _ : state) {
        QImageReader reader(path);
        benchmark::DoNotOptimize(reader.read());
    }
}
BENCHMARK(BM_QtPlainJpegRead)->Unit(benchmark::kMillisecond)->UseRealTime();

// libjpeg-turbo's own command-line decoder, its output thrown away.
void BM_Djpeg(benchmark::State& state) {
    const QStringList args{QStringLiteral("-outfile"), QStringLiteral("/dev/null"), PhotoFile()};
    for (auto _ : state)
        if (!ExternalTool::Run(QStringLiteral("djpeg"), args)) {
            state.SkipWithError("djpeg failed");
            break;
        }
}

void BM_DropFileToFirstView(benchmark::State& state) {
    Editor e;
    QMimeData drop;
    drop.setUrls({QUrl::fromLocalFile(PhotoFile())});
    for (auto _ : state) {
        e.window.ScaleCanvas_DropObject(&drop);
        e.Render();
    }
}
BENCHMARK(BM_DropFileToFirstView)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DropDecodedPictureToFirstView(benchmark::State& state) {
    Editor e;
    QMimeData drop;
    drop.setImageData(Pictures::OpenAsPicture(PhotoFile()));
    for (auto _ : state) {
        e.window.ScaleCanvas_DropObject(&drop);
        e.Render();
    }
}
BENCHMARK(BM_DropDecodedPictureToFirstView)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GetPassportPic(benchmark::State& state) {
    Editor e;
    QMimeData drop;
    drop.setImageData(Pictures::OpenAsPicture(PhotoFile()));
    e.window.ScaleCanvas_DropObject(&drop);
    for (auto _ : state)
        benchmark::DoNotOptimize(e.canvas->GetPassportPic(PassportTemplates::BlankPassportPicture(QStringLiteral("US"))));
}
BENCHMARK(BM_GetPassportPic)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveMakesAllPictures(benchmark::State& state) {
    Editor e;
    QMimeData drop;
    drop.setImageData(Pictures::OpenAsPicture(PhotoFile()));
    e.window.ScaleCanvas_DropObject(&drop);
    for (auto _ : state) e.window.butOK_Action();
}
BENCHMARK(BM_SaveMakesAllPictures)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PhotoFile();
    QImageReader::setAllocationLimit(1024);
    if (ExternalTool::Available(QStringLiteral("djpeg")))
        benchmark::RegisterBenchmark("BM_Djpeg", BM_Djpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
