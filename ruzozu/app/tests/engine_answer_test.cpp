#include "recorder.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

// Parses an answer line (UTF-8) and returns the filled slots as UTF-8.
std::vector<std::string> Slots(DrillFixture& f, const std::string& line) {
    f.Engine.ParseAnswerLine(sjis::L(line.c_str()));
    std::vector<std::string> out;
    for (int s = 1; s <= kAnswerSlots; ++s) out.push_back(sjis::ToUtf8(f.Engine.Answers[s]));
    while (!out.empty() && out.back().empty()) out.pop_back();
    return out;
}

std::vector<std::string> Buttons(DrillFixture& f) {
    std::vector<std::string> out;
    for (int j = 0; j < f.Engine.AnsBtnTag; ++j) out.push_back(sjis::ToUtf8(f.Engine.AnsBtnCaptions[j]));
    return out;
}

using V = std::vector<std::string>;

}  // namespace

TEST(AnswerLine, ButtonRanges) {
    DrillFixture f;
    EXPECT_EQ(Slots(f, "btn 2 1&5"), V{"2"});
    V b = Buttons(f);
    std::sort(b.begin(), b.end());
    EXPECT_EQ(b, (V{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(f.Engine.ButtonMode, 2);

    EXPECT_EQ(Slots(f, "btns 3 a&e"), V{"c"});
    EXPECT_EQ(Buttons(f), (V{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(f.Engine.ButtonMode, 1);

    Slots(f, "btns 1 あ&こ");
    EXPECT_EQ(Buttons(f), (V{"あ", "い", "う", "え", "お", "か", "き", "く", "け", "こ"}));
    Slots(f, "btns 1 あ&さ");
    EXPECT_EQ(Buttons(f), V{"あ&さ"});
    Slots(f, "btns 1 ァ&オ");  // オ comes before ァ in the kana table
    EXPECT_EQ(Buttons(f), V{"ァ"});
    Slots(f, "btns 2 １&３");  // full-width digits step by code
    EXPECT_EQ(Buttons(f), (V{"１", "２", "３"}));
    Slots(f, "btns 1 z&a");
    EXPECT_EQ(Buttons(f), V{"z"});
    // Large integers are stepped without overflow.
    Slots(f, "btns 1 2147483645&2147483647");
    EXPECT_EQ(Buttons(f), (V{"2147483645", "2147483646", "2147483647"}));
    Slots(f, "btns 1 -3&3");  // product not positive: one choice
    EXPECT_EQ(Buttons(f), V{"-3&3"});
}

TEST(AnswerLine, NumbersChoicesAndHalfButtons) {
    DrillFixture f;
    Slots(f, "btns 0 x;y");
    EXPECT_EQ(Buttons(f), (V{"0 x", "y"}));
    EXPECT_EQ(sjis::ToUtf8(f.Engine.Answers[1]), "0 x");
    Slots(f, "btns 11 x;y");
    EXPECT_EQ(Buttons(f), (V{"11 x", "y"}));
    Slots(f, "BTNS x;y;z");
    EXPECT_EQ(Buttons(f), (V{"x", "y", "z"}));
    EXPECT_EQ(sjis::ToUtf8(f.Engine.Answers[1]), "x");
    EXPECT_EQ(Slots(f, "btns 5 x;y"), V{});  // no button is right
    // Half buttons: two columns of width 147.
    Slots(f, "hbtns 1 a;b;c;d;e;f;g");
    EXPECT_TRUE(f.Engine.HalfButtons);
    EXPECT_EQ(f.View.ButtonGeometry[0], (std::array<int, 4>{20, 230, 147, 30}));
    EXPECT_EQ(f.View.ButtonGeometry[6], (std::array<int, 4>{173, 265, 147, 30}));
    EXPECT_TRUE(f.View.ButtonVisible[6]);
    EXPECT_FALSE(f.View.ButtonVisible[7]);
    Slots(f, "btn 1 a;b;c;d;e;f");
    EXPECT_EQ(f.View.ButtonGeometry[5][0], 20 + 294 + 6);
}

TEST(AnswerLine, TypedAlternatives) {
    DrillFixture f;
    EXPECT_EQ(Slots(f, "ねこ; cat ;Cat"), (V{"ねこ", "cat", "Cat"}));
    EXPECT_EQ(f.Engine.AnsBtnTag, 0);
    EXPECT_EQ(Slots(f, "1;2;3;4;5;6;7;8;9;10;11;12").size(), 10u);
    std::string longAnswer(100, 'x');
    EXPECT_EQ(Slots(f, longAnswer)[0].size(), 80u);
}

TEST(Answering, JudgingRules) {
    DrillFixture f;
    f.Open({"ねこ; cat ;Cat", "q", "/", "x", "/"});
    EXPECT_EQ(f.View.Header(), sjis::L("【1】"));
    f.Type("  CAT ");
    EXPECT_EQ(sjis::ToUtf8(f.View.Caption), "もう一回");
    EXPECT_TRUE(f.View.BatuShown);
    EXPECT_FALSE(f.View.AnswerEnabled);
    f.Press();  // a new try
    EXPECT_EQ(sjis::ToUtf8(f.View.Caption), "解答");
    EXPECT_FALSE(f.View.BatuShown);
    f.Type("   ");  // blanks only: never right
    EXPECT_EQ(sjis::ToUtf8(f.View.Caption), "もう一回");
    f.Press();
    f.Type("  Cat ");
    EXPECT_EQ(sjis::ToUtf8(f.View.Caption), "次に進む");
    EXPECT_EQ(f.View.Sounds.back(), "maru.wav");
    EXPECT_EQ(f.Engine.CorrectCount, 0);  // not at the first try
    EXPECT_EQ(f.Engine.MistakeCount, 1);
    EXPECT_EQ(f.Engine.SectionAsked, 1);
    f.Press();
    EXPECT_EQ(f.View.Header(), sjis::L("【2】"));
}

TEST(Answering, SpacesLongAnswersAndHint) {
    DrillFixture f;
    std::string a80(80, 'a');
    f.Open({"a b", "/", a80, "/", "z", "/"});
    f.Type(" a    b ");
    EXPECT_EQ(f.Engine.CorrectCount, 1);
    EXPECT_EQ(f.Engine.Results[0], sjis::L("○"));
    {
        // An answer slot follows the box's rule too: a slot holding a run
        // of blanks can be answered at all (the box never holds one).
        DrillFixture g;
        g.Open({"ねこ  ねこ;x", "/", "y", "/"});
        g.Type("ねこ  ねこ");
        EXPECT_EQ(g.Engine.CorrectCount, 1);
        g.Press();
        g.Type("y  y");  // a blank that the slot does not hold stays wrong
        EXPECT_EQ(g.Engine.CorrectCount, 1);
    }
    f.Press();
    f.Type(a80 + "bbb");  // compared by its first 80 bytes
    EXPECT_EQ(f.Engine.CorrectCount, 2);
    f.Press();
    f.Engine.SpeedButton3Click();  // no hint: the answer is shown
    ASSERT_EQ(f.View.Dialogs.size(), 1u);
    EXPECT_EQ(sjis::ToUtf8(f.View.Dialogs[0].Caption), "解答");
    EXPECT_EQ(f.View.Dialogs[0].Answer, "z");
    EXPECT_EQ(f.View.Dialogs[0].Width, 331);
    f.Type("z");  // right after the answer was shown: a mistake, no mark
    EXPECT_EQ(f.Engine.CorrectCount, 2);
    EXPECT_EQ(f.Engine.MistakeCount, 1);
    EXPECT_TRUE(f.Engine.Results[2].empty());
}

TEST(Answering, FifthWrongTryShowsTheAnswerAndMovesOn) {
    DrillFixture f;
    f.Open({"right;other", "/", "b", "/"});
    for (int i = 0; i < 4; ++i) {
        f.Type("no");
        EXPECT_EQ(sjis::ToUtf8(f.View.Caption), "もう一回");
        f.Press();
    }
    f.Type("no");
    EXPECT_EQ(f.Msg(), "正解は、\n\n   right　です。\n\n今度はがんばってね！");
    EXPECT_EQ(f.View.Sounds.back(), "out.wav");
    EXPECT_EQ(f.View.Header(), sjis::L("【2】"));  // moved on at once
    EXPECT_EQ(f.Engine.MistakeCount, 1);
}

TEST(Answering, TestModeHasOneTry) {
    DrillFixture f;
    f.Open({"mode test", "a", "/", "b", "/"});
    f.Type("x");
    EXPECT_EQ(sjis::ToUtf8(f.View.Caption), "次に進む");
    f.Press();
    EXPECT_EQ(f.View.Header(), sjis::L("【2】"));
    f.Engine.SpeedButton3Click();
    EXPECT_EQ(f.Msg(), "ただいま、テスト中です！！");
    EXPECT_EQ(f.View.Sounds.back(), "out.wav");
    EXPECT_TRUE(f.View.Dialogs.empty());
}

TEST(Answering, ButtonsAndMessageSubBlock) {
    DrillFixture f;
    f.Open({"btns 2 red;blue", "which?", "@mess", "well done", "wav yay", "@/", "/", "z", "/"});
    ASSERT_EQ(f.Engine.AnsBtnTag, 2);
    f.Engine.AnsBtnClick(1);  // "blue", the right one
    ASSERT_EQ(f.View.Dialogs.size(), 1u);
    EXPECT_EQ(sjis::ToUtf8(f.View.Dialogs[0].Caption), "正答メッセージ");
    EXPECT_EQ(f.View.Dialogs[0].Labels[0], "well done");
    EXPECT_EQ(f.View.Log.back().rfind("MessageSound:wav yay", 0), 0u);
    EXPECT_EQ(f.View.Header(), sjis::L("【2】"));  // "次へ" goes on at once
    EXPECT_EQ(f.Engine.CorrectCount, 1);
}

TEST(Answering, HintDialogFiveLinesAndSoundOnly) {
    DrillFixture f;
    f.Open({"a", "@hint", "1", "2", "wav s", "4", "5", "6", "7", "@/", "/",
            "b", "@hint", "wav only", "@/", "/"});
    f.Engine.SpeedButton3Click();
    ASSERT_EQ(f.View.Dialogs.size(), 1u);
    const auto& d = f.View.Dialogs[0];
    EXPECT_EQ(sjis::ToUtf8(d.Caption), "ヒント");
    EXPECT_EQ(d.Labels, (std::array<std::string, 5>{"1", "2", "", "4", "5"}));
    EXPECT_TRUE(f.Engine.HintSeen);
    f.Type("a");
    EXPECT_EQ(f.Engine.CorrectCount, 0);
    f.Press();
    f.Engine.SpeedButton3Click();
    ASSERT_EQ(f.View.Dialogs.size(), 2u);
    EXPECT_EQ(f.View.Dialogs[1].Width, 0);
    EXPECT_EQ(f.View.Dialogs[1].Height, 0);
}

TEST(Answering, TextTypedAtAnExplanationOnlyMovesOn) {
    // Whatever stands in the answer box while an explanation is shown is no
    // answer: the previous question's answers must not judge it.
    for (std::string typed : {"a", "wrong"}) {
        DrillFixture f;
        f.Open({"a", "@mess", "well done", "@/", "/", "&e", "text", "/", "b", "/"});
        f.Type("a");  // the message sub-block moves on at once
        ASSERT_EQ(f.View.Lines[0], "text");
        const size_t dialogs = f.View.Dialogs.size();
        f.Type(typed);
        EXPECT_EQ(f.View.Header(), sjis::L("【2】"));
        EXPECT_EQ(sjis::ToUtf8(f.View.Caption), "解答");
        EXPECT_EQ(f.Engine.CorrectCount, 1);
        EXPECT_EQ(f.Engine.MistakeCount, 0);
        EXPECT_EQ(f.Engine.SectionAsked, 1);
        EXPECT_EQ(f.View.Dialogs.size(), dialogs);  // no message of question 1 again
        f.Type("b");
        f.Press();
        EXPECT_EQ(f.Msg(1), "このセクションは  2 題 全問正解になりました。");
    }
}

// Characters that code page 932 holds under two codes: a problem may carry
// either code, and the window's text gives back the one Unicode maps to.
TEST(Answering, EitherCodeOfATwiceHeldCharacterIsRight) {
    DrillFixture f;
    // NEC row 13 "≒" (87 90; row 2 has it as 81 E0), and the NEC-selected
    // "髙" (EE E0; the IBM extension has it as FB FC).
    f.OpenBytes("btns 1 \x87\x90;x\r\n/\r\n"
                "btn 2 y;\xEE\xE0;z\r\n/\r\n"
                "\x87\x9A\xEE\xE0;\x87\x90\r\n/\r\n"
                "Cat;\x82\x60\r\n/\r\n");
    f.Engine.AnsBtnClick(0);  // the button of 87 90, the right one
    EXPECT_EQ(sjis::ToUtf8(f.View.Caption), "次に進む");
    EXPECT_EQ(f.Engine.CorrectCount, 1);
    EXPECT_EQ(f.View.Sounds.back(), "maru.wav");
    EXPECT_EQ(sjis::ToUtf8(f.View.AnswerBox), "");  // the box is emptied for the next press
    f.Press();
    const auto& c = f.Engine.AnsBtnCaptions;
    const int right = static_cast<int>(std::find(c.begin(), c.begin() + 3, "\xEE\xE0") - c.begin());
    ASSERT_LT(right, 3);
    f.Engine.AnsBtnClick(right);
    EXPECT_EQ(f.Engine.CorrectCount, 2);
    f.Press();
    f.Type("∵髙");  // typed: the window gives 81 E6 FB FC
    EXPECT_EQ(f.Engine.CorrectCount, 3);
    f.Press();
    // Everything else stays byte for byte: small and capital letters, full
    // and half width.
    f.Type("cat");
    EXPECT_EQ(sjis::ToUtf8(f.View.Caption), "もう一回");
    f.Press();
    f.Type("A");  // the slot holds the full-width "Ａ"
    EXPECT_EQ(sjis::ToUtf8(f.View.Caption), "もう一回");
    f.Press();
    f.Type("Ａ");
    EXPECT_EQ(sjis::ToUtf8(f.View.Caption), "次に進む");
    EXPECT_EQ(f.Engine.CorrectCount, 3);
}

TEST(Answering, AButtonIsJudgedByItsOwnCaption) {
    // The box makes runs of blanks one; a caption is judged as it stands,
    // and the slot it came from gets the same rule as a typed answer.
    DrillFixture f;
    f.Open({"btns 1 a  b;c", "/", "a  b", "/"});
    f.Engine.AnsBtnClick(0);
    EXPECT_EQ(f.Engine.CorrectCount, 1);
    f.Press();
    f.Type("a b");
    EXPECT_EQ(f.Engine.CorrectCount, 2);
}

TEST(Answering, AnAnswerWithNoShiftJisFormStaysToBeMended) {
    DrillFixture f;
    f.Open({"cat", "/", "z", "/"});
    f.Type("catö");
    EXPECT_EQ(f.Msg(), "解答に使えない文字が入っています。\n\nその文字を直してから、もう一度「解答」を押してください。");
    EXPECT_EQ(f.View.AnswerBox, "catö");
    EXPECT_TRUE(f.View.AnswerEnabled);
    EXPECT_FALSE(f.View.BatuShown);
    EXPECT_EQ(sjis::ToUtf8(f.View.Caption), "解答");
    EXPECT_EQ(f.Engine.MistakeCount, 0);
    EXPECT_EQ(f.Engine.SectionAsked, 0);
    f.Type("cat");  // mended
    EXPECT_EQ(f.Engine.CorrectCount, 1);
    EXPECT_EQ(f.Engine.Results[0], sjis::L("○"));
}
