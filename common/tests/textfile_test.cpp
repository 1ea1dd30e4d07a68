#include "textfile.h"

#include "sjis.h"
#include "tempdir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <dirent.h>

using Lines = std::vector<std::string>;

TEST(TextFile, ProblemLineSplitting) {
    EXPECT_EQ(textfile::SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(textfile::SplitLines("a\r\n\r\n"), (Lines{"a", ""}));
    EXPECT_EQ(textfile::SplitLines(std::string("a\nb\0c\n", 6)), (Lines{"a", "b"}));
    EXPECT_TRUE(textfile::SplitLines("").empty());
}

TEST(TextFile, RecordLineSplitting) {
    // A lone LF stays inside the line; CR LF and CR end it; 0x1A ends the file.
    EXPECT_EQ(textfile::SplitRecordLines("a\nb\r\nc\rd\x1A" "e\r\n"), (Lines{"a\nb", "c", "d"}));
    EXPECT_EQ(textfile::SplitRecordLines("x\r\n\r\n"), (Lines{"x", ""}));
    EXPECT_EQ(textfile::JoinLines({"a", ""}), "a\r\n\r\n");
}

TEST(TextFile, AtomicWriteReplacesWholeAndLeavesNoTemporary) {
    TempDir dir;
    std::string p = dir / "PC01.dat";
    ASSERT_TRUE(textfile::WriteFileAtomic(p, "old"));
    chmod(p.c_str(), 0664);
    ASSERT_TRUE(textfile::WriteFileAtomic(p, "new\r\n"));
    std::string got;
    ASSERT_TRUE(textfile::ReadFileBytes(p, got));
    EXPECT_EQ(got, "new\r\n");
    struct stat st {};
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0664u);  // the shared file keeps its mode
    int count = 0;
    DIR* d = opendir(dir.path().c_str());
    while (dirent* e = readdir(d)) count += e->d_name[0] != '.' || std::string(e->d_name).size() > 2;
    closedir(d);
    EXPECT_EQ(count, 1);  // no temporary left behind
    // A folder that does not exist: failure, nothing written.
    EXPECT_FALSE(textfile::WriteFileAtomic(dir / "missing/x.dat", "x"));
}

TEST(TextFile, PathHelpers) {
    EXPECT_EQ(textfile::ExtractFilePath("/a/b/c.qzb"), "/a/b/");
    EXPECT_EQ(textfile::ExtractFileName("/a/b/c.qzb"), "c.qzb");
    EXPECT_EQ(textfile::ExtractFilePath("c.qzb"), "");
    TempDir dir;
    EXPECT_TRUE(textfile::CreateDir(dir / "sub"));
    EXPECT_TRUE(textfile::CreateDir(dir / "sub"));
    EXPECT_TRUE(textfile::DirectoryExists(dir / "sub"));
    EXPECT_TRUE(textfile::DeleteFile(dir / "nothing"));
}

TEST(TextFile, ShiftJisPathsNameUtf8Files) {
    TempDir dir;
    std::string name = sjis::L("問題.qzb");
    ASSERT_TRUE(textfile::WriteFileAtomic(dir.path() + name, "x"));
    EXPECT_TRUE(std::filesystem::exists(dir / "問題.qzb"));  // the UTF-8 name on disk
    std::string got;
    EXPECT_TRUE(textfile::ReadFileBytes(dir.path() + name, got));
    EXPECT_EQ(got, "x");
    EXPECT_TRUE(textfile::DeleteFile(dir.path() + name));
    EXPECT_FALSE(std::filesystem::exists(dir / "問題.qzb"));
}

TEST(TextFile, NamesFromWindowsProblemFiles) {
    TempDir dir;
    ASSERT_TRUE(textfile::CreateDir(dir / "Pics"));
    ASSERT_TRUE(textfile::WriteFileAtomic(dir / "Pics/Apple.BMP", "x"));
    EXPECT_EQ(textfile::ResolveName(dir.path(), "pics\\apple.bmp"), dir / "Pics/Apple.BMP");
    EXPECT_EQ(textfile::ResolveName(dir.path(), "Pics/Apple.BMP"), dir / "Pics/Apple.BMP");
    EXPECT_EQ(textfile::ResolveName(dir.path(), "nothing.bmp"), dir / "nothing.bmp");
    std::string pic = sjis::L("絵.bmp");
    ASSERT_TRUE(textfile::WriteFileAtomic(dir.path() + pic, "y"));
    EXPECT_EQ(textfile::ResolveName(dir.path(), pic), dir.path() + pic);
}
