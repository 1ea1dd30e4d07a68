#include "recorder.h"
#include "messages.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>

TEST(Sequence, FeedbackReviewAndAllRight) {
    DrillFixture f;
    f.Open({"~Section", "title line", "/", "a", "/", "b", "/", "c", "/", "d", "/", "e", "/fb",
            "&end", "bye", "/"});
    EXPECT_EQ(f.View.Lines[0], "title line");
    EXPECT_EQ(f.View.Header(), sjis::L("【1】"));
    EXPECT_EQ(f.Engine.TextTop, 1);
    EXPECT_EQ(f.View.Lines[1], sjis::L("【1】"));
    for (std::string ans : {"a", "x", "c", "x", "e"}) {
        f.Type(ans);
        if (ans == "x") {
            f.Press();  // new try
            f.Engine.K4Click();  // pass it
        } else {
            f.Press();
        }
    }
    ASSERT_EQ(f.View.Dialogs.size(), 1u);
    const auto& d = f.View.Dialogs[0];
    EXPECT_EQ(sjis::ToUtf8(d.Caption), "フィードバック");
    EXPECT_EQ(sjis::ToUtf8(d.Labels[2]), "　　5  問中  3  問 正解でした。");
    EXPECT_EQ(f.Engine.Reviewing, 1);
    // The review asks exactly questions 2 and 4 again.
    EXPECT_EQ(f.View.Header(), sjis::L("【2】"));
    f.Type("b");
    f.Press();
    EXPECT_EQ(f.View.Header(), sjis::L("【4】"));
    f.Type("d");
    f.Press();
    EXPECT_EQ(f.Msg(), "このセクションは  5 題 全問正解になりました。");
    EXPECT_EQ(f.View.Lines[0], "bye");  // the explanation after the feedback point
    EXPECT_EQ(f.Engine.Reviewing, 0);
    f.Press();
    EXPECT_EQ(f.Msg(), "すべての問題を終了しました");
    EXPECT_EQ(sjis::ToUtf8(f.View.Caption), "終了");
    EXPECT_EQ(f.Engine.BlockPos, 0);
    f.Type("anything");  // the answer button does nothing now
    EXPECT_EQ(f.Engine.BlockPos, 0);
}

TEST(Sequence, NoAllRightMessageRightAfterAnExplanation) {
    DrillFixture f;
    f.Open({"&e", "text", "/fb", "a", "/"});
    f.Press();
    EXPECT_EQ(f.View.Header(), sjis::L("【1】"));
    EXPECT_TRUE(f.View.Messages.empty());
}

TEST(Sequence, AllRightOnlyForAStretchThatAskedSomething) {
    const std::string allRight = sjis::L("このセクションは  ");
    auto praised = [&](const DrillFixture& f) {
        return std::count_if(f.View.Messages.begin(), f.View.Messages.end(),
                             [&](const std::string& m) { return m.rfind(allRight, 0) == 0; });
    };
    {
        // The usual end: the last block ends with "/fb", so the final
        // feedback point closes an empty stretch.
        DrillFixture f;
        f.Open({"~T", "t", "/", "a", "/", "b", "/fb"});
        f.Type("a");
        f.Press();
        f.Type("b");
        f.Press();
        EXPECT_EQ(praised(f), 1);
        EXPECT_EQ(f.Msg(1), "このセクションは  2 題 全問正解になりました。");
        EXPECT_EQ(f.Msg(), "すべての問題を終了しました");
    }
    {
        // A stretch of a title and a comment only.
        DrillFixture f;
        f.Open({"a", "/fb", "~T", "t", "/", "*c", "/fb", "b", "/"});
        f.Type("a");
        f.Press();
        EXPECT_EQ(f.View.Header(), sjis::L("【2】"));
        EXPECT_EQ(praised(f), 1);
    }
    {
        // Random mode, a problem without questions.
        DrillFixture f;
        f.Engine.Settings.AutoMode = 2;
        f.Open({"~T", "t", "/"});
        ASSERT_EQ(f.View.Messages.size(), 1u);
        EXPECT_EQ(f.Msg(), "すべての問題を終了しました");
    }
}

TEST(Sequence, TitleRedrawnAfterExplanationAndQuestionBeforeTitle) {
    DrillFixture f;
    f.Open({"q0", "zero", "/", "~T", "tt", "/", "&e", "ee", "/", "a", "qa", "/"});
    EXPECT_EQ(f.Engine.TextTop, 0);
    EXPECT_EQ(f.View.Lines[0], sjis::L("【1】"));
    EXPECT_EQ(f.View.Lines[2], "zero");
    EXPECT_EQ(f.View.Colors[2], drillcolor::Lime);
    f.Type("q0");
    f.Press();
    EXPECT_EQ(f.View.Lines[0], "ee");
    EXPECT_EQ(sjis::ToUtf8(f.View.Caption), "次に進む");
    f.Press();
    EXPECT_EQ(f.View.Lines[0], "tt");
    EXPECT_EQ(f.View.Colors[0], drillcolor::White);
    EXPECT_EQ(f.View.Lines[1], sjis::L("【2】"));
    EXPECT_EQ(f.View.Lines[3], "qa");
}

TEST(Sequence, TestModeScores) {
    struct Case {
        std::vector<std::string> answers;
        std::string message;
        std::string sound;
    };
    std::vector<Case> cases = {
        {{"a", "b", "c"}, " すご～～い！\n\n　  １００点\n\n  ＼(^o^)／", "sugoi.wav"},
        {{"a", "b", "x"}, "あなたの得点は、\n\n66点\n\n  　　　 です。", "futu.wav"},
        {{"x", "x", "x"}, "次回はがんばりましょう\n\n        ０点\n\n      p(- -)q", "dame.wav"},
    };
    for (const auto& c : cases) {
        DrillFixture f;
        f.Open({"mode test", "a", "/fb", "b", "/", "c", "/"});
        for (const auto& a : c.answers) {
            f.Type(a);
            f.Press();
        }
        EXPECT_TRUE(f.View.Dialogs.empty());  // no feedback in a test
        EXPECT_EQ(f.Msg(), c.message);
        EXPECT_EQ(f.View.Sounds.back(), c.sound);
    }
}

TEST(Sequence, RandomOrderAndItsReview) {
    DrillFixture f;
    std::vector<std::string> lines = {"mode random"};
    for (int i = 1; i <= 6; ++i) lines.insert(lines.end(), {"a" + std::to_string(i), "/"});
    f.Open(lines);
    ASSERT_EQ(f.Engine.RandomCount, 6);
    std::set<int> seen(f.Engine.RandomOrder.begin(), f.Engine.RandomOrder.begin() + 6);
    EXPECT_EQ(seen, (std::set<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(f.Engine.RandomOrder[6], -1);
    std::vector<int> wrong;
    for (int pos = 0; pos < 6; ++pos) {
        EXPECT_EQ(f.View.Header(), sjis::L(("【" + std::to_string(pos + 1) + "】").c_str()));
        int q = f.Engine.RandomOrder[pos];
        if (pos % 2) {
            wrong.push_back(pos);
            f.Type("x");
            f.Press();
            f.Engine.K4Click();
        } else {
            f.Type("a" + std::to_string(q + 1));
            f.Press();
        }
    }
    ASSERT_EQ(f.View.Dialogs.size(), 1u);
    EXPECT_EQ(sjis::ToUtf8(f.View.Dialogs[0].Labels[1]), "6  問中  3  問 正解でした。");
    for (int pos : wrong) {
        EXPECT_EQ(f.Engine.QuestionIndex, pos);
        f.Type("a" + std::to_string(f.Engine.RandomOrder[pos] + 1));
        f.Press();
    }
    EXPECT_EQ(f.Msg(1), "6 題 全問正解になりました。");
    EXPECT_EQ(f.Msg(), "すべての問題を終了しました");
}

TEST(Sequence, RandomModeWith101Questions) {
    DrillFixture f;
    std::vector<std::string> lines = {"mode random"};
    for (int i = 0; i < 101; ++i) lines.insert(lines.end(), {"a", "/"});
    f.Open(lines);
    EXPECT_EQ(f.Engine.RandomCount, 101);
    EXPECT_EQ(f.Engine.RandomOrder[101], -1);
    for (int i = 0; i < 101; ++i) {
        f.Type("a");
        f.Press();
    }
    EXPECT_FALSE(f.View.Closed);
    EXPECT_EQ(f.Msg(), "すべての問題を終了しました");
}

TEST(Sequence, PassRestartAndGauge) {
    DrillFixture f;
    f.Open({"a", "/", "b", "/"});
    f.View.YesNoAnswers = {false};
    f.Engine.K4Click();
    EXPECT_EQ(sjis::ToUtf8(f.View.Messages.back()), "この問題をパスしますか？");
    EXPECT_EQ(f.View.Header(), sjis::L("【1】"));
    EXPECT_EQ(f.Engine.MistakeCount, 0);
    f.Type("a");
    f.Press();
    EXPECT_EQ(f.View.Gauge, 50);
    EXPECT_EQ(f.View.Status[3], "1/2");
    f.View.YesNoAnswers = {true};
    f.Engine.K1Click();
    EXPECT_EQ(f.Msg(), "最初にもどってもいいですか？(成績は初期化されます）");
    EXPECT_EQ(f.Engine.BlockPos, 0);
    EXPECT_EQ(f.Engine.CorrectCount, 0);
    f.Engine.K4Click();  // starts again
    EXPECT_EQ(f.View.Header(), sjis::L("【1】"));

    DrillFixture t;
    t.Open({"mode test", "a", "/"});
    size_t before = t.View.Messages.size();
    t.Engine.K1Click();  // refused silently in a test
    EXPECT_EQ(t.View.Messages.size(), before);

    DrillFixture e;
    e.Open({"&only", "text", "/"});
    EXPECT_EQ(e.View.Gauge, 0);  // no questions: no division by zero
    EXPECT_EQ(e.View.Status[3], "0/0");
}

TEST(Sequence, PassAfterAnAnswerCountsNothingMore) {
    // A question is counted once.  The start-and-next command after a right
    // answer only moves on: the question is answered, and counting it would
    // send an all-right stretch into a review with nothing to redo.  After
    // a wrong answer the mistake is already counted: the pass adds nothing,
    // and the review still asks the question again.
    DrillFixture w;
    w.Open({"a", "/", "b", "/"});
    w.Type("x");
    w.Engine.K4Click();
    EXPECT_EQ(w.View.Header(), sjis::L("【2】"));
    EXPECT_EQ(w.Engine.MistakeCount, 1);  // the wrong try alone
    w.Type("b");
    w.Press();
    ASSERT_EQ(w.View.Dialogs.size(), 1u);  // the review of question 1
    EXPECT_EQ(w.View.Header(), sjis::L("【1】"));
    // A pass of a question shown, not yet answered, is a mistake.
    DrillFixture p;
    p.Open({"a", "/", "b", "/", "c", "/"});
    p.Engine.K4Click();
    EXPECT_EQ(p.Engine.MistakeCount, 1);
    p.Engine.K4Click();  // the next one: a mistake of its own
    EXPECT_EQ(p.Engine.MistakeCount, 2);

    DrillFixture f;
    f.Open({"a", "/", "b", "/"});
    f.Type("a");
    f.Engine.K4Click();
    EXPECT_EQ(sjis::ToUtf8(f.View.Messages.back()), "この問題をパスしますか？");
    EXPECT_EQ(f.View.Header(), sjis::L("【2】"));
    EXPECT_EQ(f.Engine.MistakeCount, 0);
    f.Type("b");
    f.Press();
    EXPECT_TRUE(f.View.Dialogs.empty());  // no review of a section answered all right
    EXPECT_EQ(f.Msg(1), "このセクションは  2 題 全問正解になりました。");

    DrillFixture t;
    t.Open({"mode test", "a", "/", "b", "/"});
    t.Type("a");
    t.Engine.K4Click();
    t.Type("b");
    t.Engine.K4Click();
    EXPECT_EQ(t.Msg(), " すご～～い！\n\n　  １００点\n\n  ＼(^o^)／");
}

// The answer box takes the answer at every step that opens a question,
// also when the last answer had closed it.
TEST(Sequence, EveryStepOpensTheAnswerBox) {
    DrillFixture f;
    const std::vector<std::string> lines = {"a", "/", "b", "/"};
    f.Open(lines);
    f.Type("a");
    ASSERT_EQ(f.Engine.Button1Caption, msg::CaptionNext());
    ASSERT_FALSE(f.View.AnswerEnabled);
    f.Open(lines);  // opened again while the box was closed
    EXPECT_EQ(f.Engine.Button1Caption, msg::CaptionAnswer());
    EXPECT_TRUE(f.View.AnswerEnabled);
    EXPECT_TRUE(f.Engine.Edit1Enabled);
    f.Type("x");
    ASSERT_EQ(f.Engine.Button1Caption, msg::CaptionAgain());
    ASSERT_FALSE(f.View.AnswerEnabled);
    f.Engine.K1Click();  // restart, then start
    f.Engine.K4Click();
    EXPECT_EQ(f.View.Header(), sjis::L("【1】"));
    EXPECT_EQ(f.Engine.Button1Caption, msg::CaptionAnswer());
    EXPECT_TRUE(f.View.AnswerEnabled);
    f.Type("a");  // the first Enter judges the answer
    EXPECT_EQ(f.Engine.CorrectCount, 1);
}
