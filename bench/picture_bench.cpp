// Pictures whose headers claim far more pixels than the budget: the time
// to refuse each, against the floor of showing a small picture of the
// same kind.  Run by hand: build/bin/picture_bench (the PNG plug-in is
// looked for beside it).
#include "SPIBmp.h"
#include "hostile_pictures.h"
#include "metafile.h"
#include "metafile_writer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

std::string Encoded(const char* format, int side) {
    QImage img(side, side, QImage::Format_RGB32);
    img.fill(Qt::red);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, format);
    return buffer.data().toStdString();
}

void Load(benchmark::State& state, const std::string& bytes, const char* name, bool shown) {
    for (auto _ : state) {
        TSPIBitmap bmp;
        bool ok = true;
        try {
            bmp.LoadFromBytes(bytes, name);
        } catch (const EInvalidGraphic&) {
            ok = false;
        }
        if (ok != shown) state.SkipWithError("unexpected result");
        benchmark::DoNotOptimize(bmp.Image);
    }
}

void BM_PngFloorSmall(benchmark::State& s) { Load(s, Encoded("PNG", 64), "a.png", true); }
void BM_PngClaiming32767(benchmark::State& s) { Load(s, hostile::PngClaiming(32767, 32767), "a.png", false); }
void BM_BmpFloorSmall(benchmark::State& s) { Load(s, Encoded("BMP", 64), "a.bmp", true); }
void BM_BmpClaiming5000(benchmark::State& s) { Load(s, hostile::BmpClaiming(5000, 5000), "a.bmp", false); }

void BM_JpegFloorSmall(benchmark::State& state) {
    const std::string bytes = hostile::ProgressiveJpegClaiming(16, 16);
    QImage img;
    for (auto _ : state)
        if (!DecodeJpeg(bytes, img)) state.SkipWithError("not decoded");
}
void BM_JpegClaiming20000(benchmark::State& state) {
    const std::string bytes = hostile::ProgressiveJpegClaiming(20000, 20000);
    QImage img;
    for (auto _ : state)
        if (DecodeJpeg(bytes, img)) state.SkipWithError("decoded");
}

void Metafile(benchmark::State& state, int claimed, bool shown) {
    metafile_writer::Emf emf(240, 120);
    emf.Shapes = metafile_writer::SampleShapes();
    emf.ClaimedWidth = emf.ClaimedHeight = claimed;
    const std::string bytes = emf.Bytes();
    QImage img;
    for (auto _ : state)
        if (DecodeMetafile(bytes.data(), bytes.size(), img) != shown) state.SkipWithError("unexpected result");
}
void BM_EmfFloorSmall(benchmark::State& s) { Metafile(s, 120, true); }
void BM_EmfClaiming20000(benchmark::State& s) { Metafile(s, 20000, false); }

BENCHMARK(BM_PngFloorSmall);
BENCHMARK(BM_PngClaiming32767);
BENCHMARK(BM_BmpFloorSmall);
BENCHMARK(BM_BmpClaiming5000);
BENCHMARK(BM_JpegFloorSmall);
BENCHMARK(BM_JpegClaiming20000);
BENCHMARK(BM_EmfFloorSmall);
BENCHMARK(BM_EmfClaiming20000);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TSPIs host;
    host.Search(QCoreApplication::applicationDirPath().toStdString() + "/*.spi");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
