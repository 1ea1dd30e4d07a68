// The progress file and the results header.
#include "main_engine.h"

#include "ini_text.h"
#include "messages.h"
#include "textfile.h"

#include <vector>


namespace {

// Far beyond what a progress file holds: numbers, the marks and one
// picture line.
constexpr size_t kMaxProgressBytes = 64 * 1024;

}  // namespace

std::string TDrillEngine::ProgressPath() const { return UserScoreFolder + BaseName + ".sc"; }

namespace {

// The values of a progress file; as made, those of a run before its first
// step (what a reset leaves).
struct TProgressValues {
    int32_t BlockPos = 0, TextTop = 0, ImageIndex = -1;
    std::string LastPicture;
    int32_t QuestionIndex = 0, SectionBlock = -9, SectionStart = 0, MistakeCount = 0, CorrectCount = 0,
            SectionAsked = 0, SectionCorrect = 0, Reviewing = 0;
    bool AnswerOpen = false, Answering = false;
    std::array<std::string, kMaxQuestions> Results;
};

std::string FormatProgressValues(const TProgressValues& v) {
    std::vector<std::string> lines;
    lines.reserve(116);
    auto num = [&lines](int v) { lines.push_back(std::to_string(v)); };
    num(v.BlockPos);
    num(v.TextTop);
    num(v.ImageIndex);
    if (v.ImageIndex >= 0) lines.push_back(v.LastPicture);
    num(v.QuestionIndex);
    num(v.SectionBlock);
    num(v.SectionStart);
    num(v.MistakeCount);
    num(v.CorrectCount);
    num(v.SectionAsked);
    num(v.SectionCorrect);
    num(v.Reviewing);
    lines.push_back(v.AnswerOpen ? "t" : "f");
    lines.push_back(v.Answering ? "t" : "f");
    for (const auto& r : v.Results) lines.push_back(r);
    return textfile::JoinLines(lines);
}

}  // namespace

std::string TDrillEngine::FormatProgress() const {
    // Only a run in file order without a test is ever resumed.  A test or
    // random run writes the start of a run instead of its own state: its
    // marks belong to positions of another order, and a normal opening (on
    // this computer or on one with an older program) that read them would
    // count questions never answered as right.  What it writes is what a
    // run writes before its first step, which every program opens afresh.
    if (IsTest || IsRandom) return FormatProgressValues(TProgressValues());
    TProgressValues v;
    v.BlockPos = BlockPos;
    v.TextTop = TextTop;
    v.ImageIndex = ImageIndex;
    v.LastPicture = LastPicture;
    v.QuestionIndex = QuestionIndex;
    v.SectionBlock = SectionBlock;
    v.SectionStart = SectionStart;
    v.MistakeCount = MistakeCount;
    v.CorrectCount = CorrectCount;
    v.SectionAsked = SectionAsked;
    v.SectionCorrect = SectionCorrect;
    v.Reviewing = Reviewing;
    v.AnswerOpen = AnswerOpen;
    v.Answering = Answering;
    v.Results = Results;
    return FormatProgressValues(v);
}

void TDrillEngine::SaveProgress() {
    textfile::WriteFileAtomic(ProgressPath(), FormatProgress());
}

bool TDrillEngine::LoadProgress() {
    // The file as written holds at most 15 short lines and the marks: a
    // longer one is damaged and is read no further than that shows.
    std::vector<std::string> lines;
    bool whole = false;
    if (!textfile::ReadRecordHead(ProgressPath(), 15 + kMaxQuestions, kMaxProgressBytes, lines, &whole) || !whole)
        return false;
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
