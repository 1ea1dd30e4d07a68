// The folder trees on a folder of 5000 subfolders (made here), under Qt's
// offscreen platform: opening it, and refreshing the tree with it open, in
// the drill program's tree and in the controller's.  The floor is listing
// the folder directly with readdir() and stat() of every entry.
#include "FolderTree.h"
#include "ShView.h"

#include "shellns.h"
#include "sjis.h"
#include "tempdir.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using namespace shell;

namespace {

constexpr int Subfolders = 5000;

struct TBigFolder {
    TempDir tmp;
    std::string root, big;  // UTF-8, no trailing "/"
    TBigFolder() {
        root = tmp.path().substr(0, tmp.path().size() - 1);
        big = root + "/big";
        fs::create_directories(root + "/home/Desktop");
        for (int i = 0; i < Subfolders; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/folder%04d", i);
            fs::create_directories(big + name);
        }
        // A few with subfolders of their own, as a real tree has.
        for (int i = 0; i < Subfolders; i += 50) {
            char name[48];
            std::snprintf(name, sizeof name, "/folder%04d/inner", i);
            fs::create_directories(big + name);
        }
        TNamespaceConfig c;
        c.home = root + "/home";
        c.desktop = root + "/home/Desktop";
        c.volumes = {"/", root};
        SetNamespaceConfig(c);
    }
    static std::string Sjis(const std::string& utf8) {
        std::string s;
        sjis::FromUtf8(utf8, s);
        return s;
    }
};

TBigFolder& Big() {
    static TBigFolder big;
    return big;
}

void BM_ListFolderFloor(benchmark::State& state) {
    const std::string& dir = Big().big;
    for (auto _ : state) {
        int n = 0;
        DIR* d = ::opendir(dir.c_str());
        while (dirent* e = ::readdir(d)) {
            struct stat st;
            std::string path = dir + "/" + e->d_name;
            if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ++n;
        }
        ::closedir(d);
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_ListFolderFloor)->Unit(benchmark::kMillisecond);

// The drill tree as the folder chooser sets it, rooted at the temporary
// folder.
std::unique_ptr<TFolderTreeViewEx> DrillTree() {
    auto t = std::make_unique<TFolderTreeViewEx>();
    t->SetShowIncludeHidden(false);
    t->SetRefreshDelay(0);
    t->SetRootFolderName(TBigFolder::Sjis(Big().root));
    t->SetRootFolder(TFolderTreeViewEx::rfManual);
    t->resize(268, 335);
    t->show();
    return t;
}

void OpenBigInDrillTree(TFolderTreeViewEx& t) {
    if (!t.SelectFolder(TBigFolder::Sjis(Big().big))) std::abort();
    t.currentItem()->setExpanded(true);
    if (t.currentItem()->childCount() != Subfolders) std::abort();
}

void BM_DrillTreeOpen(benchmark::State& state) {
    auto t = DrillTree();
    for (auto _ : state) {
        state.PauseTiming();
        t->Rebuild();
        state.ResumeTiming();
        OpenBigInDrillTree(*t);
    }
}
BENCHMARK(BM_DrillTreeOpen)->Unit(benchmark::kMillisecond);

void BM_DrillTreeRefresh(benchmark::State& state) {
    auto t = DrillTree();
    OpenBigInDrillTree(*t);
    for (auto _ : state) {
        t->Refresh();
        t->FinishRefresh();
    }
    if (!t->currentItem() || t->currentItem()->childCount() != Subfolders) std::abort();
}
BENCHMARK(BM_DrillTreeRefresh)->Unit(benchmark::kMillisecond);

void OpenBigInControllerTree(TFolderView& v) {
    v.SetSelectedPath(TBigFolder::Sjis(Big().big));
    QTreeWidgetItem* node = v.currentItem();
    if (!node) std::abort();
    node->setExpanded(true);
    if (node->childCount() != Subfolders) std::abort();
}

void BM_ControllerTreeOpen(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto v = std::make_unique<TFolderView>();
        v->show();
        state.ResumeTiming();
        OpenBigInControllerTree(*v);
        state.PauseTiming();
        v.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ControllerTreeOpen)->Unit(benchmark::kMillisecond);

// The controller's tree has no refresh of its own: its views come back to
// a folder by selecting its path again, which walks the open levels.
void BM_ControllerTreeSelectAgain(benchmark::State& state) {
    TFolderView v;
    v.show();
    OpenBigInControllerTree(v);
    const std::string inner = TBigFolder::Sjis(Big().big + "/folder4950/inner");
    const std::string big = TBigFolder::Sjis(Big().big);
    for (auto _ : state) {
        v.SetSelectedPath(inner);
        v.SetSelectedPath(big);
    }
}
BENCHMARK(BM_ControllerTreeSelectAgain)->Unit(benchmark::kMillisecond);

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
