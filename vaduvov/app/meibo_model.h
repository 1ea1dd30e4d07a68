// The roster editor's grid without the window: rows of (ID, name, plain
// password) under a title row, with an empty entry row at the bottom, and
// the editor's commands on them.
#pragma once

#include "input_limits.h"

#include "gridsort.h"
#include "roster.h"

#include <string>
#include <vector>

// The password column never shows a password: it shows ten asterisks, and
// a cell being edited holds them while its real password is kept aside.
const std::string& PasswordPlaceholder();

// The grid options that switch in-place editing.  Editing on drops range
// selection and shows the editor; editing off is the reverse.
struct TEditOptions {
    bool RangeSelect = true;
    bool Editing = false;
    bool AlwaysShowEditor = false;
};
TEditOptions EditingSwitched(bool on);

// What a key or a double-click asks of the grid's editing, in order.
enum class TEditStep { None, On, Off, OnThenOff };

// Clipboard text as the roster's paste reads it: lines end at CR.  A text
// without any CR (as other programs on this system write it) has its line
// feeds taken as line ends.
std::string PasteLines(const std::string& clipboardText);

// Converts the clipboard's UTF-8 text to the roster's Shift-JIS.  Text with
// a character that has no Shift-JIS form is refused whole: false, and
// message names the first line that holds one (lines separated by CR).
bool ClipboardToRoster(const std::string& utf8Text, std::string& out, std::string& message);

// The message for a roster save that did not go through (path is the
// roster file); lines are separated by CR.
std::string SaveFailedMessage(const std::string& path);

// The message for a record that the roster cannot store: field (as from
// RosterFieldFault) of row `row` of `where` (the roster, a CSV file).
std::string RosterFieldFaultMessage(const std::string& where, size_t row, int field);

class TMeiboGrid {
public:
    TMeiboGrid();

    // Row 0 holds the titles, the last row is the entry row.
    TGridRows Rows;
    int RowCount() const { return static_cast<int>(Rows.size()); }

    // Loads the roster file whole (as the login reads it: see ReadRoster);
    // a file that cannot be read leaves the grid as it is (titles and five
    // empty rows at first).  Empty lines are no learners.  A roster the
    // reader refuses leaves the grid as it is too, and LoadError says why
    // (lines separated by CR); it is empty otherwise.
    void LoadMeibo(const std::string& path);
    std::string LoadError;
    // Saves every row but the titles and the entry row, after settling a
    // pending stash.  Learners that logins added to the file since it was
    // loaded are kept, and every field the instructor did not change takes
    // the file's current value (a password a learner changed meanwhile
    // stays, whatever else of the row was edited), so no login is lost.
    // A learner deleted from the file since it was loaded stays deleted
    // unless this editor changed the row.  A row whose ID the instructor
    // changed (told by its name and password as loaded, or by the password
    // alone where no other row shares it) takes the
    // password changed meanwhile under its old ID.  A row of a new ID that
    // a login registered meanwhile with another name or password is not
    // saved over the registration unasked: nothing is written, SaveError
    // names the IDs, and those registrations count as loaded from then on,
    // so that the next save stores the rows as the editor has them.  More learners than
    // kMaxRosterLearners, or more bytes than a reader reads, are refused
    // with SaveError naming the limit (see RosterStoreProblem).
    // A row that the file's format cannot carry (see RosterFieldFault) is
    // refused before anything is written, with SaveError naming the row and
    // the field.  Returns whether the file was written; SaveError then says
    // why it was not (the whole message, lines separated by CR).
    bool SaveMeibo(const std::string& path);
    std::string SaveError;

    // The selection is rows top..bottom, columns left..right.  Every
    // command settles a pending stash first; Copy gives the stashed
    // password in place of the placeholder.
    std::string Copy(int top, int bottom, int left, int right) const;
    void Clear(int top, int bottom, int left, int right);
    // Text beyond kMaxPasteBytes is refused whole (false), nothing changed.
    // So is text with a field the roster's file cannot carry (a double
    // quote, a lone LF or another control byte): PasteError then names
    // its line.
    static constexpr size_t kMaxPasteBytes = input_limits::kMaxPasteBytes;
    bool Paste(const std::string& text, int row, int col);
    std::string PasteError;
    void InsertRows(int top, int bottom);
    void DeleteRows(int top, int bottom);
    void Compact();
    void SortAsText();
    void SortAsNumber();
    // A user ID typed into the entry row brings a new entry row.  Returns
    // whether a row was added.
    bool KeepEntryRow();

    // The real password of the cell (2, StashedRow) while it shows the
    // placeholder for editing; StashedRow -1 when nothing waits.
    int StashedRow = -1;
    std::string StashedPassword;
    // Enter or a double-click on (col, row): a password cell that does not
    // hold the placeholder shows it, and its password waits.  A stash still
    // pending elsewhere is settled first.  Returns whether it stashed.
    bool Stash(int col, int row);
    // The current cell is (col, row): once it has left both the stashed row
    // and the password column, the stash is settled.
    void RestoreStash(int col, int row);
    // Settles a pending stash at once: a cell still holding the placeholder
    // gets its password back; one that was typed over keeps the new text.
    void SettleStash();
    // The editor's answer to Enter (with the in-place editor open or not)
    // and to a double-click on the current cell (col, row); both stash
    // where they open the editor.
    TEditStep EnterKey(bool editorOpen, int col, int row);
    TEditStep DoubleClick(int col, int row);

private:
    std::vector<RosterEntry> Loaded;  // the file as loaded
};
