// The answer line, the answer buttons and judging an answer.
#include "main_engine.h"

#include "ini_text.h"
#include "messages.h"
#include "sjis.h"

#include <utility>
#include <vector>

namespace {

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

// The answer box's rule: trimmed, each run of blanks made one.
std::string CollapseBlanks(const std::string& text) {
    std::string out;
    for (char ch : sjis::Trim(text)) {
        if (ch == ' ' && !out.empty() && out.back() == ' ') continue;
        out += ch;
    }
    return out;
}

// What an answer is compared by, the same for the learner's answer and for
// the answer slots: the box's rule, the first 80 bytes, and one code for
// each character that has two.  Everything else counts byte for byte.
std::string AnswerKey(const std::string& text) {
    return sjis::UnifyDuplicateCodes(sjis::CutBytes(CollapseBlanks(text), kAnswerBytes));
}

}  // namespace

void TDrillEngine::ParseAnswerLine(const std::string& line) {
    std::string trimmed = sjis::Trim(line);
    std::string rest;
    int mode = 0;
    if (LineBeginsWith(trimmed, "btn ")) {
        mode = 2; HalfButtons = false; rest = trimmed.substr(4);
    } else if (LineBeginsWith(trimmed, "btns ")) {
        mode = 1; HalfButtons = false; rest = trimmed.substr(5);
    } else if (LineBeginsWith(trimmed, "hbtn ")) {
        mode = 2; HalfButtons = true; rest = trimmed.substr(5);
    } else if (LineBeginsWith(trimmed, "hbtns ")) {
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
        std::string alternative = text.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
        // Alternatives past the tenth have no slot and are left out.
        if (slot <= kAnswerSlots) Answers[slot++] = sjis::CutBytes(sjis::Trim(alternative), kAnswerBytes);
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
        AnsBtnCaptions_[j] = choices[j];
        View.PlaceAnswerButton(j, left, top, width, 30, choices[j]);
        View.SetAnswerButtonEnabled(j, true);
    }
    for (int j = 0; j < kAnswerButtons; ++j) View.SetAnswerButtonVisible(j, j < c);
    SetEdit1Enabled(true);
    View.FocusAnswerBox();
}

std::string TDrillEngine::NormalizeAnswerSpaces() {
    const std::string out = CollapseBlanks(View.AnswerText());
    View.SetAnswerText(out);
    return out;
}

std::string TDrillEngine::CheckAnswer() { return JudgeAnswer(NormalizeAnswerSpaces()); }

std::string TDrillEngine::JudgeAnswer(const std::string& answer) {
    const std::string key = AnswerKey(answer);
    bool right = false;
    // An empty answer is never right, even against an empty slot.
    if (!key.empty())
        for (int s = 1; s <= kAnswerSlots && !right; ++s) right = AnswerKey(Answers[s]) == key;
    std::string caption;
    // Right or wrong, the answer counts: right at the first try, or as a
    // mistake (now, at an earlier try, or for the hint seen).
    AnswerCounted = true;
    if (right) {
        if (TryCount == 0 && !Reviewing) ++SectionAsked;
        if (TryCount == 0 && !HintSeen) {
            if (QuestionIndex >= 0 && QuestionIndex < kMaxQuestions) Results[QuestionIndex] = msg::Maru();
            ++CorrectCount;
            ++SectionCorrect;
        }
        // A right answer after the hint is a mistake, unless the question
        // has already counted one (a wrong first try): a question is
        // counted once, so right answers and mistakes never add up to more
        // questions than were asked.
        if (HintSeen && TryCount == 0) ++MistakeCount;
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

void TDrillEngine::SetButton1Caption(const std::string& caption) {
    Button1Caption_ = caption;
    View.SetButtonCaption(caption);
}

void TDrillEngine::SetEdit1Enabled(bool enabled) {
    Edit1Enabled_ = enabled;
    View.SetAnswerEnabled(enabled);
}

void TDrillEngine::SetAnswerBox(const std::string& text, bool enabled) {
    View.SetAnswerText(text);
    SetEdit1Enabled(enabled);
}

void TDrillEngine::AfterCheck(const std::string& caption) {
    SetButton1Caption(caption);
    if (caption == msg::CaptionGoOn())
        NextQuestion();
    else
        SetAnswerBox("", false);
}

void TDrillEngine::Button1Click() {
    if (BlockPos == 0 && RandomPos == 0) return;
    // Only a question waiting for its answer judges the answer box: text left
    // there at an explanation would be judged against the previous question.
    const bool judging = Edit1Enabled && Answering;
    if (judging && View.AnswerHasForeignChar()) {
        // Such a character cannot be compared: the answer stays in the box
        // for the learner to mend.
        View.Beep();
        View.ShowMessage(msg::AnswerNoShiftJis());
        View.FocusAnswerBox();
    } else if (judging && !View.AnswerText().empty()) {
        AfterCheck(CheckAnswer());
    } else if (Button1Caption == msg::CaptionNext()) {
        NextQuestion();
    } else {
        View.SetMarkVisible(TMark::Batu, false);
        SetButton1Caption(msg::CaptionAnswer());
        SetAnswerBox("", true);
        View.FocusAnswerBox();
        for (int j = 0; j < AnsBtnTag && j < kAnswerButtons; ++j) View.SetAnswerButtonEnabled(j, true);
    }
}

void TDrillEngine::AnsBtnClick(int Index) {
    if (!Edit1Enabled || Index < 0 || Index >= kAnswerButtons) return;
    // The box shows the caption, but the caption's own bytes are judged: the
    // way through the window's text could give another code for the same
    // character.
    const std::string answer = AnsBtnCaptions[Index];
    View.SetAnswerText(answer);
    std::string caption = JudgeAnswer(answer);
    for (int j = 0; j < kAnswerButtons; ++j) View.SetAnswerButtonEnabled(j, false);
    AfterCheck(caption);
}

void TDrillEngine::NextQuestion() {
    View.SetMarkVisible(TMark::Maru, false);
    View.SetMarkVisible(TMark::Batu, false);
    View.CloseMediaPlayers(false);
    Advance();
    SetEdit1Enabled(true);
    View.FocusAnswerBox();
}
