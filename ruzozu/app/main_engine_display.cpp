// Block display, line commands and the hint, answer and message dialog.
#include "main_engine.h"

#include "ini_text.h"
#include "messages.h"
#include "sjis.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace {

std::string Shown(const std::string& line) {
    return line.size() > input_limits::kMaxShownLineBytes ? sjis::CutBytes(line, input_limits::kMaxShownLineBytes, true) : line;
}

}  // namespace

void TDrillEngine::ClearTextLines(int From) {
    for (int i = std::max(From, 0); i < kTextLines; ++i) View.SetTextLine(i, "");
}

void TDrillEngine::HideImages() {
    View.HideImages();
    ImageIndex = -1;
}

bool TDrillEngine::ExecuteLine(const std::string& Line, int& NextLine, TLineKind Kind) {
    const std::string t = sjis::LowerAscii(sjis::Trim(Line));
    const std::string p = t.substr(0, 4);
    const bool dialog = Kind == TLineKind::M || Kind == TLineKind::H;
    bool command = false;
    if (t == "cls") {
        HideImages();
        command = true;
    }
    // "exe" without a program is a command that does nothing.
    if (p == "exe " || t == "exe") {
        RunProgram(Line);
        command = true;
    }
    if (p == "wav " || p == "mp3 ") {
        if (Kind == TLineKind::M)
            View.PlayMessageSound(Line);
        else
            View.PlayAudio(Line);
        command = true;
    }
    if (p == "mid ") {
        View.PlayMidi(Line);
        command = true;
    }
    if (!t.empty()) {
        // A picture line begins with a whole registered extension.
        const std::string first = t.substr(0, t.find(' '));
        for (const auto& ext : View.PictureExtensions()) {
            if (first == ext) {
                ShowPicture(Line, dialog ? "mes" : "main");
                command = true;
                break;
            }
        }
    }
    if (t == "cls8" || t == "cls16") command = true;
    if (t == "mute") {
        View.StopMidi();
        command = true;
    }
    if (p == "avi " || p == "mpg ") {
        View.PlayVideo(Line);
        command = true;
    }
    if (dialog || command) return command;
    if (NextLine >= kTextLines || NextLine < 0) return false;
    View.SetTextLineColor(NextLine, Kind == TLineKind::E   ? drillcolor::Aqua
                                    : Kind == TLineKind::Q ? drillcolor::Lime
                                                           : drillcolor::White);
    View.SetTextLine(NextLine, Shown(Line));
    ++NextLine;
    return false;
}

void TDrillEngine::ShowBlockLines(int entry, TLineKind kind, int& nextLine) {
    if (entry < 0 || entry >= BlockCount) return;
    const int first = Blocks[entry].First;
    const int next = Blocks[entry + 1].First;
    int last = next - 1;
    if (next - 1 >= 0 && next - 1 < static_cast<int>(ProblemLines.size()) &&
        sjis::Trim(ProblemLines[next - 1]) == "/")
        last = next - 2;
    for (int i = first + 1; i <= last && i < static_cast<int>(ProblemLines.size()); ++i) {
        const std::string& line = ProblemLines[i];
        // The line that ended the block in the index ends it here too.
        if (LineBeginsWith(line, "/")) break;
        ExecuteLine(line, nextLine, kind);
    }
}

int TDrillEngine::ShowTitle(int Entry) {
    ClearTextLines(0);
    if (Entry == -1) return 0;
    int next = 0;
    ShowBlockLines(Entry, TLineKind::T, next);
    return next;
}

void TDrillEngine::ShowExplanation() {
    int next = 0;
    ShowBlockLines(BlockPos, TLineKind::E, next);
}

void TDrillEngine::ShowQuestion(int Top) {
    const int entry = IsRandom ? QuestionBlocks.at(RandomOrder.at(QuestionIndex))
                               : QuestionBlocks.at(QuestionIndex);
    ClearTextLines(Top);
    if (Top >= 0 && Top < kTextLines) {
        View.SetTextLineColor(Top, drillcolor::Yellow);
        View.SetTextLine(Top, msg::QuestionHeadOpen() + std::to_string(QuestionIndex + 1) +
                                  msg::QuestionHeadClose());
    }
    ParseAnswerLine(ProblemLines.at(Blocks.at(entry).First));
    int next = Top + 2;
    ShowBlockLines(entry, TLineKind::Q, next);
}

void TDrillEngine::ShowPicture(const std::string& Line, const std::string& Target) {
    LastPicture = Line;
    const std::vector<std::string> tok = SplitTokens(Line, 9, true);
    if (tok.size() < 4) return;
    const std::string file = tok[1] + "." + tok[0];
    int left, top, width = -1;
    // A position or width that is no number cannot place the picture: it is
    // reported like any picture that cannot be shown, and the step goes on.
    // The main window places it 32 pixels lower, which must still fit.
    const int lowest = Target == "main" ? INT_MAX - 32 : INT_MAX;
    if (!TIniFile::ParseInteger(tok[2], left) || !TIniFile::ParseInteger(tok[3], top) || top > lowest ||
        (tok.size() >= 5 && (!TIniFile::ParseInteger(tok[4], width) || width <= 0))) {
        View.Beep();
        View.ShowMessage(msg::PictureCannotShow());
        return;
    }
    if (Target == "main") {
        if (ImageIndex < 4) ++ImageIndex;
        View.ShowPicture(4 - ImageIndex, file, left, top + 32, width);
    } else if (Target == "mes") {
        View.ShowPicture(-1, file, left, top, width);
    }
}

void TDrillEngine::RunProgram(const std::string& Line) {
    const std::vector<std::string> tok = SplitTokens(Line, 9, false);
    if (tok.size() < 2) return;
    std::string params;
    for (size_t i = 2; i < 9; ++i) {
        if (i > 2) params += ' ';
        if (i < tok.size()) params += tok[i];
    }
    View.RunProgram(tok[1], params);
}

// ---------------------------------------------------------------- dialog

bool TDrillEngine::RunSubBlockLines(int entry, TLineKind kind, TOKBottomContent& dlg,
                                    std::string& collected) {
    if (entry < 0 || entry >= BlockCount) return false;
    const int first = Blocks[entry].First;
    const int n = Blocks[entry + 1].First - first - 2;
    int lineNo = 0;
    for (int i = 1; i <= n && first + i < static_cast<int>(ProblemLines.size()); ++i) {
        const std::string& L = ProblemLines[first + i];
        const bool command = ExecuteLine(L, lineNo, kind);
        if (LineBeginsWith(L, "@/")) break;
        if (i <= 5 && !command) {
            dlg.Labels[i - 1] = Shown(L);
            dlg.LabelColors[i - 1] = drillcolor::Yellow;
            collected += L;
        }
    }
    return !collected.empty();
}

void TDrillEngine::SpeedButton3Click() {
    if (IsTest) {
        View.PlaySoundFile("out.wav");
        View.ShowMessage(msg::TestInProgress());
        return;
    }
    if (!AnswerOpen) return;
    DialogOpen = true;
    TOKBottomContent dlg;
    std::string collected;
    bool showAnswer = false;
    if (HintBlock == -1) {
        dlg.Caption = msg::CaptionAnswer();
        dlg.Answer = Shown(Answers[1]);
        showAnswer = true;
    } else {
        dlg.Caption = msg::HintCaption();
        RunSubBlockLines(HintBlock, TLineKind::H, dlg, collected);
    }
    if (collected.empty() && !showAnswer) dlg.Width = dlg.Height = 0;
    View.ShowOKBottomDlg(dlg);
    HintSeen = true;
    DialogOpen = false;
}

void TDrillEngine::ShowCorrectMessage() {
    DialogOpen = true;
    TOKBottomContent dlg;
    dlg.Caption = msg::MessageCaption();
    std::string collected;
    RunSubBlockLines(MessageBlock, TLineKind::M, dlg, collected);
    if (collected.empty()) dlg.Width = dlg.Height = 0;
    View.ShowOKBottomDlg(dlg);
    DialogOpen = false;
}
