#include "gridfunc.h"

#include "CmbGrid.h"

#include <algorithm>

void FitColWidths(TComboGrid& grid, bool growOnly) {
    for (int c = 0; c < grid.ColCount(); ++c) {
        int widest = 10;
        for (int r = 0; r < grid.RowCount(); ++r) widest = std::max(widest, grid.TextWidth(grid.Cells(c, r)));
        if (!growOnly || 5 + widest > grid.ColWidths(c)) grid.SetColWidths(c, 5 + widest);
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
    for (int r = 0; r < grid.RowCount() && r < static_cast<int>(rows.size()); ++r) {
        const auto& row = rows[static_cast<size_t>(r)];
        for (int c = 0; c < grid.ColCount(); ++c)
            grid.SetCells(c, r, c < static_cast<int>(row.size()) ? row[static_cast<size_t>(c)] : std::string());
    }
}
