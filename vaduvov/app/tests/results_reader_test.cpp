#include "func.h"
#include "gridsort.h"

#include "sjis.h"
#include "tempdir.h"
#include "textfile.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <utime.h>

namespace {

void Results(const TempDir& dir, const std::string& name, const std::string& utf8) {
    std::string out;
    for (char c : sjis::L(utf8.c_str())) {
        if (c == '\n') out += "\r\n";
        else out += c;
    }
    textfile::WriteFileAtomic(dir / name, out);
}

}  // namespace

TEST(ResultsReader, ReadsTheFourLines) {
    TempDir dir;
    Results(dir, "PC01.dat", "\"A1\",\"山田\"\n\"○\",\"×\"\n\"算数\",\"8\"\n\"3\",\"1\",\"2\"\n");
    TScoreRecord r = ReadScoreFile(dir / "PC01.dat");
    EXPECT_EQ(r.Computer, "PC01");
    EXPECT_EQ(r.UserID, "A1");
    EXPECT_EQ(sjis::ToUtf8(r.UserName), "山田");
    EXPECT_TRUE(r.Test);
    EXPECT_FALSE(r.Random);
    EXPECT_FALSE(r.Normal);
    EXPECT_EQ(r.Maximum, 8);
    EXPECT_EQ(r.Correct, 1);
    EXPECT_EQ(r.Wrong, 2);
    EXPECT_EQ(r.Done, 3);
    // Right and wrong adding up to the question count: all done.
    Results(dir, "PC02.dat", "\"\",\"\"\n\"×\",\"×\"\n\"p\",\"3\"\n\"0\",\"2\",\"1\"\n");
    EXPECT_EQ(ReadScoreFile(dir / "PC02.dat").Done, 3);
}

TEST(ResultsReader, PartialMarkedAndBrokenFiles) {
    TempDir dir;
    // Counts whose sum leaves the int range: the step line is damaged and
    // is not taken (nor added up with a wrap-around).
    Results(dir, "PC09.dat", "\"E5\",\"e\"\n\"×\",\"×\"\n\"p\",\"-2\"\n\"1\",\"2147483647\",\"2147483647\"\n");
    TScoreRecord big = ReadScoreFile(dir / "PC09.dat");
    EXPECT_EQ(big.UserID, "E5");
    EXPECT_EQ(big.Maximum, -2);
    EXPECT_EQ(big.Correct, 0);
    EXPECT_EQ(big.Wrong, 0);
    EXPECT_EQ(big.Done, 0);
    Results(dir, "PC03.dat", "\"B2\",\"b\"\n\"×\",\"○\"\n\"p\",\"x5\"\n");  // header only, bad number
    TScoreRecord r = ReadScoreFile(dir / "PC03.dat");
    EXPECT_EQ(r.UserID, "B2");
    EXPECT_TRUE(r.Random);
    EXPECT_EQ(r.Maximum, 0);
    EXPECT_EQ(r.Done, 0);
    Results(dir, "PC04.dat", "\"C3\",\"c\"\n");
    textfile::WriteFileAtomic(dir / "PC04.stp", "");
    EXPECT_TRUE(ReadScoreFile(dir / "PC04.dat").Marked);
    EXPECT_EQ(ReadScoreFile(dir / "missing.dat").UserID, "");
    // A short line ends the reading: nothing past it is taken.
    Results(dir, "PC05.dat", "\"D4\"\n\"○\",\"○\"\n\"p\",\"5\"\n\"2\",\"1\",\"1\"\n");
    r = ReadScoreFile(dir / "PC05.dat");
    EXPECT_EQ(r.UserID, "D4");
    EXPECT_FALSE(r.Test);
    EXPECT_EQ(r.Maximum, 0);
    EXPECT_EQ(r.Done, 0);
    Results(dir, "PC06.dat", "\"E5\",\"e\"\n\"×\",\"×\"\n\"p\",\"5\"\n\"4\",\"3\"\n");
    r = ReadScoreFile(dir / "PC06.dat");
    EXPECT_EQ(r.Correct, 3);
    EXPECT_EQ(r.Done, 0);  // the wrong count is missing, so done is never reached
}

TEST(ResultsReader, PercentageRounding) {
    EXPECT_EQ(Percentage(0, 0), "0");
    EXPECT_EQ(Percentage(1, 8), "13");
    EXPECT_EQ(Percentage(1, 3), "33");
    EXPECT_EQ(Percentage(2, 3), "67");
}

TEST(ResultsReader, ListOrderMarkersAndNoStaleData) {
    TempDir dir;
    Results(dir, "pc10.dat", "\"A\",\"full\"\n\"×\",\"×\"\n\"p\",\"4\"\n\"1\",\"1\",\"0\"\n");
    Results(dir, "PC2.dat", "\"B\",\"short\"\n");
    Results(dir, "PC3.dat", "\"C\",\"x\"\n");
    textfile::WriteFileAtomic(dir / "PC3.stp", "");
    textfile::WriteFileAtomic(dir / "notes.txt", "");
    auto rows = ClientListRows(ReadScoreFolder(dir.path()));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], "pc10");  // name order without regard to case
    EXPECT_EQ(rows[0][8], "25");
    EXPECT_EQ(rows[1][0], "PC2");
    EXPECT_EQ(rows[1][1], "short");
    EXPECT_EQ(rows[1][2], "");      // nothing left over from the file before
    EXPECT_EQ(rows[1][7], "0");
    EXPECT_EQ(rows[2][0], "PC3");   // listed, not read
    EXPECT_EQ(rows[2][1], "");
    EXPECT_TRUE(ReadScoreFolder("").empty());
}

TEST(ResultsReader, OneFolderReadingForBothWindows) {
    TempDir dir;
    Results(dir, "b.x.dat", "\"B\",\"bee\"\n\"○\",\"×\"\n\"p\",\"2\"\n\"1\",\"1\",\"1\"\n");
    Results(dir, "A.dat", "\"A\",\"ay\"\n");
    Results(dir, "c.dat", "\"C\",\"x\"\n");
    textfile::WriteFileAtomic(dir / "c.stp", "");
    // Folders are no results files, also behind a link; a linked file is.
    std::filesystem::create_directory(dir / "sub.dat");
    std::filesystem::create_directory_symlink(dir / "sub.dat", dir / "sublink.dat");
    std::filesystem::create_symlink(dir / "A.dat", dir / "d.dat");
    const std::vector<TScoreRecord> records = ReadScoreFolder(dir.path());
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[3].Computer, "d");
    EXPECT_EQ(records[3].UserName, "ay");
    EXPECT_EQ(records[0].Computer, "A");
    EXPECT_EQ(records[1].Computer, "b.x");  // only the last extension goes
    EXPECT_TRUE(records[1].Test);
    EXPECT_EQ(records[1].Done, 2);
    EXPECT_TRUE(records[2].Marked);
    EXPECT_EQ(records[2].Computer, "c");  // named like the others, data unread
    EXPECT_EQ(records[2].UserID, "");
    // Both windows show the same computers in the same order.
    const auto list = ClientListRows(records);
    const TGridRows table = ScoreTableRows(records);
    ASSERT_EQ(table.size(), 4u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(list[i][0], table[i][0]);
    EXPECT_EQ(list[1][4], sjis::L("○"));
    EXPECT_EQ(list[1][6], "2");
    EXPECT_EQ(list[2], (std::array<std::string, 9>{"c", "", "", "", "", "", "", "", ""}));
}

TEST(ResultsReader, OldFilesAreDeleted) {
    TempDir dir;
    Results(dir, "old.dat", "x");
    Results(dir, "new.dat", "x");
    Results(dir, "old.stp", "");
    std::time_t now = std::time(nullptr);
    utimbuf t{now - 12 * 3600, now - 12 * 3600};
    utime((dir / "old.dat").c_str(), &t);
    utime((dir / "old.stp").c_str(), &t);
    DeleteOldFiles(dir.path(), ".dat", now);
    EXPECT_FALSE(textfile::FileExists(dir / "old.dat"));
    EXPECT_TRUE(textfile::FileExists(dir / "new.dat"));
    EXPECT_TRUE(textfile::FileExists(dir / "old.stp"));  // markers stay
}

// Whatever follows the four lines, and however long a field is, only the
// head of the file is read and every text stays within what a cell shows.
TEST(ResultsReader, OnlyTheHeadIsReadAndFieldsAreCut) {
    TempDir dir;
    const std::string four = sjis::L("\"A1\",\"山田\"\r\n\"×\",\"○\"\r\n\"算数\",\"8\"\r\n\"3\",\"1\",\"2\"\r\n");
    // Four good lines, then 8 MB of CR bytes: the record is the four lines'.
    textfile::WriteFileAtomic(dir / "PC01.dat", four + std::string(8 << 20, '\r'), textfile::TFlush::NoSync);
    TScoreRecord r = ReadScoreFile(dir / "PC01.dat");
    EXPECT_EQ(r.UserID, "A1");
    EXPECT_EQ(sjis::ToUtf8(r.UserName), "山田");
    EXPECT_TRUE(r.Random);
    EXPECT_EQ(sjis::ToUtf8(r.Problem), "算数");
    EXPECT_EQ(r.Maximum, 8);
    EXPECT_EQ(r.Done, 3);
    EXPECT_EQ(r.Wrong, 2);

    // A user name of 5 million double-byte characters: cut at a character's
    // end within the bound; what lies beyond the head is not read.
    const std::string yama = sjis::L("山");
    std::string name;
    name.reserve(10000000);
    for (int i = 0; i < 5000000; ++i) name += yama;
    textfile::WriteFileAtomic(dir / "PC02.dat", "\"B2\",\"" + name + "\"\r\n" + four.substr(four.find('\n') + 1),
                              textfile::TFlush::NoSync);
    r = ReadScoreFile(dir / "PC02.dat");
    EXPECT_EQ(r.UserID, "B2");
    EXPECT_LE(r.UserName.size(), kMaxResultsFieldBytes);
    EXPECT_GE(r.UserName.size(), kMaxResultsFieldBytes - 1);
    EXPECT_EQ(r.UserName.size() % 2, 0u);
    EXPECT_EQ(r.UserName, name.substr(0, r.UserName.size()));
    EXPECT_TRUE(r.Problem.empty());  // beyond the head: read as missing
    EXPECT_TRUE(r.Normal);

    // A long name within the head cuts only that field; the lines after it
    // are read.
    const std::string longName(3000, 'n');
    textfile::WriteFileAtomic(dir / "PC03.dat", "\"C3\",\"" + longName + "\"\r\n" + four.substr(four.find('\n') + 1),
                              textfile::TFlush::NoSync);
    r = ReadScoreFile(dir / "PC03.dat");
    EXPECT_EQ(r.UserName, longName.substr(0, kMaxResultsFieldBytes));
    EXPECT_EQ(sjis::ToUtf8(r.Problem), "算数");
    EXPECT_EQ(r.Done, 3);
}
