#include "main_engine.h"

#include "inifile.h"
#include "messages.h"
#include "sjis.h"
#include "textfile.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <stdexcept>
#include <unistd.h>

namespace {

bool StartsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// 108 kana in table order: 46 hiragana, 8 small hiragana, then the same in
// katakana.  Ranges of answer buttons step through it.
const std::string& KanaTable() {
    static const std::string t = sjis::L(
        "あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろわをん"
        "ぁぃぅぇぉゃゅょ"
        "アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワヲン"
        "ァィゥェォャュョ");
    return t;
}

int KanaPosition(const std::string& ch) {
    const std::string& t = KanaTable();
    for (size_t i = 0; i + 1 < t.size(); i += 2)
        if (t.compare(i, 2, ch) == 0) return static_cast<int>(i / 2);
    return -1;
}

bool IsDoubleByteChar(const std::string& s) {
    return s.size() == 2 && sjis::IsLeadByte(static_cast<unsigned char>(s[0]));
}

// Expands a range "a&b" of answer buttons into "a;...;b", or returns the
// text unchanged.
std::string ExpandRange(const std::string& text) {
    size_t amp = text.find('&');
    if (amp == std::string::npos) return text;
    std::string a = text.substr(0, amp), b = text.substr(amp + 1);
    int ia, ib;
    if (TIniFile::ParseInteger(a, ia) && TIniFile::ParseInteger(b, ib) && a == sjis::Trim(a) &&
        b == sjis::Trim(b)) {
        int64_t la = ia, lb = ib;
        if (la * lb > 0 && la < lb && lb - la <= 9) {
            std::string out;
            for (int64_t v = la; v <= lb; ++v) {
                if (v != la) out += ';';
                out += std::to_string(v);
            }
            return out;
        }
    }
    if (a.size() == 1 && b.size() == 1) {
        int ca = static_cast<unsigned char>(a[0]), cb = static_cast<unsigned char>(b[0]);
        if (cb - ca <= 9) {
            if (cb <= ca) return a;
            std::string out;
            for (int c = ca; c <= cb; ++c) {
                if (c != ca) out += ';';
                out += static_cast<char>(c);
            }
            return out;
        }
    }
    if (IsDoubleByteChar(a) && IsDoubleByteChar(b) && static_cast<unsigned char>(a[0]) < 0x88 &&
        static_cast<unsigned char>(b[0]) < 0x88) {
        int codeA = static_cast<unsigned char>(a[0]) * 256 + static_cast<unsigned char>(a[1]);
        int codeB = static_cast<unsigned char>(b[0]) * 256 + static_cast<unsigned char>(b[1]);
        if (codeA < codeB) {
            int pa = KanaPosition(a), pb = KanaPosition(b);
            std::string out;
            if (pa >= 0 && pb >= 0) {
                if (pb - pa > 9) return text;
                if (pb < pa) return a;
                for (int p = pa; p <= pb; ++p) {
                    if (p != pa) out += ';';
                    out += KanaTable().substr(static_cast<size_t>(p) * 2, 2);
                }
                return out;
            }
            if (codeB - codeA > 9) return text;
            for (int c = codeA; c <= codeB; ++c) {
                if (c != codeA) out += ';';
                out += static_cast<char>(c >> 8);
                out += static_cast<char>(c & 0xFF);
            }
            return out;
        }
    }
    return text;
}

}  // namespace

std::vector<std::string> SplitTokens(const std::string& line, size_t n, bool lower) {
    std::vector<std::string> tokens;
    std::string rest = sjis::Trim(line);
    while (tokens.size() < n && !rest.empty()) {
        size_t sp = rest.find(' ');
        if (sp == std::string::npos) {
            tokens.push_back(rest);
            break;
        }
        tokens.push_back(rest.substr(0, sp));
        rest = sjis::Trim(rest.substr(sp + 1));
    }
    if (lower)
        for (auto& t : tokens) t = sjis::LowerAscii(t);
    return tokens;
}

TDrillEngine::TDrillEngine(IDrillView& view)
    : View(view),
      Rng(static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {
    Button1Caption = msg::CaptionAnswer();
}

int TDrillEngine::Random(int n) {
    return n <= 0 ? 0 : static_cast<int>(Rng() % static_cast<uint32_t>(n));
}

std::string TDrillEngine::LowerTrimmed(int line) const {
    return sjis::LowerAscii(sjis::Trim(ProblemLines[static_cast<size_t>(line)]));
}

bool TDrillEngine::IsQuestionKind(const std::string& kind) const {
    return StartsWith(kind, msg::KindQuestion());
}

int TDrillEngine::QuestionNumber(const std::string& kind) const {
    int n = 0;
    TIniFile::ParseInteger(kind.substr(msg::KindQuestion().size()), n);
    return n;
}

// ---------------------------------------------------------------- opening

void TDrillEngine::ClearBlockIndex() {
    for (auto& k : BlockKinds) k.clear();
    for (auto& b : Blocks) b = TBlockEntry{0, 0};
    for (auto& r : Results) r.clear();
    QuestionBlocks.fill(0);
    RandomOrder.fill(0);
}

void TDrillEngine::ApplyChosenMode() {
    if (ModeFixed) return;
    switch (ChosenMode) {
        case 0: IsTest = false; IsRandom = false; break;
        case 1: IsTest = true; IsRandom = false; break;
        case 2: IsTest = false; IsRandom = true; break;
        case 3: IsTest = true; IsRandom = true; break;
        default: break;
    }
}

void TDrillEngine::FailOpening(const std::string& message, bool withOut) {
    // No half-built problem survives: the opening ends with nothing loaded.
    if (withOut) View.PlaySoundFile("out.wav");
    if (!message.empty()) View.ShowMessage(message);
    ProblemLines.clear();
    ClearBlockIndex();
    BlockCount = 0;
    QuestionCount = 0;
    Resumed = false;
    ResetProgress();
}

void TDrillEngine::LoadProblemFile(const std::string& path) {
    HideImages();
    ClearBlockIndex();
    View.PlaceProgressBar();
    ProblemPath = textfile::ExtractFilePath(path);
    // Media lookups use ProblemPath itself; the current folder matters only
    // for programs that the problem starts.
    if (!ProblemPath.empty() && ::chdir(textfile::OsPath(ProblemPath).c_str()) != 0) ProblemPath.clear();
    std::string name = textfile::ExtractFileName(path);
    BaseName = name.size() > 4 ? name.substr(0, name.size() - 4) : name;
    Resumed = false;

    bool hasProgress = textfile::FileExists(ProgressPath());
    if (hasProgress) {
        // A damaged progress file is ignored: the run starts afresh.
        hasProgress = LoadProgress();
        Resumed = hasProgress;
    }
    const int restoredImage = hasProgress ? ImageIndex : -1;
    View.SetStatusText(0, msg::StatusProblem() + BaseName);

    std::string bytes;
    if (!textfile::ReadFileBytes(path, bytes)) {
        FailOpening(msg::CannotRead(), false);
        return;
    }
    ProblemLines = textfile::SplitLines(bytes);
    View.SetMarkVisible(TMark::Maru, false);
    View.SetMarkVisible(TMark::Batu, false);

    // The tail: one 0x1A byte, then blank lines, then the closing "/".
    if (!ProblemLines.empty()) {
        std::string& last = ProblemLines.back();
        if (last == "\x1A")
            ProblemLines.pop_back();
        else if (!last.empty() && last.back() == '\x1A')
            last.pop_back();
    }
    while (!ProblemLines.empty() && sjis::Trim(ProblemLines.back()).empty()) ProblemLines.pop_back();
    if (ProblemLines.empty()) {
        FailOpening(msg::NoBlock(), false);
        return;
    }
    {
        std::string t = LowerTrimmed(static_cast<int>(ProblemLines.size()) - 1);
        if (t != "/" && t != "/fb") ProblemLines.push_back("/");
    }

    if (!BuildBlockIndex()) return;  // FailOpening has run

    if (Settings.AutoMode != -1) {
        IsTest = Settings.AutoMode == 1 || Settings.AutoMode == 3;
        IsRandom = Settings.AutoMode == 2 || Settings.AutoMode == 3;
    }
    ModeFixed = IsTest || IsRandom;
    if (!ModeFixed && Settings.AutoMode == -1 && Settings.AllowModeChange) View.ShowModeDialog();
    if (Settings.AutoMode == -1) ApplyChosenMode();

    // Progress made for another version of the file is of no use.
    if (hasProgress && !ProgressFitsProblem()) {
        hasProgress = false;
        Resumed = false;
    }
    // A finished run, and every test or random run, starts afresh.
    if (!hasProgress || CorrectCount == QuestionCount || IsTest || IsRandom) {
        ResetProgress();
        Resumed = false;
    }
    View.SetStatusText(1, IsTest ? msg::StatusTest() : std::string());
    View.SetStatusText(2, IsRandom ? msg::StatusRandom() : std::string());
    View.SetStatusText(3, "0/" + std::to_string(QuestionCount));
    if (Resumed && restoredImage >= 0 && !LastPicture.empty()) {
        // The last picture goes back into its slot.
        ImageIndex = restoredImage - 1;
        ShowPicture(LastPicture, "main");
    }

    WriteResultHeader(ResultHeader(), ComputerName);
    Advance();
}

bool TDrillEngine::ProgressFitsProblem() const {
    auto inRange = [](int v, int lo, int hi) { return v >= lo && v <= hi; };
    // No run of the table's questions counts anywhere near this between two
    // resets; a count beyond it would overflow on the next answer.
    const int maxCount = 1000000;
    return inRange(BlockPos, 0, BlockCount) && inRange(ImageIndex, -1, 4) && inRange(TextTop, 0, kTextLines) &&
           inRange(QuestionIndex, 0, kMaxQuestions - 1) &&
           (SectionBlock == -9 || inRange(SectionBlock, -1, BlockCount)) &&
           inRange(SectionStart, 0, BlockCount + 1) && inRange(CorrectCount, 0, QuestionCount) &&
           inRange(MistakeCount, 0, maxCount) && inRange(SectionAsked, 0, maxCount) &&
           inRange(SectionCorrect, 0, maxCount) &&
           inRange(Reviewing, 0, 1);
}

bool TDrillEngine::ScanToEnd(int& line, const char* endPrefix, const std::string& missing) {
    for (;;) {
        ++line;
        if (line >= static_cast<int>(ProblemLines.size())) {
            FailOpening(missing, true);
            return false;
        }
        if (StartsWith(LowerTrimmed(line), endPrefix)) return true;
    }
}

bool TDrillEngine::SkipToBlockEnd(int& line) { return ScanToEnd(line, "/", msg::BlockEndMissing()); }

bool TDrillEngine::SkipToSubBlockEnd(int& line) { return ScanToEnd(line, "@/", msg::SubBlockEndMissing()); }

bool TDrillEngine::BuildBlockIndex() {
    if (ProblemLines.empty()) return false;
    IsTest = false;
    IsRandom = false;
    const int count = static_cast<int>(ProblemLines.size());
    int L = 0, E = 0, Q = 1, S = -1;
    // Every entry, the final one included, must fit the tables.
    auto room = [&](int extra) {
        if (E + extra < kMaxEntries) return true;
        FailOpening(msg::TooManyEntries(), false);
        return false;
    };
    auto skipBlank = [&] {
        while (L < count && LowerTrimmed(L).empty()) ++L;
    };
    skipBlank();
    if (L < count && StartsWith(LowerTrimmed(L), "mode")) {
        std::string t = LowerTrimmed(L);
        IsTest = t.find("test") != std::string::npos;
        IsRandom = t.find("random") != std::string::npos;
        ++L;
    }
    for (;;) {
        skipBlank();
        if (L >= count) break;
        std::string t = LowerTrimmed(L);
        char c = t[0];
        if (c == '~' || c == '*' || c == '&') {
            if (!room(1)) return false;
            if (c == '~') {
                BlockKinds[E] = msg::KindTitle();
                S = E;
            } else {
                BlockKinds[E] = c == '*' ? msg::KindComment() : msg::KindExplanation();
            }
            Blocks[E] = {L, S};
            ++E;
            if (!SkipToBlockEnd(L)) return false;
        } else {
            if (Q > kMaxQuestions) {
                FailOpening(msg::TooManyQuestions(), false);
                return false;
            }
            if (!room(1)) return false;
            BlockKinds[E] = sjis::CutBytes(msg::KindQuestion() + std::to_string(Q), 8);
            QuestionBlocks[Q - 1] = E;
            Blocks[E] = {L, S};
            ++E;
            ++Q;
            for (;;) {
                ++L;
                if (L >= count) {
                    FailOpening(msg::BlockEndMissing(), true);
                    return false;
                }
                std::string q = LowerTrimmed(L);
                bool hint = StartsWith(q, "@hint");
                if (hint || StartsWith(q, "@mess")) {
                    if (!room(1)) return false;
                    BlockKinds[E] = hint ? "hint" : "message";
                    Blocks[E] = {L, S};
                    ++E;
                    if (!SkipToSubBlockEnd(L)) return false;
                } else if (StartsWith(q, "/")) {
                    break;
                }
            }
        }
        if (StartsWith(LowerTrimmed(L), "/fb")) {
            if (!room(1)) return false;
            BlockKinds[E] = "FeedBack";
            Blocks[E] = {L, S};
            ++E;
        }
        ++L;
    }
    if (E == 0) {
        FailOpening(msg::NoBlock(), false);
        return false;
    }
    if (!room(0)) return false;
    BlockKinds[E] = "FeedBack";
    Blocks[E] = {count, -1};
    BlockCount = E;
    QuestionCount = Q - 1;
    ImageIndex = -1;
    return true;
}

// ---------------------------------------------------------------- answers

void TDrillEngine::ParseAnswerLine(const std::string& line) {
    std::string trimmed = sjis::Trim(line);
    std::string lower = sjis::LowerAscii(trimmed);
    std::string rest;
    int mode = 0;
    if (StartsWith(lower, "btn ")) {
        mode = 2; HalfButtons = false; rest = trimmed.substr(4);
    } else if (StartsWith(lower, "btns ")) {
        mode = 1; HalfButtons = false; rest = trimmed.substr(5);
    } else if (StartsWith(lower, "hbtn ")) {
        mode = 2; HalfButtons = true; rest = trimmed.substr(5);
    } else if (StartsWith(lower, "hbtns ")) {
        mode = 1; HalfButtons = true; rest = trimmed.substr(6);
    }
    ButtonMode = mode;
    std::string text = trimmed;
    int right = 1;
    if (mode != 0) {
        rest = sjis::Trim(rest);
        text = rest;
        size_t sp = rest.find(' ');
        int n;
        if (sp != std::string::npos && TIniFile::ParseInteger(rest.substr(0, sp), n) && n >= 1 &&
            n <= 10) {
            right = n;
            text = ExpandRange(rest.substr(sp + 1));
        }
    }
    for (auto& a : Answers) a.clear();
    size_t slot = 1, start = 0;
    for (;;) {
        size_t semi = text.find(';', start);
        std::string piece = text.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
        // Alternatives past the tenth have no slot and are left out.
        if (slot <= kAnswerSlots) Answers[slot++] = sjis::CutBytes(sjis::Trim(piece), kAnswerBytes);
        if (semi == std::string::npos) break;
        start = semi + 1;
    }
    if (mode != 0)
        ShowAnswerButtons(mode, HalfButtons, right);
    else
        AnsBtnTag = 0;
}

void TDrillEngine::ShowAnswerButtons(int mode, bool half, int rightChoice) {
    const int width = half ? 147 : 294;
    std::vector<std::string> choices;
    for (int s = 1; s <= kAnswerSlots && !Answers[s].empty(); ++s) choices.push_back(Answers[s]);
    if (choices.empty()) choices.emplace_back();
    const int c = static_cast<int>(choices.size());
    for (auto& a : Answers) a.clear();
    if (rightChoice >= 1 && rightChoice <= c)
        Answers[1] = sjis::CutBytes(choices[rightChoice - 1], kAnswerBytes);
    if (mode == 2)
        for (int k = 0; k < c; ++k) std::swap(choices[Random(c)], choices[Random(c)]);
    AnsBtnTag = c;
    for (int j = 0; j < c; ++j) {
        int left = j <= 4 ? 20 : 20 + width + 6;
        int top = 230 + 35 * (j <= 4 ? j : j - 5);
        AnsBtnCaptions[j] = choices[j];
        View.PlaceAnswerButton(j, left, top, width, 30, choices[j]);
        View.SetAnswerButtonEnabled(j, true);
    }
    for (int j = 0; j < kAnswerButtons; ++j) View.SetAnswerButtonVisible(j, j < c);
    Edit1Enabled = true;
    View.SetAnswerEnabled(true);
    View.FocusAnswerBox();
}

void TDrillEngine::NormalizeAnswerSpaces() {
    std::string t = sjis::Trim(View.AnswerText());
    std::string out;
    for (char ch : t) {
        if (ch == ' ' && !out.empty() && out.back() == ' ') continue;
        out += ch;
    }
    View.SetAnswerText(out);
}

std::string TDrillEngine::CheckAnswer() {
    NormalizeAnswerSpaces();
    const std::string answer = sjis::CutBytes(View.AnswerText(), kAnswerBytes);
    bool right = false;
    // An empty answer is never right, even against an empty slot.
    if (!answer.empty())
        for (int s = 1; s <= kAnswerSlots && !right; ++s) right = Answers[s] == answer;
    std::string caption;
    if (right) {
        if (TryCount == 0 && !Reviewing) ++SectionAsked;
        if (TryCount == 0 && !HintSeen) {
            if (QuestionIndex >= 0 && QuestionIndex < kMaxQuestions) Results[QuestionIndex] = msg::Maru();
            ++CorrectCount;
            ++SectionCorrect;
        }
        if (HintSeen) ++MistakeCount;
        View.SetMarkVisible(TMark::Maru, true);
        View.PlaySoundFile("maru.wav");
        if (MessageBlock != -1) {
            ShowCorrectMessage();
            caption = msg::CaptionGoOn();
        } else {
            caption = msg::CaptionNext();
        }
        AnswerOpen = false;
    } else {
        if (TryCount == 0) {
            ++MistakeCount;
            if (!Reviewing) ++SectionAsked;
        }
        View.SetMarkVisible(TMark::Batu, true);
        View.PlaySoundFile("batu.wav");
        if (IsTest) {
            caption = msg::CaptionNext();
        } else {
            caption = msg::CaptionAgain();
            ++TryCount;
        }
    }
    if (TryCount >= 5) {
        View.PlaySoundFile("out.wav");
        View.ShowMessage(msg::RightAnswerIs() + Answers[1] + msg::RightAnswerTail());
        caption = msg::CaptionGoOn();
    }
    return caption;
}

void TDrillEngine::SetAnswerBox(const std::string& text, bool enabled) {
    View.SetAnswerText(text);
    Edit1Enabled = enabled;
    View.SetAnswerEnabled(enabled);
}

void TDrillEngine::AfterCheck(const std::string& caption) {
    Button1Caption = caption;
    View.SetButtonCaption(caption);
    if (caption == msg::CaptionGoOn())
        NextQuestion();
    else
        SetAnswerBox("", false);
}

void TDrillEngine::Button1Click() {
    if (BlockPos == 0 && RandomPos == 0) return;
    // Only a question waiting for its answer judges the answer box: text left
    // there at an explanation would be judged against the previous question.
    if (!View.AnswerText().empty() && Edit1Enabled && Answering) {
        AfterCheck(CheckAnswer());
    } else if (Button1Caption == msg::CaptionNext()) {
        NextQuestion();
    } else {
        View.SetMarkVisible(TMark::Batu, false);
        Button1Caption = msg::CaptionAnswer();
        View.SetButtonCaption(Button1Caption);
        SetAnswerBox("", true);
        View.FocusAnswerBox();
        for (int j = 0; j < AnsBtnTag && j < kAnswerButtons; ++j) View.SetAnswerButtonEnabled(j, true);
    }
}

void TDrillEngine::AnsBtnClick(int Index) {
    if (!Edit1Enabled || Index < 0 || Index >= kAnswerButtons) return;
    View.SetAnswerText(AnsBtnCaptions[Index]);
    std::string caption = CheckAnswer();
    for (int j = 0; j < kAnswerButtons; ++j) View.SetAnswerButtonEnabled(j, false);
    AfterCheck(caption);
}

void TDrillEngine::NextQuestion() {
    View.SetMarkVisible(TMark::Maru, false);
    View.SetMarkVisible(TMark::Batu, false);
    View.CloseMediaPlayers(false);
    Advance();
    Edit1Enabled = true;
    View.SetAnswerEnabled(true);
    View.FocusAnswerBox();
}

// ---------------------------------------------------------------- sequencing

void TDrillEngine::ResetProgress() {
    ClearTextLines(0);
    HideImages();
    View.SetMarkVisible(TMark::Maru, false);
    View.SetMarkVisible(TMark::Batu, false);
    BlockPos = RandomPos = TextTop = QuestionIndex = SectionStart = 0;
    ImageIndex = -1;
    SectionBlock = -9;
    CorrectCount = MistakeCount = SectionAsked = SectionCorrect = Reviewing = 0;
    AnswerOpen = Answering = false;
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
            Button1Caption = msg::CaptionAnswer();
            View.SetButtonCaption(Button1Caption);
            View.SetAnswerText("");
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
            Button1Caption = msg::CaptionEnd();
            View.SetButtonCaption(Button1Caption);
            StopQuestion();
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
            Button1Caption = msg::CaptionNext();
            View.SetButtonCaption(Button1Caption);
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
            HintSeen = false;
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
            ++BlockPos;
        } else if (kind == "FeedBack" && MistakeCount == 0) {
            SectionStart = E + 1;
            if (!afterExplanation && !Resumed)
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
            HintSeen = false;
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
            // A question already answered right is no longer open: passing
            // it only moves on, it is no mistake.
            if (AnswerOpen) ++MistakeCount;
            NextQuestion();
        }
    } else if (ProblemUsable()) {
        Advance();
    }
}

// ---------------------------------------------------------------- display

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
    View.SetTextLine(NextLine, Line);
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
        if (!line.empty() && line[0] == '/') break;
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
        if (StartsWith(sjis::LowerAscii(sjis::Trim(L)), "@/")) break;
        if (i <= 5 && !command) {
            dlg.Labels[i - 1] = L;
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
        dlg.Answer = Answers[1];
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

// ---------------------------------------------------------------- files

std::string TDrillEngine::ProgressPath() const { return UserScoreFolder + BaseName + ".sc"; }

std::string TDrillEngine::FormatProgress() const {
    std::vector<std::string> lines;
    lines.reserve(116);
    auto num = [&lines](int v) { lines.push_back(std::to_string(v)); };
    num(BlockPos);
    num(TextTop);
    num(ImageIndex);
    if (ImageIndex >= 0) lines.push_back(LastPicture);
    num(QuestionIndex);
    num(SectionBlock);
    num(SectionStart);
    num(MistakeCount);
    num(CorrectCount);
    num(SectionAsked);
    num(SectionCorrect);
    num(Reviewing);
    lines.push_back(AnswerOpen ? "t" : "f");
    lines.push_back(Answering ? "t" : "f");
    for (const auto& r : Results) lines.push_back(r);
    return textfile::JoinLines(lines);
}

void TDrillEngine::SaveProgress() {
    textfile::WriteFileAtomic(ProgressPath(), FormatProgress());
}

bool TDrillEngine::LoadProgress() {
    std::vector<std::string> lines;
    if (!textfile::ReadRecordLines(ProgressPath(), lines)) return false;
    // Everything is read into locals first: a file that is short, long or
    // not laid out as written is ignored as a whole.
    size_t k = 0;
    bool ok = true;
    auto num = [&](int32_t& out) {
        int v = 0;
        if (k >= lines.size() || !TIniFile::ParseInteger(lines[k], v)) ok = false;
        ++k;
        out = v;
    };
    auto flag = [&](bool& out) {
        if (k >= lines.size() || (lines[k] != "t" && lines[k] != "f")) ok = false;
        out = k < lines.size() && lines[k] == "t";
        ++k;
    };
    int32_t blockPos, textTop, imageIndex, questionIndex, sectionBlock, sectionStart, mistakes,
        correct, asked, sectionCorrect, reviewing;
    bool answerOpen, answering;
    std::string lastPicture;
    num(blockPos);
    num(textTop);
    num(imageIndex);
    if (ok && imageIndex >= 0) {
        if (k < lines.size()) lastPicture = lines[k];
        ++k;
    }
    num(questionIndex);
    num(sectionBlock);
    num(sectionStart);
    num(mistakes);
    num(correct);
    num(asked);
    num(sectionCorrect);
    num(reviewing);
    flag(answerOpen);
    flag(answering);
    if (!ok || lines.size() != k + kMaxQuestions) return false;
    for (int i = 0; i < kMaxQuestions; ++i) {
        const std::string& r = lines[k + i];
        if (!r.empty() && r != msg::Maru()) return false;
    }
    BlockPos = blockPos;
    TextTop = textTop;
    ImageIndex = imageIndex;
    LastPicture = lastPicture;
    QuestionIndex = questionIndex;
    SectionBlock = sectionBlock;
    SectionStart = sectionStart;
    MistakeCount = mistakes;
    CorrectCount = correct;
    SectionAsked = asked;
    SectionCorrect = sectionCorrect;
    Reviewing = reviewing;
    AnswerOpen = answerOpen;
    Answering = answering;
    for (int i = 0; i < kMaxQuestions; ++i) Results[i] = lines[k + i];
    return true;
}

TResultHeader TDrillEngine::ResultHeader() const {
    TResultHeader h;
    h.ScoreFolder = Settings.ScoreFolder;
    h.UserID = UserID;
    h.UserName = UserName;
    h.IsTest = IsTest;
    h.IsRandom = IsRandom;
    h.BaseName = BaseName;
    h.QuestionCount = QuestionCount;
    return h;
}
