// A paste, a drop or a send of one large file into a folder: the copy made
// under a temporary name in blocks, with and without a progress that is told
// after each block, beside the floor of the library's own whole-file copy.
// A sparse file (1 GiB with 1 MiB of data) is copied beside the same floor,
// which writes its holes out.
//
// COPY_BENCH_DIR names a folder (a network share, say) in which the folder
// to copy in is made: a fresh folder of its own, removed afterwards; by
// default it is made in /tmp.  Nothing else in that folder is touched.
#include "shellmenu.h"
#include "tempdir.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr off_t kDense = 256 << 20;
constexpr off_t kSparse = off_t(1) << 30;

const std::string& Folder() {
    const char* env = std::getenv("COPY_BENCH_DIR");
    static TempDir own(env && *env ? std::string(env) : std::string("/tmp"));
    static const std::string dir = [] {
        if (own.path().empty()) {
            std::fprintf(stderr, "copy_bench: no folder of its own can be made in the folder named\n");
            std::exit(1);
        }
        std::string d = own.path();
        d.pop_back();
        fs::create_directories(d + "/to");
        std::vector<char> block(1 << 20, 'q');
        int fd = ::open((d + "/dense.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        for (off_t at = 0; at < kDense; at += off_t(block.size()))
            if (::write(fd, block.data(), block.size()) < 0) break;
        ::close(fd);
        fd = ::open((d + "/sparse.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::pwrite(fd, block.data(), block.size(), kSparse / 2) < 0 || ::ftruncate(fd, kSparse) != 0) std::abort();
        ::close(fd);
        return d;
    }();
    return dir;
}

struct TCounter : shell::ICopyProgress {
    int steps = 0;
    bool Step(uint64_t, uint64_t) override {
        ++steps;
        return true;
    }
};

void Clear() {
    fs::remove_all(Folder() + "/to");
    fs::create_directories(Folder() + "/to");
}

void Floor(benchmark::State& state, const char* name) {
    const std::string from = Folder() + "/" + name;
    for (auto _ : state) {
        fs::copy_file(from, Folder() + "/to/" + name);
        state.PauseTiming();
        Clear();
        state.ResumeTiming();
    }
}

void Copy(benchmark::State& state, const char* name, bool progress) {
    const std::string from = Folder() + "/" + name;
    TCounter counter;
    for (auto _ : state) {
        if (shell::CopyInto(from, Folder() + "/to", false, nullptr, progress ? &counter : nullptr) != shell::S_OK)
            state.SkipWithError("copy failed");
        state.PauseTiming();
        struct stat st;
        ::stat((Folder() + "/to/" + name).c_str(), &st);
        state.counters["MiB_on_disk"] = double(st.st_blocks) * 512 / (1 << 20);
        Clear();
        state.ResumeTiming();
    }
    if (progress) state.counters["steps"] = double(counter.steps) / double(state.iterations());
}

void BM_DenseFloor_copy_file(benchmark::State& s) { Floor(s, "dense.bin"); }
void BM_DenseCopyInto(benchmark::State& s) { Copy(s, "dense.bin", false); }
void BM_DenseCopyIntoWithProgress(benchmark::State& s) { Copy(s, "dense.bin", true); }
void BM_SparseFloor_copy_file(benchmark::State& s) { Floor(s, "sparse.bin"); }
void BM_SparseCopyInto(benchmark::State& s) { Copy(s, "sparse.bin", false); }

BENCHMARK(BM_DenseFloor_copy_file)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DenseCopyInto)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DenseCopyIntoWithProgress)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SparseFloor_copy_file)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SparseCopyInto)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
