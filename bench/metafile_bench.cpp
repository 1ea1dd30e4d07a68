// Drawing a small metafile in the helper process (what the drill program
// does) beside drawing it in this process (the floor): the price of the
// child process, its start and the pixels through the pipe.
#include "metafile.h"
#include "metafile_writer.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

std::string Sample(bool enhanced, int size) {
    if (enhanced) {
        metafile_writer::Emf emf(size, size / 2);
        emf.Shapes = metafile_writer::SampleShapes();
        return emf.Bytes();
    }
    metafile_writer::Wmf wmf(size, size / 2);
    wmf.Shapes = metafile_writer::SampleShapes();
    return wmf.Bytes();
}

void Draw(benchmark::State& state, bool enhanced, bool child) {
    const std::string bytes = Sample(enhanced, int(state.range(0)));
    QImage img;
    for (auto _ : state) {
        const bool ok = child ? DecodeMetafile(bytes.data(), bytes.size(), img)
                              : DecodeMetafileHere(bytes.data(), bytes.size(), img);
        if (!ok) state.SkipWithError("not drawn");
    }
}

void BM_Floor_WmfHere(benchmark::State& s) { Draw(s, false, false); }
void BM_WmfInHelper(benchmark::State& s) { Draw(s, false, true); }
void BM_Floor_EmfHere(benchmark::State& s) { Draw(s, true, false); }
void BM_EmfInHelper(benchmark::State& s) { Draw(s, true, true); }

BENCHMARK(BM_Floor_WmfHere)->Arg(240)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WmfInHelper)->Arg(240)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor_EmfHere)->Arg(240)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmfInHelper)->Arg(240)->Arg(2048)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
