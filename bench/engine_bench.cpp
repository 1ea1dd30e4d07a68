// Opening a problem at the limits (500 entries, 100 questions) and working
// it through, with the progress and results files written on disk at every
// step.
#include "recorder.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <map>
#include <memory>
#include <unistd.h>

namespace {

// 100 questions, each with a hint and a message sub-block, 100 titles and
// 100 feedback points: 500 entries.
std::vector<std::string> LimitProblem() {
    std::vector<std::string> lines;
    for (int i = 0; i < 100; ++i) {
        lines.insert(lines.end(), {"~Title " + std::to_string(i), "title text", "/",
                                   "a" + std::to_string(i) + ";b;c", "question text", "bmp x 1 1",
                                   "@hint", "hint", "@/", "@mess", "well done", "@/", "/fb"});
    }
    return lines;
}

void BM_OpenProblem(benchmark::State& state) {
    DrillFixture f;
    std::string path = f.Write(LimitProblem());
    for (auto _ : state) {
        f.Engine.LoadProblemFile(path);
        benchmark::DoNotOptimize(f.Engine.BlockCount);
    }
    if (f.Engine.BlockCount != 500) state.SkipWithError("problem did not open at the limit");
}
BENCHMARK(BM_OpenProblem)->Unit(benchmark::kMicrosecond);

// A score folder shared by a school: other learners' results and marker
// files beside this learner's (entries in all).  One folder of each size
// serves the step and its floor alike, made once: a file system's cost of
// making and deleting thousands of files then weighs on neither.
DrillFixture& ScoreFolderOf(int64_t entries) {
    static std::map<int64_t, std::unique_ptr<DrillFixture>> folders;
    std::unique_ptr<DrillFixture>& f = folders[entries];
    if (!f) {
        f = std::make_unique<DrillFixture>();
        for (int64_t i = 0; i < entries; ++i) {
            const std::string name =
                f->Engine.Settings.ScoreFolder + "PC" + std::to_string(10000 + i) + (i % 10 ? ".dat" : ".stp");
            int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            if (fd >= 0) ::close(fd);
        }
    }
    return *f;
}

// One step = judging an answer and moving on: progress and results written.
void BM_Step(benchmark::State& state) {
    DrillFixture& f = ScoreFolderOf(state.range(0));
    std::string path = f.Write(LimitProblem());
    f.Engine.LoadProblemFile(path);
    for (auto _ : state) {
        f.View.AnswerBox = "a" + std::to_string(f.Engine.QuestionIndex);
        f.Engine.Button1Click();  // judge
        f.View.AnswerBox.clear();
        f.Engine.Button1Click();  // next step: both files written
        if (f.Engine.BlockPos == 0) {
            state.PauseTiming();
            f.Engine.LoadProblemFile(path);
            state.ResumeTiming();
        }
    }
}

// The floor of a step: the two small whole-file replacements it makes (the
// progress file flushed to the disk, the results file not), done bare:
// write a temporary file, flush where the step does, rename it over the
// file.  A step should stay within twice this, and within 1.5 times it
// in a score folder of 10,000 entries.
bool ReplaceBare(const std::string& path, const std::string& data, bool flush) {
    const std::string tmp = path + ".bench.tmp";
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    if (flush) ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    return ok && ::rename(tmp.c_str(), path.c_str()) == 0;
}

void BM_TwoFileReplacementsFloor(benchmark::State& state) {
    DrillFixture& f = ScoreFolderOf(state.range(0));
    const std::string progress(115 * 4, '0'), results(80, 'r');
    const std::string folder = f.Engine.Settings.ScoreFolder;
    for (auto _ : state) {
        if (!ReplaceBare(folder + "floor.sc", progress, true) || !ReplaceBare(folder + "FLOOR.dat", results, false))
            state.SkipWithError("could not write the score folder");
    }
}
// Each step beside its floor, in the same folder.
BENCHMARK(BM_TwoFileReplacementsFloor)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Step)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TwoFileReplacementsFloor)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Step)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
