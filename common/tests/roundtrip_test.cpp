// What the programs write reads back byte for byte, whatever names it
// holds: rosters, settings and the text of a CSV file, with random
// Shift-JIS names of every kind.  Some of them are also well-formed UTF-8.
#include "ini_text.h"
#include "roster.h"
#include "scramble.h"
#include "sjis.h"
#include "tempdir.h"
#include "textfile.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// The Shift-JIS code of JIS X 0208 row r, cell c (both from 1).
std::string JisChar(int r, int c) {
    const int s1 = (r + 1) / 2 + (r <= 62 ? 0x80 : 0xC0);
    const int s2 = r % 2 ? c + (c <= 63 ? 0x3F : 0x40) : c + 0x9E;
    return {static_cast<char>(s1), static_cast<char>(s2)};
}

// A random name of one to six characters: kanji of both levels, hiragana,
// katakana, half-width kana and ASCII letters mixed.
std::string RandomName(std::mt19937& rng) {
    std::string name;
    const int n = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < n; ++i) {
        switch (rng() % 6) {
        case 0:
        case 1:
            name += JisChar(16 + static_cast<int>(rng() % 31), 1 + static_cast<int>(rng() % 94));  // level 1
            break;
        case 2:
            name += JisChar(48 + static_cast<int>(rng() % 36), 1 + static_cast<int>(rng() % 94));  // level 2
            break;
        case 3:
            name += rng() % 2 ? JisChar(4, 1 + static_cast<int>(rng() % 83)) : JisChar(5, 1 + static_cast<int>(rng() % 86));
            break;
        case 4:
            name += static_cast<char>(0xA1 + rng() % (0xDF - 0xA1 + 1));  // half-width kana
            break;
        default:
            name += static_cast<char>('a' + rng() % 26);
        }
    }
    return name;
}

std::string RandomPassword(std::mt19937& rng) {
    static const std::string chars = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::string pw;
    for (size_t n = rng() % 9; n > 0; --n) pw += chars[rng() % chars.size()];
    return pw;
}

// Names whose Shift-JIS bytes are well-formed UTF-8 as well.
const char* const kAmbiguous[] = {"莉子", "莉乃", "凜子"};

void ExpectSame(const std::vector<RosterEntry>& want, const std::vector<RosterEntry>& got) {
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(want[i].id, got[i].id) << "row " << i;
        ASSERT_EQ(want[i].name, got[i].name) << "row " << i;
        ASSERT_EQ(want[i].password, got[i].password) << "row " << i;
    }
}

}  // namespace

TEST(RoundTrip, TheAmbiguousNamesAreWhatTheyClaim) {
    // The test is about names that are also UTF-8: make sure they are.
    for (const char* n : kAmbiguous) EXPECT_TRUE(sjis::IsUtf8BeyondAscii(sjis::L(n))) << n;
}

TEST(RoundTrip, RostersOfRandomNamesAndEveryPasswordByteReadBackAsWritten) {
    std::mt19937 rng(2028);
    TempDir dir;
    const std::string path = dir / "ruzozu.mib";
    // Small rosters first: one or two learners is where a guess has the
    // least to go on.  The passwords cover every character a password may
    // hold, so every scrambled byte.
    int ambiguousSeen = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<RosterEntry> roster;
        const int n = 1 + round % 3;
        for (int k = 0; k < n; ++k) {
            std::string name = round < 12 ? sjis::L(kAmbiguous[round % 3]) : RandomName(rng);
            std::string pw = round < 12 ? (round < 6 ? "" : "p1") : RandomPassword(rng);
            if (sjis::IsUtf8BeyondAscii(name)) ++ambiguousSeen;
            roster.push_back({"s" + std::to_string(k), name, pw});
        }
        const std::string bytes = FormatRoster(roster);
        std::vector<RosterEntry> got;
        std::string why;
        ASSERT_TRUE(ParseRoster(bytes, got, why)) << "round " << round << ": " << sjis::ToUtf8(why);
        ExpectSame(roster, got);
        if (round % 100 == 0) {  // and through the file, with its lock and the login's reading
            ASSERT_TRUE(textfile::WriteFileAtomic(path, bytes, textfile::TFlush::NoSync));
            ASSERT_TRUE(ReadRoster(path, got, &why)) << sjis::ToUtf8(why);
            ExpectSame(roster, got);
        }
    }
    EXPECT_GT(ambiguousSeen, 20);

    // One roster at the cap: every name and password read back.
    std::vector<RosterEntry> big;
    for (size_t k = 0; k < kMaxRosterLearners; ++k)
        big.push_back({"u" + std::to_string(k), k < 3 ? sjis::L(kAmbiguous[k]) : RandomName(rng), RandomPassword(rng)});
    ASSERT_TRUE(UpdateRosterFile(path, [&](std::vector<RosterEntry>& e) { e = big; }));
    std::vector<RosterEntry> got;
    std::string why;
    ASSERT_TRUE(ReadRoster(path, got, &why)) << sjis::ToUtf8(why);
    ExpectSame(big, got);
    EXPECT_EQ(Slurp(path), FormatRoster(big));
}

TEST(RoundTrip, AUtf8RosterStillReadsAndItsPasswordsAreNeverConverted) {
    // Made by an editor in UTF-8: the names are converted, the scrambled
    // password "p1" (bytes that form a UTF-8 sequence) is not.
    const std::string sjisRoster = FormatRoster({{"s1", sjis::L("山田 花子"), "p1"}, {"s2", sjis::L("佐藤"), "zz9"}});
    std::string utf8;
    for (const auto& e : ParseRoster(sjisRoster))
        utf8 += "\"" + e.id + "\",\"" + sjis::ToUtf8(e.name) + "\",\"" + Scramble(e.password, "encode") + "\"\r\n";
    std::vector<RosterEntry> got;
    std::string why;
    ASSERT_TRUE(ParseRoster(utf8, got, why)) << sjis::ToUtf8(why);
    ExpectSame(ParseRoster(sjisRoster), got);
    // A UTF-8 character with no Shift-JIS form names its line.
    ASSERT_FALSE(ParseRoster(utf8 + "\"s3\",\"\xEA\xB9\x80\",\"\"\r\n", got, why, "ruzozu.mib"));
    EXPECT_NE(why.find(sjis::L(" 3 行目")), std::string::npos) << sjis::ToUtf8(why);
}

TEST(RoundTrip, SettingsAndCsvTextOfRandomNamesReadBackAsWritten) {
    std::mt19937 rng(77);
    TempDir dir;
    const std::string ini = dir / "ruzozu.ini";
    for (int round = 0; round < 300; ++round) {
        const std::string value = round < 3 ? sjis::L(kAmbiguous[round]) : RandomName(rng);
        ASSERT_TRUE(textfile::WriteFileAtomic(ini, "", textfile::TFlush::NoSync));
        {
            TIniFile f(ini);
            ASSERT_TRUE(f.WriteString("Data", "Name", value));
        }
        TIniFile back(ini);
        ASSERT_EQ(back.Error(), "") << "round " << round;
        ASSERT_EQ(back.ReadString("Data", "Name", "?"), value) << "round " << round;
    }
    // The text of a CSV file as the programs write it: Shift-JIS lines,
    // taken as they are by the reading of files from outside.
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (int k = 0; k <= round % 3; ++k)
            text += "s" + std::to_string(k) + "," + (round < 3 ? sjis::L(kAmbiguous[round]) : RandomName(rng)) + "\r\n";
        std::string read = text;
        const sjis::TOutsideText r = sjis::DecodeOutsideText(read);
        ASSERT_EQ(r.Status, sjis::TOutsideText::Ok) << [&] { std::string h; for (unsigned char c : text) { char b[4]; std::snprintf(b, sizeof b, "%02X ", c); h += b; } return h; }();
        ASSERT_FALSE(r.WasUtf8) << "round " << round;
        ASSERT_EQ(read, text);
    }
}
