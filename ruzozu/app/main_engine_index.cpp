// Opening a problem file and building its block index.
#include "main_engine.h"

#include "ini_text.h"
#include "messages.h"
#include "sjis.h"
#include "textfile.h"

#include <algorithm>
#include <malloc.h>
#include <unistd.h>

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
    // The memory of the refused lines goes back, not only the lines.
    std::vector<std::string>().swap(ProblemLines);
    ::malloc_trim(0);
    ClearBlockIndex();
    BlockCount = 0;
    QuestionCount = 0;
    Resumed = false;
    // Nothing of the problem open before stays either: not its name (the
    // status bar, the closing question), not its mode, and not the results
    // file, which would show the instructor the learner still at it.  With
    // the file gone the computer is listed as before any problem was opened.
    BaseName.clear();
    ProblemPath.clear();
    ProblemOrigin = TProgressOrigin();
    IsTest = IsRandom = ModeFixed = false;
    for (auto& a : Answers) a.clear();
    AnsBtnTag = 0;
    ResetProgress();
    SetButton1Caption(msg::CaptionAnswer());
    SetAnswerBox("", true);
    View.SetStatusText(0, msg::StatusProblem());
    for (int panel = 1; panel < 4; ++panel) View.SetStatusText(panel, std::string());
    DeleteResultFiles(Settings.ScoreFolder, ComputerName);
}

// Reads the problem file into its lines, ended by a closing "/"; a file
// that cannot be read or holds no block is refused (FailOpening).
bool TDrillEngine::ReadProblemLines(const std::string& path) {
    std::string bytes;
    if (!textfile::ReadFileBytes(path, bytes)) {
        FailOpening(msg::CannotRead(), false);
        return false;
    }
    // The problem as progress files name it: by its path and by its bytes.
    ProblemOrigin.Known = true;
    ProblemOrigin.PathDigest = ContentDigest(path.data(), path.size());
    ProblemOrigin.BytesDigest = ContentDigest(bytes.data(), bytes.size());
    ProblemOrigin.Size = bytes.size();
    // A file with no text at all has no block, however many blank lines it
    // holds: refused before it is split.  One with more lines than any
    // problem has is refused as soon as the split passes the bound.
    const size_t textEnd = std::min(bytes.find('\0'), bytes.size());
    if (std::find_if(bytes.begin(), bytes.begin() + std::ptrdiff_t(textEnd),
                     [](char c) { return static_cast<unsigned char>(c) > ' '; }) == bytes.begin() + std::ptrdiff_t(textEnd)) {
        std::string().swap(bytes);
        FailOpening(msg::NoBlock(), false);
        return false;
    }
    const bool fits = textfile::SplitLinesUpTo(bytes, kMaxProblemLines, ProblemLines);
    std::string().swap(bytes);
    if (!fits) {
        FailOpening(msg::TooManyLines(), false);
        return false;
    }
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
        return false;
    }
    {
        std::string t = LowerTrimmed(static_cast<int>(ProblemLines.size()) - 1);
        if (t != "/" && t != "/fb") ProblemLines.push_back("/");
    }
    return true;
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
    ProblemOrigin = TProgressOrigin();
    LoadedOrigin = TProgressOrigin();

    bool hasProgress = textfile::FileExists(ProgressPath());
    if (hasProgress) {
        // A damaged progress file is ignored: the run starts afresh.
        hasProgress = LoadProgress();
        Resumed = hasProgress;
    }
    const int restoredImage = hasProgress ? ImageIndex : -1;
    View.SetStatusText(0, msg::StatusProblem() + BaseName);

    if (!ReadProblemLines(path)) return;  // FailOpening has run

    if (!BuildBlockIndex()) return;  // FailOpening has run

    if (Settings.AutoMode != -1) {
        IsTest = Settings.AutoMode == 1 || Settings.AutoMode == 3;
        IsRandom = Settings.AutoMode == 2 || Settings.AutoMode == 3;
    }
    ModeFixed = IsTest || IsRandom;
    if (!ModeFixed && Settings.AutoMode == -1 && Settings.AllowModeChange) View.ShowModeDialog();
    if (Settings.AutoMode == -1) ApplyChosenMode();

    // Progress made for another problem, another version of the file or a
    // run in another order is of no use.
    if (hasProgress && !(ProgressFitsProblem() && ProgressBelongsHere())) {
        hasProgress = false;
        Resumed = false;
    }
    // A finished run, a run still at its start (what a random run leaves),
    // and every test or random run start afresh: only a normal opening
    // resumes, also a test's progress, which is in file order too.
    if (!hasProgress || BlockPos == 0 || CorrectCount == QuestionCount || IsTest || IsRandom) {
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

    // The box takes the answer as after a refused opening, whatever the
    // problem before left it in.
    SetAnswerBox("", true);
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
           inRange(Reviewing, 0, 1) && ProgressFitsLayout();
}

bool TDrillEngine::ProgressFitsLayout() const {
    // The place and the marks must be ones a run of this problem can have
    // saved: a problem edited in its place (a typo, an answer added) keeps
    // its progress, one rewritten with another layout does not.
    const auto kind = [this](int e) -> const std::string& { return BlockKinds[size_t(e)]; };
    // Saved at the start of a run, or after a step that waits: right after
    // an explanation, or after a question and its hint and message entries.
    if (BlockPos > 0) {
        int e = BlockPos - 1;
        while (e > 0 && (kind(e) == "hint" || kind(e) == "message")) --e;
        if (IsQuestionKind(kind(e))) {
            if (QuestionNumber(kind(e)) - 1 != QuestionIndex) return false;
        } else if (kind(e) != msg::KindExplanation()) {
            return false;
        }
    }
    // The section is a title's entry, none, or that of a reset; a stretch
    // starts at the start or right after a feedback point.
    if (SectionBlock >= 0 && kind(SectionBlock) != msg::KindTitle()) return false;
    if (SectionStart > 0 && kind(SectionStart - 1) != "FeedBack") return false;
    // One mark for every right answer, only on questions the problem has.
    int marks = 0;
    for (int i = 0; i < kMaxQuestions; ++i) {
        if (Results[size_t(i)].empty()) continue;
        if (i >= QuestionCount) return false;
        ++marks;
    }
    return marks == CorrectCount;
}

bool TDrillEngine::ProgressBelongsHere() const {
    if (LoadedOrigin.Known) {
        // Written for this file (its path), or for a copy of it (its bytes),
        // in the order it is opened in.  Problems of one name in several
        // folders share the progress file's name and never each other's
        // progress.
        const bool same = LoadedOrigin.PathDigest == ProblemOrigin.PathDigest ||
                          (LoadedOrigin.BytesDigest == ProblemOrigin.BytesDigest && LoadedOrigin.Size == ProblemOrigin.Size);
        return same && LoadedOrigin.Random == IsRandom;
    }
    // An older program's file names neither: it is taken only in file order
    // and only when no random run can have written it.
    return !IsRandom && CannotBeRandomRun();
}

bool TDrillEngine::CannotBeRandomRun() const {
    // With one question both orders are the same.
    if (QuestionCount <= 1) return true;
    // A random run sets the section at its first question; a run in file
    // order leaves it as after a reset until it meets a title.
    if (SectionBlock == -9) return true;
    // A random run is saved right after a question (and its hint and
    // message entries); a run in file order also after an explanation.
    // Right after a question the two cannot be told apart: starting afresh
    // is better than crediting questions never asked.
    int e = BlockPos - 1;
    while (e >= 0 && (BlockKinds[size_t(e)] == "hint" || BlockKinds[size_t(e)] == "message")) --e;
    return e < 0 || !IsQuestionKind(BlockKinds[size_t(e)]);
}

bool TDrillEngine::ScanToEnd(int& line, const char* endPrefix, const std::string& missing) {
    for (;;) {
        ++line;
        if (line >= static_cast<int>(ProblemLines.size())) {
            FailOpening(missing, true);
            return false;
        }
        if (LineBeginsWith(ProblemLines[line], endPrefix)) return true;
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
    if (L < count && LineBeginsWith(ProblemLines[L], "mode")) {
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
                const std::string& q = ProblemLines[L];
                bool hint = LineBeginsWith(q, "@hint");
                if (hint || LineBeginsWith(q, "@mess")) {
                    if (!room(1)) return false;
                    BlockKinds[E] = hint ? "hint" : "message";
                    Blocks[E] = {L, S};
                    ++E;
                    if (!SkipToSubBlockEnd(L)) return false;
                } else if (LineBeginsWith(q, "/")) {
                    break;
                }
            }
        }
        if (LineBeginsWith(ProblemLines[L], "/fb")) {
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
