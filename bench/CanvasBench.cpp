// The scaling canvas on a 6000 x 4000 photo: each figure sits beside the plain Qt primitive it
// is built on, measured in the same run.
#include "PassportTemplates.h"
#include "PictureExtensions.h"
#include "ScalingPictureCanvas.h"

#include <QApplication>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cmath>

namespace {

constexpr int kPhotoWidth = 6000;
constexpr int kPhotoHeight = 4000;

const QImage& Photo() {
    static const QImage pic = [] {
        QImage p(kPhotoWidth, kPhotoHeight, QImage::Format_RGB32);
        for (int y = 0; y < kPhotoHeight; ++y) {
            auto* line = reinterpret_cast<QRgb*>(p.scanLine(y));
            for (int x = 0; x < kPhotoWidth; ++x) line[x] = qRgb((x * 3) & 255, (y * 5) & 255, (x ^ y) & 255);
        }
        return p;
    }();
    return pic;
}

// A canvas as the editor sets it up: "US" overlay, the photo, a zoom percent.
struct Canvas {
    ScalingPictureCanvas canvas;
    explicit Canvas(double percent) {
        canvas.SetCaptureArea(QStringLiteral("US"));
        canvas.setPic(Photo());
        canvas.ReDraw(percent);
    }
};

// The "US" limits for the photo: 1.0 to min(6000, 4000) / 200 = 20.
double SizeAt(double percent) {
    return std::exp(std::log(20.0) / 100.0 * (100.0 - percent));
}

void BM_CanvasReDraw(benchmark::State& state) {
    const double percent = static_cast<double>(state.range(0));
    Canvas c(percent);
    for (auto _ : state) c.canvas.ReDraw(percent);
}
BENCHMARK(BM_CanvasReDraw)->Arg(0)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

// The primitive under every view: one smooth drawImage of the shown source rectangle.
void BM_QtSmoothDrawOfTheViewSource(benchmark::State& state) {
    const double size = SizeAt(static_cast<double>(state.range(0)));
    const QRectF source(3000 - 150 * size, 2000 - 150 * size, 300 * size, 300 * size);
    QImage buf(300, 300, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter g(&buf);
        g.setRenderHint(QPainter::SmoothPixmapTransform);
        g.drawImage(QRectF(0, 0, 300, 300), Photo(), source);
    }
}
BENCHMARK(BM_QtSmoothDrawOfTheViewSource)->Arg(0)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

// The two other steps of a view: the level map over the buffer and the overlay blend.
void BM_LevelMapOfTheBuffer(benchmark::State& state) {
    QImage buf(300, 300, QImage::Format_RGB32);
    buf.fill(0xFFAAAAAA);
    for (auto _ : state) benchmark::DoNotOptimize(PictureExtensions::AdjustContrastAndBrightness(buf, 10, 10));
}
BENCHMARK(BM_LevelMapOfTheBuffer)->Unit(benchmark::kMillisecond);

void BM_QtOverlayBlend(benchmark::State& state) {
    const QImage overlay =
        PassportTemplates::MaskImage(QStringLiteral("US")).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage buf(300, 300, QImage::Format_RGB32);
    buf.fill(0xFFAAAAAA);
    for (auto _ : state) {
        QPainter g(&buf);
        g.drawImage(0, 0, overlay);
    }
}
BENCHMARK(BM_QtOverlayBlend)->Unit(benchmark::kMillisecond);

// One drag step: the mouse moves a pixel and the view is rendered again.
void BM_CanvasDragStep(benchmark::State& state) {
    Canvas c(50);
    c.canvas.Event_MouseDown(150, 150);
    int x = 150;
    for (auto _ : state) {
        x = x == 150 ? 151 : 150;
        c.canvas.Event_MouseDrag(x, 150);
    }
    c.canvas.Event_MouseUp(x, 150);
}
BENCHMARK(BM_CanvasDragStep)->Unit(benchmark::kMillisecond);

// The passport picture at a typical zoom: a 2000 x 2000 crop into 600 x 600.
void BM_CanvasGetPassportPic(benchmark::State& state) {
    Canvas c(100.0 - 100.0 * std::log(10.0) / std::log(20.0)); // size 10
    for (auto _ : state) {
        QImage target = PassportTemplates::BlankPassportPicture(QStringLiteral("US"));
        benchmark::DoNotOptimize(c.canvas.GetPassportPic(target));
    }
}
BENCHMARK(BM_CanvasGetPassportPic)->Unit(benchmark::kMillisecond);

void BM_QtCopyAndSmoothScale(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(
            Photo().copy(2000, 1000, 2000, 2000).scaled(600, 600, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}
BENCHMARK(BM_QtCopyAndSmoothScale)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Photo();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
