// Question sequencing, feedback points, reviews and scoring.
#include "main_engine.h"

#include "messages.h"

#include <cmath>
#include <stdexcept>
#include <utility>


void TDrillEngine::ResetProgress() {
    ClearTextLines(0);
    HideImages();
    View.SetMarkVisible(TMark::Maru, false);
    View.SetMarkVisible(TMark::Batu, false);
    BlockPos = RandomPos = TextTop = QuestionIndex = SectionStart = 0;
    ImageIndex = -1;
    SectionBlock = -9;
    CorrectCount = MistakeCount = SectionAsked = SectionCorrect = Reviewing = 0;
    MistakesBeforeStretch = 0;
    AnswerOpen = Answering = AnswerCounted = false;
    for (int j = 0; j < kAnswerButtons; ++j) View.SetAnswerButtonVisible(j, false);
    for (auto& r : Results) r.clear();
    if (IsRandom) {
        ShuffleRemaining();
        RandomPos = 0;
    }
    View.SetGauge(0);
    View.CloseMediaPlayers(true);
    View.FreeVideoPanel();
}

void TDrillEngine::ShuffleRemaining() {
    RandomOrder.fill(-1);
    RandomCount = 0;
    for (int j = 0; j < QuestionCount && j < kMaxQuestions; ++j)
        if (Results[j] != msg::Maru()) RandomOrder[RandomCount++] = j;
    for (int k = 0; k < RandomCount; ++k)
        std::swap(RandomOrder[Random(RandomCount)], RandomOrder[Random(RandomCount)]);
}

void TDrillEngine::Advance() {
    try {
        auto notPastEnd = [this] {
            return IsRandom ? RandomPos <= RandomCount : BlockPos <= BlockCount;
        };
        if (notPastEnd()) {
            SaveProgress();
            TryCount = 0;
            SetButton1Caption(msg::CaptionAnswer());
            // Every step opens the box, also the first after an opening or
            // a restart, when the last answer had closed it.
            SetAnswerBox("", true);
            View.FocusAnswerBox();
            View.SetStatusText(3, std::to_string(CorrectCount) + "/" + std::to_string(QuestionCount));
            int gauge = QuestionCount > 0
                            ? static_cast<int>(std::floor(double(CorrectCount) / QuestionCount * 100 + 0.5))
                            : 0;
            View.SetGauge(gauge);
            View.FreeVideoPanel();
            for (int j = 0; j < kAnswerButtons; ++j) View.SetAnswerButtonVisible(j, false);
            if (IsRandom)
                StepRandom();
            else
                StepSequential();
        }
        WriteResult(ResultHeader(), ComputerName, QuestionIndex, CorrectCount, MistakeCount);
        if (!notPastEnd()) {
            if (!IsTest) {
                View.ShowInformation(msg::AllDone());
            } else if (MistakeCount == 0) {
                View.PlaySoundFile("sugoi.wav");
                View.ShowMessage(msg::Score100());
            } else if (CorrectCount > 0) {
                View.PlaySoundFile("futu.wav");
                int score = QuestionCount > 0 ? CorrectCount * 100 / QuestionCount : 0;
                View.ShowMessage(msg::ScoreHead() + std::to_string(score) + msg::ScoreTail());
            } else {
                View.PlaySoundFile("dame.wav");
                View.ShowMessage(msg::Score0());
            }
            SetButton1Caption(msg::CaptionEnd());
            StopQuestion();
            // A finished run (also a test that was not all right) is not
            // resumed: the progress file goes back to the start of a run.
            SaveProgress();
        }
    } catch (const std::exception&) {
        View.Beep();
        View.ShowMessage(msg::StepError());
        View.CloseWindow();
    }
}

void TDrillEngine::NoteSubBlock() {
    if (BlockPos < 0 || BlockPos >= kMaxEntries) return;
    if (BlockKinds[BlockPos] == "hint") HintBlock = BlockPos;
    if (BlockKinds[BlockPos] == "message") MessageBlock = BlockPos;
}

void TDrillEngine::PassSubBlocks() {
    while (BlockPos < BlockCount && (BlockKinds[BlockPos] == "hint" || BlockKinds[BlockPos] == "message")) {
        NoteSubBlock();
        ++BlockPos;
    }
}

void TDrillEngine::ShowFeedback(const std::array<std::string, 5>& labels) {
    TOKBottomContent dlg;
    dlg.Caption = msg::FeedbackCaption();
    dlg.Labels = labels;
    View.ShowOKBottomDlg(dlg);
}

void TDrillEngine::StepSequential() {
    if (Resumed) {
        TextTop = 0;
        SectionBlock = Blocks.at(BlockPos).Section;
        if (SectionBlock >= 0) {
            TextTop = ShowTitle(SectionBlock);
            Resumed = false;
        }
    }
    while (BlockPos <= BlockCount) {
        const int E = BlockPos;
        const std::string& kind = BlockKinds.at(E);
        const bool afterExplanation = E > 0 && BlockKinds[E - 1] == msg::KindExplanation();
        if (kind == msg::KindTitle()) {
            ClearTextLines(0);
            TextTop = ShowTitle(E);
            SectionBlock = E;
            ++BlockPos;
        } else if (kind == msg::KindExplanation()) {
            ClearTextLines(0);
            ShowExplanation();
            TextTop = 0;
            Answering = AnswerOpen = false;
            View.FocusAnswerButton();
            SetButton1Caption(msg::CaptionNext());
            ++BlockPos;
            break;
        } else if (IsQuestionKind(kind)) {
            QuestionIndex = QuestionNumber(kind) - 1;
            if (QuestionIndex < 0 || QuestionIndex >= kMaxQuestions)
                throw std::runtime_error("question number");
            if (Results[QuestionIndex] == msg::Maru()) {
                ++BlockPos;
                PassSubBlocks();
                continue;
            }
            HintBlock = MessageBlock = -1;
            Answering = AnswerOpen = true;
            HintSeen = AnswerCounted = false;
            if (afterExplanation && SectionBlock >= 0) TextTop = ShowTitle(SectionBlock);
            if (Blocks[E].Section == -1) {
                ClearTextLines(0);
                TextTop = 0;
            }
            View.SetAnswerText("");
            ShowQuestion(TextTop);
            ++BlockPos;
            PassSubBlocks();
            break;
        } else if (kind == "FeedBack" && IsTest) {
            // No feedback and no review in a test, but the next stretch
            // starts here, as in a normal run: a normal opening that
            // resumes the test's progress reports and reviews only the
            // questions of its own stretch.
            SectionStart = E + 1;
            SectionAsked = SectionCorrect = 0;
            MistakesBeforeStretch = MistakeCount;
            ++BlockPos;
        } else if (kind == "FeedBack" && MistakeCount == 0) {
            SectionStart = E + 1;
            // A stretch that asked nothing (such as the empty one after a
            // last "/fb") has nothing to praise.
            if (!afterExplanation && !Resumed && SectionAsked > 0)
                View.ShowInformation(msg::SectionAllRightHead() + std::to_string(SectionAsked) +
                                     msg::SectionAllRightTail());
            Reviewing = SectionAsked = SectionCorrect = 0;
            ++BlockPos;
        } else if (kind == "FeedBack") {
            BlockPos = SectionStart;
            MistakeCount = 0;
            ShowFeedback({msg::FeedbackSection0(), "",
                          msg::FeedbackSection2Head() + std::to_string(SectionAsked) +
                              msg::Feedback2Middle() + std::to_string(SectionCorrect) + msg::Feedback2Tail(),
                          "", msg::FeedbackSection4()});
            Reviewing = 1;
        } else {
            ++BlockPos;  // comments and anything else
        }
    }
    Resumed = false;
}

void TDrillEngine::StepRandom() {
    while (RandomPos <= RandomCount) {
        const int q = RandomOrder.at(RandomPos);
        if (q >= 0 && Results.at(RandomPos).empty()) {
            BlockPos = QuestionBlocks.at(q);
            QuestionIndex = RandomPos;
            HintBlock = MessageBlock = -1;
            Answering = AnswerOpen = true;
            HintSeen = AnswerCounted = false;
            const int s = Blocks.at(BlockPos).Section;
            if (RandomPos == 0 || s != SectionBlock) {
                TextTop = ShowTitle(s);
                SectionBlock = s;
            }
            View.SetAnswerText("");
            ShowQuestion(TextTop);
            ++BlockPos;
            PassSubBlocks();
            ++RandomPos;
            return;
        }
        if (q == -1 && !IsTest) {
            if (MistakeCount == 0) {
                if (SectionAsked > 0)
                    View.ShowInformation(std::to_string(SectionAsked) + msg::SectionAllRightTail());
                Reviewing = SectionAsked = SectionCorrect = 0;
                ++RandomPos;
                return;
            }
            RandomPos = 0;
            MistakeCount = 0;
            ShowFeedback({msg::FeedbackRandom0(),
                          std::to_string(SectionAsked) + msg::Feedback2Middle() +
                              std::to_string(SectionCorrect) + msg::Feedback2Tail(),
                          "", msg::FeedbackRandom3(), ""});
            Reviewing = 1;
            continue;
        }
        ++RandomPos;
    }
}

void TDrillEngine::StopQuestion() {
    ClearTextLines(0);
    HideImages();
    BlockPos = RandomPos = 0;
    for (int j = 0; j < kAnswerButtons; ++j) View.SetAnswerButtonVisible(j, false);
    View.CloseMediaPlayers(true);
}

void TDrillEngine::K1Click() {
    if (!ProblemUsable() || (BlockPos == 0 && RandomPos == 0) || IsTest) return;
    if (View.AskYesNo(msg::RestartQuestion())) ResetProgress();
}

void TDrillEngine::K4Click() {
    if (BlockPos == 0 && RandomPos == 0) ResetProgress();
    if (Answering) {
        View.Beep();
        if (View.AskYesNo(msg::PassQuestion())) {
            // A question is counted once.  Passing one whose answer has
            // already counted (right, or wrong: in a test the wrong answer
            // leaves the question waiting) only moves on; counting it again
            // would send an all-right stretch into a review with nothing to
            // redo, or count a test's question twice (the instructor's list
            // would then show the test done before its last question).
            if (!AnswerCounted) ++MistakeCount;
            NextQuestion();
        }
    } else if (ProblemUsable()) {
        Advance();
    }
}
