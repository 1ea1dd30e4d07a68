#include "csv_model.h"

#include "sjis.h"
#include "tempdir.h"
#include "textfile.h"

#include <gtest/gtest.h>

using Row = std::vector<std::string>;

TEST(CsvWizard, PreviewAndMapping) {
    TempDir dir;
    textfile::WriteFileAtomic(dir / "a.csv", "id,name,pw\r\nA1,\"Ann Lee\",p1\r\nB2,Bob Ray,p2\r\nC3,Cy\r\n");
    TCsvWizardModel w;
    w.LoadCsvFile(dir / "a.csv");
    EXPECT_EQ(w.Columns, 4);  // "Bob Ray" unquoted splits at its blank
    EXPECT_EQ(w.Preview.size(), 5u);
    EXPECT_EQ(w.Cell(2, 1), "Ann Lee");
    EXPECT_EQ(w.Cell(4, 2), "");
    w.TargetButton(1, true);
    w.ColumnClick(0);
    EXPECT_EQ(w.Target, 2);
    w.ColumnClick(0);  // the name takes the ID's column; the ID is unmapped
    EXPECT_EQ(w.ColumnMap[1], -1);
    EXPECT_EQ(w.ColumnMap[2], 0);
    EXPECT_EQ(w.Cell(0, 0), "User Name");
    w.ColumnClick(-1);  // outside every column: nothing changes
    EXPECT_EQ(w.Target, 3);
    w.ColumnClick(2);
    EXPECT_EQ(w.Target, -1);
    w.ColumnClick(1);  // disarmed
    EXPECT_EQ(w.Cell(0, 1), "");
}

TEST(CsvWizard, ImportKeepsEveryRecord) {
    TempDir dir;
    textfile::WriteFileAtomic(dir / "a.csv", "id,name\r\nA1,Ann\r\nB2,Bob\r\n");
    TCsvWizardModel w;
    w.LoadCsvFile(dir / "a.csv");
    TMeiboGrid roster;
    EXPECT_FALSE(w.Import(roster, true));  // nothing mapped: roster untouched
    EXPECT_EQ(roster.RowCount(), 6);
    w.TargetButton(2, true);
    w.ColumnClick(1);  // only the names
    ASSERT_TRUE(w.Import(roster, true));
    ASSERT_EQ(roster.RowCount(), 4);  // titles, two records, the entry row
    EXPECT_EQ(roster.Rows[2], (Row{"", "Bob", ""}));
    EXPECT_EQ(roster.Rows[3], (Row{"", "", ""}));
    ASSERT_TRUE(roster.SaveMeibo(dir / "ruzozu.mib"));
    EXPECT_EQ(Slurp(dir / "ruzozu.mib"), "\"\",\"Ann\",\"\"\r\n\"\",\"Bob\",\"\"\r\n");
    TCsvWizardModel titleOnly;
    textfile::WriteFileAtomic(dir / "t.csv", "id,name\r\n");
    titleOnly.LoadCsvFile(dir / "t.csv");
    titleOnly.TargetButton(1, true);
    titleOnly.ColumnClick(0);
    ASSERT_TRUE(titleOnly.Import(roster, true));
    EXPECT_EQ(roster.RowCount(), 2);  // the title row and one empty row
}

TEST(CsvWizard, ImportSettlesAPendingStash) {
    TempDir dir;
    textfile::WriteFileAtomic(dir / "a.csv", "A1,Ann\r\n");
    TCsvWizardModel w;
    w.LoadCsvFile(dir / "a.csv");
    w.TargetButton(1, true);
    w.ColumnClick(0);
    TMeiboGrid roster;
    roster.Rows[3] = {"Z", "z", "pz"};
    roster.Stash(2, 3);
    ASSERT_TRUE(w.Import(roster, false));
    EXPECT_EQ(roster.StashedRow, -1);
    EXPECT_EQ(roster.Rows[1], (Row{"A1", "", ""}));
    EXPECT_EQ(roster.RowCount(), 3);
}

TEST(CsvWizard, ShortenPathDropsLeadingFolders) {
    auto bytes = [](const std::string& s) { return static_cast<int>(s.size()); };
    EXPECT_EQ(ShortenPath("/home/t/list.csv", 16, bytes), "/home/t/list.csv");
    EXPECT_EQ(ShortenPath("/home/teacher/class/list.csv", 20, bytes), "/.../class/list.csv");
    EXPECT_EQ(ShortenPath("/home/teacher/class/list.csv", 14, bytes), "/.../list.csv");
    EXPECT_EQ(ShortenPath("/home/teacher/class/list.csv", 5, bytes), "list.csv");
    EXPECT_EQ(ShortenPath("list.csv", 3, bytes), "list.csv");
}

// A class list saved on Linux: UTF-8 with a byte-order mark, LF line ends.
TEST(CsvWizard, Utf8FileWithLoneLineFeedsIsConverted) {
    TempDir dir;
    textfile::WriteFileAtomic(dir / "u.csv", "\xEF\xBB\xBFid,名前,pw\nA1,山田 花子,p1\nB2,\"佐藤\",p2\r\nC3,ｶﾀｶﾅ\n");
    TCsvWizardModel w;
    w.LoadCsvFile(dir / "u.csv");
    EXPECT_EQ(w.LoadError, "");
    ASSERT_EQ(w.Preview.size(), 5u);  // the mapping row and four lines
    EXPECT_EQ(w.Cell(1, 0), "id");
    EXPECT_EQ(w.Cell(2, 1), sjis::L("山田"));
    EXPECT_EQ(w.Cell(3, 1), sjis::L("佐藤"));
    EXPECT_EQ(w.Cell(4, 1), sjis::L("ｶﾀｶﾅ"));
    w.TargetButton(1, true);
    w.ColumnClick(0);
    w.ColumnClick(1);
    TMeiboGrid roster;
    ASSERT_TRUE(w.Import(roster, true));
    ASSERT_EQ(roster.RowCount(), 5);
    EXPECT_EQ(roster.Rows[1], (Row{"A1", sjis::L("山田"), ""}));
    // Without a mark, a file that cannot be Shift-JIS is converted too; a
    // Shift-JIS file is taken as it is, even where its bytes are also
    // UTF-8 (莉子 and 凜子 are).
    textfile::WriteFileAtomic(dir / "n.csv", "A1,\"山田 花子\"\n");
    w.LoadCsvFile(dir / "n.csv");
    EXPECT_EQ(w.Cell(1, 1), sjis::L("山田 花子"));
    textfile::WriteFileAtomic(dir / "r.csv", sjis::L("A1,莉子\r\nB2,凜子\r\n"));
    w.LoadCsvFile(dir / "r.csv");
    EXPECT_EQ(w.LoadError, "");
    EXPECT_EQ(w.Cell(1, 1), sjis::L("莉子"));
    EXPECT_EQ(w.Cell(2, 1), sjis::L("凜子"));
    textfile::WriteFileAtomic(dir / "s.csv", sjis::L("A1,鈴木\r\nB2,ｱｲ\r\n"));
    w.LoadCsvFile(dir / "s.csv");
    EXPECT_EQ(w.Cell(1, 1), sjis::L("鈴木"));
    EXPECT_EQ(w.Cell(2, 1), sjis::L("ｱｲ"));
    // UTF-16 (as some editors save "Unicode" text): refused, said so.
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("id,name\r\nA1,Ann\r\n")) utf16 += std::string(1, c) + '\0';
    textfile::WriteFileAtomic(dir / "w.csv", utf16);
    w.LoadCsvFile(dir / "w.csv");
    EXPECT_NE(w.LoadError.find("UTF-16"), std::string::npos);
    EXPECT_EQ(w.Preview.size(), 1u);
}

TEST(CsvWizard, CharacterWithoutShiftJisFormRefusesTheWholeFile) {
    TempDir dir;
    textfile::WriteFileAtomic(dir / "u.csv", "\xEF\xBB\xBFid,name\nA1,山田\nB2,김민준\nC3,Cy\n");
    TCsvWizardModel w;
    w.LoadCsvFile(dir / "u.csv");
    EXPECT_NE(w.LoadError.find(sjis::L("CSVファイルの 3 行目")), std::string::npos) << sjis::ToUtf8(w.LoadError);
    EXPECT_EQ(w.Preview.size(), 1u);  // nothing to map, nothing to import
    w.TargetButton(1, true);
    w.ColumnClick(0);
    TMeiboGrid roster;
    roster.Rows[1] = {"Z", "z", "pz"};
    EXPECT_FALSE(w.Import(roster, false));
    EXPECT_EQ(roster.Rows[1], (Row{"Z", "z", "pz"}));
    // A good file read afterwards clears the message.
    textfile::WriteFileAtomic(dir / "a.csv", "A1,Ann\n");
    w.LoadCsvFile(dir / "a.csv");
    EXPECT_EQ(w.LoadError, "");
    EXPECT_EQ(w.Preview.size(), 2u);
}

// One wide line and many short ones: each row keeps its own fields, the
// missing ones read as empty, and a far column maps and imports.
TEST(CsvWizard, RowsKeepTheirOwnWidth) {
    TempDir dir;
    std::string text;
    for (int c = 0; c < 10000; ++c) text += (c ? "," : "") + std::to_string(c);
    text += "\r\n";
    for (int r = 0; r < 10000; ++r) text += "n" + std::to_string(r) + "\r\n";
    textfile::WriteFileAtomic(dir / "w.csv", text);
    TCsvWizardModel w;
    w.LoadCsvFile(dir / "w.csv");
    ASSERT_EQ(w.LoadError, "");
    EXPECT_EQ(w.Columns, 10000);
    ASSERT_EQ(w.Preview.size(), 10002u);
    EXPECT_EQ(w.Preview[1].size(), 10000u);
    EXPECT_EQ(w.Preview[2].size(), 1u);
    EXPECT_EQ(w.Preview[10001].size(), 1u);
    EXPECT_EQ(w.Cell(1, 9999), "9999");
    EXPECT_EQ(w.Cell(10001, 0), "n9999");
    EXPECT_EQ(w.Cell(10001, 9999), "");
    EXPECT_EQ(w.Cell(10002, 0), "");  // past the last line
    w.TargetButton(1, true);
    w.ColumnClick(0);
    w.ColumnClick(9999);
    EXPECT_EQ(w.Cell(0, 9999), "User Name");
    TMeiboGrid roster;
    ASSERT_TRUE(w.Import(roster, false));
    ASSERT_EQ(roster.RowCount(), 10003);
    EXPECT_EQ(roster.Rows[1], (Row{"0", "9999", ""}));
    EXPECT_EQ(roster.Rows[2], (Row{"n0", "", ""}));
}

// Beyond the lines, the bytes of one line or the fields it may hold, a
// file is refused as a whole with a message naming the line; the roster
// is not touched.
TEST(CsvWizard, FileBeyondTheLimitsIsRefused) {
    TempDir dir;
    struct Case {
        const char* name;
        std::string text;
        size_t line;
    };
    std::string fields;
    for (int i = 0; i < TCsvWizardModel::kMaxFields / 2 + 1; ++i) fields += "a,";
    const std::vector<Case> cases = {
        {"lines", std::string(TCsvWizardModel::kMaxLines + 1, '\n') + "late", TCsvWizardModel::kMaxLines + 1},
        {"line bytes", "ok\r\n" + std::string(TCsvWizardModel::kMaxLineBytes + 1, 'x') + "\r\n", 2},
        {"fields", "ok\r\n" + fields + "\r\n" + fields + "\r\n", 3},
    };
    for (const Case& c : cases) {
        textfile::WriteFileAtomic(dir / "big.csv", c.text);
        TCsvWizardModel w;
        w.LoadCsvFile(dir / "big.csv");
        EXPECT_NE(w.LoadError.find(sjis::L("CSVファイルの ") + std::to_string(c.line) + sjis::L(" 行目で、")),
                  std::string::npos)
            << c.name << ": " << sjis::ToUtf8(w.LoadError);
        EXPECT_EQ(w.Preview.size(), 1u) << c.name;
        EXPECT_EQ(w.Columns, 1) << c.name;
        w.TargetButton(1, true);
        w.ColumnClick(0);
        TMeiboGrid roster;
        roster.Rows[1] = {"Z", "z", "pz"};
        EXPECT_FALSE(w.Import(roster, false)) << c.name;
        EXPECT_EQ(roster.Rows[1], (Row{"Z", "z", "pz"})) << c.name;
    }
    // At the limits the file is taken.
    textfile::WriteFileAtomic(dir / "edge.csv", std::string(TCsvWizardModel::kMaxLines, '\n'));
    TCsvWizardModel w;
    w.LoadCsvFile(dir / "edge.csv");
    EXPECT_EQ(w.LoadError, "");
    EXPECT_EQ(w.Preview.size(), size_t(TCsvWizardModel::kMaxLines) + 1);
}

// A CSV record the roster cannot store refuses the import, its line named;
// the roster stays as it was.
TEST(CsvWizard, ImportRefusesWhatTheRosterCannotCarry) {
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"A1,Ann,p1\r\nB2,Bob,\"" + sjis::L("っ") + "\"\r\n", " 2 行目の PassWord"},
        {"A1,Ann,p1\r\n\"" + sjis::L("ｱ") + "\",Bob,p\r\n", " 2 行目の User ID"},
        {"A1,\"a\tb\",p1\r\n", " 1 行目の User"},
        {"A1,\"Bob \"\"B\"\"\",p1\r\n", " 1 行目の User"},
    };
    for (const auto& [file, where] : bad) {
        textfile::WriteFileAtomic(dir / "a.csv", file);
        TCsvWizardModel w;
        w.LoadCsvFile(dir / "a.csv");
        for (int t = 1; t <= 3; ++t) {
            w.TargetButton(t, true);
            w.ColumnClick(t - 1);
        }
        TMeiboGrid roster;
        roster.Rows[1] = {"Z9", "kept", ""};
        EXPECT_FALSE(w.Import(roster, false)) << file;
        EXPECT_NE(w.ImportError.find(sjis::L(where.c_str())), std::string::npos) << sjis::ToUtf8(w.ImportError);
        EXPECT_EQ(roster.Rows[1], (Row{"Z9", "kept", ""}));
    }
}

// No more records are imported than a roster may hold: the editor could
// not save them, nor any reader read them.
TEST(CsvWizard, MoreRecordsThanARosterHoldsAreRefused) {
    TempDir dir;
    std::string text;
    for (size_t k = 0; k <= kMaxRosterLearners; ++k) text += "u" + std::to_string(k) + ",n\r\n";
    textfile::WriteFileAtomic(dir / "big.csv", text, textfile::TFlush::NoSync);
    TCsvWizardModel w;
    w.LoadCsvFile(dir / "big.csv");
    ASSERT_EQ(w.LoadError, "");
    w.TargetButton(1, true);
    w.ColumnClick(0);
    TMeiboGrid roster;
    EXPECT_FALSE(w.Import(roster, false));
    EXPECT_NE(w.ImportError.find(std::to_string(kMaxRosterLearners)), std::string::npos);
    EXPECT_EQ(roster.RowCount(), 6);  // untouched
    EXPECT_TRUE(w.Import(roster, true));  // one fewer, with the first line as titles
}

// Records that fit a roster by number, but whose names would make a file
// no reader reads, are refused too, the message naming the limit.
TEST(CsvWizard, RecordsMakingARosterTooBigToReadAreRefused) {
    TempDir dir;
    std::string text;
    for (size_t k = 0; k < 100000; ++k) text += "u" + std::to_string(k) + "," + std::string(660, 'n') + "\r\n";
    ASSERT_LE(text.size(), textfile::kMaxReadBytes);  // the file itself is read
    textfile::WriteFileAtomic(dir / "long.csv", text, textfile::TFlush::NoSync);
    TCsvWizardModel w;
    w.LoadCsvFile(dir / "long.csv");
    ASSERT_EQ(w.LoadError, "");
    w.TargetButton(1, true);
    w.ColumnClick(0);
    w.ColumnClick(1);
    TMeiboGrid roster;
    EXPECT_FALSE(w.Import(roster, false));
    EXPECT_NE(w.ImportError.find(std::to_string(textfile::kMaxReadBytes)), std::string::npos);
    EXPECT_EQ(roster.RowCount(), 6);  // untouched
}
