#include "textfile.h"

#include "sjis.h"
#include "tempdir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <dirent.h>
#include <fcntl.h>
#include <ctime>

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

TEST(TextFile, AnyLineEndWalking) {
    // Files from people's tools: CR LF, CR and a lone LF all end a line;
    // 0x1A ends the file.
    auto walk = [](const std::string& text) {
        Lines lines;
        textfile::ForEachLineBefore(text, '\x1A', [&](size_t b, size_t e) {
            lines.emplace_back(text, b, e - b);
            return true;
        });
        return lines;
    };
    EXPECT_EQ(walk("a\nb\r\nc\rd\n\ne\x1A" "f\n"), (Lines{"a", "b", "c", "d", "", "e"}));
    EXPECT_EQ(walk("x\n\r"), (Lines{"x", ""}));
    EXPECT_EQ(walk("last"), (Lines{"last"}));
    EXPECT_TRUE(walk("").empty());
}

TEST(TextFile, StaleTemporariesOfTheTargetAreSwept) {
    TempDir dir;
    const std::string p = dir / "PC01.dat";
    ASSERT_TRUE(textfile::WriteFileAtomic(p, "x"));
    auto make = [&](const std::string& name, int ageSeconds) {
        ASSERT_TRUE(textfile::WriteFileAtomic(dir / name, "t", textfile::TFlush::NoSync));
        struct timespec t[2] = {};
        clock_gettime(CLOCK_REALTIME, &t[0]);
        t[0].tv_sec -= ageSeconds;
        t[1] = t[0];
        ASSERT_EQ(0, utimensat(AT_FDCWD, (dir / name).c_str(), t, 0));
    };
    make(".PC01.dat.aaaaaa.tmp", 11 * 60);   // a writer killed long ago
    make(".PC01.dat.bbbbbb.tmp", 60);        // a live writer on another computer
    make(".PC02.dat.cccccc.tmp", 11 * 60);   // another target's
    make(".PC01.dat.toolong.tmp", 11 * 60);  // not a name this system makes
    ASSERT_TRUE(textfile::CreateDir(dir / ".PC01.dat.dddddd.tmp"));
    ASSERT_TRUE(textfile::WriteFileAtomic(p, "y", textfile::TFlush::NoSync));
    EXPECT_FALSE(textfile::FileExists(dir / ".PC01.dat.aaaaaa.tmp"));
    EXPECT_TRUE(textfile::FileExists(dir / ".PC01.dat.bbbbbb.tmp"));
    EXPECT_TRUE(textfile::FileExists(dir / ".PC02.dat.cccccc.tmp"));
    EXPECT_TRUE(textfile::FileExists(dir / ".PC01.dat.toolong.tmp"));
    EXPECT_TRUE(textfile::DirectoryExists(dir / ".PC01.dat.dddddd.tmp"));
    EXPECT_EQ(Slurp(p), "y");
    // A folder standing in the file's place is never replaced.
    EXPECT_FALSE(textfile::WriteFileAtomic(dir / ".PC01.dat.dddddd.tmp", "z"));
}

TEST(TextFile, TheSweepListsTheFolderOncePerTargetNotAtEveryWrite) {
    TempDir dir;
    const std::string p = dir / "PC01.dat";
    ASSERT_TRUE(textfile::WriteFileAtomic(p, "1", textfile::TFlush::NoSync));
    ASSERT_TRUE(textfile::WriteFileAtomic(p, "2", textfile::TFlush::NoSync));  // swept here
    const std::string aged = dir / ".PC01.dat.eeeeee.tmp";
    ASSERT_TRUE(textfile::WriteFileAtomic(aged, "t", textfile::TFlush::NoSync));
    struct timespec t[2] = {};
    clock_gettime(CLOCK_REALTIME, &t[0]);
    t[0].tv_sec -= 11 * 60;
    t[1] = t[0];
    ASSERT_EQ(0, utimensat(AT_FDCWD, aged.c_str(), t, 0));
    // The steps that follow do not list the folder again...
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(textfile::WriteFileAtomic(p, "3", textfile::TFlush::NoSync));
    EXPECT_TRUE(textfile::FileExists(aged));
    EXPECT_EQ(textfile::SweepStaleTempsIfDue(p), 0);
    // ...and the sweep itself still takes the aged temporary away.
    EXPECT_EQ(textfile::SweepStaleTemps(p), 1);
    EXPECT_FALSE(textfile::FileExists(aged));
    EXPECT_EQ(Slurp(p), "3");
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

TEST(TextFile, NewFoldersInSharedFoldersStayWritableForEveryAccount) {
    TempDir dir;
    const mode_t old = ::umask(022);
    auto modeOf = [](const std::string& p) {
        struct stat st {};
        ::stat(p.c_str(), &st);
        return st.st_mode & 07777;
    };
    ::mkdir((dir / "own").c_str(), 0755);
    ::mkdir((dir / "group").c_str(), 0775);
    ::chmod((dir / "group").c_str(), 02775);
    ::mkdir((dir / "sticky").c_str(), 0777);
    ::chmod((dir / "sticky").c_str(), 01777);
    EXPECT_TRUE(textfile::CreateDir(dir / "own/a1/"));
    EXPECT_TRUE(textfile::CreateDir(dir / "group/a1/"));
    EXPECT_TRUE(textfile::CreateDir(dir / "sticky/a1"));
    EXPECT_TRUE(textfile::CreateDir(dir / "sticky/a1"));  // there already
    ::umask(old);
    EXPECT_EQ(modeOf(dir / "own/a1"), 0755u);
    EXPECT_EQ(modeOf(dir / "group/a1") & 0777, 0775u);
    EXPECT_EQ(modeOf(dir / "sticky/a1"), 01777u);
    EXPECT_FALSE(textfile::CreateDir(dir / "missing/a1"));
}

TEST(TextFile, NewFilesKeepTheUmaskButOpenToWhoMayWriteTheFolder) {
    TempDir dir;
    const mode_t old = ::umask(027);
    ::mkdir((dir / "own").c_str(), 0755);
    ::mkdir((dir / "all").c_str(), 0777);
    ::chmod((dir / "all").c_str(), 0777);
    EXPECT_TRUE(textfile::WriteFileAtomic(dir / "own/a.ini", "x"));
    EXPECT_TRUE(textfile::WriteFileAtomic(dir / "all/a.ini", "x"));
    EXPECT_EQ(::umask(old), 027u);  // read, never changed
    struct stat st {};
    ::stat((dir / "own/a.ini").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ::stat((dir / "all/a.ini").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
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

TEST(TextFile, ReadsOnlyBoundedPlainFiles) {
    TempDir dir;
    std::string got = "stale";
    // A FIFO named as a file: refused at once, not waited on for a writer.
    std::string fifo = dir / "pipe.dat";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(textfile::ReadFileBytes(fifo, got));
    EXPECT_TRUE(got.empty());
    // A device is no file either.
    EXPECT_FALSE(textfile::ReadFileBytes("/dev/zero", got));
    // A file beyond the limit is refused whole, one at the limit is read.
    std::string p = dir / "big.dat";
    ASSERT_TRUE(textfile::WriteFileAtomic(p, std::string(1000, 'x'), textfile::TFlush::NoSync));
    EXPECT_FALSE(textfile::ReadFileBytes(p, got, 999));
    EXPECT_TRUE(got.empty());
    EXPECT_TRUE(textfile::ReadFileBytes(p, got, 1000));
    EXPECT_EQ(got.size(), 1000u);
    // The default limit stays far above any real problem, roster or score file.
    EXPECT_GE(textfile::kMaxReadBytes, uint64_t(32) << 20);
    EXPECT_LE(textfile::kMaxReadBytes, uint64_t(1) << 30);
}

TEST(TextFile, HeadReadingStopsAtItsBounds) {
    TempDir dir;
    Lines lines{"stale"};
    bool whole = true;
    std::string fifo = dir / "pipe.dat";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(textfile::ReadRecordHead(fifo, 4, 100, lines, &whole));
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(textfile::ReadRecordHead(dir / "missing.dat", 4, 100, lines));

    const std::string p = dir / "f.dat";
    // Record rules (a lone LF stays in its line), whole within both bounds.
    ASSERT_TRUE(textfile::WriteFileAtomic(p, "a\nb\r\nc\r\nd\r\n", textfile::TFlush::NoSync));
    ASSERT_TRUE(textfile::ReadRecordHead(p, 3, 100, lines, &whole));
    EXPECT_EQ(lines, (Lines{"a\nb", "c", "d"}));
    EXPECT_TRUE(whole);
    ASSERT_TRUE(textfile::ReadRecordHead(p, 2, 100, lines, &whole));
    EXPECT_EQ(lines, (Lines{"a\nb", "c"}));
    EXPECT_FALSE(whole);  // a line more follows
    // The byte bound cuts the line it falls in.
    ASSERT_TRUE(textfile::ReadRecordHead(p, 9, 7, lines, &whole));
    EXPECT_EQ(lines, (Lines{"a\nb", "c"}));
    EXPECT_FALSE(whole);
    ASSERT_TRUE(textfile::ReadRecordHead(p, 9, 6, lines, &whole));
    EXPECT_EQ(lines, (Lines{"a\nb", "c"}));
    ASSERT_TRUE(textfile::ReadRecordHead(p, 9, 5, lines, &whole));
    EXPECT_EQ(lines, (Lines{"a\nb"}));
    ASSERT_TRUE(textfile::ReadRecordHead(p, 9, 11, lines, &whole));
    EXPECT_TRUE(whole);  // exactly the file
    // Many line ends after the head: only the lines asked for are made.
    ASSERT_TRUE(textfile::WriteFileAtomic(p, "x\r" + std::string(1 << 20, '\r'), textfile::TFlush::NoSync));
    ASSERT_TRUE(textfile::ReadRecordHead(p, 4, 1 << 30, lines, &whole));
    EXPECT_EQ(lines, (Lines{"x", "", "", ""}));
    EXPECT_FALSE(whole);
}

TEST(TextFile, SplittingUpToALineCount) {
    Lines lines;
    EXPECT_TRUE(textfile::SplitLinesUpTo("a\r\nb\rc", 3, lines));
    EXPECT_EQ(lines, (Lines{"a", "b", "c"}));
    EXPECT_TRUE(textfile::SplitLinesUpTo("a\nb\n", 2, lines));  // the trailing end makes no line
    EXPECT_FALSE(textfile::SplitLinesUpTo("a\nb\nc", 2, lines));
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(lines.capacity(), 0u);  // nothing kept of a refused text
    EXPECT_TRUE(textfile::SplitLinesUpTo(std::string("a\n\0b\nc", 6), 1, lines));  // NUL ends the text
}
