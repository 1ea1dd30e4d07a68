// Sorting the rows of a string grid by one column, and the score table's
// rows and sort states.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

using TGridRows = std::vector<std::vector<std::string>>;

// How Shift-JIS texts are put in order for the sorts by text and the
// listing of the results files: given the texts, their positions in
// ascending order.  Until the program sets the user's own order (without
// regard to case, by the rules of the user's language), texts go by their
// bytes with ASCII letters taken as small.
using TTextOrder = std::function<std::vector<size_t>(const std::vector<std::string>& texts)>;
void SetTextOrder(TTextOrder order);
std::vector<size_t> TextOrder(const std::vector<std::string>& texts);

// Both sort the rows below the fixedRows title rows by column col; dir 0
// leaves them, 1 ascending, 2 descending (the exact reverse of ascending).
// A last row whose first cell is empty takes no part and stays last.
// By text, in the order TextOrder gives:
void SortGridStr(TGridRows& rows, int fixedRows, int col, int dir);
// By the decimal value of the text (0 for anything else), with a Shell
// sort that never exchanges equal values:
void SortGridNum(TGridRows& rows, int fixedRows, int col, int dir);

struct TScoreRecord;
// The score table's data rows, one per record: Computer, User ID, User
// Name, 問題名, done/count, percentage.  A marked file's row shows only its
// computer.
TGridRows ScoreTableRows(const std::vector<TScoreRecord>& records);

// The sort states of the score table's six columns: 0 none, 1 ascending,
// 2 descending.  It opens with the best percentage on top.
struct TScoreSort {
    std::array<int, 6> State{{0, 0, 0, 0, 0, 2}};
    // A click on column col (-1: below the last row).  Returns the column to
    // sort now, or -1.
    int Click(int col);
    // Sorts every column with a state, as after a refresh.
    void Apply(TGridRows& rows) const;
    static void SortColumn(TGridRows& rows, int col, int dir);
};

// The length of the percentage bar in a cell of the given inner width
// (cell width - 10), kept within the cell for damaged values.
int BarLength(const std::string& percentText, int avail);
