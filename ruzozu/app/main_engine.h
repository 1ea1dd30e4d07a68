// The drill engine: the open problem's block index, answer judging,
// question sequencing with feedback and review, and the progress and
// results files.  Plain C++: everything it asks of the window goes through
// IDrillView, which the main window implements (tests use a recorder).
#pragma once

#include "IniFile.h"
#include "input_limits.h"

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// Colours as 0xRRGGBB.
namespace drillcolor {
constexpr uint32_t Aqua = 0x00FFFF;
constexpr uint32_t Lime = 0x00FF00;
constexpr uint32_t White = 0xFFFFFF;
constexpr uint32_t Yellow = 0xFFFF00;
constexpr uint32_t Navy = 0x000080;
}  // namespace drillcolor

// Where a line belongs: T title, Q question, E explanation, H hint or
// answer dialog, M correct-answer message dialog.
enum class TLineKind { T, Q, E, H, M };

enum class TMark { Maru, Batu };

// What the hint, answer, message and feedback dialog shows.
struct TOKBottomContent {
    std::string Caption;
    uint32_t Color = drillcolor::Navy;
    std::array<std::string, 5> Labels;
    std::array<uint32_t, 5> LabelColors{{drillcolor::Yellow, drillcolor::Yellow, drillcolor::Yellow,
                                         drillcolor::Yellow, drillcolor::Yellow}};
    std::string Answer;  // the dialog's Label1
    int Width = 331;
    int Height = 167;
};

class IDrillView {
public:
    virtual ~IDrillView() = default;

    // The 22 text lines.
    virtual void SetTextLine(int index, const std::string& text) = 0;
    virtual void SetTextLineColor(int index, uint32_t rgb) = 0;

    // Pictures.  slot 0..4 is a main-window picture, -1 the dialog's
    // picture.  width < 0: natural size; else stretched to width with the
    // height kept in proportion.  The view resolves the file name against
    // the problem folder and reports a picture it cannot show.
    virtual void HideImages() = 0;
    virtual void ShowPicture(int slot, const std::string& fileName, int left, int top, int width) = 0;
    // Registered picture extensions, lower case, without the dot.
    virtual std::vector<std::string> PictureExtensions() = 0;
    virtual void SetMarkVisible(TMark mark, bool visible) = 0;

    // Sounds, media and programs.
    virtual void PlaySoundFile(const std::string& name) = 0;      // synchronous
    virtual void PlayMessageSound(const std::string& line) = 0;   // "wav"/"mp3" line in a message
    virtual void PlayAudio(const std::string& line) = 0;
    virtual void PlayMidi(const std::string& line) = 0;
    virtual void PlayVideo(const std::string& line) = 0;
    virtual void StopMidi() = 0;
    virtual void RunProgram(const std::string& program, const std::string& params) = 0;
    // Closes the audio and video players (and the MIDI player with midiToo)
    // and hides their tool buttons.
    virtual void CloseMediaPlayers(bool midiToo) = 0;
    virtual void FreeVideoPanel() = 0;

    // Messages.
    virtual void Beep() = 0;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void ShowInformation(const std::string& text) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;
    virtual void ShowOKBottomDlg(const TOKBottomContent& content) = 0;
    // The question-mode dialog; it sets the engine's ChosenMode.
    virtual void ShowModeDialog() = 0;

    // Status bar.
    virtual void SetStatusText(int panel, const std::string& text) = 0;
    virtual void SetGauge(int percent) = 0;
    virtual void PlaceProgressBar() = 0;

    // The answer box (Edit1), the answer button (Button1) and the answer
    // buttons (AnsBtn).
    // The box's text in Shift-JIS; empty when it holds a character that has
    // no Shift-JIS form.
    virtual std::string AnswerText() = 0;
    // True when the box holds a character that has no Shift-JIS form.  A
    // view that holds the text as Shift-JIS bytes has none.
    virtual bool AnswerHasForeignChar() { return false; }
    virtual void SetAnswerText(const std::string& text) = 0;
    virtual void SetAnswerEnabled(bool enabled) = 0;
    virtual void FocusAnswerBox() = 0;
    virtual void SetButtonCaption(const std::string& caption) = 0;
    virtual void FocusAnswerButton() = 0;
    virtual void PlaceAnswerButton(int index, int left, int top, int width, int height,
                                   const std::string& caption) = 0;
    virtual void SetAnswerButtonVisible(int index, bool visible) = 0;
    virtual void SetAnswerButtonEnabled(int index, bool enabled) = 0;

    // A failure inside a step ends the program.
    virtual void CloseWindow() = 0;
};

// The table sizes: one entry more than the blocks a problem may hold.
constexpr int kMaxEntries = input_limits::kMaxProblemBlocks + 1;
constexpr int kMaxQuestions = input_limits::kMaxProblemQuestions;
constexpr size_t kMaxProblemLines = input_limits::kMaxProblemLines;
constexpr int kTextLines = 22;
constexpr int kAnswerButtons = 10;
constexpr int kAnswerSlots = 10;
constexpr size_t kAnswerBytes = 80;

struct TBlockEntry {
    int32_t First = 0;    // first line of the entry; for the final entry the number of lines
    int32_t Section = 0;  // entry of its title, -1 before the first title
};

// Which problem a progress file was written for, and in which order: the
// lines after the marks.  A file without them (an older program's) has
// Known false.
struct TProgressOrigin {
    bool Known = false;
    bool Random = false;       // written by a run in random order
    uint64_t PathDigest = 0;   // of the problem file's full path
    uint64_t BytesDigest = 0;  // of the problem file's bytes
    uint64_t Size = 0;         // the problem file's size in bytes
};

// A 64-bit digest (FNV-1a) of bytes: tells one problem file from another,
// by its path or by its contents.
uint64_t ContentDigest(const char* data, size_t size);

// Cuts a line into at most n tokens at single spaces (see the picture,
// program and media commands); lower-cases them when lower is set.
std::vector<std::string> SplitTokens(const std::string& line, size_t n, bool lower);

// True when the line, trimmed and with its ASCII letters lower-cased, begins
// with word (written in small letters).  The block index and the display
// decide by it alike where a block or sub-block ends.
bool LineBeginsWith(const std::string& line, const std::string& word);

class TDrillEngine {
public:
    explicit TDrillEngine(IDrillView& view);
    TDrillEngine(const TDrillEngine&) = delete;
    TDrillEngine& operator=(const TDrillEngine&) = delete;

    // ---- opening and the block index
    void LoadProblemFile(const std::string& path);
    bool ReadProblemLines(const std::string& path);
    bool BuildBlockIndex();
    bool SkipToBlockEnd(int& line);
    bool SkipToSubBlockEnd(int& line);
    void ClearBlockIndex();
    void ApplyChosenMode();
    bool ProblemUsable() const { return !ProblemLines.empty(); }

    // ---- answers
    void ParseAnswerLine(const std::string& line);
    void ShowAnswerButtons(int mode, bool half, int rightChoice);
    // Trims the answer box and makes each run of blanks in it one blank;
    // gives the text written back.
    std::string NormalizeAnswerSpaces();
    // Judges the answer box.
    std::string CheckAnswer();
    void Button1Click();
    void AnsBtnClick(int Index);
    void NextQuestion();

    // ---- sequencing
    void ResetProgress();
    void Advance();
    void StepSequential();
    void StepRandom();
    void NoteSubBlock();
    void ShuffleRemaining();
    void StopQuestion();
    void K1Click();
    void K4Click();

    // ---- block display and line commands
    bool ExecuteLine(const std::string& Line, int& NextLine, TLineKind Kind);
    void ClearTextLines(int From);
    void HideImages();
    int ShowTitle(int Entry);
    void ShowExplanation();
    void ShowQuestion(int Top);
    void ShowPicture(const std::string& Line, const std::string& Target);
    void RunProgram(const std::string& Line);

    // ---- hint, answer and message dialog
    void SpeedButton3Click();
    void ShowCorrectMessage();

    // ---- progress and results files
    std::string ProgressPath() const;
    void SaveProgress();
    bool LoadProgress();
    std::string FormatProgress() const;
    // Whether the progress just read belongs to the problem opened, in the
    // order it is opened in; ProgressFitsProblem checks its shape besides.
    bool ProgressBelongsHere() const;
    TResultHeader ResultHeader() const;

    // The random generator of shuffles (seeded from the clock; tests seed it).
    void SetRandomSeed(uint32_t seed) { Rng.seed(seed); }

    // ---- program-wide state the window sets
    TDrillSettings Settings;
    std::string UserID;
    std::string UserName;
    std::string UserScoreFolder;  // score folder + user ID + "/" in network mode
    std::string ComputerName;
    int ChosenMode = 0;

    // ---- the open problem
    std::vector<std::string> ProblemLines;
    std::string BaseName;
    std::string ProblemPath;
    std::array<std::string, kMaxEntries> BlockKinds;
    std::array<TBlockEntry, kMaxEntries> Blocks{};
    std::array<int32_t, kMaxQuestions> QuestionBlocks{};
    int32_t BlockCount = 0;
    int32_t QuestionCount = 0;
    bool IsTest = false;
    bool IsRandom = false;
    bool ModeFixed = false;
    bool Resumed = false;
    // The open problem's identity (Known once it is read), written into
    // every progress file, and that of the progress file last read.
    TProgressOrigin ProblemOrigin;
    TProgressOrigin LoadedOrigin;

    // ---- engine state
    std::array<std::string, kMaxQuestions> Results;
    // One more than the questions: the end marker always has room.
    std::array<int32_t, kMaxQuestions + 1> RandomOrder{};
    std::array<std::string, kAnswerSlots + 1> Answers;  // slots 1..10; [0] unused
    int32_t CorrectCount = 0;
    int32_t MistakeCount = 0;
    int32_t SectionAsked = 0;
    int32_t SectionCorrect = 0;
    int32_t Reviewing = 0;
    int32_t ImageIndex = -1;
    int32_t BlockPos = 0;
    int32_t TextTop = 0;
    int32_t RandomPos = 0;
    int32_t QuestionIndex = 0;
    int32_t RandomCount = 0;
    int32_t TryCount = 0;
    bool AnswerOpen = false;
    bool HintSeen = false;
    bool Answering = false;
    // The question shown has had an answer judged, which has counted (right,
    // or a mistake): a pass adds nothing more.
    bool AnswerCounted = false;
    // A test: its mistakes before the current stretch.  A test neither
    // stops at feedback points nor reviews, but keeps the stretch's counts
    // as a run in file order does, so that its progress, opened by a normal
    // opening, reads as a normal run's at the same place.
    int32_t MistakesBeforeStretch = 0;
    int32_t SectionBlock = -9;
    int32_t HintBlock = -1;
    int32_t MessageBlock = -1;
    int32_t SectionStart = 0;
    std::string LastPicture;
    bool DialogOpen = false;

    // ---- the answer line's layout
    int ButtonMode = 0;
    bool HalfButtons = false;
    int AnsBtnTag = 0;

private:
    // What the window's answer controls show.  The engine owns it: it
    // changes only through SetButton1Caption, SetEdit1Enabled and
    // ShowAnswerButtons, which pass each change on to the window.
    std::array<std::string, kAnswerButtons> AnsBtnCaptions_;
    std::string Button1Caption_;
    bool Edit1Enabled_ = true;

public:
    // Read-only views of it for the window and for tests.
    const std::array<std::string, kAnswerButtons>& AnsBtnCaptions = AnsBtnCaptions_;
    const std::string& Button1Caption = Button1Caption_;
    const bool& Edit1Enabled = Edit1Enabled_;

private:
    void SetButton1Caption(const std::string& caption);
    void SetEdit1Enabled(bool enabled);
    // Judges an answer given as Shift-JIS bytes (typed or a button's caption).
    std::string JudgeAnswer(const std::string& answer);
    bool ScanToEnd(int& line, const char* endPrefix, const std::string& missing);
    // Passes the hint and message entries after a question, noting each.
    void PassSubBlocks();
    bool IsQuestionKind(const std::string& kind) const;
    int QuestionNumber(const std::string& kind) const;
    void ShowBlockLines(int entry, TLineKind kind, int& nextLine);
    bool RunSubBlockLines(int entry, TLineKind kind, TOKBottomContent& dlg, std::string& collected);
    void ShowFeedback(const std::array<std::string, 5>& labels);
    void SetAnswerBox(const std::string& text, bool enabled);
    void AfterCheck(const std::string& caption);
    void FailOpening(const std::string& message, bool withOut);
    bool ProgressFitsProblem() const;
    bool ProgressFitsLayout() const;
    bool CannotBeRandomRun() const;
    int Random(int n);
    std::string LowerTrimmed(int line) const;

    IDrillView& View;
    std::mt19937 Rng;
};
