#include "meibo_model.h"

#include "scramble.h"
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
    ASSERT_EQ(g.RowCount(), 5);  // titles, A1, empty, B2, entry
    EXPECT_EQ(g.Rows[1], (Row{"A1", "a", "p1"}));
    EXPECT_EQ(g.Rows[2], (Row{"", "", ""}));
    EXPECT_EQ(g.Rows[3], (Row{"B2", "", ""}));
    ASSERT_TRUE(g.SaveMeibo(p));
    EXPECT_EQ(Slurp(p), Line("A1", "a", "p1") + "\"\",\"\",\"\"\r\n\"B2\",\"\",\"\"\r\n");
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
