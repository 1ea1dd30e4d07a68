#include "commatext.h"

#include "sjis.h"

#include <gtest/gtest.h>

using Fields = std::vector<std::string>;

TEST(CommaText, SplitRules) {
    EXPECT_EQ(commatext::Split("\"a\",\"b c\",\"\""), (Fields{"a", "b c", ""}));
    EXPECT_EQ(commatext::Split("a b,c"), (Fields{"a", "b", "c"}));  // a blank ends an unquoted field
    EXPECT_EQ(commatext::Split("  a ,  , b"), (Fields{"a", "", "b"}));
    EXPECT_EQ(commatext::Split("\"say \"\"hi\"\"\",x"), (Fields{"say \"hi\"", "x"}));
    EXPECT_EQ(commatext::Split("a,"), (Fields{"a"}));
    EXPECT_EQ(commatext::Split("\"open"), (Fields{"open"}));
    EXPECT_TRUE(commatext::Split("").empty());
    EXPECT_TRUE(commatext::Split("   ").empty());
}

TEST(CommaText, LeadByteBeforeClosingQuote) {
    std::string name = sjis::L("山田");  // 8E 52 93 63
    EXPECT_EQ(commatext::Split("\"" + name + "\",\"x\""), (Fields{name, "x"}));
    // A field ending in a lead byte (a scrambled digit) still ends at its quote.
    EXPECT_EQ(commatext::Split("\"A\",\"\x8A\",\"z\""), (Fields{"A", "\x8A", "z"}));
    // "ソ" (83 5C) and "表" (95 5C) keep their trail bytes.
    std::string so = sjis::L("ソ表");
    EXPECT_EQ(commatext::Split("\"" + so + "\""), (Fields{so}));
}

TEST(CommaText, JoinQuotedDoesNotEscape) {
    EXPECT_EQ(commatext::JoinQuoted({"a\"b", "c,d", ""}), "\"a\"b\",\"c,d\",\"\"");
}
