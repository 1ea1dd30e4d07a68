// The roster editor's grid without the window: rows of (ID, name, plain
// password) under a title row, with an empty entry row at the bottom, and
// the editor's commands on them.
#pragma once

#include "gridsort.h"
#include "roster.h"

#include <string>
#include <vector>

class TMeiboGrid {
public:
    TMeiboGrid();

    // Row 0 holds the titles, the last row is the entry row.
    TGridRows Rows;
    int RowCount() const { return static_cast<int>(Rows.size()); }

    // Loads the roster file; a file that cannot be read leaves the grid as
    // it is (titles and five empty rows at first).
    void LoadMeibo(const std::string& path);
    // Saves every row but the titles and the entry row.  Learners that
    // logins added to the file since it was loaded are kept, and a row the
    // instructor did not change takes the file's current version, so no
    // login is lost.  Returns whether the file was written.
    bool SaveMeibo(const std::string& path);

    // The selection is rows top..bottom, columns left..right.
    std::string Copy(int top, int bottom, int left, int right) const;
    void Clear(int top, int bottom, int left, int right);
    void Paste(const std::string& text, int row, int col);
    void InsertRows(int top, int bottom);
    void DeleteRows(int top, int bottom);
    void Compact();
    void SortAsText();
    void SortAsNumber();
    // A user ID typed into the entry row brings a new entry row.
    void KeepEntryRow();

private:
    std::vector<RosterEntry> Loaded;  // the file as loaded
};
