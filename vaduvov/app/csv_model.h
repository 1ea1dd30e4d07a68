// The CSV import wizard without the window: the preview of the file, the
// mapping of its columns to user ID, user name and password, and the import
// into the roster editor's grid.
#pragma once

#include "meibo_model.h"

#include <array>
#include <functional>
#include <string>

class TCsvWizardModel {
public:
    TCsvWizardModel();

    // Row 0 shows the target mapped to each column; rows 1.. the file's
    // lines.  Each row holds the fields its line has (row 0 up to its last
    // caption): Cell reads the missing ones as empty.
    TGridRows Preview;
    int Columns = 1;  // the most fields of any line (at least 1)
    const std::string& Cell(int row, int col) const;

    // What a file may hold to be taken: lines, bytes of one line, and
    // fields of all lines together.  Beyond any of them the file is refused
    // (LoadError) as soon as the reading gets there.
    static constexpr int kMaxLines = input_limits::kMaxCsvLines;
    static constexpr size_t kMaxLineBytes = input_limits::kMaxCsvLineBytes;
    static constexpr int kMaxFields = input_limits::kMaxCsvFields;
    int Target = -1;                 // 1 user ID, 2 user name, 3 password; -1 none
    std::array<int, 4> ColumnMap{};  // [1..3]: preview column of each target, -1 none

    // Reads every line of the file; what cannot be read is left out.  Lines
    // end at CR LF, CR or LF.  A file in UTF-8 (with or without a byte-order
    // mark) is converted to Shift-JIS; when a character has no Shift-JIS
    // form, or the file is bigger than the limits below, the whole file is
    // refused: the preview stays empty and LoadError says why (the line
    // that holds it).  A UTF-16 file is refused so too.
    void LoadCsvFile(const std::string& path);
    std::string LoadError;
    // A target button went down (or up, with down false).
    void TargetButton(int tag, bool down);
    // A click on preview column col (-1: outside every column).  Maps the
    // armed target and arms the next one.
    void ColumnClick(int col);
    // Replaces the roster's records by the mapped columns; false (and the
    // roster untouched) when no column is mapped or the file was refused.
    // A record the roster cannot store (an ID or password beyond ASCII
    // digits and letters, a name with a quote or a control byte) refuses
    // the import: false, roster untouched, ImportError naming its line.
    // So do records that would make a roster no reader takes back (see
    // RosterStoreProblem), ImportError naming the limit.
    bool Import(TMeiboGrid& roster, bool firstLineIsHeader);
    std::string ImportError;

    static const std::string& TargetCaption(int target);
    static const std::string& NothingMappedMessage();
};

// A path shortened to fit maxWidth as width measures it: its leading
// folders give way to "..." one by one ("/.../c/d.csv"); the file name
// itself always stays.
std::string ShortenPath(const std::string& path, int maxWidth,
                        const std::function<int(const std::string&)>& width);
