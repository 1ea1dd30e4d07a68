#include "ini_text.h"

#include "sjis.h"
#include "tempdir.h"
#include "textfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(IniFile, ReadsTypesAndDefaults) {
    TempDir dir;
    std::string sec = sjis::L("問題フォルダー");
    std::string fs = sjis::L("フルスクリーン");
    textfile::WriteFileAtomic(dir / "a.ini",
                              "[" + sec + "]\r\nFolder = /data/q/ \r\n[option]\r\n" + fs +
                                  "=0\r\nA=0x1F\r\nB=$10\r\nC=-12\r\nD=0X10\r\nE=abc\r\nF=\"quoted\"\r\n");
    TIniFile ini(dir / "a.ini");
    EXPECT_EQ(ini.ReadString(sec, "folder", "x"), "/data/q/");
    EXPECT_FALSE(ini.ReadBool("Option", fs, true));
    EXPECT_EQ(ini.ReadInteger("Option", "A", 0), 31);
    EXPECT_EQ(ini.ReadInteger("Option", "B", 0), 16);
    EXPECT_EQ(ini.ReadInteger("Option", "C", 0), -12);
    EXPECT_EQ(ini.ReadInteger("Option", "D", 0), 16);
    EXPECT_EQ(ini.ReadInteger("Option", "E", 7), 7);
    EXPECT_EQ(ini.ReadString("Option", "F", ""), "quoted");
    EXPECT_TRUE(ini.ReadBool("Option", "missing", true));
    EXPECT_EQ(ini.ReadString("Nope", "Folder", "def"), "def");
    TIniFile none(dir / "none.ini");
    EXPECT_EQ(none.ReadInteger("A", "B", -1), -1);
}

TEST(IniFile, IntegerParsingLimits) {
    int v = 0;
    EXPECT_TRUE(TIniFile::ParseInteger("2147483647", v));
    EXPECT_FALSE(TIniFile::ParseInteger("2147483648", v));
    EXPECT_TRUE(TIniFile::ParseInteger("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_TRUE(TIniFile::ParseInteger("$FFFFFFFF", v));
    EXPECT_EQ(v, -1);
    EXPECT_FALSE(TIniFile::ParseInteger("0x", v));
    EXPECT_FALSE(TIniFile::ParseInteger("12a", v));
}

TEST(IniFile, LongValueIsCutTo2047Bytes) {
    TempDir dir;
    textfile::WriteFileAtomic(dir / "a.ini", "[S]\r\nK=" + std::string(3000, 'x') + "\r\n");
    EXPECT_EQ(TIniFile(dir / "a.ini").ReadString("S", "K", "").size(), 2047u);
}

TEST(IniFile, AValueTheFileHoldsIsNotWrittenAgain) {
    // Settings written at every close leave a file that holds them alone:
    // no new file replaces it (so a file the user may only read stays fine).
    TempDir dir;
    const std::string p = dir / "a.ini";
    textfile::WriteFileAtomic(p, "[Option]\r\nFull=1\r\n");
    auto inode = [&p] {
        struct stat st {};
        ::stat(p.c_str(), &st);
        return st.st_ino;
    };
    const auto first = inode();
    TIniFile ini(p);
    EXPECT_TRUE(ini.WriteBool("Option", "Full", true));
    EXPECT_EQ(inode(), first);
    EXPECT_TRUE(ini.WriteBool("Option", "Full", false));
    EXPECT_NE(inode(), first);
    EXPECT_EQ(ini.ReadBool("Option", "Full", true), false);
}

TEST(IniFile, WriteChangesOneKeyAndKeepsEveryOtherLine) {
    TempDir dir;
    std::string p = dir / "a.ini";
    std::string original = "; note\n[Data]\r\nFolder=old\r\nOther = keep  \r\n\r\n[Auto]\r\nX=1";
    textfile::WriteFileAtomic(p, original);
    TIniFile ini(p);
    ASSERT_TRUE(ini.WriteString("data", "FOLDER", "/new/"));
    EXPECT_EQ(Slurp(p), "; note\n[Data]\r\nFOLDER=/new/\r\nOther = keep  \r\n\r\n[Auto]\r\nX=1");
    // A new key goes after the last line of its section, before the blank.
    ASSERT_TRUE(ini.WriteBool("Data", "Y", true));
    EXPECT_EQ(Slurp(p), "; note\n[Data]\r\nFOLDER=/new/\r\nOther = keep  \r\nY=1\r\n\r\n[Auto]\r\nX=1");
    // A new key in the last section: the unterminated last line gets CR LF.
    ASSERT_TRUE(ini.WriteInteger("Auto", "Z", -3));
    EXPECT_EQ(Slurp(p).substr(Slurp(p).size() - 19), "[Auto]\r\nX=1\r\nZ=-3\r\n");
    // A new section is appended; a new file is made.
    std::string sec = sjis::L("問題フォルダー");
    ASSERT_TRUE(ini.WriteString(sec, "Folder", "q/"));
    EXPECT_EQ(TIniFile(p).ReadString(sec, "Folder", ""), "q/");
    TIniFile fresh(dir / "new.ini");
    ASSERT_TRUE(fresh.WriteString("S", "K", "v"));
    EXPECT_EQ(Slurp(dir / "new.ini"), "[S]\r\nK=v\r\n");
    // An unwritable place fails and reports it.
    TIniFile bad(dir / "no/such/dir.ini");
    EXPECT_FALSE(bad.WriteString("S", "K", "v"));
}

// A settings file beyond what one holds (megabytes of line ends, one huge
// line) reads as empty, costs no more than its bound, and is never
// written over: the write fails and the file stays as it was.
TEST(IniFile, FilesBeyondTheBoundsReadAsEmptyAndAreKept) {
    TempDir dir;
    const std::string p = dir / "s.ini";
    const std::string shapes[] = {
        "[S]\r\nK=7\r\n" + std::string(TIniFile::kMaxSettingsLines, '\n'),
        "[S]\r\nK=7\r\n" + std::string(TIniFile::kMaxSettingsBytes, 'x'),
        "[S]\r\nK=7\r\n" + std::string(size_t(8) << 20, '\n'),
    };
    for (const std::string& bytes : shapes) {
        ASSERT_TRUE(textfile::WriteFileAtomic(p, bytes, textfile::TFlush::NoSync));
        TIniFile ini(p);
        EXPECT_EQ(ini.ReadInteger("S", "K", -1), -1);
        EXPECT_FALSE(ini.SectionExists("S"));
        EXPECT_FALSE(ini.WriteInteger("S", "K", 8));
        std::string after;
        ASSERT_TRUE(textfile::ReadFileBytes(p, after));
        EXPECT_EQ(after, bytes);
    }
    // Just within both bounds: read and written as ever.
    const std::string within = "[S]\r\nK=7\r\n" + std::string(TIniFile::kMaxSettingsLines - 3, '\n');
    ASSERT_TRUE(textfile::WriteFileAtomic(p, within, textfile::TFlush::NoSync));
    TIniFile ini(p);
    EXPECT_EQ(ini.ReadInteger("S", "K", -1), 7);
    EXPECT_TRUE(ini.WriteInteger("S", "K", 8));
    EXPECT_EQ(TIniFile(p).ReadInteger("S", "K", -1), 8);
    // A missing file is still made by the first write.
    TIniFile fresh(dir / "new.ini");
    EXPECT_TRUE(fresh.WriteInteger("S", "K", 1));
    EXPECT_EQ(TIniFile(dir / "new.ini").ReadInteger("S", "K", -1), 1);
}

// A value with a line break or an end-of-file byte would add lines (a new
// section even) to the file: refused, the file as it was.
TEST(IniFile, WriterRefusesLineBreaksAndEndOfFile) {
    TempDir dir;
    const std::string p = dir / "ruzozu.dvk";
    ASSERT_TRUE(textfile::WriteFileAtomic(p, "[Data]\r\nFolder=/score/\r\n"));
    TIniFile ini(p);
    for (const std::string bad : {"/a\r\n[Auto]\r\nx/", "/a\r/", "/a\n/", "/a\x1A/"}) {
        EXPECT_FALSE(ini.WriteString("Data", "Folder", bad));
        EXPECT_FALSE(ini.WriteString("Data", bad, "x"));
        EXPECT_FALSE(ini.WriteString(bad, "Folder", "x"));
    }
    EXPECT_EQ(Slurp(p), "[Data]\r\nFolder=/score/\r\n");
    EXPECT_TRUE(ini.WriteString("Data", "Folder", "/a\tb/"));
}

// Settings files that people's editors saved: a byte-order mark, UTF-8,
// UTF-16.
TEST(IniFile, ByteOrderMarkUtf8AndUtf16) {
    TempDir dir;
    const std::string p = dir / "ruzozu.dvk";
    const std::string key = sjis::L("名簿Dir");
    // Without a mark, UTF-8 is taken only where the text cannot be
    // Shift-JIS; 「山田 花子」 in UTF-8 cannot.
    const std::string value = sjis::L("/山田 花子/");
    const std::string sjisFile = "[Data]\r\n" + key + "=" + value + "\r\nFolder=/s/\r\n";
    for (const std::string& bytes : {sjisFile, sjis::ToUtf8(sjisFile), "\xEF\xBB\xBF" + sjis::ToUtf8(sjisFile)}) {
        ASSERT_TRUE(textfile::WriteFileAtomic(p, bytes));
        TIniFile ini(p);
        EXPECT_TRUE(ini.Error().empty());
        EXPECT_EQ(ini.ReadString("Data", key, "none"), value);
        EXPECT_EQ(ini.ReadString("Data", "Folder", "none"), "/s/");  // no mark stuck to the section
        // A write stores the whole file as Shift-JIS.
        ASSERT_TRUE(ini.WriteString("Data", "Folder", "/t/"));
        EXPECT_EQ(Slurp(p), "[Data]\r\n" + key + "=" + value + "\r\nFolder=/t/\r\n");
    }
    // Shift-JIS that is also well-formed UTF-8 (莉子 is) stays as written.
    const std::string ours = "[Data]\r\nName=" + sjis::L("莉子") + "\r\n";
    ASSERT_TRUE(textfile::WriteFileAtomic(p, ours));
    {
        TIniFile ini(p);
        EXPECT_TRUE(ini.Error().empty());
        EXPECT_EQ(ini.ReadString("Data", "Name", "none"), sjis::L("莉子"));
    }
    // UTF-16 and UTF-8 without a Shift-JIS form: refused, never written over.
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[Data]\r\nFolder=/s/\r\n")) utf16 += std::string(1, c) + '\0';
    for (const std::string& bytes : {utf16, std::string("[Data]\r\nFolder=/\xF0\x9F\x98\x80/\r\n")}) {
        ASSERT_TRUE(textfile::WriteFileAtomic(p, bytes));
        TIniFile ini(p);
        EXPECT_FALSE(ini.Error().empty());
        EXPECT_EQ(ini.Error().compare(0, p.size(), p), 0);
        EXPECT_EQ(ini.ReadString("Data", "Folder", "none"), "none");
        EXPECT_FALSE(ini.WriteString("Data", "Folder", "/t/"));
        EXPECT_EQ(Slurp(p), bytes);
    }
}

// A settings file that is there but cannot be read is not written over
// with the one key being saved.
TEST(IniFile, UnreadableFileIsNeverWrittenOver) {
    TempDir dir;
    const std::string p = dir / "ruzozu.ini";
    ASSERT_TRUE(textfile::WriteFileAtomic(p, "[Option]\r\nFolder1=/a/\r\n" + std::string(100, 'x') + "\r\n"));
    // Over the reading cap (a sparse file: no disk is used).
    ASSERT_EQ(::truncate(p.c_str(), static_cast<off_t>(textfile::kMaxReadBytes + 1)), 0);
    TIniFile ini(p);
    EXPECT_FALSE(ini.Error().empty());
    EXPECT_FALSE(ini.WriteString("Option", "Folder2", "/b/"));
    struct stat st {};
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(static_cast<uint64_t>(st.st_size), textfile::kMaxReadBytes + 1);
}
