// PNG encoding and decoding of a passport picture, as the record stores it.
#include "BenchPhoto.h"
#include "PNGu.h"
#include "Pictures.h"
#include "PngEncoder.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

namespace {

// A 2 x 2 inch photo at 300 pixels per inch, resampled from a camera-sized photo.
const QImage& PassportPicture() {
    static const QImage pic = BenchPhoto::CameraPhoto()
                                  .copy(2000, 1000, 2000, 2000)
                                  .scaled(600, 600, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return pic;
}

void BM_PngEncodePassportPicture(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(PNGu::GetData(PassportPicture()));
    state.counters["png_KB"] = double(PNGu::GetData(PassportPicture()).size()) / 1e3;
}
BENCHMARK(BM_PngEncodePassportPicture)->Unit(benchmark::kMillisecond)->UseRealTime();

// The encoder the record uses for source pictures, on the same picture.
void BM_PngEncoderPassportPicture(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(PngEncoder::Encode(PassportPicture()));
    state.counters["png_KB"] = double(PngEncoder::Encode(PassportPicture()).size()) / 1e3;
}
BENCHMARK(BM_PngEncoderPassportPicture)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PngDecodePassportPicture(benchmark::State& state) {
    const QByteArray png = PNGu::GetData(PassportPicture());
    for (auto _ : state) benchmark::DoNotOptimize(PNGu::GetPictureWithMask(png));
}
BENCHMARK(BM_PngDecodePassportPicture)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    PassportPicture();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
