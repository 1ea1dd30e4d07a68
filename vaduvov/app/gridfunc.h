// Grid helpers shared by the controller's windows: fitting the columns to
// their texts, the grid's whole width and height, and moving rows between
// a grid and plain rows of text.
#pragma once

#include "gridsort.h"

class TComboGrid;

// Every column's width := 5 + the larger of 10 and its widest text.
// growOnly: a column only widens, never narrows.
void FitColWidths(TComboGrid& grid, bool growOnly = false);
int GridWidth(const TComboGrid& grid);
int GridHeight(const TComboGrid& grid);

// All rows of the grid, titles included.
TGridRows GridRows(const TComboGrid& grid);
// Writes rows into the grid from row 0; the grid keeps its size.
void SetGridRows(TComboGrid& grid, const TGridRows& rows);
