#include "recorder.h"

#include "ini_text.h"
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
    // The first save after the resume keeps the picture on screen: opened
    // a third time, it comes back again.
    EXPECT_EQ(Slurp(g.Dir / "score/q1.sc"), sc);
    g.View.Log.clear();
    g.Open(lines);
    picture = false;
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

    // A finished run opened again writes what a run with no progress file
    // writes, also before any title (section -9, "after a reset").
    const std::vector<std::string> lines = {"a", "/", "b", "/"};
    DrillFixture none;
    none.Open(lines);
    none.Type("a");
    none.Press();
    DrillFixture done;
    done.Open(lines);
    for (int i = 0; i < 2; ++i) {
        done.Type(i ? "b" : "a");
        done.Press();
    }
    done.Open(lines);
    done.Type("a");
    done.Press();
    const std::string sc = Slurp(done.Dir / "score/q1.sc");
    EXPECT_EQ(sc, Slurp(none.Dir / "score/q1.sc"));
    EXPECT_EQ(textfile::SplitRecordLines(sc).at(4), "-9");
}

namespace {

const char* const kModeNames[] = {"normal", "test", "random", "test+random"};

// Answers the question shown: right, or wrong first (then right where a
// retry is allowed); then moves on to the next step.
void AnswerShown(DrillFixture& f, bool right) {
    const std::string answer = sjis::ToUtf8(f.Engine.Answers[1]);
    if (!right) {
        f.Type("x");
        if (f.Engine.Button1Caption != msg::CaptionAgain()) {
            f.Press();
            return;
        }
        f.Press();  // a new try
    }
    f.Type(answer);
    f.Press();
}

struct TRunFiles {
    std::string ScAfterOpening, DatAfterOpening, ScAfterAnswer, DatAfterAnswer;
};

// Opens the problem in mode (ChosenMode 0..3) over the progress file sc
// ("" for none) and records both files after the opening and after the
// first answer.
TRunFiles OpenIn(int mode, const std::vector<std::string>& lines, const std::string& sc) {
    DrillFixture f;
    if (!sc.empty()) textfile::WriteFileAtomic(f.Dir / "score/q1.sc", sc);
    f.Engine.ChosenMode = mode;
    f.Open(lines);
    TRunFiles r;
    r.ScAfterOpening = Slurp(f.Dir / "score/q1.sc");
    r.DatAfterOpening = f.ResultFile();
    AnswerShown(f, true);
    r.ScAfterAnswer = Slurp(f.Dir / "score/q1.sc");
    r.DatAfterAnswer = f.ResultFile();
    return r;
}

}  // namespace

// A progress file is resumed only by a run of the order that wrote it: the
// table of every mode that writes it against every mode that opens it.
TEST(ProgressFile, ResumedOnlyByTheModeThatWroteIt) {
    const std::vector<std::string> lines = {"a", "/", "b", "/", "c", "/", "d", "/", "e", "/"};
    const std::string head = "\"\",\"\"\r\n";
    const std::string fresh = [] {
        std::string s = "0\r\n0\r\n-1\r\n0\r\n-9\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\nf\r\nf\r\n";
        for (int i = 0; i < kMaxQuestions; ++i) s += "\r\n";
        return s;
    }();
    // Each mode opened with no progress file: what starting afresh gives.
    TRunFiles afresh[4];
    for (int mode = 0; mode < 4; ++mode) afresh[mode] = OpenIn(mode, lines, "");
    EXPECT_EQ(afresh[0].ScAfterOpening, fresh);

    for (int writer = 0; writer < 4; ++writer) {
        // Three questions answered: right, wrong, right; the fourth waits.
        DrillFixture w;
        w.Engine.ChosenMode = writer;
        w.Open(lines);
        AnswerShown(w, true);
        AnswerShown(w, false);
        AnswerShown(w, true);
        const std::string written = Slurp(w.Dir / "score/q1.sc");
        if (writer == 0) {
            std::vector<std::string> got = textfile::SplitRecordLines(written);
            ASSERT_EQ(got.size(), 114u);
            EXPECT_EQ(got[0], "3");  // BlockPos: question 4's entry
            EXPECT_EQ(got[6], "1");  // MistakeCount
            EXPECT_EQ(got[7], "2");  // CorrectCount
        } else {
            // A test or random run leaves the start of a run.
            EXPECT_EQ(written, fresh) << kModeNames[writer];
        }
        for (int opener = 0; opener < 4; ++opener) {
            SCOPED_TRACE(std::string(kModeNames[writer]) + " written, " + kModeNames[opener] + " opens");
            const TRunFiles got = OpenIn(opener, lines, written);
            if (writer == 0 && opener == 0) {
                // Resumed at question 4 with the counts kept.
                EXPECT_EQ(got.ScAfterOpening, written);
                EXPECT_EQ(got.DatAfterOpening, head + sjis::L("\"×\",\"×\"\r\n") + "\"q1\",\"5\"\r\n\"3\",\"2\",\"1\"\r\n");
                EXPECT_EQ(got.DatAfterAnswer, head + sjis::L("\"×\",\"×\"\r\n") + "\"q1\",\"5\"\r\n\"4\",\"3\",\"1\"\r\n");
                std::vector<std::string> sc = textfile::SplitRecordLines(got.ScAfterAnswer);
                ASSERT_EQ(sc.size(), 114u);
                EXPECT_EQ(sc[0], "4");
                EXPECT_EQ(sc[7], "3");  // CorrectCount
                EXPECT_EQ(sc[13], sjis::L("○"));
                EXPECT_EQ(sc[14], "");
                EXPECT_EQ(sc[15], sjis::L("○"));
                EXPECT_EQ(sc[16], sjis::L("○"));
                continue;
            }
            // Anything else opens exactly as with no progress file.
            EXPECT_EQ(got.ScAfterOpening, afresh[opener].ScAfterOpening);
            EXPECT_EQ(got.DatAfterOpening, afresh[opener].DatAfterOpening);
            EXPECT_EQ(got.ScAfterAnswer, afresh[opener].ScAfterAnswer);
            EXPECT_EQ(got.DatAfterAnswer, afresh[opener].DatAfterAnswer);
        }
    }
    // Starting afresh in each mode: nothing counted, the first answer right.
    for (int mode = 0; mode < 4; ++mode) {
        SCOPED_TRACE(kModeNames[mode]);
        const std::string marks = sjis::L(mode & 1 ? "\"○\"," : "\"×\",") + sjis::L(mode & 2 ? "\"○\"" : "\"×\"");
        EXPECT_EQ(afresh[mode].DatAfterOpening, head + marks + "\r\n\"q1\",\"5\"\r\n\"0\",\"0\",\"0\"\r\n");
        EXPECT_EQ(afresh[mode].DatAfterAnswer, head + marks + "\r\n\"q1\",\"5\"\r\n\"1\",\"1\",\"0\"\r\n");
        if (mode != 0) {
            EXPECT_EQ(afresh[mode].ScAfterAnswer, fresh);
        }
    }
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
