#include "recorder.h"

#include "inifile.h"
#include "messages.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(ResultsFile, ExactBytesAfterOpeningAndEachStep) {
    DrillFixture f;
    f.Engine.UserID = "A1";
    f.Engine.UserName = "x\"y,z";
    f.Open({"mode test", "a", "/", "b", "/"});
    std::string head = "\"A1\",\"x\"y,z\"\r\n\"\x81\x9B\",\"\x81\x7E\"\r\n\"q1\",\"2\"\r\n";
    EXPECT_EQ(f.ResultFile(), head + "\"0\",\"0\",\"0\"\r\n");
    f.Type("a");
    f.Press();
    EXPECT_EQ(f.ResultFile(), head + "\"1\",\"1\",\"0\"\r\n");
    EXPECT_EQ(FormatResultLines(f.Engine.ResultHeader(), false, 0, 0, 0), head);
    DeleteResultFiles(f.Engine.Settings.ScoreFolder, "PC01");
    EXPECT_FALSE(textfile::FileExists(f.Dir / "score/PC01.dat"));
}

TEST(ResultsFile, FailedWriteLeavesMarkerAndOldFile) {
    DrillFixture f;
    TResultHeader h;
    h.ScoreFolder = f.Dir / "score/";
    ASSERT_TRUE(WriteResult(h, "PC01", 1, 2, 3));
    std::string before = Slurp(f.Dir / "score/PC01.dat");
    // A folder in the way of the temporary file's rename makes the write fail.
    h.ScoreFolder = f.Dir / "missing/";
    EXPECT_FALSE(WriteResult(h, "PC01", 1, 2, 3));
    EXPECT_FALSE(textfile::FileExists(f.Dir / "missing/PC01.stp"));  // no folder, no marker
    h.ScoreFolder = f.Dir / "score/";
    textfile::CreateDir(f.Dir / "score/PC02.dat");  // a folder where the file should be
    EXPECT_FALSE(WriteResult(h, "PC02", 0, 0, 0));
    EXPECT_TRUE(textfile::FileExists(f.Dir / "score/PC02.stp"));
    EXPECT_EQ(Slurp(f.Dir / "score/PC01.dat"), before);
    // The next good write removes the marker.
    ::rmdir((f.Dir / "score/PC02.dat").c_str());
    EXPECT_TRUE(WriteResult(h, "PC02", 0, 0, 0));
    EXPECT_FALSE(textfile::FileExists(f.Dir / "score/PC02.stp"));
}

TEST(ProgressFile, LayoutAndResume) {
    DrillFixture f;
    std::vector<std::string> lines = {"~T", "tt", "/", "a", "/", "b", "png pic 1 2", "/", "c", "/"};
    f.Open(lines);
    f.Type("a");
    f.Press();  // saved before showing question 2
    f.Type("x");
    f.Press();
    f.Engine.K4Click();  // pass: saved before question 3, after the picture of question 2
    std::string sc = Slurp(f.Dir / "score/q1.sc");
    std::vector<std::string> got = textfile::SplitRecordLines(sc);
    ASSERT_EQ(got.size(), 115u);  // with the picture line
    EXPECT_EQ(got[0], "3");       // BlockPos: question 3's entry
    EXPECT_EQ(got[2], "0");       // ImageIndex
    EXPECT_EQ(got[3], "png pic 1 2");
    EXPECT_EQ(got[4], "1");        // QuestionIndex
    EXPECT_EQ(got[5], "0");        // SectionBlock
    EXPECT_EQ(got[7], "2");        // MistakeCount: the wrong try and the pass
    EXPECT_EQ(got[8], "1");        // CorrectCount
    EXPECT_EQ(got[9], "2");        // SectionAsked
    EXPECT_EQ(got[12], "t");       // AnswerOpen
    EXPECT_EQ(got[13], "t");       // Answering
    EXPECT_EQ(got[14], sjis::L("○"));
    EXPECT_EQ(got[15], "");
    EXPECT_EQ(sc.substr(sc.size() - 4), "\r\n\r\n");

    // Opening again resumes at question 3 under its title, picture back.
    DrillFixture g;
    textfile::CreateDir(g.Dir / "score");
    textfile::WriteFileAtomic(g.Dir / "score/q1.sc", sc);
    g.Open(lines);
    EXPECT_EQ(g.View.Lines[0], "tt");
    EXPECT_EQ(g.View.Header(), sjis::L("【3】"));
    EXPECT_EQ(g.Engine.CorrectCount, 1);
    bool picture = false;
    for (const auto& l : g.View.Log) picture |= l == "ShowPicture:4 pic.png 1 34 -1";
    EXPECT_TRUE(picture);
}

TEST(ProgressFile, DamagedFilesAreIgnored) {
    std::vector<std::string> bad = {"", "1\r\n2\r\n", "x\r\n" + std::string(200, '\r'),
                                    std::string(300, '0')};
    for (const auto& content : bad) {
        DrillFixture f;
        textfile::WriteFileAtomic(f.Dir / "score/q1.sc", content);
        f.Open({"a", "/", "b", "/"});
        EXPECT_EQ(f.View.Header(), sjis::L("【1】"));
        EXPECT_FALSE(f.View.Closed);
        EXPECT_FALSE(f.Engine.Resumed);
    }
    // Progress pointing past a shorter file is not used either.
    DrillFixture g;
    std::string far = "40\r\n0\r\n-1\r\n0\r\n-1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\nt\r\nt\r\n";
    for (int i = 0; i < 101; ++i) far += "\r\n";
    textfile::WriteFileAtomic(g.Dir / "score/q1.sc", far);
    g.Open({"a", "/"});
    EXPECT_EQ(g.View.Header(), sjis::L("【1】"));
    // Counts that the next answer would push past the integer limit.
    DrillFixture h;
    std::string huge = "1\r\n0\r\n-1\r\n0\r\n-1\r\n0\r\n2147483647\r\n0\r\n2147483647\r\n2147483647\r\n0\r\nt\r\nt\r\n";
    for (int i = 0; i < 101; ++i) huge += "\r\n";
    textfile::WriteFileAtomic(h.Dir / "score/q1.sc", huge);
    h.Open({"a", "/", "b", "/"});
    EXPECT_FALSE(h.Engine.Resumed);
    EXPECT_EQ(h.Engine.MistakeCount, 0);
    EXPECT_EQ(h.View.Header(), sjis::L("【1】"));
}

TEST(ProgressFile, FinishedRunAndTestModeStartAfresh) {
    DrillFixture f;
    f.Open({"a", "/"});
    f.Type("a");
    f.Press();  // finished: CorrectCount = QuestionCount
    f.Open({"a", "/"});
    EXPECT_EQ(f.Engine.CorrectCount, 0);
    EXPECT_EQ(f.View.Header(), sjis::L("【1】"));
}

TEST(Settings, StandAloneAndNetworkMode) {
    TempDir dir;
    TDrillSettings s;
    ReadSettings(s, dir.path());
    EXPECT_FALSE(s.NetworkMode);
    EXPECT_TRUE(s.FullScreen);
    EXPECT_FALSE(s.AllowModeChange);
    EXPECT_EQ(s.ScoreFolder, dir.path() + "Your Score/");
    EXPECT_EQ(s.AutoMode, -1);

    textfile::WriteFileAtomic(dir / "ruzozu.dvk", "[Data]\r\nFolder=/srv/score/\r\n[Auto]\r\n" +
                                                      msg::KeyAutoMode() + "=3\r\n");
    ReadSettings(s, dir.path());
    EXPECT_TRUE(s.NetworkMode);
    EXPECT_EQ(s.ScoreFolder, "/srv/score/");
    EXPECT_EQ(s.RosterFolder, dir.path());
    EXPECT_EQ(s.AutoMode, -1);  // no forced problem
    TIniFile(dir / "ruzozu.dvk").WriteString("Auto", msg::KeyAutoProblem(), "/p/a.qzb");
    ReadSettings(s, dir.path());
    EXPECT_EQ(s.AutoMode, 3);
    TIniFile(dir / "ruzozu.dvk").WriteString("Auto", msg::KeyAutoMode(), "-1");
    ReadSettings(s, dir.path());
    EXPECT_EQ(s.AutoMode, -1);  // -1 forces nothing, even with a problem named
}

// A shared settings file saved as UTF-8 by an editor keeps its roster
// folder; a UTF-16 one is refused with a message.
TEST(Settings, Utf8SharedFileKeepsTheRosterFolderAndUtf16IsRefused) {
    TempDir dir;
    const std::string dvk = "[Data]\r\nFolder=/srv/score/\r\n" + msg::KeyRosterDir() + "=/srv/" + sjis::L("名簿") + "/\r\n";
    textfile::WriteFileAtomic(dir / "ruzozu.dvk", "\xEF\xBB\xBF" + sjis::ToUtf8(dvk));
    TDrillSettings s;
    ReadSettings(s, dir.path());
    EXPECT_TRUE(s.ReadErrors.empty());
    EXPECT_EQ(s.RosterFolder, "/srv/" + sjis::L("名簿") + "/");
    EXPECT_EQ(s.ScoreFolder, "/srv/score/");
    std::string utf16 = "\xFF\xFE";
    for (char c : dvk) utf16 += std::string(1, c) + '\0';
    textfile::WriteFileAtomic(dir / "ruzozu.dvk", utf16);
    ReadSettings(s, dir.path());
    ASSERT_EQ(s.ReadErrors.size(), 1u);
    EXPECT_NE(s.ReadErrors[0].find("UTF-16"), std::string::npos);
    EXPECT_TRUE(WriteSettings(s, dir.path()).size() == 1);  // the shared file is not written over
    EXPECT_EQ(Slurp(dir / "ruzozu.dvk"), utf16);
}

TEST(Settings, WriteKeepsTheSharedFileButTheScoreFolder) {
    TempDir dir;
    std::string dvk = "[Data]\r\nFolder=/old/\r\n" + msg::KeyRosterDir() + "=/r/\r\n[Auto]\r\n" +
                      msg::KeyAutoProblem() + "=\r\n";
    textfile::WriteFileAtomic(dir / "ruzozu.dvk", dvk);
    TDrillSettings s;
    ReadSettings(s, dir.path());
    s.ScoreFolder = "/new/";
    s.FullScreen = false;
    s.FolderHistory[1] = "/h/";
    WriteSettings(s, dir.path());
    EXPECT_EQ(Slurp(dir / "ruzozu.dvk"), "[Data]\r\nFolder=/new/\r\n" + msg::KeyRosterDir() +
                                             "=/r/\r\n[Auto]\r\n" + msg::KeyAutoProblem() + "=\r\n");
    TDrillSettings back;
    ReadSettings(back, dir.path());
    EXPECT_FALSE(back.FullScreen);
    EXPECT_EQ(back.FolderHistory[1], "/h/");
    EXPECT_NE(Slurp(dir / "ruzozu.ini").find("\r\n"), std::string::npos);
}

TEST(Settings, FilesThatCannotBeWrittenAreReported) {
    TempDir dir;
    TDrillSettings s;
    ReadSettings(s, dir.path());
    s.NetworkMode = true;
    s.ScoreFolder = "/new/";
    EXPECT_TRUE(WriteSettings(s, dir.path()).empty());
    // A folder standing where each file goes: neither can be written.
    TempDir other;
    ASSERT_EQ(mkdir((other / "ruzozu.ini").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((other / "ruzozu.dvk").c_str(), 0777), 0);
    const std::vector<std::string> failed = WriteSettings(s, other.path());
    EXPECT_EQ(failed, (std::vector<std::string>{other / "ruzozu.ini", other / "ruzozu.dvk"}));
    const std::string text = SettingsWriteFailedMessage(failed);
    EXPECT_NE(text.find(other / "ruzozu.ini"), std::string::npos);
    EXPECT_NE(text.find(other / "ruzozu.dvk"), std::string::npos);
}
