// The progress file and the results header.
#include "main_engine.h"

#include "ini_text.h"
#include "messages.h"
#include "textfile.h"

#include <vector>


namespace {

// The lines after the marks that name the problem and the order.
constexpr size_t kOriginLines = 4;
const char kOrderFile[] = "order=file";
const char kOrderRandom[] = "order=random";
const char kPathKey[] = "path=";
const char kBytesKey[] = "bytes=";
const char kSizeKey[] = "size=";

std::string Hex64(uint64_t v) {
    static const char digits[] = "0123456789abcdef";
    std::string s(16, '0');
    for (int i = 15; i >= 0; --i, v >>= 4) s[size_t(i)] = digits[v & 15];
    return s;
}

// The value after key: exactly 16 small hex digits.
bool ParseHex64(const std::string& line, const char* key, uint64_t& out) {
    const std::string k(key);
    if (line.size() != k.size() + 16 || line.compare(0, k.size(), k) != 0) return false;
    uint64_t v = 0;
    for (size_t i = k.size(); i < line.size(); ++i) {
        const char c = line[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return false;
        v = v << 4 | uint64_t(d);
    }
    out = v;
    return true;
}

// The value after key: decimal digits, no sign, within 64 bits.
bool ParseSize(const std::string& line, const char* key, uint64_t& out) {
    const std::string k(key);
    if (line.size() <= k.size() || line.size() > k.size() + 19 || line.compare(0, k.size(), k) != 0) return false;
    uint64_t v = 0;
    for (size_t i = k.size(); i < line.size(); ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
        v = v * 10 + uint64_t(line[i] - '0');
    }
    out = v;
    return true;
}

}  // namespace

uint64_t ContentDigest(const char* data, size_t size) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < size; ++i) {
        h ^= static_cast<unsigned char>(data[i]);
        h *= 0x100000001b3ull;
    }
    return h;
}

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

std::string FormatProgressValues(const TProgressValues& v, const TProgressOrigin& origin) {
    std::vector<std::string> lines;
    lines.reserve(120);
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
    // The problem and the order come after the marks, where a reader of
    // the older layout has stopped.
    lines.push_back(origin.Random ? kOrderRandom : kOrderFile);
    lines.push_back(kPathKey + Hex64(origin.PathDigest));
    lines.push_back(kBytesKey + Hex64(origin.BytesDigest));
    lines.push_back(kSizeKey + std::to_string(origin.Size));
    return textfile::JoinLines(lines);
}

}  // namespace

std::string TDrillEngine::FormatProgress() const {
    TProgressOrigin origin = ProblemOrigin;
    origin.Known = true;
    origin.Random = IsRandom;
    // A random run writes the start of a run instead of its own state: its
    // marks belong to positions of another order, and an older program
    // opening the problem in file order would count questions never
    // answered as right.  The start of a run is opened afresh by every
    // program; this one also sees the order below the marks.  A test runs
    // in file order and writes its state like a normal run.
    if (IsRandom) return FormatProgressValues(TProgressValues(), origin);
    // Not started, or past the end of a run: the start of a run.
    if (BlockPos == 0) return FormatProgressValues(TProgressValues(), origin);
    TProgressValues v;
    v.BlockPos = BlockPos;
    v.TextTop = TextTop;
    v.ImageIndex = ImageIndex;
    v.LastPicture = LastPicture;
    v.QuestionIndex = QuestionIndex;
    v.SectionBlock = SectionBlock;
    v.SectionStart = SectionStart;
    // A test counts its mistakes over the whole problem; a normal run
    // counts them since its last feedback point, as a normal opening that
    // resumes the test reads them.
    v.MistakeCount = IsTest ? MistakeCount - MistakesBeforeStretch : MistakeCount;
    v.CorrectCount = CorrectCount;
    v.SectionAsked = SectionAsked;
    v.SectionCorrect = SectionCorrect;
    v.Reviewing = Reviewing;
    v.AnswerOpen = AnswerOpen;
    v.Answering = Answering;
    v.Results = Results;
    return FormatProgressValues(v, origin);
}

void TDrillEngine::SaveProgress() {
    textfile::WriteFileAtomic(ProgressPath(), FormatProgress());
}

bool TDrillEngine::LoadProgress() {
    // The file as written holds at most 15 short lines, the marks and the
    // lines naming the problem: a longer one is damaged and is read no
    // further than that shows.
    std::vector<std::string> lines;
    bool whole = false;
    if (!textfile::ReadRecordHead(ProgressPath(), 15 + kMaxQuestions + kOriginLines, input_limits::kMaxProgressBytes, lines,
                                  &whole) ||
        !whole)
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
    if (!ok || lines.size() < k + kMaxQuestions) return false;
    for (int i = 0; i < kMaxQuestions; ++i) {
        const std::string& r = lines[k + i];
        if (!r.empty() && r != msg::Maru()) return false;
    }
    // After the marks: nothing (an older program's file), or the problem
    // and the order as written.
    TProgressOrigin origin;
    const size_t o = k + kMaxQuestions;
    if (lines.size() == o + kOriginLines) {
        origin.Known = true;
        if (lines[o] == kOrderRandom)
            origin.Random = true;
        else if (lines[o] != kOrderFile)
            return false;
        if (!ParseHex64(lines[o + 1], kPathKey, origin.PathDigest) ||
            !ParseHex64(lines[o + 2], kBytesKey, origin.BytesDigest) || !ParseSize(lines[o + 3], kSizeKey, origin.Size))
            return false;
    } else if (lines.size() != o) {
        return false;
    }
    LoadedOrigin = origin;
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
