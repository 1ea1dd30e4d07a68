// A test's results file as the controller reads it while passes, right and
// wrong answers follow each other: each question is counted once, so the
// instructor's "done" column follows the learner question by question.
#include "../vaduvov/app/func.h"
#include "recorder.h"

#include <gtest/gtest.h>

namespace {

// Line 4 of the results file and what the controller makes of the file.
struct TSeen {
    std::string Line4;
    int Done, Correct, Wrong;
};

TSeen Seen(const DrillFixture& f) {
    const std::string dat = f.ResultFile();
    const size_t at = dat.rfind("\r\n\"", dat.size() - 3);
    const TScoreRecord r = ReadScoreFile(f.Dir / "score/PC01.dat");
    return {at == std::string::npos ? std::string() : dat.substr(at + 2, dat.size() - at - 4), r.Done, r.Correct,
            r.Wrong};
}

void ExpectSeen(const DrillFixture& f, const std::string& line4, int done) {
    const TSeen s = Seen(f);
    EXPECT_EQ(s.Line4, line4);
    EXPECT_EQ(s.Done, done);
}

const std::vector<std::string> kTest = {"mode test", "a", "/", "b", "/", "c", "/"};

}  // namespace

TEST(TestPasses, EachQuestionCountedOnce) {
    {
        // Right, wrong then pass, right: the controller shows the learner
        // at question 3 (index 2) until the end, then all three done.
        DrillFixture f;
        f.Open(kTest);
        f.Type("a");
        f.Press();
        ExpectSeen(f, "\"1\",\"1\",\"0\"", 1);
        f.Type("x");
        ASSERT_EQ(sjis::ToUtf8(f.Engine.Button1Caption), "次に進む");
        f.Engine.K4Click();  // pass, Yes
        EXPECT_EQ(f.Msg(), "この問題をパスしますか？");
        ExpectSeen(f, "\"2\",\"1\",\"1\"", 2);
        f.Type("c");
        f.Press();
        ExpectSeen(f, "\"2\",\"2\",\"1\"", 3);
        EXPECT_EQ(f.Msg(), "あなたの得点は、\n\n66点\n\n  　　　 です。");
    }
    {
        // Wrong then pass, right then pass, then a pass of a question not
        // answered: one mistake, one right, one mistake.
        DrillFixture f;
        f.Open(kTest);
        f.Type("x");
        f.Engine.K4Click();
        ExpectSeen(f, "\"1\",\"0\",\"1\"", 1);
        f.Type("b");
        f.Engine.K4Click();
        ExpectSeen(f, "\"2\",\"1\",\"1\"", 2);
        f.Engine.K4Click();
        ExpectSeen(f, "\"2\",\"1\",\"2\"", 3);
        const TSeen end = Seen(f);
        EXPECT_EQ(end.Correct + end.Wrong, 3);
    }
    {
        // Pass, pass, pass: a mistake each, done only at the end.
        DrillFixture f;
        f.Open(kTest);
        f.Engine.K4Click();
        ExpectSeen(f, "\"1\",\"0\",\"1\"", 1);
        f.Engine.K4Click();
        ExpectSeen(f, "\"2\",\"0\",\"2\"", 2);
        f.Engine.K4Click();
        ExpectSeen(f, "\"2\",\"0\",\"3\"", 3);
        EXPECT_EQ(f.Msg(), "次回はがんばりましょう\n\n        ０点\n\n      p(- -)q");
    }
    {
        // A pass answered No leaves the wrong answer's question waiting and
        // counts nothing.
        DrillFixture f;
        f.Open(kTest);
        f.Type("x");
        f.View.YesNoAnswers = {false};
        f.Engine.K4Click();
        EXPECT_EQ(f.Engine.MistakeCount, 1);
        EXPECT_EQ(f.View.Header(), sjis::L("【1】"));
        f.Press();  // moves on
        ExpectSeen(f, "\"1\",\"0\",\"1\"", 1);
    }
}

// Outside a test a question may be tried again and its hint seen: a wrong
// first try and a right answer after the hint are one question's one
// mistake, so the controller never shows more questions done than shown.
TEST(HintAnswers, EachQuestionCountedOnce) {
    const std::vector<std::string> kHinted = {"a", "@hint", "think", "@/", "/", "b", "/", "c", "/"};
    {
        // Wrong, a new try, the hint, right: one mistake.
        DrillFixture f;
        f.Open(kHinted);
        f.Type("x");
        f.Press();  // a new try
        f.Engine.SpeedButton3Click();
        ASSERT_TRUE(f.Engine.HintSeen);
        f.Type("a");
        f.Press();
        ExpectSeen(f, "\"1\",\"0\",\"1\"", 1);
        f.Type("b");
        f.Press();
        ExpectSeen(f, "\"2\",\"1\",\"1\"", 2);  // on question 3, not done
        EXPECT_EQ(f.View.Header(), sjis::L("【3】"));
        f.Type("c");
        f.Press();  // the review of question 1 starts
        ASSERT_EQ(f.View.Dialogs.size(), 2u);  // the hint, then the feedback
        EXPECT_EQ(sjis::ToUtf8(f.View.Dialogs[1].Labels[2]), "　　3  問中  2  問 正解でした。");
        EXPECT_EQ(f.View.Header(), sjis::L("【1】"));
    }
    {
        // The hint first, then right: the hint makes the one mistake.
        DrillFixture f;
        f.Open(kHinted);
        f.Engine.SpeedButton3Click();
        f.Type("a");
        f.Press();
        ExpectSeen(f, "\"1\",\"0\",\"1\"", 1);
        // The hint, wrong, then right: still one.
        DrillFixture g;
        g.Open(kHinted);
        g.Engine.SpeedButton3Click();
        g.Type("x");
        g.Press();
        g.Type("a");
        g.Press();
        ExpectSeen(g, "\"1\",\"0\",\"1\"", 1);
        EXPECT_EQ(g.Engine.CorrectCount, 0);
    }
}
