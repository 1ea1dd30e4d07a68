// One refresh tick of the client list and of the score table over a score
// folder of 3,000 results files: the folder read into rows, and the whole
// tick with the grid filled and fitted (offscreen).  The floor is reading
// the same files' bytes and nothing else.
//
// RESULTS_BENCH_DIR names a folder (a network share, say) in which the
// score folder is made: a fresh folder of its own, removed afterwards; by
// default it is made in /tmp.  Nothing else in that folder is touched.
#include "qt_bench_main.h"
#include "CmbGrid.h"
#include "func.h"
#include "gridsort.h"
#include "list.h"
#include "score.h"
#include "sjis.h"
#include "tempdir.h"
#include "textfile.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kFiles = 3000;

// The folder under test, filled once with results files as the drill
// program writes them, with a marker beside every hundredth.
const TempDir& OwnFolder() {
    const char* env = std::getenv("RESULTS_BENCH_DIR");
    static TempDir own(env && *env ? std::string(env) : std::string("/tmp"));
    if (own.path().empty()) {
        std::fprintf(stderr, "results_bench: no folder of its own can be made in %s\n", env && *env ? env : "/tmp");
        std::exit(1);
    }
    return own;
}

const std::string& ScoreFolder() {
    static const std::string folder = [] {
        const std::string dir = OwnFolder().path();
        for (int i = 0; i < kFiles; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "pc%04d", i);
            const int count = 10 + i % 40, right = i % 11, wrong = i % 7;
            const std::string text = "\"s" + std::to_string(i) + "\",\"" + sjis::L("山田 太郎") + "\"\r\n" +
                                     sjis::L(i % 3 ? "\"×\",\"×\"\r\n" : "\"○\",\"×\"\r\n") + "\"" +
                                     sjis::L("算数ドリル") + std::to_string(i % 5) + "\"," + std::to_string(count) +
                                     "\r\n" + std::to_string(right + wrong) + "," + std::to_string(right) + "," +
                                     std::to_string(wrong) + "\r\n";
            textfile::WriteFileAtomic(dir + name + ".dat", text);
            if (i % 100 == 99) textfile::WriteFileAtomic(dir + name + ".stp", "");
        }
        return dir;
    }();
    return folder;
}

void BM_Floor_ReadFileBytes(benchmark::State& state) {
    const std::vector<std::string> files = GetFileList(ScoreFolder(), ".dat");
    for (auto _ : state) {
        size_t total = 0;
        for (const auto& f : files) {
            std::string bytes;
            textfile::ReadFileBytes(f, bytes);
            total += bytes.size();
        }
        benchmark::DoNotOptimize(total);
    }
    state.counters["files"] = static_cast<double>(files.size());
}
BENCHMARK(BM_Floor_ReadFileBytes)->Unit(benchmark::kMillisecond);

void BM_ClientListRows(benchmark::State& state) {
    for (auto _ : state) {
        auto rows = ClientListRows(ReadScoreFolder(ScoreFolder()));
        if (rows.size() != kFiles) state.SkipWithError("not every file listed");
        benchmark::DoNotOptimize(rows);
    }
}
BENCHMARK(BM_ClientListRows)->Unit(benchmark::kMillisecond);

void BM_ScoreTableRows(benchmark::State& state) {
    for (auto _ : state) {
        TGridRows rows = ScoreTableRows(ReadScoreFolder(ScoreFolder()));
        if (rows.size() != kFiles) state.SkipWithError("not every file listed");
        benchmark::DoNotOptimize(rows);
    }
}
BENCHMARK(BM_ScoreTableRows)->Unit(benchmark::kMillisecond);

// The timer's tick as the window runs it, then the events it leaves
// (layout, the scroll bar's room, painting).
template <typename W>
void Tick(benchmark::State& state) {
    TControllerSettings s;
    s.ScoreDir = ScoreFolder();
    s.ListInterval = s.ScoreInterval = 0;
    W w(nullptr, s);
    w.show();
    QApplication::processEvents();
    for (auto _ : state) {
        w.Timer1Timer();
        QApplication::processEvents();
    }
    if (w.Grid->RowCount() != kFiles + 1) state.SkipWithError("not every file in the grid");
}

void BM_ClientListTick(benchmark::State& state) { Tick<TfList>(state); }
BENCHMARK(BM_ClientListTick)->Unit(benchmark::kMillisecond);

void BM_ScoreTableTick(benchmark::State& state) { Tick<TfScore>(state); }
BENCHMARK(BM_ScoreTableTick)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv); }
