// What the parts of the combo grid share: its line extents and its state.
#pragma once

#include "CmbGrid.h"
#include "sjis.h"

#include <QFontMetrics>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace cmbgrid {

inline QString Q(const std::string& sjisText) { return QString::fromStdString(sjis::ToUtf8(sjisText)); }

// The sizes of a grid's columns (or rows), each with the grid line after
// it, and their running sums in a binary indexed tree: a position, the
// index at a position and a change of one size all cost O(log n), so a
// grid of 100,000 rows or 50,000 columns lays out as fast as a small one.
class TExtents {
public:
    int Count() const { return static_cast<int>(FSize.size()); }
    int Size(int i) const { return FSize[static_cast<size_t>(i)]; }
    int Line(int i) const { return i < FFixedCount ? FFixedLine : FLine; }
    int64_t Extent(int i) const { return int64_t(Size(i)) + Line(i); }

    // n sizes of value each.
    void Assign(int n, int value) {
        FSize.assign(static_cast<size_t>(n), value);
        Rebuild();
    }
    // n sizes; the ones gained take value.
    void Resize(int n, int value) {
        FSize.resize(static_cast<size_t>(n), value);
        Rebuild();
    }
    // The grid lines: fixedLine after each of the first fixedCount, line
    // after the others.
    void SetLines(int fixedCount, int fixedLine, int line) {
        if (fixedCount == FFixedCount && fixedLine == FFixedLine && line == FLine) return;
        FFixedCount = fixedCount;
        FFixedLine = fixedLine;
        FLine = line;
        Rebuild();
    }
    void SetSize(int i, int value) {
        const int64_t delta = int64_t(value) - Size(i);
        FSize[static_cast<size_t>(i)] = value;
        for (size_t k = static_cast<size_t>(i) + 1; k < FTree.size(); k += k & (~k + 1)) FTree[k] += delta;
    }
    // The extents of [0, i).
    int64_t Sum(int i) const {
        int64_t s = 0;
        for (size_t k = static_cast<size_t>(std::clamp(i, 0, Count())); k > 0; k -= k & (~k + 1)) s += FTree[k];
        return s;
    }
    int64_t Total() const { return Sum(Count()); }
    // The largest i (0..Count()) with Sum(i) <= pos, or with Sum(i) < pos
    // when strict: for pos inside the extents, the index whose span holds it.
    int LastAtOrBelow(int64_t pos, bool strict = false) const {
        if (pos < 0 || (strict && pos == 0)) return 0;
        size_t at = 0;
        size_t step = 1;
        while (step * 2 < FTree.size()) step *= 2;
        for (; step > 0; step /= 2) {
            const size_t next = at + step;
            if (next < FTree.size() && (strict ? FTree[next] < pos : FTree[next] <= pos)) {
                at = next;
                pos -= FTree[next];
            }
        }
        return static_cast<int>(at);
    }
    // The smallest i with Sum(i) >= pos.
    int FirstAtOrAbove(int64_t pos) const {
        if (pos <= 0) return 0;
        return std::min(Count(), LastAtOrBelow(pos, true) + 1);
    }

private:
    void Rebuild() {
        FTree.assign(FSize.size() + 1, 0);
        for (size_t k = 1; k < FTree.size(); ++k) {
            FTree[k] += Extent(static_cast<int>(k - 1));
            const size_t parent = k + (k & (~k + 1));
            if (parent < FTree.size()) FTree[parent] += FTree[k];
        }
    }
    std::vector<int> FSize;
    std::vector<int64_t> FTree{0};  // 1-based
    int FFixedCount = 0, FFixedLine = 0, FLine = 0;
};

// What the widths of measured texts may hold before they are forgotten.
constexpr size_t kWidthCacheBytes = size_t(4) << 20;

// A position far beyond any view, for sums that do not fit a pixel value.
inline int Pixels(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, -(1 << 30), 1 << 30)); }


}  // namespace cmbgrid

struct TComboGrid::Private {
    // [row][col]; a row holds its cells up to the last one set, the rest
    // read as empty.
    std::vector<std::vector<std::string>> cells;
    cmbgrid::TExtents cols, rows;
    bool editorMode = false;
    int anchorCol = 1, anchorRow = 1;  // the moving end of the selection
    bool selecting = false;
    bool leftHeld = false;
    bool spaceHeld = false;
    bool syncingBars = false;
    int editCol = -1, editRow = -1;  // the cell the visible editor edits
    std::string editStartText;
    // A column being sized by dragging its title's right boundary: the
    // column, the x where the drag began and the width it had then.
    int sizingCol = -1, sizingX = 0, sizingWidth = 0;
    // The canvas font's metrics, made when first asked for.
    std::optional<QFontMetrics> metrics;
    // Widths of texts measured in that font, up to kWidthCacheBytes.
    std::unordered_map<std::string, int> widths;
    size_t widthBytes = 0;
};
