#include "roster.h"

#include "scramble.h"
#include "sjis.h"
#include "tempdir.h"
#include "textfile.h"

#include <gtest/gtest.h>

TEST(Scramble, ShiftsAndUndoes) {
    EXPECT_EQ(Scramble(std::string("\xA7\x00\x01", 3), "encode"), std::string("\x00\x59\x5A", 3));
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Scramble(Scramble(all, "encode"), "decode"), all);
    EXPECT_EQ(Scramble("abc", "Encode"), "abc");
    EXPECT_EQ(Scramble("abc", ""), "abc");
}

TEST(Roster, ReadsExactlyThreeFieldsPerLine) {
    std::string pw = Scramble("pass1", "encode");
    std::string bytes = "\"A1\",\"" + sjis::L("山田") + "\",\"" + pw + "\"\r\n" +
                        "\"B2\",\"x\",\"" + pw + "\",\"extra\"\r\n" +  // too many fields
                        "\"C3\"\r\n" +                                  // too few
                        "\r\n" +                                        // empty line
                        "\"D4\",\"d\",\"" + pw + "\"\r\n";
    auto r = ParseRoster(bytes);
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].name, sjis::L("山田"));
    EXPECT_EQ(r[0].password, "pass1");
    EXPECT_EQ(r[1].id, "B2");
    EXPECT_EQ(r[2].id, "C3");
    EXPECT_EQ(r[2].password, "");
    EXPECT_EQ(r[3].id, "");
    EXPECT_EQ(r[4].id, "D4");  // not shifted by the damaged lines
    EXPECT_EQ(r[4].password, "pass1");
}

TEST(Roster, EmptyFileIsOneEmptyLearnerAndWritesBackExactly) {
    auto r = ParseRoster("");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(FormatRoster(r), "\"\",\"\",\"\"\r\n");
    RosterEntry e{"A1", "a\"b", "pw"};
    EXPECT_EQ(FormatRosterLine(e), "\"A1\",\"a\"b\",\"" + Scramble("pw", "encode") + "\"");
    TempDir dir;
    std::vector<RosterEntry> got;
    EXPECT_FALSE(ReadRoster(dir / "ruzozu.mib", got));
    ASSERT_TRUE(textfile::WriteFileAtomic(dir / "ruzozu.mib", FormatRoster({{"A1", "n", "p"}})));
    ASSERT_TRUE(ReadRoster(dir / "ruzozu.mib", got));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].password, "p");
}
