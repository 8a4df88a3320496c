// The editor on a 6000 x 4000 JPEG. The goals are relative, so each figure sits beside its
// reference from the same run:
// - a drop, up to the first rendered view, within the JPEG decode plus 50 ms
//   (BM_DropFileToFirstView against BM_DecodeJpeg; BM_DropDecodedPictureToFirstView is the
//   part beyond the decode on its own);
// - Save, with every picture made but nothing stored, within GetPassportPic plus 150 ms
//   (BM_SaveMakesAllPictures against BM_GetPassportPic).
#include "EditWindow.h"
#include "PassportPhotoInfo.h"
#include "PassportTemplates.h"
#include "Pictures.h"
#include "ScalingPictureCanvas.h"

#include <QApplication>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <benchmark/benchmark.h>

namespace {

// A photo stand-in with fine detail, so the JPEG is not trivially small to decode.
const QString& PhotoFile() {
    static QTemporaryDir dir;
    static const QString path = [] {
        QImage pic(6000, 4000, QImage::Format_RGB32);
        for (int y = 0; y < pic.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(pic.scanLine(y));
            for (int x = 0; x < pic.width(); ++x)
                line[x] = qRgb((x / 7 + y / 5) & 255, (x * y / 97) & 255, ((x ^ y) * 13) & 255);
        }
        const QString p = dir.filePath(QStringLiteral("Photo.jpg"));
        pic.save(p, "JPEG", 90);
        return p;
    }();
    return path;
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

void BM_DecodeJpeg(benchmark::State& state) {
    const QString& path = PhotoFile();
    for (auto _ : state) benchmark::DoNotOptimize(Pictures::OpenAsPicture(path));
}
BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();

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
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
