#include "recorder.h"

#include "ini_text.h"
#include "messages.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

namespace {

// A progress file without the lines after the marks (the older layout),
// and those lines.
std::string WithoutOrigin(const std::string& sc) {
    std::vector<std::string> l = textfile::SplitRecordLines(sc);
    if (l.size() < 4) return sc;
    l.resize(l.size() - 4);
    return textfile::JoinLines(l);
}
std::vector<std::string> OriginOf(const std::string& sc) {
    std::vector<std::string> l = textfile::SplitRecordLines(sc);
    return l.size() < 4 ? std::vector<std::string>() : std::vector<std::string>(l.end() - 4, l.end());
}
// The file with the path's digest blanked: fixtures keep their problems in
// folders of their own, so only that line differs between two of them.
std::string Unpathed(std::string sc) {
    const size_t at = sc.find("\r\npath=");
    if (at != std::string::npos && at + 7 + 16 <= sc.size()) sc.replace(at + 7, 16, "*");
    return sc;
}

// The start of a run in the older layout: what a reset leaves.
std::string FreshBody() {
    std::string s = "0\r\n0\r\n-1\r\n0\r\n-9\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\nf\r\nf\r\n";
    for (int i = 0; i < kMaxQuestions; ++i) s += "\r\n";
    return s;
}

}  // namespace

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
    ASSERT_EQ(got.size(), 119u);  // with the picture line and the problem's lines
    EXPECT_EQ(got[0], "3");       // BlockPos: question 3's entry
    EXPECT_EQ(got[2], "0");       // ImageIndex
    EXPECT_EQ(got[3], "png pic 1 2");
    EXPECT_EQ(got[4], "1");        // QuestionIndex
    EXPECT_EQ(got[5], "0");        // SectionBlock
    EXPECT_EQ(got[7], "1");        // MistakeCount: the wrong try (the pass adds nothing)
    EXPECT_EQ(got[8], "1");        // CorrectCount
    EXPECT_EQ(got[9], "2");        // SectionAsked
    EXPECT_EQ(got[12], "t");       // AnswerOpen
    EXPECT_EQ(got[13], "t");       // Answering
    EXPECT_EQ(got[14], sjis::L("○"));
    EXPECT_EQ(got[15], "");
    EXPECT_EQ(got[114], "");       // the last mark
    EXPECT_EQ(got[115], "order=file");

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
    EXPECT_EQ(Unpathed(Slurp(g.Dir / "score/q1.sc")), Unpathed(sc));
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
    EXPECT_EQ(Unpathed(sc), Unpathed(Slurp(none.Dir / "score/q1.sc")));
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

// A progress file is resumed only by an opening in file order of a run in
// file order (normal or test); a random run's is never taken: the table of
// every mode that writes it against every mode that opens it.
TEST(ProgressFile, ResumedOnlyInTheOrderThatWroteIt) {
    const std::vector<std::string> lines = {"a", "/", "b", "/", "c", "/", "d", "/", "e", "/"};
    const std::string head = "\"\",\"\"\r\n";
    const std::string fresh = FreshBody();
    // Each mode opened with no progress file: what starting afresh gives.
    TRunFiles afresh[4];
    for (int mode = 0; mode < 4; ++mode) afresh[mode] = OpenIn(mode, lines, "");
    EXPECT_EQ(WithoutOrigin(afresh[0].ScAfterOpening), fresh);

    std::string written[4];
    for (int writer = 0; writer < 4; ++writer) {
        SCOPED_TRACE(kModeNames[writer]);
        // Three questions answered: right, wrong, right; the fourth waits.
        DrillFixture w;
        w.Engine.ChosenMode = writer;
        w.Open(lines);
        AnswerShown(w, true);
        AnswerShown(w, false);
        AnswerShown(w, true);
        written[writer] = Slurp(w.Dir / "score/q1.sc");
        const std::vector<std::string> origin = OriginOf(written[writer]);
        ASSERT_EQ(origin.size(), 4u);
        EXPECT_EQ(origin[0], writer & 2 ? "order=random" : "order=file");
        if (writer & 2) {
            // A random run leaves the start of a run, and says its order.
            EXPECT_EQ(WithoutOrigin(written[writer]), fresh);
        } else {
            // A test writes its state as a normal run does: the same bytes.
            std::vector<std::string> got = textfile::SplitRecordLines(written[writer]);
            ASSERT_EQ(got.size(), 118u);
            EXPECT_EQ(got[0], "3");  // BlockPos: question 4's entry
            EXPECT_EQ(got[6], "1");  // MistakeCount
            EXPECT_EQ(got[7], "2");  // CorrectCount
            EXPECT_EQ(Unpathed(written[writer]), Unpathed(written[0]));
        }
    }
    for (int writer = 0; writer < 4; ++writer) {
        for (int opener = 0; opener < 4; ++opener) {
            SCOPED_TRACE(std::string(kModeNames[writer]) + " written, " + kModeNames[opener] + " opens");
            const TRunFiles got = OpenIn(opener, lines, written[writer]);
            if (writer < 2 && opener == 0) {
                // Resumed at question 4 with the counts kept, also after a
                // test: a test runs in file order.
                EXPECT_EQ(Unpathed(got.ScAfterOpening), Unpathed(written[0]));
                EXPECT_EQ(got.DatAfterOpening, head + sjis::L("\"×\",\"×\"\r\n") + "\"q1\",\"5\"\r\n\"3\",\"2\",\"1\"\r\n");
                EXPECT_EQ(got.DatAfterAnswer, head + sjis::L("\"×\",\"×\"\r\n") + "\"q1\",\"5\"\r\n\"4\",\"3\",\"1\"\r\n");
                std::vector<std::string> sc = textfile::SplitRecordLines(got.ScAfterAnswer);
                ASSERT_EQ(sc.size(), 118u);
                EXPECT_EQ(sc[0], "4");
                EXPECT_EQ(sc[7], "3");  // CorrectCount
                EXPECT_EQ(sc[13], sjis::L("○"));
                EXPECT_EQ(sc[14], "");
                EXPECT_EQ(sc[15], sjis::L("○"));
                EXPECT_EQ(sc[16], sjis::L("○"));
                continue;
            }
            // Anything else opens exactly as with no progress file.
            EXPECT_EQ(Unpathed(got.ScAfterOpening), Unpathed(afresh[opener].ScAfterOpening));
            EXPECT_EQ(got.DatAfterOpening, afresh[opener].DatAfterOpening);
            EXPECT_EQ(Unpathed(got.ScAfterAnswer), Unpathed(afresh[opener].ScAfterAnswer));
            EXPECT_EQ(got.DatAfterAnswer, afresh[opener].DatAfterAnswer);
        }
    }
    // Starting afresh in each mode: nothing counted, the first answer right.
    for (int mode = 0; mode < 4; ++mode) {
        SCOPED_TRACE(kModeNames[mode]);
        const std::string marks = sjis::L(mode & 1 ? "\"○\"," : "\"×\",") + sjis::L(mode & 2 ? "\"○\"" : "\"×\"");
        EXPECT_EQ(afresh[mode].DatAfterOpening, head + marks + "\r\n\"q1\",\"5\"\r\n\"0\",\"0\",\"0\"\r\n");
        EXPECT_EQ(afresh[mode].DatAfterAnswer, head + marks + "\r\n\"q1\",\"5\"\r\n\"1\",\"1\",\"0\"\r\n");
        if (mode & 2) {
            EXPECT_EQ(WithoutOrigin(afresh[mode].ScAfterAnswer), fresh);
        }
    }
}

// Files of the older layout (no lines after the marks) in every opening
// mode: taken only in file order, and only where no random run can have
// left them.
TEST(ProgressFile, OlderLayoutTakenOnlyWhereNoRandomRunLeftIt) {
    const std::vector<std::string> lines = {"~T", "t", "/", "a", "/", "b", "/", "&", "e", "/", "c", "/", "d", "/"};
    auto body = [](const std::string& head, int marks) {
        std::string s = head;
        for (int i = 0; i < kMaxQuestions; ++i) s += i < marks ? sjis::L("○\r\n") : "\r\n";
        return s;
    };
    // A run in file order past the explanation: questions 1 and 2 right,
    // question 3 next.  No random run stops at an explanation.
    const std::string afterExplanation = body("4\r\n0\r\n-1\r\n1\r\n0\r\n0\r\n0\r\n2\r\n2\r\n2\r\n0\r\nf\r\nf\r\n", 2);
    // Right after question 2's entry: a run in file order at question 3
    // reads so, and so does a random run that asked question 3 or 4 first
    // and question 2 second, both right (its marks are those of its
    // positions 1 and 2): opened in file order, question 3 or 4 would be
    // passed as right without being asked.
    const std::string afterQuestion = body("3\r\n1\r\n-1\r\n1\r\n0\r\n0\r\n0\r\n2\r\n2\r\n2\r\n0\r\nf\r\nt\r\n", 2);
    {
        // The bytes are what this program writes less the lines after the
        // marks.
        DrillFixture w;
        w.Open(lines);
        AnswerShown(w, true);
        AnswerShown(w, true);
        EXPECT_EQ(WithoutOrigin(Slurp(w.Dir / "score/q1.sc")), afterQuestion);
        w.Press();  // past the explanation
        EXPECT_EQ(WithoutOrigin(Slurp(w.Dir / "score/q1.sc")), afterExplanation);
    }
    const std::string head = "\"\",\"\"\r\n";
    for (int opener = 0; opener < 4; ++opener) {
        SCOPED_TRACE(kModeNames[opener]);
        const TRunFiles afresh = OpenIn(opener, lines, "");
        const TRunFiles atQuestion = OpenIn(opener, lines, afterQuestion);
        EXPECT_EQ(Unpathed(atQuestion.ScAfterOpening), Unpathed(afresh.ScAfterOpening));
        EXPECT_EQ(atQuestion.DatAfterOpening, afresh.DatAfterOpening);
        EXPECT_EQ(Unpathed(atQuestion.ScAfterAnswer), Unpathed(afresh.ScAfterAnswer));
        EXPECT_EQ(atQuestion.DatAfterAnswer, afresh.DatAfterAnswer);

        const TRunFiles atExplanation = OpenIn(opener, lines, afterExplanation);
        if (opener == 0) {
            // Resumed at question 3; the file is then written in the new layout.
            EXPECT_EQ(WithoutOrigin(atExplanation.ScAfterOpening), afterExplanation);
            EXPECT_EQ(OriginOf(atExplanation.ScAfterOpening).at(0), "order=file");
            EXPECT_EQ(atExplanation.DatAfterOpening, head + sjis::L("\"×\",\"×\"\r\n") + "\"q1\",\"4\"\r\n\"2\",\"2\",\"0\"\r\n");
            EXPECT_EQ(atExplanation.DatAfterAnswer, head + sjis::L("\"×\",\"×\"\r\n") + "\"q1\",\"4\"\r\n\"3\",\"3\",\"0\"\r\n");
            EXPECT_EQ(textfile::SplitRecordLines(atExplanation.ScAfterAnswer).at(0), "5");
        } else {
            EXPECT_EQ(Unpathed(atExplanation.ScAfterOpening), Unpathed(afresh.ScAfterOpening));
            EXPECT_EQ(atExplanation.DatAfterOpening, afresh.DatAfterOpening);
            EXPECT_EQ(Unpathed(atExplanation.ScAfterAnswer), Unpathed(afresh.ScAfterAnswer));
            EXPECT_EQ(atExplanation.DatAfterAnswer, afresh.DatAfterAnswer);
        }
    }
    // Before any title a run in file order keeps the section of a reset,
    // which a random run has left at its first question: taken.
    const std::vector<std::string> untitled = {"a", "/", "b", "/", "c", "/"};
    const TRunFiles noTitle = OpenIn(0, untitled, body("1\r\n0\r\n-1\r\n0\r\n-9\r\n0\r\n0\r\n1\r\n1\r\n1\r\n0\r\nf\r\nt\r\n", 1));
    EXPECT_EQ(noTitle.DatAfterOpening, head + sjis::L("\"×\",\"×\"\r\n") + "\"q1\",\"3\"\r\n\"1\",\"1\",\"0\"\r\n");
    // The same place with a section set may be a random run's: afresh.
    const TRunFiles withSection = OpenIn(0, untitled, body("1\r\n0\r\n-1\r\n0\r\n-1\r\n0\r\n0\r\n1\r\n1\r\n1\r\n0\r\nf\r\nt\r\n", 1));
    EXPECT_EQ(withSection.DatAfterOpening, head + sjis::L("\"×\",\"×\"\r\n") + "\"q1\",\"3\"\r\n\"0\",\"0\",\"0\"\r\n");
    // With one question both orders are one: resumed into the review of
    // the question answered wrong.
    DrillFixture one;
    textfile::WriteFileAtomic(one.Dir / "score/q1.sc",
                              body("2\r\n1\r\n-1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n1\r\n0\r\n0\r\nf\r\nt\r\n", 0));
    one.Open({"~T", "t", "/", "a", "/"});
    ASSERT_EQ(one.View.Dialogs.size(), 1u);
    EXPECT_EQ(sjis::ToUtf8(one.View.Dialogs[0].Labels[2]), "　　1  問中  0  問 正解でした。");
    EXPECT_EQ(one.View.Header(), sjis::L("【1】"));
}

// Problems of one name in several folders share the progress file's name:
// each resumes only its own progress, never the other's.
TEST(ProgressFile, SameNameInTwoFoldersResumesOnlyItself) {
    DrillFixture f;
    textfile::CreateDir(f.Dir / "math");
    textfile::CreateDir(f.Dir / "english");
    std::vector<std::string> math, english;
    for (int i = 0; i < 6; ++i) {
        math.push_back(std::string(1, char('a' + i)));
        math.push_back("/");
        english.push_back(std::string(1, char('p' + i)));
        english.push_back("/");
    }
    auto open = [&](const std::vector<std::string>& lines, const char* folder) {
        f.Engine.LoadProblemFile(f.Write(lines, std::string(folder) + "/unit1.qzb"));
    };
    auto answerRight = [&](int n) {
        for (int i = 0; i < n; ++i) AnswerShown(f, true);
    };
    open(math, "math");
    answerRight(3);
    EXPECT_EQ(f.View.Header(), sjis::L("【4】"));

    open(english, "english");  // math's progress lies under the same name
    EXPECT_FALSE(f.Engine.Resumed);
    EXPECT_EQ(f.View.Header(), sjis::L("【1】"));
    EXPECT_EQ(f.View.Status[3], "0/6");
    EXPECT_EQ(f.View.Gauge, 0);
    EXPECT_EQ(f.ResultFile().substr(f.ResultFile().rfind("\r\n\"")), "\r\n\"0\",\"0\",\"0\"\r\n");
    answerRight(2);

    open(english, "english");  // its own progress
    EXPECT_EQ(f.View.Header(), sjis::L("【3】"));
    EXPECT_EQ(f.View.Status[3], "2/6");

    open(math, "math");  // english's now lies there
    EXPECT_EQ(f.View.Header(), sjis::L("【1】"));
    EXPECT_EQ(f.Engine.CorrectCount, 0);
    answerRight(1);

    // The same file edited in its place (an answer added, same shape) is
    // still the same problem; a copy of it elsewhere is too.
    math[0] = "a;A";
    open(math, "math");
    EXPECT_EQ(f.View.Header(), sjis::L("【2】"));
    textfile::CreateDir(f.Dir / "copy");
    open(math, "copy");
    EXPECT_EQ(f.View.Header(), sjis::L("【2】"));
    EXPECT_EQ(f.Engine.CorrectCount, 1);
}

// Another problem written over the same file keeps its name and path but
// not the progress, unless its layout is the same (a fix of a typo, an
// answer added); so does a file of the older layout, which names nothing.
TEST(ProgressFile, ProblemRewrittenInPlaceKeepsProgressOnlyOfItsLayout) {
    const std::vector<std::string> plain = {"~T", "t", "/", "a", "/", "b", "/", "c", "/", "d", "/"};
    // Progress at question 3, questions 1 and 2 right: after entry 2.
    DrillFixture f;
    f.Open(plain);
    AnswerShown(f, true);
    AnswerShown(f, true);
    const std::string sc = Slurp(f.Dir / "score/q1.sc");
    const std::vector<std::vector<std::string>> others = {
        // No title: the place follows question 3, not question 2.
        {"a", "/", "b", "/", "c", "/", "d", "/"},
        // The title after question 1: the section is no title.
        {"a", "/", "~T", "t", "/", "b", "/", "c", "/", "d", "/"},
        // An explanation first: the place follows the title.
        {"&", "e", "/", "~T", "t", "/", "a", "/", "b", "/", "c", "/"},
    };
    for (const bool older : {false, true}) {
        for (size_t i = 0; i < others.size(); ++i) {
            SCOPED_TRACE(std::to_string(i) + (older ? " older layout" : ""));
            textfile::WriteFileAtomic(f.Dir / "score/q1.sc", older ? WithoutOrigin(sc) : sc);
            f.Open(others[i]);
            EXPECT_FALSE(f.Engine.Resumed);
            EXPECT_EQ(f.Engine.CorrectCount, 0);
            EXPECT_EQ(f.View.Status[3], "0/" + std::to_string(f.Engine.QuestionCount));
        }
    }
    // Fixed in place: a typo in a question's text and an answer added.
    std::vector<std::string> fixed = plain;
    fixed[3] = "a;A";
    fixed.insert(fixed.begin() + 4, "what is a?");
    for (const bool older : {false, true}) {
        SCOPED_TRACE(older ? "older layout" : "");
        textfile::WriteFileAtomic(f.Dir / "score/q1.sc", older ? WithoutOrigin(sc) : sc);
        f.Open(fixed);
        EXPECT_EQ(f.View.Header(), older ? sjis::L("【1】") : sjis::L("【3】"));
        EXPECT_EQ(f.View.Status[3], older ? "0/4" : "2/4");
    }
}

// The lines after the marks are the order and the problem, or nothing; any
// other tail is damage and the run starts afresh.
TEST(ProgressFile, DamagedOriginLinesAreIgnored) {
    const std::vector<std::string> lines = {"a", "/", "b", "/", "c", "/"};
    DrillFixture w;
    w.Open(lines);
    AnswerShown(w, true);
    const std::string good = Slurp(w.Dir / "score/q1.sc");
    const std::vector<std::string> origin = OriginOf(good);
    ASSERT_EQ(origin.size(), 4u);
    EXPECT_EQ(origin[0], "order=file");
    const std::string path = w.Dir / "q1.qzb";
    const std::string bytes = Slurp(path);
    char hex[40];
    std::snprintf(hex, sizeof hex, "path=%016llx", static_cast<unsigned long long>(ContentDigest(path.data(), path.size())));
    EXPECT_EQ(origin[1], hex);
    std::snprintf(hex, sizeof hex, "bytes=%016llx", static_cast<unsigned long long>(ContentDigest(bytes.data(), bytes.size())));
    EXPECT_EQ(origin[2], hex);
    EXPECT_EQ(origin[3], "size=" + std::to_string(bytes.size()));
    EXPECT_EQ(good.substr(good.size() - 2), "\r\n");

    const std::string body = WithoutOrigin(good);
    const std::vector<std::string> tails = {
        "order=file\r\n",                                                     // cut short
        "order=sideways\r\n" + origin[1] + "\r\n" + origin[2] + "\r\n" + origin[3] + "\r\n",
        origin[0] + "\r\npath=12\r\n" + origin[2] + "\r\n" + origin[3] + "\r\n",
        origin[0] + "\r\n" + origin[1] + "\r\n" + origin[2] + "\r\nsize=-1\r\n",
        origin[0] + "\r\n" + origin[1] + "\r\n" + origin[2] + "\r\n" + origin[3] + "\r\nmore\r\n",
    };
    for (const auto& tail : tails) {
        SCOPED_TRACE(tail);
        DrillFixture f;
        textfile::WriteFileAtomic(f.Dir / "score/q1.sc", body + tail);
        f.Open(lines);
        EXPECT_FALSE(f.Engine.Resumed);
        EXPECT_EQ(f.View.Header(), sjis::L("【1】"));
    }
    DrillFixture f;  // the good one, from another folder: the same bytes
    textfile::WriteFileAtomic(f.Dir / "score/q1.sc", good);
    f.Open(lines);
    EXPECT_EQ(f.View.Header(), sjis::L("【2】"));
}

namespace {

// Two sections of two questions each, a feedback point after each.
const std::vector<std::string> kTwoSections = {"~S1", "one", "/", "a", "/", "b", "/fb",
                                               "~S2", "two", "/", "c", "/", "d", "/fb"};

std::string Line4(const DrillFixture& f) {
    const std::string dat = f.ResultFile();
    const size_t at = dat.rfind("\r\n\"", dat.size() - 3);
    return at == std::string::npos ? std::string() : dat.substr(at + 2, dat.size() - at - 4);
}

}  // namespace

// A run that reached its end, a test too, is not resumed: the next opening
// starts afresh, whether the mode was chosen or written in the problem
// (and then taken out of it, the file keeping its place).
TEST(ProgressFile, FinishedTestStartsAfresh) {
    for (int variant = 0; variant < 2; ++variant) {
        SCOPED_TRACE(variant ? "mode line" : "chosen mode");
        DrillFixture f;
        std::vector<std::string> test = kTwoSections;
        if (variant)
            test.insert(test.begin(), "mode test");
        else
            f.Engine.ChosenMode = 1;
        f.Open(test);
        AnswerShown(f, true);
        AnswerShown(f, false);
        AnswerShown(f, true);
        AnswerShown(f, true);
        EXPECT_EQ(f.Msg(), "あなたの得点は、\n\n75点\n\n  　　　 です。");
        EXPECT_EQ(Line4(f), "\"3\",\"3\",\"1\"");
        EXPECT_EQ(WithoutOrigin(Slurp(f.Dir / "score/q1.sc")), FreshBody());

        f.Engine.ChosenMode = 0;
        f.Open(kTwoSections);
        EXPECT_FALSE(f.Engine.Resumed);
        EXPECT_TRUE(f.View.Dialogs.empty());
        EXPECT_EQ(f.View.Header(), sjis::L("【1】"));
        EXPECT_EQ(f.Engine.CorrectCount, 0);
        EXPECT_EQ(Line4(f), "\"0\",\"0\",\"0\"");
    }
    // A normal run that ended after a review, not all of it right at the
    // first try, is not resumed either.
    DrillFixture n;
    n.Open({"a", "/", "b", "/fb"});
    AnswerShown(n, false);
    AnswerShown(n, true);
    ASSERT_EQ(n.View.Dialogs.size(), 1u);
    AnswerShown(n, true);  // the review
    EXPECT_EQ(n.Msg(), "すべての問題を終了しました");
    n.Open({"a", "/", "b", "/fb"});
    EXPECT_EQ(n.View.Header(), sjis::L("【1】"));
    EXPECT_EQ(n.Engine.CorrectCount, 0);
}

// A test interrupted in its second section and opened again in file order
// goes on as a normal run from there: the feedback counts and the review
// take only that section's questions, and the test's own results file
// keeps its mistakes of the whole problem.
TEST(ProgressFile, InterruptedTestResumesAsNormalRunOfItsSection) {
    DrillFixture t;
    t.Engine.ChosenMode = 1;
    t.Open(kTwoSections);
    AnswerShown(t, false);  // question 1 wrong
    AnswerShown(t, true);
    AnswerShown(t, false);  // question 3 wrong: section 2's own mistake
    EXPECT_EQ(t.View.Header(), sjis::L("【4】"));
    EXPECT_EQ(Line4(t), "\"3\",\"1\",\"2\"");
    const std::string sc = Slurp(t.Dir / "score/q1.sc");
    const std::vector<std::string> got = textfile::SplitRecordLines(sc);
    ASSERT_EQ(got.size(), 118u);
    EXPECT_EQ(got[5], "4");  // SectionStart: the entry after the first feedback point
    EXPECT_EQ(got[6], "1");  // MistakeCount: the section's one
    EXPECT_EQ(got[7], "1");  // CorrectCount: the whole problem's
    EXPECT_EQ(got[8], "1");  // SectionAsked
    EXPECT_EQ(got[9], "0");  // SectionCorrect

    DrillFixture f;
    textfile::WriteFileAtomic(f.Dir / "score/q1.sc", sc);
    f.Open(kTwoSections);
    EXPECT_TRUE(f.View.Dialogs.empty());
    EXPECT_EQ(f.View.Header(), sjis::L("【4】"));
    EXPECT_EQ(f.View.Lines[0], "two");
    EXPECT_EQ(Line4(f), "\"3\",\"1\",\"1\"");
    AnswerShown(f, true);
    ASSERT_EQ(f.View.Dialogs.size(), 1u);
    EXPECT_EQ(sjis::ToUtf8(f.View.Dialogs[0].Labels[2]), "　　2  問中  1  問 正解でした。");
    EXPECT_EQ(f.View.Header(), sjis::L("【3】"));  // the review: question 3 alone
    AnswerShown(f, true);
    EXPECT_EQ(f.Msg(1), "このセクションは  2 題 全問正解になりました。");
    EXPECT_EQ(f.Msg(), "すべての問題を終了しました");
    EXPECT_EQ(f.Engine.CorrectCount, 3);

    // Interrupted in the first section, the test's mistakes are that
    // section's: resumed, the section is reported and reviewed whole.
    DrillFixture u;
    u.Engine.ChosenMode = 1;
    u.Open(kTwoSections);
    AnswerShown(u, false);
    DrillFixture g;
    textfile::WriteFileAtomic(g.Dir / "score/q1.sc", Slurp(u.Dir / "score/q1.sc"));
    g.Open(kTwoSections);
    EXPECT_EQ(g.View.Header(), sjis::L("【2】"));
    AnswerShown(g, true);
    ASSERT_EQ(g.View.Dialogs.size(), 1u);
    EXPECT_EQ(sjis::ToUtf8(g.View.Dialogs[0].Labels[2]), "　　2  問中  1  問 正解でした。");
    EXPECT_EQ(g.View.Header(), sjis::L("【1】"));
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
