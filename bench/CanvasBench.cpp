// The scaling canvas on a 6000 x 4000 photo: each figure sits beside the plain Qt primitive it
// is built on, measured in the same run.
#include "BenchPhoto.h"
#include "CanvasMath.h"
#include "ExternalTool.h"
#include "PassportTemplates.h"
#include "PictureExtensions.h"
#include "ScalingPictureCanvas.h"

#include <QApplication>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cmath>

namespace {

const QImage& Photo() {
    return BenchPhoto::CameraPhoto();
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

const CaptureArea& US() {
    static const CaptureArea area = PassportTemplates::PassportCaptureArea(QStringLiteral("US"));
    return area;
}

// The canvas's LastSize at `percent` for the photo in "US".
double SizeAt(double percent) {
    const auto limits = CanvasMath::CalcScales(Photo().width(), Photo().height(), US().width, US().height);
    return CanvasMath::ZoomSize(limits.ScaleMin, limits.ScaleMax, percent);
}

// The source rectangle a freshly centred view shows at `percent`.
QRectF ViewSourceAt(double percent) {
    const double size = SizeAt(percent);
    const int cx = CanvasMath::ClampCentre(Photo().width() / 2, US().CenterX - US().left, size, Photo().width());
    const int cy = CanvasMath::ClampCentre(Photo().height() / 2, US().CenterY - US().top, size, Photo().height());
    return CanvasMath::ViewSource(300, 300, US().CenterX, US().CenterY, cx, cy, size);
}

// The percent at which LastSize is 10: a crop of 2000 x 2000, a typical passport zoom.
double TypicalPercent() {
    const auto limits = CanvasMath::CalcScales(Photo().width(), Photo().height(), US().width, US().height);
    return 100.0 - 100.0 * std::log(10.0 / limits.ScaleMin) / std::log(limits.ScaleMax / limits.ScaleMin);
}

QRect TypicalCrop() {
    return CanvasMath::PassportCrop(US().width, US().height, SizeAt(TypicalPercent()), Photo().width() / 2,
                                    Photo().height() / 2, Photo().width(), Photo().height());
}

void BM_CanvasReDraw(benchmark::State& state) {
    const double percent = static_cast<double>(state.range(0));
    Canvas c(percent);
    for (auto _ : state) c.canvas.ReDraw(percent);
}
BENCHMARK(BM_CanvasReDraw)->Arg(0)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

// The primitive under every view: one smooth drawImage of the shown source rectangle.
void BM_QtSmoothDrawOfTheViewSource(benchmark::State& state) {
    const QRectF source = ViewSourceAt(static_cast<double>(state.range(0)));
    QImage buf(300, 300, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter g(&buf);
        g.setRenderHint(QPainter::SmoothPixmapTransform);
        g.drawImage(QRectF(0, 0, 300, 300), Photo(), source);
    }
}
BENCHMARK(BM_QtSmoothDrawOfTheViewSource)->Arg(0)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

// The two other steps of a view: the level map over the buffer and the overlay blend.
void BM_LevelMapOfTheBuffer(benchmark::State& state) {
    QImage buf(300, 300, QImage::Format_RGB32);
    buf.fill(0xFFAAAAAA);
    for (auto _ : state) benchmark::DoNotOptimize(PictureExtensions::AdjustContrastAndBrightness(buf, 10, 10));
}
BENCHMARK(BM_LevelMapOfTheBuffer)->Unit(benchmark::kMillisecond)->UseRealTime();

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
BENCHMARK(BM_QtOverlayBlend)->Unit(benchmark::kMillisecond)->UseRealTime();

// One drag step: the mouse moves a pixel and the view is rendered again.
void BM_CanvasDragStep(benchmark::State& state) {
    Canvas c(static_cast<double>(state.range(0)));
    c.canvas.Event_MouseDown(150, 150);
    int x = 150;
    for (auto _ : state) {
        x = x == 150 ? 151 : 150;
        c.canvas.Event_MouseDrag(x, 150);
    }
    c.canvas.Event_MouseUp(x, 150);
}
BENCHMARK(BM_CanvasDragStep)->Arg(0)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

// The passport picture at a typical zoom: a 2000 x 2000 crop into 600 x 600.
void BM_CanvasGetPassportPic(benchmark::State& state) {
    Canvas c(TypicalPercent());
    for (auto _ : state) {
        QImage target = PassportTemplates::BlankPassportPicture(QStringLiteral("US"));
        benchmark::DoNotOptimize(c.canvas.GetPassportPic(target));
    }
    state.counters["crop_px"] = TypicalCrop().width();
}
BENCHMARK(BM_CanvasGetPassportPic)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same rectangle, copied and scaled smoothly by Qt.
void BM_QtCopyAndSmoothScale(benchmark::State& state) {
    const QRect crop = TypicalCrop();
    for (auto _ : state)
        benchmark::DoNotOptimize(Photo().copy(crop).scaled(600, 600, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}
BENCHMARK(BM_QtCopyAndSmoothScale)->Unit(benchmark::kMillisecond)->UseRealTime();

// vips cutting out the same rectangle and resizing it, from its own uncompressed file format
// (two runs of the tool; BM_VipsStartUp is what one run costs before it does any work).
void BM_VipsCropAndResize(benchmark::State& state) {
    const QString dir = BenchPhoto::ScratchFolder();
    QString photo;
    try {
        photo = BenchPhoto::CameraVipsFile();
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    const QString crop = dir + QStringLiteral("/canvas-crop.v");
    const QString out = dir + QStringLiteral("/canvas-passport.v");
    const QRect r = TypicalCrop();
    const QStringList extract{QStringLiteral("extract_area"), photo, crop, QString::number(r.x()), QString::number(r.y()),
                              QString::number(r.width()), QString::number(r.height())};
    const QStringList resize{QStringLiteral("resize"), crop, out, QString::number(600.0 / r.width(), 'g', 17)};
    for (auto _ : state) {
        if (!ExternalTool::Run(QStringLiteral("vips"), extract) || !ExternalTool::Run(QStringLiteral("vips"), resize)) {
            state.SkipWithError("vips failed");
            break;
        }
    }
}

void BM_VipsStartUp(benchmark::State& state) {
    for (auto _ : state)
        if (!ExternalTool::Run(QStringLiteral("vips"), {QStringLiteral("--version")})) {
            state.SkipWithError("vips failed");
            break;
        }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Photo();
    if (ExternalTool::Available(QStringLiteral("vips"))) {
        benchmark::RegisterBenchmark("BM_VipsCropAndResize", BM_VipsCropAndResize)
            ->Unit(benchmark::kMillisecond)->UseRealTime();
        benchmark::RegisterBenchmark("BM_VipsStartUp", BM_VipsStartUp)->Unit(benchmark::kMillisecond)->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
