// The controller's file list on folders of 5,000 and 50,000 files (made
// here), under Qt's offscreen platform: opening the folder in a shown
// list, and listing it again.  The floor is listing the same folder
// directly with readdir() and stat() of every entry, in the same run; each
// figure of the list is to stay within 5 times it.  A third folder holds
// 50,000 names without a usable extension (no dot, a numbered one, dated
// names with dots), each list of it made new, with the process's peak
// memory beside it.
#include "ShView.h"

#include "listing_floor.h"
#include "shellns.h"
#include "tempdir.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using namespace shell;

namespace {

struct TBigFolders {
    TempDir tmp;
    std::string root;  // UTF-8, no trailing "/"
    std::string Big(int64_t n) const { return root + "/files" + std::to_string(n); }
    std::string Odd() const { return root + "/odd50000"; }
    static constexpr int kOdd = 50000;
    TBigFolders() {
        root = tmp.path().substr(0, tmp.path().size() - 1);
        fs::create_directories(root + "/home/Desktop");
        fs::create_directories(root + "/empty");
        // Problem files, texts, pictures and a few folders, as a shared
        // problem folder holds them.
        static const char* const kinds[] = {".qzb", ".txt", ".bmp", ".jpg", ".wav", ".dat", ".QZB", ""};
        for (int n : {5000, 50000}) {
            std::string dir = Big(n);
            fs::create_directories(dir);
            for (int i = 0; i < n; ++i) {
                char name[64];
                if (i % 100 == 0) {
                    std::snprintf(name, sizeof name, "/folder%05d", i);
                    fs::create_directories(dir + name);
                    continue;
                }
                std::snprintf(name, sizeof name, "/file%05d%s", i, kinds[i % 8]);
                int fd = ::open((dir + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd >= 0) {
                    if (i % 3 == 0 && ::write(fd, name, 10) != 10) std::abort();
                    ::close(fd);
                }
            }
        }
        fs::create_directories(Odd());
        for (int i = 0; i < kOdd; ++i) {
            char name[96];
            if (i % 3 == 0) std::snprintf(name, sizeof name, "/r%06d", i);
            else if (i % 3 == 1) std::snprintf(name, sizeof name, "/r.%06d", i);
            else std::snprintf(name, sizeof name, "/%04d.04.01 授業.docx", i);
            int fd = ::open((Odd() + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0) std::abort();
            ::close(fd);
        }
        bench_floor::UseNamespaceIn(root);
    }
};

TBigFolders& Big() {
    static TBigFolders big;
    return big;
}

void BM_ListFilesFloor(benchmark::State& state) {
    bench_floor::RunFloor(state, Big().Big(state.range(0)), false);
}
BENCHMARK(BM_ListFilesFloor)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

std::unique_ptr<TFileView> ShownList() {
    auto v = std::make_unique<TFileView>();
    v->resize(600, 400);
    v->show();
    return v;
}

void List(TFileView& v, const std::string& utf8Dir, int expected) {
    TPidl list(PathToPidl(bench_floor::Sjis(utf8Dir)));
    if (!list) std::abort();
    v.SetFolder(list.get());
    if (expected >= 0 && v.topLevelItemCount() != expected) std::abort();
}

// Opening the folder in a list that shows an empty one.
void BM_FileListOpen(benchmark::State& state) {
    auto v = ShownList();
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        List(*v, Big().root + "/empty", 0);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        List(*v, Big().Big(n), n);
        QCoreApplication::processEvents();  // the rows are painted
    }
}
BENCHMARK(BM_FileListOpen)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

// Listing the folder shown again, nothing in it changed (the rows stay).
void BM_FileListRefresh(benchmark::State& state) {
    auto v = ShownList();
    const int n = static_cast<int>(state.range(0));
    List(*v, Big().Big(n), n);
    for (auto _ : state) {
        v->FillList();
        QCoreApplication::processEvents();
    }
    if (v->topLevelItemCount() != n) std::abort();
}
BENCHMARK(BM_FileListRefresh)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

void BM_ListOddFloor(benchmark::State& state) { bench_floor::RunFloor(state, Big().Odd(), false); }
BENCHMARK(BM_ListOddFloor)->Unit(benchmark::kMillisecond);

// A new list opening the folder of odd names: every kind is made anew.
void BM_FileListOpenOdd(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto v = ShownList();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        List(*v, Big().Odd(), TBigFolders::kOdd);
        QCoreApplication::processEvents();
        state.PauseTiming();
        v.reset();
        state.ResumeTiming();
    }
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    state.counters["peak_MB"] = static_cast<double>(use.ru_maxrss) / 1024;
}
BENCHMARK(BM_FileListOpenOdd)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Big();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
