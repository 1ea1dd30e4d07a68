#include "meibo_model.h"

#include "scramble.h"
#include "sjis.h"
#include "tempdir.h"
#include "textfile.h"

#include <gtest/gtest.h>

namespace {
std::string Line(const std::string& id, const std::string& name, const std::string& pw) {
    return "\"" + id + "\",\"" + name + "\",\"" + Scramble(pw, "encode") + "\"\r\n";
}
using Row = std::vector<std::string>;
}  // namespace

TEST(RosterEditor, LoadAndSaveRoundTrip) {
    TempDir dir;
    std::string p = dir / "ruzozu.mib";
    TMeiboGrid none;
    none.LoadMeibo(p);
    EXPECT_EQ(none.RowCount(), 6);  // titles and five empty rows
    ASSERT_TRUE(none.SaveMeibo(p));
    std::string empty = "\"\",\"\",\"\"\r\n";
    EXPECT_EQ(Slurp(p), empty + empty + empty + empty);  // four empty records

    textfile::WriteFileAtomic(p, Line("A1", "a", "p1") + "\r\n" + "\"B2\"\r\n" + "\r\n\r\n");
    TMeiboGrid g;
    g.LoadMeibo(p);
    ASSERT_EQ(g.RowCount(), 4);  // titles, A1, B2, entry: empty lines are no learners
    EXPECT_EQ(g.Rows[1], (Row{"A1", "a", "p1"}));
    EXPECT_EQ(g.Rows[2], (Row{"B2", "", ""}));
    ASSERT_TRUE(g.SaveMeibo(p));
    EXPECT_EQ(Slurp(p), Line("A1", "a", "p1") + "\"B2\",\"\",\"\"\r\n");
}

// A file of empty lines (2 million of them, or up to the read cap) costs
// nothing: no row is made for an empty line.
TEST(RosterEditor, EmptyLinesMakeNoRowsAndUtf8RostersLoad) {
    TempDir dir;
    std::string p = dir / "ruzozu.mib";
    textfile::WriteFileAtomic(p, std::string(2000000, '\r') + Line("A1", "a", "p1"));
    TMeiboGrid g;
    g.LoadMeibo(p);
    ASSERT_EQ(g.RowCount(), 3);
    EXPECT_EQ(g.Rows[1], (Row{"A1", "a", "p1"}));
    // UTF-8 with a byte-order mark: read as UTF-8, saved as Shift-JIS.
    const std::string sjisFile = Line("B2", sjis::L("鈴木"), "qq");
    textfile::WriteFileAtomic(p, "\xEF\xBB\xBF" + sjis::ToUtf8(sjisFile));
    TMeiboGrid u;
    u.LoadMeibo(p);
    EXPECT_TRUE(u.LoadError.empty());
    ASSERT_EQ(u.RowCount(), 3);
    EXPECT_EQ(u.Rows[1], (Row{"B2", sjis::L("鈴木"), "qq"}));
    ASSERT_TRUE(u.SaveMeibo(p));
    EXPECT_EQ(Slurp(p), sjisFile);
    // UTF-16: refused with a message, the grid as it was, the file kept.
    const std::string utf16("\xFF\xFE\"\0B\0", 6);
    textfile::WriteFileAtomic(p, utf16);
    TMeiboGrid w;
    w.LoadMeibo(p);
    EXPECT_NE(w.LoadError.find("UTF-16"), std::string::npos);
    EXPECT_EQ(w.RowCount(), 6);
    w.Rows[1] = {"Z9", "z", ""};
    EXPECT_FALSE(w.SaveMeibo(p));
    EXPECT_NE(w.SaveError.find("UTF-16"), std::string::npos);
    EXPECT_EQ(Slurp(p), utf16);
}

// A paste with a field the file cannot carry is refused whole, its line
// named; a TAB between fields and CR LF between lines are the clipboard's own.
TEST(RosterEditor, PasteRefusesFieldsTheFileCannotCarry) {
    for (const std::string bad : {"a\tb\r\nc\nd\te\r\n", "a\tb\r\nc\t\"B\"\r\n", "a\tb\r\nc\x1A\r\n"}) {
        TMeiboGrid g;
        g.Rows[1] = {"k1", "kept", ""};
        EXPECT_FALSE(g.Paste(bad, 1, 0));
        EXPECT_NE(g.PasteError.find(sjis::L(" 2 行目")), std::string::npos) << sjis::ToUtf8(g.PasteError);
        EXPECT_EQ(g.Rows[1], (Row{"k1", "kept", ""}));
    }
    TMeiboGrid g;
    EXPECT_TRUE(g.Paste("a\tb\r\nc\td\r\n", 1, 0));
    EXPECT_TRUE(g.PasteError.empty());
    EXPECT_EQ(g.Rows[2], (Row{"c", "d", ""}));
}

// Every byte the format cannot carry is refused at the save, the row and
// the field named, and nothing is written.
TEST(RosterEditor, SaveRefusesWhatTheFileCannotCarry) {
    TempDir dir;
    std::string p = dir / "ruzozu.mib";
    textfile::WriteFileAtomic(p, Line("A1", "a", "p1"));
    const std::vector<std::pair<Row, std::string>> bad = {
        {{"k3", "k", sjis::L("っ")}, "PassWord"},  // scrambles to 0x1A
        {{"k3", "k", sjis::L("ｱ")}, "PassWord"},   // scrambles to LF
        {{sjis::L("ｱ"), "k", ""}, "User ID"},
        {{"k 3", "k", ""}, "User ID"},
        {{"k3", "a\tb", ""}, "User"},
        {{"k3", "a\r\nb", ""}, "User"},
        {{"k3", "a\nb", ""}, "User"},
        {{"k3", "a\x1A" "b", ""}, "User"},
        {{"k3", "Bob \"B\"", ""}, "User"},
    };
    for (const auto& [row, field] : bad) {
        TMeiboGrid g;
        g.LoadMeibo(p);
        g.Rows.insert(g.Rows.end() - 1, row);
        EXPECT_FALSE(g.SaveMeibo(p)) << row[1];
        EXPECT_NE(g.SaveError.find(sjis::L(" 2 行目の ") + field), std::string::npos) << sjis::ToUtf8(g.SaveError);
        EXPECT_EQ(Slurp(p), Line("A1", "a", "p1"));
    }
}

// Learners few enough, but names long enough, that the file would hold
// more bytes than any reader reads: neither the editor nor a login's save
// writes it (nobody could open the roster again), and both name the limit.
TEST(RosterEditor, SaveRefusesARosterTooBigForTheReaders) {
    TempDir dir;
    std::string p = dir / "ruzozu.mib";
    textfile::WriteFileAtomic(p, Line("A1", "a", "p1"));
    const std::string limit = std::to_string(textfile::kMaxReadBytes);
    std::vector<RosterEntry> rows;
    for (size_t k = 0; k < 100000; ++k) rows.push_back({"u" + std::to_string(k), std::string(660, 'n'), "pw"});
    ASSERT_LE(rows.size(), kMaxRosterLearners);
    ASSERT_GT(FormatRoster(rows).size(), textfile::kMaxReadBytes);
    EXPECT_NE(RosterStoreProblem(rows).find(limit), std::string::npos);
    TMeiboGrid g;
    g.LoadMeibo(p);
    g.Rows.resize(1);
    for (const auto& e : rows) g.Rows.push_back({e.id, e.name, e.password});
    g.Rows.push_back({"", "", ""});
    EXPECT_FALSE(g.SaveMeibo(p));
    EXPECT_NE(g.SaveError.find(limit), std::string::npos) << sjis::ToUtf8(g.SaveError);
    std::string why;
    EXPECT_FALSE(UpdateRosterFile(p, [&](std::vector<RosterEntry>& e) { e = rows; }, 10, &why));
    EXPECT_NE(why.find(limit), std::string::npos);
    EXPECT_EQ(Slurp(p), Line("A1", "a", "p1"));
    // Exactly at the limit is stored, and read back.
    rows.resize(1);
    rows[0].name = std::string(size_t(textfile::kMaxReadBytes) - FormatRoster(rows).size() + rows[0].name.size(), 'n');
    ASSERT_EQ(FormatRoster(rows).size(), textfile::kMaxReadBytes);
    EXPECT_EQ(RosterStoreProblem(rows), "");
    rows.push_back({"", "", ""});
    EXPECT_NE(RosterStoreProblem(rows), "");
}

// A row typed in the editor for an ID that a login registered meanwhile
// does not silently replace the registration: the instructor is told, and
// only a second OK stores the row as typed.
TEST(RosterEditor, ANewRowForAnIdRegisteredMeanwhileIsToldFirst) {
    TempDir dir;
    std::string p = dir / "ruzozu.mib";
    textfile::WriteFileAtomic(p, Line("A1", "a", "p1"));
    TMeiboGrid g;
    g.LoadMeibo(p);
    ASSERT_TRUE(UpdateRosterFile(p, [](std::vector<RosterEntry>& e) {
        e.push_back({"B2", "Bob", "pb"});
        e.push_back({"C3", "Cy", "pc"});
    }));
    const std::string registered = Line("A1", "a", "p1") + Line("B2", "Bob", "pb") + Line("C3", "Cy", "pc");
    g.Rows.insert(g.Rows.end() - 1, Row{"B2", "Ben", "px"});
    g.Rows.insert(g.Rows.end() - 1, Row{"C3", "Cy", "pc"});  // the same as registered: no question
    EXPECT_FALSE(g.SaveMeibo(p));
    EXPECT_NE(g.SaveError.find(sjis::L("「B2」")), std::string::npos) << sjis::ToUtf8(g.SaveError);
    EXPECT_EQ(g.SaveError.find(sjis::L("「C3」")), std::string::npos) << sjis::ToUtf8(g.SaveError);
    EXPECT_EQ(Slurp(p), registered);
    // Told once, the next OK stores the rows as the instructor has them.
    ASSERT_TRUE(g.SaveMeibo(p)) << sjis::ToUtf8(g.SaveError);
    EXPECT_EQ(Slurp(p), Line("A1", "a", "p1") + Line("B2", "Ben", "px") + Line("C3", "Cy", "pc"));
}

// The instructor changes a learner's ID and corrects the name in the same
// edit while the learner changes the password at a login: the row is still
// that learner's, and the new password stays.  A password that other rows
// share tells no row.
TEST(RosterEditor, AnIdChangedWithTheNameKeepsThePasswordChangedMeanwhile) {
    TempDir dir;
    std::string p = dir / "ruzozu.mib";
    textfile::WriteFileAtomic(p, Line("s1", "Sato", "old1") + Line("s2", "Kato", "pw") + Line("s3", "Ito", "pw"));
    TMeiboGrid g;
    g.LoadMeibo(p);
    ASSERT_TRUE(UpdateRosterFile(p, [](std::vector<RosterEntry>& e) {
        e[0].password = "new1";
        e[1].password = "new2";
    }));
    g.Rows[1][0] = "s11";
    g.Rows[1][1] = "Satou";
    g.Rows[2][0] = "s22";  // s2 and s3 share their password: s22 is not told from s33
    g.Rows[2][1] = "Katou";
    g.Rows[3][0] = "s33";
    g.Rows[3][1] = "Itou";
    ASSERT_TRUE(g.SaveMeibo(p)) << sjis::ToUtf8(g.SaveError);
    EXPECT_EQ(Slurp(p), Line("s11", "Satou", "new1") + Line("s22", "Katou", "pw") + Line("s33", "Itou", "pw"));
}

TEST(RosterEditor, SaveKeepsLoginsMadeMeanwhile) {
    TempDir dir;
    std::string p = dir / "ruzozu.mib";
    textfile::WriteFileAtomic(p, Line("A1", "a", "old") + Line("B2", "b", "x"));
    TMeiboGrid g;
    g.LoadMeibo(p);
    g.Rows[2][1] = "bee";  // the instructor renames B2
    // Meanwhile a drill computer changes A1's password and adds C3.
    textfile::WriteFileAtomic(p, Line("A1", "a", "new") + Line("B2", "b", "x") + Line("C3", "c", "y"));
    ASSERT_TRUE(g.SaveMeibo(p));
    EXPECT_EQ(Slurp(p), Line("A1", "a", "new") + Line("B2", "bee", "x") + Line("C3", "c", "y"));
}

TEST(RosterEditor, ClipboardRows) {
    TMeiboGrid g;
    g.Rows[1] = {"a", "b", "p"};
    g.Rows[2] = {"c", "d", "q"};
    EXPECT_EQ(g.Copy(1, 2, 0, 1), "a\tb\r\nc\td\r\n");
    g.Paste("1\t2\t3\t4\r\nlast", 3, 1);  // surplus fields and the line without CR are dropped
    EXPECT_EQ(g.Rows[3], (Row{"", "1", "2"}));
    EXPECT_EQ(g.RowCount(), 6);
    g.Paste("x\r\ny\r\nz\r\n", 5, 0);  // on the entry row: three rows and a new entry row
    EXPECT_EQ(g.RowCount(), 9);
    EXPECT_EQ(g.Rows[7][0], "z");
    EXPECT_EQ(g.Rows[8], (Row{"", "", ""}));
    g.Clear(1, 1, 0, 2);
    EXPECT_EQ(g.Rows[1], (Row{"", "", ""}));
    // A clipboard text beyond any roster is refused whole: no row is made.
    const std::string line = "ID\tName\tpw\r\n";
    std::string huge;
    while (huge.size() <= TMeiboGrid::kMaxPasteBytes) huge += line;
    EXPECT_FALSE(g.Paste(huge, 1, 0));
    EXPECT_EQ(g.RowCount(), 9);
    EXPECT_EQ(g.Rows[1], (Row{"", "", ""}));
    huge.resize(TMeiboGrid::kMaxPasteBytes - TMeiboGrid::kMaxPasteBytes % line.size());  // whole lines
    EXPECT_TRUE(g.Paste(huge, 1, 0));
    EXPECT_EQ(g.RowCount(), int(1 + huge.size() / line.size() + 1));
    EXPECT_EQ(g.Rows[1], (Row{"ID", "Name", "pw"}));
}

TEST(RosterEditor, RowCommands) {
    TMeiboGrid g;
    g.Rows = {{"t", "t", "t"}, {"A", "B", ""}, {"", "", "pw"}, {"C", "D", ""}, {"", "", ""}, {"", "", ""}};
    g.Compact();
    ASSERT_EQ(g.RowCount(), 4);
    EXPECT_EQ(g.Rows[2][0], "C");
    g.InsertRows(2, 3);
    EXPECT_EQ(g.RowCount(), 6);
    EXPECT_EQ(g.Rows[2], (Row{"", "", ""}));
    EXPECT_EQ(g.Rows[4][0], "C");
    g.DeleteRows(1, g.RowCount() - 1);  // everything: titles and one empty row
    EXPECT_EQ(g.RowCount(), 2);
    g.DeleteRows(1, 1);
    EXPECT_EQ(g.RowCount(), 2);
    g.Rows[1][0] = "Z9";
    g.KeepEntryRow();
    EXPECT_EQ(g.Rows.back(), (Row{"", "", ""}));  // a fresh row, not a deleted one
}

TEST(RosterEditor, SortIds) {
    TMeiboGrid g;
    g.Rows = {{"t", "t", "t"}, {"10", "", ""}, {"x", "", ""}, {"2", "", ""}, {"", "", ""}};
    g.SortAsNumber();
    EXPECT_EQ((Row{g.Rows[1][0], g.Rows[2][0], g.Rows[3][0]}), (Row{"x", "2", "10"}));
    g.SortAsText();
    EXPECT_EQ((Row{g.Rows[1][0], g.Rows[2][0], g.Rows[3][0]}), (Row{"10", "2", "x"}));
    EXPECT_EQ(g.Rows[4][0], "");
}

namespace {
const std::string Stars = "**********";
TMeiboGrid TwoLearners() {
    TMeiboGrid g;
    g.Rows = {{"t", "t", "t"}, {"A1", "a", "pa"}, {"B2", "b", "pb"}, {"", "", ""}};
    return g;
}
}  // namespace

TEST(RosterPasswords, EnterStashesAndLeavingBothRowAndColumnRestores) {
    TMeiboGrid g = TwoLearners();
    EXPECT_EQ(g.EnterKey(false, 2, 1), TEditStep::On);
    EXPECT_EQ(g.Rows[1][2], Stars);
    EXPECT_EQ(g.StashedRow, 1);
    EXPECT_EQ(g.EnterKey(true, 2, 1), TEditStep::Off);  // closes the editor, keeps the stash
    g.RestoreStash(2, 2);                                // still the password column
    g.RestoreStash(0, 1);                                // still the stashed row
    EXPECT_EQ(g.Rows[1][2], Stars);
    g.RestoreStash(0, 2);
    EXPECT_EQ(g.Rows[1][2], "pa");
    EXPECT_EQ(g.StashedRow, -1);
    EXPECT_EQ(g.StashedPassword, "");
}

TEST(RosterPasswords, TypedPasswordIsKept) {
    TMeiboGrid g = TwoLearners();
    g.Stash(2, 2);
    g.Rows[2][2] = "new";  // the editor's text reached the cell
    g.RestoreStash(1, 1);
    EXPECT_EQ(g.Rows[2][2], "new");
    EXPECT_EQ(g.StashedRow, -1);
}

TEST(RosterPasswords, OnlyPasswordCellsThatAreNotThePlaceholderStash) {
    TMeiboGrid g = TwoLearners();
    EXPECT_FALSE(g.Stash(1, 1));  // the name column
    EXPECT_EQ(g.DoubleClick(0, 1), TEditStep::OnThenOff);
    EXPECT_EQ(g.StashedRow, -1);
    g.Rows[1][2] = Stars;  // a stored password of ten asterisks
    EXPECT_EQ(g.EnterKey(false, 2, 1), TEditStep::On);
    EXPECT_EQ(g.StashedRow, -1);
    EXPECT_TRUE(g.Stash(2, 3));  // the entry row's empty password
    g.RestoreStash(0, 1);
    EXPECT_EQ(g.Rows[3][2], "");
}

TEST(RosterPasswords, SecondStashSettlesTheFirst) {
    TMeiboGrid g = TwoLearners();
    g.DoubleClick(2, 1);
    g.DoubleClick(2, 2);  // down the password column, opening the next
    EXPECT_EQ(g.Rows[1][2], "pa");
    EXPECT_EQ(g.Rows[2][2], Stars);
    EXPECT_EQ(g.StashedPassword, "pb");
    // Enter twice on the same cell after typing over it: the typed one is
    // what waits now.
    g.Rows[2][2] = "typed";
    g.EnterKey(false, 2, 2);
    EXPECT_EQ(g.StashedPassword, "typed");
}

TEST(RosterPasswords, PendingStashNeverReachesTheFile) {
    TempDir dir;
    std::string p = dir / "ruzozu.mib";
    textfile::WriteFileAtomic(p, Line("A1", "a", "pa") + Line("B2", "b", "pb"));
    TMeiboGrid g;
    g.LoadMeibo(p);
    g.Stash(2, 2);  // opened, then "save" at once
    EXPECT_EQ(g.Copy(1, 2, 2, 2), "pa\r\npb\r\n");
    ASSERT_TRUE(g.SaveMeibo(p));
    EXPECT_EQ(Slurp(p), Line("A1", "a", "pa") + Line("B2", "b", "pb"));
    EXPECT_EQ(g.Rows[2][2], "pb");
}

TEST(RosterPasswords, RowCommandsSettleBeforeMovingRows) {
    TMeiboGrid g = TwoLearners();
    g.Stash(2, 1);
    g.InsertRows(1, 1);  // the stashed row moves to 2
    EXPECT_EQ(g.Rows[2][2], "pa");
    g.Stash(2, 3);
    g.SortAsText();  // the empty row sorts first
    EXPECT_EQ(g.Rows[3], (Row{"B2", "b", "pb"}));
    g.Stash(2, 3);
    g.DeleteRows(1, 1);
    EXPECT_EQ(g.Rows[2][2], "pb");
    g.Stash(2, 2);
    g.Paste("x\r\n", 2, 0);
    EXPECT_EQ(g.Rows[2], (Row{"x", "b", "pb"}));
    g.Stash(2, 2);
    g.Clear(2, 2, 2, 2);  // clearing the open password clears it
    EXPECT_EQ(g.Rows[2][2], "");
    EXPECT_EQ(g.StashedRow, -1);
}

TEST(RosterEditing, SwitchesAndClipboardLines) {
    TEditOptions on = EditingSwitched(true), off = EditingSwitched(false);
    EXPECT_TRUE(on.Editing && on.AlwaysShowEditor && !on.RangeSelect);
    EXPECT_TRUE(!off.Editing && !off.AlwaysShowEditor && off.RangeSelect);
    EXPECT_EQ(PasteLines("a\tb\nc\n"), "a\tb\r\nc\r\n");
    EXPECT_EQ(PasteLines("a\nb\r\n"), "a\nb\r\n");  // with a CR, a lone LF stays in its field
    TMeiboGrid g;
    g.Paste(PasteLines("x\ty\nlast"), 1, 0);
    EXPECT_EQ(g.Rows[1], (Row{"x", "y", ""}));
    EXPECT_EQ(g.Rows[2], (Row{"", "", ""}));
}

TEST(RosterEditor, EntryRowOnlyForAnId) {
    TMeiboGrid g = TwoLearners();
    g.Rows[3][1] = "name only";
    EXPECT_FALSE(g.KeepEntryRow());
    EXPECT_EQ(g.RowCount(), 4);
    g.Rows[3][0] = "C3";
    EXPECT_TRUE(g.KeepEntryRow());
    EXPECT_EQ(g.RowCount(), 5);
    EXPECT_FALSE(g.KeepEntryRow());
}

TEST(RosterEditor, RostersWithLoneLineFeedsOrCarriageReturnsKeepEveryone) {
    TempDir dir;
    std::string p = dir / "ruzozu.mib";
    auto bare = [](const std::string& l) { return l.substr(0, l.size() - 2); };
    for (const std::string& file :
         {bare(Line("A1", "a", "p1")) + "\n" + bare(Line("B2", "b", "p2")) + "\n" + bare(Line("C3", "c", "p3")) + "\n",
          bare(Line("A1", "a", "p1")) + "\r" + bare(Line("B2", "b", "p2")) + "\r" + bare(Line("C3", "c", "p3")),
          Line("A1", "a", "p1") + bare(Line("B2", "b", "p2")) + "\n" + bare(Line("C3", "c", "p3")) + "\r"}) {
        textfile::WriteFileAtomic(p, file);
        TMeiboGrid g;
        g.LoadMeibo(p);
        ASSERT_EQ(g.RowCount(), 5);  // titles, three learners, entry row
        EXPECT_EQ(g.Rows[2], (Row{"B2", "b", "p2"}));
        EXPECT_EQ(g.Rows[3], (Row{"C3", "c", "p3"}));
        g.Rows[2][1] = "bee";
        ASSERT_TRUE(g.SaveMeibo(p));
        EXPECT_EQ(Slurp(p), Line("A1", "a", "p1") + Line("B2", "bee", "p2") + Line("C3", "c", "p3"));
    }
}
