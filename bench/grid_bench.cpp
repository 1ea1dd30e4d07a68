// The combo grid's geometry at scale, under Qt's offscreen platform, each
// beside its floor measured in the same run:
// - Ctrl+End (and back) on 100,000 rows, floor: the same on 100 rows;
// - End (and back) on 50,000 columns, floor: the same on 10 columns;
// - the rectangle of the last of 50,000 columns, floor: that of the 10th
//   of 10;
// - the CSV wizard opened on a line of 50,000 fields (340 KB), on a
//   10,000-field line followed by 10,000 one-field lines, and on 100,000
//   lines of three fields, ready to use (Ctrl+End done), floor: reading
//   that file and splitting its lines into fields.
#include "qt_bench_main.h"
#include "CmbGrid.h"
#include "CsvWizard.h"
#include "commatext.h"
#include "meibo_model.h"
#include "tempdir.h"
#include "textfile.h"

#include <QApplication>
#include <QKeyEvent>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

// A shown grid of rows x cols, 64 x 24 cells, one fixed row and column.
std::unique_ptr<TComboGrid> ShownGrid(int rows, int cols) {
    auto g = std::make_unique<TComboGrid>();
    g->resize(400, 300);
    g->SetRowCount(rows);
    g->SetColCount(cols);
    g->show();
    QApplication::processEvents();
    return g;
}

void Key(TComboGrid& g, int key, Qt::KeyboardModifiers mods) {
    QKeyEvent e(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(&g, &e);
}

// End and Home (with Ctrl: to the last row and back), then the painting
// they leave.
void EndAndBack(benchmark::State& state, int rows, int cols, Qt::KeyboardModifiers mods) {
    auto g = ShownGrid(rows, cols);
    for (auto _ : state) {
        Key(*g, Qt::Key_End, mods);
        QApplication::processEvents();
        Key(*g, Qt::Key_Home, mods);
        QApplication::processEvents();
    }
    Key(*g, Qt::Key_End, mods);
    if (g->Row() != (mods ? rows - 1 : 1) || g->Col() != cols - 1) state.SkipWithError("not at the end");
}

void BM_Floor_CtrlEnd_100Rows(benchmark::State& state) { EndAndBack(state, 100, 5, Qt::ControlModifier); }
BENCHMARK(BM_Floor_CtrlEnd_100Rows)->Unit(benchmark::kMicrosecond);
void BM_CtrlEnd_100000Rows(benchmark::State& state) { EndAndBack(state, 100000, 5, Qt::ControlModifier); }
BENCHMARK(BM_CtrlEnd_100000Rows)->Unit(benchmark::kMicrosecond);

void BM_Floor_End_10Columns(benchmark::State& state) { EndAndBack(state, 5, 10, Qt::NoModifier); }
BENCHMARK(BM_Floor_End_10Columns)->Unit(benchmark::kMicrosecond);
void BM_End_50000Columns(benchmark::State& state) { EndAndBack(state, 5, 50000, Qt::NoModifier); }
BENCHMARK(BM_End_50000Columns)->Unit(benchmark::kMicrosecond);

void LastCellRect(benchmark::State& state, int cols) {
    auto g = ShownGrid(5, cols);
    Key(*g, Qt::Key_End, Qt::NoModifier);
    for (auto _ : state) benchmark::DoNotOptimize(g->CellRect(cols - 1, 1));
    if (g->CellRect(cols - 1, 1).isEmpty()) state.SkipWithError("last cell not in view");
}
void BM_Floor_CellRect_10Columns(benchmark::State& state) { LastCellRect(state, 10); }
BENCHMARK(BM_Floor_CellRect_10Columns);
void BM_CellRect_50000Columns(benchmark::State& state) { LastCellRect(state, 50000); }
BENCHMARK(BM_CellRect_50000Columns);

// The CSV files, made once.
struct TCsvFiles {
    TempDir dir;
    std::string wide, tall, roster;
    TCsvFiles() {
        std::string text;
        for (int c = 0; c < 50000; ++c) text += (c ? ",f" : "f") + std::to_string(c);
        wide = dir / "wide.csv";
        textfile::WriteFileAtomic(wide, text + "\r\n");
        text.clear();
        for (int c = 0; c < 10000; ++c) text += (c ? "," : "") + std::to_string(c);
        text += "\r\n";
        for (int r = 0; r < 10000; ++r) text += "n" + std::to_string(r) + "\r\n";
        tall = dir / "tall.csv";
        textfile::WriteFileAtomic(tall, text);
        text.clear();
        for (int r = 0; r < 100000; ++r)
            text += "s" + std::to_string(r) + ",name" + std::to_string(r % 5000) + ",pw" + std::to_string(r % 97) + "\r\n";
        roster = dir / "roster.csv";
        textfile::WriteFileAtomic(roster, text);
    }
};
const TCsvFiles& Files() {
    static TCsvFiles files;
    return files;
}

void ReadAndSplit(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        std::string bytes;
        textfile::ReadFileBytes(path, bytes);
        std::vector<std::string> lines;
        textfile::ForEachLineBefore(bytes, '\x1A', [&](size_t b, size_t e) {
            lines.emplace_back(bytes, b, e - b);
            return true;
        });
        size_t fields = 0;
        for (const auto& line : lines) fields += commatext::Split(line).size();
        benchmark::DoNotOptimize(fields);
    }
}

// The wizard shown on the file (the preview filled and fitted), then
// Ctrl+End to its last cell.
void OpenWizard(benchmark::State& state, const std::string& path, int columns) {
    TMeiboGrid roster;
    for (auto _ : state) {
        TfCsvWizard w(nullptr, roster);
        w.CsvFileName = path;
        w.show();
        QApplication::processEvents();
        Key(*w.CsvGrid, Qt::Key_End, Qt::ControlModifier);
        QApplication::processEvents();
        if (w.CsvGrid->ColCount() != columns || w.CsvGrid->Col() != columns - 1 ||
            w.CsvGrid->Row() != w.CsvGrid->RowCount() - 1)
            state.SkipWithError("preview not as the file");
    }
}

void BM_Floor_ReadSplit_WideLine(benchmark::State& state) { ReadAndSplit(state, Files().wide); }
BENCHMARK(BM_Floor_ReadSplit_WideLine)->Unit(benchmark::kMillisecond);
void BM_CsvWizard_WideLine(benchmark::State& state) { OpenWizard(state, Files().wide, 50000); }
BENCHMARK(BM_CsvWizard_WideLine)->Unit(benchmark::kMillisecond);

void BM_Floor_ReadSplit_WideThenTall(benchmark::State& state) { ReadAndSplit(state, Files().tall); }
BENCHMARK(BM_Floor_ReadSplit_WideThenTall)->Unit(benchmark::kMillisecond);
void BM_CsvWizard_WideThenTall(benchmark::State& state) { OpenWizard(state, Files().tall, 10000); }
BENCHMARK(BM_CsvWizard_WideThenTall)->Unit(benchmark::kMillisecond);

void BM_Floor_ReadSplit_100000Lines(benchmark::State& state) { ReadAndSplit(state, Files().roster); }
BENCHMARK(BM_Floor_ReadSplit_100000Lines)->Unit(benchmark::kMillisecond);
void BM_CsvWizard_100000Lines(benchmark::State& state) { OpenWizard(state, Files().roster, 3); }
BENCHMARK(BM_CsvWizard_100000Lines)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv); }
