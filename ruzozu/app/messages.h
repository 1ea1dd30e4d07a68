// Every text the drill engine shows, in Shift-JIS, in one place.
#pragma once

#include <string>

namespace msg {

// Marks and captions.
const std::string& Maru();            // "○"
const std::string& Batu();            // "×"
const std::string& CaptionAnswer();   // "解答"
const std::string& CaptionNext();     // "次に進む"
const std::string& CaptionGoOn();     // "次へ"
const std::string& CaptionAgain();    // "もう一回"
const std::string& CaptionEnd();      // "終了"

// Block index.
const std::string& KindTitle();       // "表題"
const std::string& KindComment();     // "コメント"
const std::string& KindExplanation(); // "説明"
const std::string& KindQuestion();    // "【Q】"
const std::string& BlockEndMissing();
const std::string& SubBlockEndMissing();
const std::string& TooManyEntries();
const std::string& TooManyQuestions();
const std::string& TooManyLines();
const std::string& NoBlock();
const std::string& CannotRead();

// Answers and steps.
const std::string& RightAnswerIs();   // "正解は、\n\n   "
const std::string& RightAnswerTail(); // "　です。\n\n今度はがんばってね！"
const std::string& AnswerNoShiftJis(); // an answer holding a character that cannot be judged
const std::string& StepError();
const std::string& AllDone();
const std::string& Score100();
const std::string& ScoreHead();
const std::string& ScoreTail();
const std::string& Score0();
const std::string& SectionAllRightHead();  // "このセクションは  "
const std::string& SectionAllRightTail();  // " 題 全問正解になりました。"
const std::string& RestartQuestion();
const std::string& PassQuestion();
const std::string& QuestionHeadOpen();  // "【"
const std::string& QuestionHeadClose(); // "】"

// Feedback dialog.
const std::string& FeedbackCaption();
const std::string& FeedbackSection0();
const std::string& FeedbackSection2Head();
const std::string& Feedback2Middle();    // "  問中  "
const std::string& Feedback2Tail();      // "  問 正解でした。"
const std::string& FeedbackSection4();
const std::string& FeedbackRandom0();
const std::string& FeedbackRandom3();

// Hint, answer and message dialog.
const std::string& HintCaption();       // "ヒント"
const std::string& MessageCaption();    // "正答メッセージ"
const std::string& TestInProgress();
const std::string& PictureCannotShow();

// Screen mode and media.
const std::string& ModeNotSupported();  // "この機種では、この解像度をサポートしていません。"
std::string MediaMissing(const std::string& name);  // "指定された " name "は、\r\r存在しません。"

// Status bar.
const std::string& StatusProblem();     // "【問題ファイル】 "
const std::string& StatusTest();        // "テスト"
const std::string& StatusRandom();      // "ランダム"

// Settings files.
const std::string& SectionProblemFolder();  // "問題フォルダー"
const std::string& KeyFullScreen();         // "フルスクリーン"
const std::string& KeyModeChange();         // "出題モード変更"
const std::string& KeyRosterDir();          // "名簿Dir"
const std::string& KeyAutoMode();           // "出題モード"
const std::string& KeyAutoProblem();        // "問題"
const std::string& YourScore();             // "Your Score"

}  // namespace msg
