#include "sjis.h"

#include <gtest/gtest.h>

TEST(Sjis, RoundTripAndRefusal) {
    std::string s = sjis::L("表題");
    EXPECT_EQ(s, "\x95\x5C\x91\xE8");  // 2 characters, 4 bytes
    EXPECT_EQ(sjis::ToUtf8(s), "表題");
    std::string out = "x";
    EXPECT_FALSE(sjis::FromUtf8("\xF0\x9F\x98\x80", out));  // emoji: no Shift-JIS form
    EXPECT_TRUE(out.empty());
    // A broken byte still converts for display.
    EXPECT_EQ(sjis::ToUtf8("a\x81"), "a\xEF\xBF\xBD");
}

TEST(Sjis, LowerAsciiSkipsTrailBytes) {
    // "ソ" is 83 5C and "ア" is 83 41: the trail byte 0x41 ('A') must stay.
    std::string s = "AB" + sjis::L("ア") + "Cd";
    EXPECT_EQ(sjis::LowerAscii(s), "ab" + sjis::L("ア") + "cd");
    EXPECT_TRUE(sjis::EqualsIgnoreCase("Folder", "FOLDER"));
    EXPECT_FALSE(sjis::EqualsIgnoreCase(sjis::L("ア"), sjis::L("ア").substr(0, 1) + "a"));
}

TEST(Sjis, TrimAndCut) {
    EXPECT_EQ(sjis::Trim("\t a b \r\n"), "a b");
    EXPECT_EQ(sjis::Trim(" \x01 "), "");
    std::string s = "a" + sjis::L("あい");
    EXPECT_EQ(sjis::CutBytes(s, 2), s.substr(0, 2));
    EXPECT_EQ(sjis::CutBytes(s, 2, true), "a");
    EXPECT_EQ(sjis::CutBytes(s, 3, true), "a" + sjis::L("あ"));
}
