// A view that records what the engine asks of the window, for tests.
#pragma once

#include "main_engine.h"
#include "sjis.h"
#include "tempdir.h"
#include "textfile.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

class RecorderView : public IDrillView {
public:
    std::array<std::string, kTextLines> Lines;
    std::array<uint32_t, kTextLines> Colors{};
    std::vector<std::string> Log;        // every call, in order, as "Name:arg"
    std::vector<std::string> Messages;   // ShowMessage / ShowInformation texts
    std::vector<TOKBottomContent> Dialogs;
    std::vector<std::string> Sounds;
    std::deque<bool> YesNoAnswers;       // answers to AskYesNo; Yes when empty
    std::function<void()> OnModeDialog;
    // The answer box holds its text in UTF-8, as the window's box does, so
    // Shift-JIS bytes put into it come back the way the window gives them.
    std::string AnswerBox;
    bool AnswerEnabled = true;
    std::string Caption;
    bool Closed = false;
    int Gauge = -1;
    std::array<std::string, 4> Status;
    std::array<bool, kAnswerButtons> ButtonVisible{};
    std::array<std::string, kAnswerButtons> ButtonCaption;
    std::array<int, 4> ButtonGeometry[kAnswerButtons]{};
    bool MaruShown = false, BatuShown = false;

    void SetTextLine(int i, const std::string& t) override { Lines.at(i) = t; }
    void SetTextLineColor(int i, uint32_t c) override { Colors.at(i) = c; }
    void HideImages() override { Log.push_back("HideImages"); }
    void ShowPicture(int slot, const std::string& f, int l, int t, int w) override {
        Log.push_back("ShowPicture:" + std::to_string(slot) + " " + f + " " + std::to_string(l) + " " +
                      std::to_string(t) + " " + std::to_string(w));
    }
    std::vector<std::string> PictureExtensions() override {
        return {"bmp", "ico", "emf", "wmf", "jpg", "jpeg", "png"};
    }
    void SetMarkVisible(TMark m, bool v) override { (m == TMark::Maru ? MaruShown : BatuShown) = v; }
    void PlaySoundFile(const std::string& n) override { Sounds.push_back(n); }
    void PlayMessageSound(const std::string& l) override { Log.push_back("MessageSound:" + l); }
    void PlayAudio(const std::string& l) override { Log.push_back("Audio:" + l); }
    void PlayMidi(const std::string& l) override { Log.push_back("Midi:" + l); }
    void PlayVideo(const std::string& l) override { Log.push_back("Video:" + l); }
    void StopMidi() override { Log.push_back("StopMidi"); }
    void RunProgram(const std::string& p, const std::string& a) override {
        Log.push_back("Run:" + p + "|" + a);
    }
    void CloseMediaPlayers(bool) override {}
    void FreeVideoPanel() override {}
    void Beep() override { Log.push_back("Beep"); }
    void ShowMessage(const std::string& t) override { Messages.push_back(t); }
    void ShowInformation(const std::string& t) override { Messages.push_back(t); }
    bool AskYesNo(const std::string& t) override {
        Messages.push_back(t);
        if (YesNoAnswers.empty()) return true;
        bool a = YesNoAnswers.front();
        YesNoAnswers.pop_front();
        return a;
    }
    void ShowOKBottomDlg(const TOKBottomContent& c) override { Dialogs.push_back(c); }
    void ShowModeDialog() override {
        Log.push_back("ModeDialog");
        if (OnModeDialog) OnModeDialog();
    }
    void SetStatusText(int p, const std::string& t) override { Status.at(p) = t; }
    void SetGauge(int g) override { Gauge = g; }
    void PlaceProgressBar() override {}
    std::string AnswerText() override {
        std::string s;
        return sjis::FromUtf8(AnswerBox, s) ? s : std::string();
    }
    bool AnswerHasForeignChar() override {
        std::string s;
        return !sjis::FromUtf8(AnswerBox, s);
    }
    void SetAnswerText(const std::string& t) override { AnswerBox = sjis::ToUtf8(t); }
    void SetAnswerEnabled(bool e) override { AnswerEnabled = e; }
    void FocusAnswerBox() override {}
    void SetButtonCaption(const std::string& c) override { Caption = c; }
    void FocusAnswerButton() override {}
    void PlaceAnswerButton(int i, int l, int t, int w, int h, const std::string& c) override {
        ButtonCaption.at(i) = c;
        ButtonGeometry[i] = {l, t, w, h};
    }
    void SetAnswerButtonVisible(int i, bool v) override { ButtonVisible.at(i) = v; }
    void SetAnswerButtonEnabled(int, bool) override {}
    void CloseWindow() override { Closed = true; }

    // The question text's first shown line (its header).
    std::string Header() const {
        for (const auto& l : Lines)
            if (l.rfind(sjis::L("【"), 0) == 0) return l;
        return "";
    }
};

// An engine over a problem written into a fresh folder, with the score
// folder inside it.
struct DrillFixture {
    TempDir Dir;
    RecorderView View;
    TDrillEngine Engine{View};

    DrillFixture() {
        Engine.SetRandomSeed(12345);
        Engine.Settings.ScoreFolder = Dir / "score/";
        textfile::CreateDir(Dir / "score");
        Engine.UserScoreFolder = Engine.Settings.ScoreFolder;
        Engine.ComputerName = "PC01";
    }
    // Writes the problem (UTF-8 text, lines joined with CR LF) in Shift-JIS.
    std::string Write(const std::vector<std::string>& lines, const std::string& name = "q1.qzb") {
        std::string text;
        for (const auto& l : lines) text += sjis::L(l.c_str()) + "\r\n";
        textfile::WriteFileAtomic(Dir / name, text);
        return Dir / name;
    }
    void Open(const std::vector<std::string>& lines) { Engine.LoadProblemFile(Write(lines)); }
    // Opens a problem given as Shift-JIS bytes, lines joined with CR LF.
    void OpenBytes(const std::string& sjisText, const std::string& name = "q1.qzb") {
        textfile::WriteFileAtomic(Dir / name, sjisText);
        Engine.LoadProblemFile(Dir / name);
    }
    // Types an answer (UTF-8) and presses the answer button.
    void Type(const std::string& utf8) {
        View.AnswerBox = utf8;
        Engine.Button1Click();
    }
    // Presses the answer button with nothing typed (moves on).
    void Press() {
        View.AnswerBox.clear();
        Engine.Button1Click();
    }
    std::string Msg(size_t fromEnd = 0) const {
        return View.Messages.size() > fromEnd
                   ? sjis::ToUtf8(View.Messages[View.Messages.size() - 1 - fromEnd])
                   : std::string();
    }
    std::string ResultFile() const {
        std::string s;
        textfile::ReadFileBytes(Dir / "score/PC01.dat", s);
        return s;
    }
};
