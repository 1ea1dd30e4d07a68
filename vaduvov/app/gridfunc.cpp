#include "gridfunc.h"

#include "CmbGrid.h"

#include <algorithm>
#include <vector>

void FitColWidths(TComboGrid& grid, bool growOnly) {
    // Row by row over the cells that hold text: a file of one long line
    // and many short ones costs its cells, not lines x columns.
    std::vector<int> widest(static_cast<size_t>(grid.ColCount()), 10);
    for (int r = 0; r < grid.RowCount(); ++r)
        for (int c = 0, n = grid.CellsInRow(r); c < n; ++c) {
            int& w = widest[static_cast<size_t>(c)];
            w = std::max(w, grid.TextWidth(grid.Cells(c, r)));
        }
    for (int c = 0; c < grid.ColCount(); ++c) {
        const int w = 5 + widest[static_cast<size_t>(c)];
        if (w != grid.ColWidths(c) && (!growOnly || w > grid.ColWidths(c))) grid.SetColWidths(c, w);
    }
}

int GridWidth(const TComboGrid& grid) {
    int w = grid.GridLineWidth() * (grid.ColCount() + 1);
    for (int c = 0; c < grid.ColCount(); ++c) w += grid.ColWidths(c);
    return w;
}

int GridHeight(const TComboGrid& grid) {
    int h = grid.GridLineWidth() * (grid.RowCount() + 1);
    for (int r = 0; r < grid.RowCount(); ++r) h += grid.RowHeights(r);
    return h;
}

TGridRows GridRows(const TComboGrid& grid) {
    TGridRows rows(static_cast<size_t>(grid.RowCount()));
    for (int r = 0; r < grid.RowCount(); ++r)
        for (int c = 0; c < grid.ColCount(); ++c) rows[static_cast<size_t>(r)].push_back(grid.Cells(c, r));
    return rows;
}

void SetGridRows(TComboGrid& grid, const TGridRows& rows) {
    for (int r = 0; r < grid.RowCount() && r < static_cast<int>(rows.size()); ++r)
        grid.SetRowTexts(r, rows[static_cast<size_t>(r)]);
}
