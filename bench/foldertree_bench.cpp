// The folder trees on folders of 5,000 and 50,000 subfolders (made here),
// under Qt's offscreen platform: opening one, and refreshing the tree with
// it open, in the drill program's tree and in the controller's.  The floor
// is listing the same folder directly with readdir() and stat() of every
// entry, in the same run; each tree's figure is to stay within 5 times it.
#include "qt_bench_main.h"
#include "FolderTree.h"
#include "ShView.h"

#include "listing_floor.h"
#include "shellns.h"
#include "tempdir.h"

#include <QApplication>
#include <benchmark/benchmark.h>


#include <cstdio>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using namespace shell;

namespace {

struct TBigFolder {
    TempDir tmp;
    std::string root;  // UTF-8, no trailing "/"
    // The folder of n subfolders (5000 or 50000).
    std::string Big(int64_t n) const { return root + "/big" + std::to_string(n); }
    TBigFolder() {
        root = tmp.path().substr(0, tmp.path().size() - 1);
        fs::create_directories(root + "/home/Desktop");
        for (int n : {5000, 50000}) {
            std::string big = Big(n);
            for (int i = 0; i < n; ++i) {
                char name[32];
                std::snprintf(name, sizeof name, "/folder%05d", i);
                fs::create_directories(big + name);
            }
            // A few with subfolders of their own, as a real tree has.
            for (int i = 0; i < n; i += 50) {
                char name[48];
                std::snprintf(name, sizeof name, "/folder%05d/inner", i);
                fs::create_directories(big + name);
            }
        }
        bench_floor::UseNamespaceIn(root);
    }
};

TBigFolder& Big() {
    static TBigFolder big;
    return big;
}

void BM_ListFolderFloor(benchmark::State& state) {
    bench_floor::RunFloor(state, Big().Big(state.range(0)), true);
}
BENCHMARK(BM_ListFolderFloor)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

// The namespace's own listing of the folder, with each child's canonical
// list (as the drill tree asks it), without any window.
void BM_NamespaceListing(benchmark::State& state) {
    TPidl abs(PathToPidl(bench_floor::Sjis(Big().Big(state.range(0)))));
    ShellFolderPtr f = BindAbsolute(abs.get());
    for (auto _ : state) {
        std::vector<TListedItem> items;
        f->ListItems(SHCONTF_FOLDERS, SFGAO_HASSUBFOLDER | SFGAO_FOLDER, true, items);
        benchmark::DoNotOptimize(items.data());
    }
}
BENCHMARK(BM_NamespaceListing)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

// The drill tree as the folder chooser sets it, rooted at the temporary
// folder.
std::unique_ptr<TFolderTreeViewEx> DrillTree() {
    auto t = std::make_unique<TFolderTreeViewEx>();
    t->SetShowIncludeHidden(false);
    t->SetRefreshDelay(0);
    t->SetRootFolderName(bench_floor::Sjis(Big().root));
    t->SetRootFolder(TFolderTreeViewEx::rfManual);
    t->resize(268, 335);
    t->show();
    return t;
}

void OpenBigInDrillTree(TFolderTreeViewEx& t, int64_t n) {
    if (!t.SelectFolder(bench_floor::Sjis(Big().Big(n)))) std::abort();
    t.currentItem()->setExpanded(true);
    if (t.currentItem()->childCount() != n) std::abort();
}

void BM_DrillTreeOpen(benchmark::State& state) {
    auto t = DrillTree();
    for (auto _ : state) {
        state.PauseTiming();
        t->Rebuild();
        state.ResumeTiming();
        OpenBigInDrillTree(*t, state.range(0));
    }
}
BENCHMARK(BM_DrillTreeOpen)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

// A tree of more than 10,240 nodes is not read again by a refresh, so the
// refresh is measured with the folder of 5,000.
void BM_DrillTreeRefresh(benchmark::State& state) {
    auto t = DrillTree();
    OpenBigInDrillTree(*t, state.range(0));
    for (auto _ : state) {
        t->Refresh();
        t->FinishRefresh();
    }
    if (!t->currentItem() || t->currentItem()->childCount() != state.range(0)) std::abort();
}
BENCHMARK(BM_DrillTreeRefresh)->Arg(5000)->Unit(benchmark::kMillisecond);

void OpenBigInControllerTree(TFolderView& v, int64_t n) {
    v.SetSelectedPath(bench_floor::Sjis(Big().Big(n)));
    QTreeWidgetItem* node = v.currentItem();
    if (!node) std::abort();
    node->setExpanded(true);
    if (node->childCount() != n) std::abort();
}

void BM_ControllerTreeOpen(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto v = std::make_unique<TFolderView>();
        v->show();
        state.ResumeTiming();
        OpenBigInControllerTree(*v, state.range(0));
        state.PauseTiming();
        v.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ControllerTreeOpen)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

// The controller's tree has no refresh of its own: its views come back to
// a folder by selecting its path again, which walks the open levels.
void BM_ControllerTreeSelectAgain(benchmark::State& state) {
    TFolderView v;
    v.show();
    OpenBigInControllerTree(v, state.range(0));
    const std::string big = bench_floor::Sjis(Big().Big(state.range(0)));
    const std::string inner = bench_floor::Sjis(Big().Big(state.range(0)) + "/folder04950/inner");
    for (auto _ : state) {
        v.SetSelectedPath(inner);
        v.SetSelectedPath(big);
    }
}
BENCHMARK(BM_ControllerTreeSelectAgain)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv, [] { Big(); }); }
