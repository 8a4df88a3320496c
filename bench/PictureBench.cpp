#include "PNGu.h"
#include "Pictures.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

namespace {

QImage Photo(int width, int height) {
    QImage pic(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(pic.scanLine(y));
        for (int x = 0; x < width; ++x) line[x] = qRgb((x * 3) & 255, (y * 5) & 255, (x ^ y) & 255);
    }
    return pic;
}

void BM_PngEncodePassportPicture(benchmark::State& state) {
    const QImage pic = Photo(600, 600); // a 2 x 2 inch photo at 300 pixels per inch
    for (auto _ : state) benchmark::DoNotOptimize(PNGu::GetData(pic));
}
BENCHMARK(BM_PngEncodePassportPicture)->Unit(benchmark::kMillisecond);

void BM_PngDecodePassportPicture(benchmark::State& state) {
    const QByteArray png = PNGu::GetData(Photo(600, 600));
    for (auto _ : state) benchmark::DoNotOptimize(PNGu::GetPictureWithMask(png));
}
BENCHMARK(BM_PngDecodePassportPicture)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
