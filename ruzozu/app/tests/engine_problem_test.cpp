#include "recorder.h"

#include <gtest/gtest.h>

namespace {

std::string Kind(const TDrillEngine& e, int i) { return sjis::ToUtf8(e.BlockKinds[i]); }

}  // namespace

TEST(ProblemFile, TailCleaning) {
    DrillFixture f;
    // 0x1A alone on the last line, then the last block without its "/".
    textfile::WriteFileAtomic(f.Dir / "a.qzb", "~T\r\ntitle\r\n\r\n\x1A");
    f.Engine.LoadProblemFile(f.Dir / "a.qzb");
    ASSERT_EQ(f.Engine.ProblemLines.size(), 3u);
    EXPECT_EQ(f.Engine.ProblemLines.back(), "/");
    EXPECT_EQ(f.Engine.BlockCount, 1);

    // A last line ending with 0x1A loses it; "/FB " in capitals is kept.
    DrillFixture g;
    textfile::WriteFileAtomic(g.Dir / "b.qzb", "&E\r\ntext\r\n/FB \x1A");
    g.Engine.LoadProblemFile(g.Dir / "b.qzb");
    ASSERT_EQ(g.Engine.ProblemLines.size(), 3u);
    EXPECT_EQ(g.Engine.ProblemLines.back(), "/FB ");
    EXPECT_EQ(Kind(g.Engine, 0), "説明");
    EXPECT_EQ(Kind(g.Engine, 1), "FeedBack");
    EXPECT_EQ(g.Engine.BlockCount, 2);
}

TEST(ProblemFile, BlockKindsSectionsAndSubBlocks) {
    DrillFixture f;
    f.Open({"", "MODE random TEST", "q0", "before any title", "/", "~Title", "t", "/fb",
            "&expl", "e", "/", "*comment", "/", "ans1", "text", "@hint", "/ not an end", "@/",
            "@mess", "m", "@/", "/", "mode x", "/fb"});
    const auto& e = f.Engine;
    EXPECT_TRUE(e.IsTest);
    EXPECT_TRUE(e.IsRandom);
    std::vector<std::string> kinds;
    for (int i = 0; i <= e.BlockCount; ++i) kinds.push_back(Kind(e, i));
    EXPECT_EQ(kinds, (std::vector<std::string>{"【Q】1", "表題", "FeedBack", "説明", "コメント", "【Q】2",
                                               "hint", "message", "【Q】3", "FeedBack", "FeedBack"}));
    EXPECT_EQ(e.QuestionCount, 3);
    EXPECT_EQ(e.Blocks[0].Section, -1);
    EXPECT_EQ(e.Blocks[1].Section, 1);
    EXPECT_EQ(e.Blocks[2].First, 7);  // the "/fb" line
    EXPECT_EQ(e.Blocks[3].Section, 1);  // an explanation after a title is in its section
    EXPECT_EQ(e.Blocks[6].First, 15);
    EXPECT_EQ(e.Blocks[8].Section, 1);
    EXPECT_EQ(e.Blocks[10].First, static_cast<int>(e.ProblemLines.size()));
    EXPECT_EQ(e.Blocks[10].Section, -1);
    EXPECT_EQ(e.QuestionBlocks[1], 5);
}

TEST(ProblemFile, ModeOverriddenByForcedMode) {
    DrillFixture f;
    f.Engine.Settings.AutoMode = 0;
    f.Engine.Settings.AllowModeChange = true;
    f.Open({"mode test", "a", "/"});
    EXPECT_FALSE(f.Engine.IsTest);
    EXPECT_FALSE(f.Engine.IsRandom);
    for (const auto& l : f.View.Log) EXPECT_NE(l, "ModeDialog");
}

TEST(ProblemFile, ModeDialogOnlyWhenAllowedAndNotFixed) {
    DrillFixture f;
    f.Engine.Settings.AllowModeChange = true;
    f.View.OnModeDialog = [&] { f.Engine.ChosenMode = 1; };
    f.Open({"a", "/"});
    EXPECT_TRUE(f.Engine.IsTest);
    EXPECT_EQ(sjis::ToUtf8(f.View.Status[1]), "テスト");
    EXPECT_EQ(sjis::ToUtf8(f.View.Status[0]), "【問題ファイル】 q1");
}

TEST(ProblemFile, MissingEndsLeaveNoProblemAndMakeNoStep) {
    for (auto lines : std::vector<std::vector<std::string>>{
             {"~T", "text", "/", "a", "@hint", "h", "/"},  // sub-block without "@/"
             {"~T", "text", "/x"}}) {                       // "/x" ends it; the added "/" opens a question
        DrillFixture f;
        f.Open(lines);
        EXPECT_TRUE(f.Engine.ProblemLines.empty());
        EXPECT_EQ(f.Engine.BlockCount, 0);
        EXPECT_EQ(f.Engine.BlockPos, 0);
        ASSERT_FALSE(f.View.Sounds.empty());
        EXPECT_EQ(f.View.Sounds.back(), "out.wav");
        EXPECT_TRUE(f.ResultFile().empty());  // no header, no step
    }
    DrillFixture f;
    f.Open({"~T", "text", "/", "a", "@hint", "h", "/"});
    EXPECT_EQ(f.Msg(), "サブブロック終了の[@/]が見つかりません ！");
    // The next start command does nothing with the failed problem.
    f.Engine.K4Click();
    EXPECT_EQ(f.Engine.BlockPos, 0);
}

TEST(ProblemFile, ARefusedFileLeavesNothingOfTheOneBefore) {
    const std::vector<std::vector<std::string>> refused = {
        {"a", "@hint", "h", "/"},  // a missing end line
        {"", " "},                 // no block
    };
    for (const auto& bad : refused) {
        DrillFixture f;
        f.Open({"mode test random", "a", "/", "b", "/"});
        ASSERT_EQ(f.Engine.BaseName, "q1");
        ASSERT_TRUE(f.Engine.IsTest && f.Engine.IsRandom && f.Engine.ModeFixed);
        ASSERT_FALSE(f.ResultFile().empty());
        textfile::WriteFileAtomic(f.Dir / "score/PC01.stp", "");  // a failed write's marker
        f.Type("x");
        f.Engine.LoadProblemFile(f.Write(bad, "other.qzb"));
        EXPECT_TRUE(f.Engine.ProblemLines.empty());
        EXPECT_EQ(f.Engine.BaseName, "");
        EXPECT_EQ(sjis::ToUtf8(f.View.Status[0]), "【問題ファイル】 ");
        EXPECT_EQ(f.View.Status[1], "");
        EXPECT_EQ(f.View.Status[2], "");
        EXPECT_EQ(f.View.Status[3], "");
        EXPECT_FALSE(f.Engine.IsTest || f.Engine.IsRandom || f.Engine.ModeFixed);
        EXPECT_FALSE(textfile::FileExists(f.Dir / "score/PC01.dat"));
        EXPECT_FALSE(textfile::FileExists(f.Dir / "score/PC01.stp"));
        EXPECT_EQ(sjis::ToUtf8(f.View.Caption), "解答");
        EXPECT_EQ(f.View.AnswerBox, "");
        EXPECT_TRUE(f.View.AnswerEnabled);
        EXPECT_TRUE(f.Engine.Answers[1].empty());
        // The next opening of a good file starts as the first one does.
        f.Open({"a", "/"});
        EXPECT_EQ(f.Engine.BaseName, "q1");
        EXPECT_FALSE(f.Engine.IsTest);
        EXPECT_EQ(f.View.Status[1], "");
        EXPECT_FALSE(f.ResultFile().empty());
    }
}

TEST(ProblemFile, LimitsAreRefused) {
    DrillFixture f;
    std::vector<std::string> lines;
    for (int i = 0; i < 101; ++i) {
        lines.push_back("a");
        lines.push_back("/");
    }
    f.Open(lines);
    EXPECT_EQ(f.Engine.QuestionCount, 101);  // 101 questions fit
    lines.push_back("a");
    lines.push_back("/");
    f.Open(lines);
    EXPECT_TRUE(f.Engine.ProblemLines.empty());
    EXPECT_EQ(f.Engine.QuestionCount, 0);

    DrillFixture g;
    std::vector<std::string> many;
    for (int i = 0; i < 500; ++i) many.insert(many.end(), {"*c", "/"});
    g.Open(many);  // 500 entries and the final one
    EXPECT_EQ(g.Engine.BlockCount, 500);
    many.insert(many.end(), {"*c", "/"});
    g.Open(many);
    EXPECT_TRUE(g.Engine.ProblemLines.empty());
    EXPECT_EQ(g.Engine.BlockCount, 0);

    DrillFixture h;
    h.Open({"", "  ", ""});
    EXPECT_TRUE(h.Engine.ProblemLines.empty());
    EXPECT_FALSE(h.View.Messages.empty());
    DrillFixture u;
    u.Engine.LoadProblemFile(u.Dir / "missing.qzb");
    EXPECT_EQ(u.Msg(), "問題ファイルを読み込めません。");
}

// Shapes that cost by their size: blank lines only, more lines than a
// problem holds, one enormous line.  Each is refused before it is split,
// refused as soon as the split passes the bound, or shown cut.
TEST(ProblemFile, ShapesAreBoundedByWhatIsUsed) {
    DrillFixture f;
    f.Open({"~T", "title", "/"});
    ASSERT_EQ(f.Engine.BlockCount, 1);
    // 8 MB of line ends and blanks: no block, nothing kept of the file or
    // of the problem before.
    f.OpenBytes(std::string(4 << 20, '\n') + std::string(2 << 20, '\r') + " \t\x1A");
    EXPECT_EQ(f.Msg(), "この問題ファイルには、ブロックがありません。");
    EXPECT_TRUE(f.Engine.ProblemLines.empty());
    EXPECT_EQ(f.Engine.ProblemLines.capacity(), 0u);
    EXPECT_EQ(f.Engine.BlockCount, 0);

    // A title of as many lines as a file may hold opens; one line more is
    // refused whole.
    std::string text = "~T\r\n";
    for (size_t i = 2; i < kMaxProblemLines; ++i) text += "x\r\n";
    text += "/\r\n";
    f.OpenBytes(text);
    ASSERT_EQ(f.Engine.ProblemLines.size(), kMaxProblemLines);
    EXPECT_EQ(f.Engine.BlockCount, 1);
    f.OpenBytes("x\r\n" + text);
    EXPECT_EQ(f.Msg(), "行が多すぎます。\n1つの問題ファイルに入る行は100000行までです。");
    EXPECT_TRUE(f.Engine.ProblemLines.empty());
    EXPECT_EQ(f.Engine.ProblemLines.capacity(), 0u);
    EXPECT_EQ(f.Engine.BlockCount, 0);
    // Millions of line ends after a good problem are refused the same way.
    f.OpenBytes("~T\r\ntitle\r\n/\r\n" + std::string(4 << 20, '\n') + "*c\r\n/\r\n");
    EXPECT_EQ(f.Msg(), "行が多すぎます。\n1つの問題ファイルに入る行は100000行までです。");
    EXPECT_TRUE(f.Engine.ProblemLines.empty());

    // A title line of 4 MB of double-byte characters, and the same in a
    // hint: the problem keeps the line whole, what is shown is cut at a
    // character's end.
    const std::string a = sjis::L("あ");
    std::string wide;
    for (int i = 0; i < (2 << 20); ++i) wide += a;
    f.OpenBytes("~T\r\n" + wide + "\r\n/\r\nq\r\n@hint\r\n" + wide + "\r\n@/\r\n/\r\n");
    ASSERT_EQ(f.Engine.BlockCount, 3);
    EXPECT_EQ(f.Engine.ProblemLines[1], wide);
    const std::string& shown = f.View.Lines[0];
    EXPECT_GE(shown.size(), 256u);
    EXPECT_LE(shown.size(), 512u);
    EXPECT_EQ(shown.size() % 2, 0u);
    EXPECT_EQ(shown, wide.substr(0, shown.size()));
}

TEST(BlockDisplay, LineCommandsAndTextLines) {
    DrillFixture f;
    std::vector<std::string> lines = {"&expl", "CLS ", "clsx", "wav", "wav s1", "exe", "exe prog a b",
                                      "bmp pic 1 2", "bmp pic 1", "b", "mute", "avi v 1 2 3 4",
                                      "mid m", "cls16"};
    for (int i = 0; i < 25; ++i) lines.push_back("line" + std::to_string(i));
    lines.push_back("jpg last 5 6 100");
    lines.push_back("/");
    f.Open(lines);
    // Text lines: "clsx", "wav", "b", then line0..; 22 labels in all.
    EXPECT_EQ(f.View.Lines[0], "clsx");
    EXPECT_EQ(f.View.Lines[1], "wav");
    EXPECT_EQ(f.View.Lines[2], "b");
    EXPECT_EQ(f.View.Lines[3], "line0");
    EXPECT_EQ(f.View.Lines[21], "line18");
    EXPECT_EQ(f.View.Colors[0], drillcolor::Aqua);
    auto has = [&](const std::string& s) {
        return std::find(f.View.Log.begin(), f.View.Log.end(), s) != f.View.Log.end();
    };
    EXPECT_TRUE(has("Audio:wav s1"));
    EXPECT_TRUE(has("Run:prog|a b     "));
    EXPECT_TRUE(has("ShowPicture:4 pic.bmp 1 34 -1"));
    EXPECT_TRUE(has("StopMidi"));
    EXPECT_TRUE(has("Video:avi v 1 2 3 4"));
    EXPECT_TRUE(has("Midi:mid m"));
    // Commands below the 22nd label still run; the short picture line only
    // becomes the last picture.
    EXPECT_TRUE(has("ShowPicture:3 last.jpg 5 38 100"));
    EXPECT_EQ(f.Engine.LastPicture, "jpg last 5 6 100");
}

TEST(BlockDisplay, AnEndLineWithBlanksBeforeItEndsTheBlockOnScreenToo) {
    DrillFixture f;
    f.Open({"~T", "title", "  /", "", "", "a", "question", "\t/ ", "", "", "b", "second", " /FB"});
    ASSERT_EQ(f.Engine.BlockCount, 4);  // title, two questions, the feedback point
    EXPECT_EQ(sjis::ToUtf8(f.Engine.BlockKinds[3]), "FeedBack");
    EXPECT_EQ(f.View.Lines[0], "title");
    EXPECT_EQ(f.Engine.TextTop, 1);
    EXPECT_EQ(f.View.Header(), sjis::L("【1】"));
    EXPECT_EQ(f.View.Lines[1], sjis::L("【1】"));
    EXPECT_EQ(f.View.Lines[3], "question");
    for (int i = 4; i < kTextLines; ++i) EXPECT_EQ(f.View.Lines[i], "") << i;
    f.Type("a");
    f.Press();
    EXPECT_EQ(f.View.Lines[1], sjis::L("【2】"));
    EXPECT_EQ(f.View.Lines[3], "second");
    for (int i = 4; i < kTextLines; ++i) EXPECT_EQ(f.View.Lines[i], "") << i;
}

TEST(BlockDisplay, PictureSlotsAndBadNumbers) {
    DrillFixture f;
    std::vector<std::string> lines = {"&e"};
    for (int i = 0; i < 6; ++i) lines.push_back("png p" + std::to_string(i) + " 0 0");
    lines.push_back("png bad x 0");
    // The main window places a picture 32 pixels lower: a top at the
    // integer limit has no place there.
    lines.push_back("png low 0 2147483647");
    lines.push_back("/");
    f.Open(lines);
    std::vector<std::string> shows;
    for (const auto& l : f.View.Log)
        if (l.rfind("ShowPicture", 0) == 0) shows.push_back(l.substr(12, 1));
    EXPECT_EQ(shows, (std::vector<std::string>{"4", "3", "2", "1", "0", "0"}));
    EXPECT_EQ(f.Msg(), "この画像は、表示できません。");
    EXPECT_EQ(f.Msg(1), "この画像は、表示できません。");
    EXPECT_FALSE(f.View.Closed);  // the step went on
}

TEST(Tokens, SplitRule) {
    EXPECT_EQ(SplitTokens("BMP  Pic   1 2", 9, true), (std::vector<std::string>{"bmp", "pic", "1", "2"}));
    EXPECT_EQ(SplitTokens("wav a b c", 2, false), (std::vector<std::string>{"wav", "a"}));
    EXPECT_TRUE(SplitTokens("   ", 9, false).empty());
}
