#include "messages.h"

#include "input_limits.h"
#include "sjis.h"

#include <string>

// The sources hold the texts in UTF-8; each is converted to Shift-JIS once.
#define MSG(name, text)                          \
    const std::string& name() {                  \
        static const std::string s = sjis::L(text); \
        return s;                                \
    }

namespace msg {

MSG(Maru, "○")
MSG(Batu, "×")
MSG(CaptionAnswer, "解答")
MSG(CaptionNext, "次に進む")
MSG(CaptionGoOn, "次へ")
MSG(CaptionAgain, "もう一回")
MSG(CaptionEnd, "終了")

MSG(KindTitle, "表題")
MSG(KindComment, "コメント")
MSG(KindExplanation, "説明")
MSG(KindQuestion, "【Q】")
MSG(BlockEndMissing, "ブロック終了の[/]が見つかりません！")
MSG(SubBlockEndMissing, "サブブロック終了の[@/]が見つかりません ！")
// The limits are told from the constants the reader keeps to.
#define MSG_LIMIT(name, head, limit, tail)                                                     \
    const std::string& name() {                                                             \
        static const std::string s = sjis::L(head) + std::to_string(limit) + sjis::L(tail); \
        return s;                                                                           \
    }

MSG_LIMIT(TooManyEntries, "ブロックが多すぎます。\n1つの問題ファイルに入るブロックは、ヒントとメッセージを含めて",
          input_limits::kMaxProblemBlocks, "までです。")
MSG_LIMIT(TooManyQuestions, "問題が多すぎます。\n1つの問題ファイルに入る問題は", input_limits::kMaxProblemQuestions,
          "問までです。")
MSG_LIMIT(TooManyLines, "行が多すぎます。\n1つの問題ファイルに入る行は", input_limits::kMaxProblemLines, "行までです。")
MSG(NoBlock, "この問題ファイルには、ブロックがありません。")
MSG(CannotRead, "問題ファイルを読み込めません。")

MSG(RightAnswerIs, "正解は、\n\n   ")
MSG(RightAnswerTail, "　です。\n\n今度はがんばってね！")
MSG(AnswerNoShiftJis, "解答に使えない文字が入っています。\n\nその文字を直してから、もう一度「解答」を押してください。")
MSG(StepError, "エラーが生じました。")
MSG(AllDone, "すべての問題を終了しました")
MSG(Score100, " すご～～い！\n\n　  １００点\n\n  ＼(^o^)／")
MSG(ScoreHead, "あなたの得点は、\n\n")
MSG(ScoreTail, "点\n\n  　　　 です。")
MSG(Score0, "次回はがんばりましょう\n\n        ０点\n\n      p(- -)q")
MSG(SectionAllRightHead, "このセクションは  ")
MSG(SectionAllRightTail, " 題 全問正解になりました。")
MSG(RestartQuestion, "最初にもどってもいいですか？(成績は初期化されます）")
MSG(PassQuestion, "この問題をパスしますか？")
MSG(QuestionHeadOpen, "【")
MSG(QuestionHeadClose, "】")

MSG(FeedbackCaption, "フィードバック")
MSG(FeedbackSection0, "　　　今回、このセクションでは、")
MSG(FeedbackSection2Head, "　　")
MSG(Feedback2Middle, "  問中  ")
MSG(Feedback2Tail, "  問 正解でした。")
MSG(FeedbackSection4, "　　　 間違い直しに入ります。")
MSG(FeedbackRandom0, "今回、この問題では")
MSG(FeedbackRandom3, " 間違い直しに入ります。")

MSG(HintCaption, "ヒント")
MSG(MessageCaption, "正答メッセージ")
MSG(TestInProgress, "ただいま、テスト中です！！")
MSG(PictureCannotShow, "この画像は、表示できません。")

MSG(StatusProblem, "【問題ファイル】 ")
MSG(StatusTest, "テスト")
MSG(StatusRandom, "ランダム")

MSG(SectionProblemFolder, "問題フォルダー")
MSG(KeyFullScreen, "フルスクリーン")
MSG(KeyModeChange, "出題モード変更")
MSG(KeyRosterDir, "名簿Dir")
MSG(KeyAutoMode, "出題モード")
MSG(KeyAutoProblem, "問題")
MSG(YourScore, "Your Score")

MSG(ModeNotSupported, "この機種では、この解像度をサポートしていません。")
std::string MediaMissing(const std::string& name) {
    return sjis::L("指定された ") + name + sjis::L("は、\r\r存在しません。");
}

}  // namespace msg
