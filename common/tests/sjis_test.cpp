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

TEST(Sjis, DuplicateCodesAreUnified) {
    using sjis::UnifyDuplicateCodes;
    // NEC row 13 against row 2: "≒", "∵", "∩", "∪".
    EXPECT_EQ(UnifyDuplicateCodes("\x87\x90"), UnifyDuplicateCodes("\x81\xE0"));
    EXPECT_EQ(UnifyDuplicateCodes("\x87\x9A\x87\x9B\x87\x9C"), UnifyDuplicateCodes("\x81\xE6\x81\xBF\x81\xBE"));
    // NEC-selected IBM extensions against the IBM ones: "髙", "ⅰ", "￢".
    EXPECT_EQ(UnifyDuplicateCodes("\xEE\xE0"), UnifyDuplicateCodes("\xFB\xFC"));
    EXPECT_EQ(UnifyDuplicateCodes("\xEE\xEF"), UnifyDuplicateCodes("\xFA\x40"));
    EXPECT_EQ(UnifyDuplicateCodes("\x81\xCA"), UnifyDuplicateCodes("\xEE\xF9"));
    // The unified code is the one the way through Unicode gives back.
    for (const char* dup : {"\x87\x90", "\xEE\xE0", "\xFB\xFC", "\xEE\xEF"}) {
        std::string back;
        ASSERT_TRUE(sjis::FromUtf8(sjis::ToUtf8(dup), back));
        EXPECT_EQ(UnifyDuplicateCodes(dup), back);
    }
    // Mixed with other text, a trail byte that looks like a lead byte is
    // never taken for one ("ソ" is 83 5C, "―" is 81 5C).
    EXPECT_EQ(UnifyDuplicateCodes("a\x87\x90" "b\x83\x5C\x87\x90"), "a\x81\xE0" "b\x83\x5C\x81\xE0");
}

TEST(Sjis, UnifyingKeepsEveryOtherDifference) {
    using sjis::UnifyDuplicateCodes;
    const std::string texts[] = {"cat", "Cat", sjis::L("ｃａｔ"), sjis::L("ＣＡＴ"), sjis::L("ねこ"),
                                 sjis::L("ネコ"), sjis::L("ﾈｺ"), sjis::L("高"), "\xEE\xE0"};
    for (const std::string& a : texts)
        for (const std::string& b : texts)
            EXPECT_EQ(UnifyDuplicateCodes(a) == UnifyDuplicateCodes(b), a == b) << a << " / " << b;
    // Bytes that are no character, and a lead byte at the end, stay.
    EXPECT_EQ(UnifyDuplicateCodes("\x85\x40x\x81"), "\x85\x40x\x81");
    EXPECT_EQ(UnifyDuplicateCodes(""), "");
}
