// A drill window that shows nothing: the engine's targets drive the engine
// through it.
#pragma once

#include "main_engine.h"

class NullView : public IDrillView {
public:
    std::string Answer;
    bool Closed = false;
    bool YesNo = true;

    void SetTextLine(int, const std::string&) override {}
    void SetTextLineColor(int, uint32_t) override {}
    void HideImages() override {}
    void ShowPicture(int, const std::string&, int, int, int) override {}
    std::vector<std::string> PictureExtensions() override {
        return {"bmp", "ico", "emf", "wmf", "jpg", "jpeg", "png"};
    }
    void SetMarkVisible(TMark, bool) override {}
    void PlaySoundFile(const std::string&) override {}
    void PlayMessageSound(const std::string&) override {}
    void PlayAudio(const std::string&) override {}
    void PlayMidi(const std::string&) override {}
    void PlayVideo(const std::string&) override {}
    void StopMidi() override {}
    void RunProgram(const std::string&, const std::string&) override {}
    void CloseMediaPlayers(bool) override {}
    void FreeVideoPanel() override {}
    void Beep() override {}
    void ShowMessage(const std::string&) override {}
    void ShowInformation(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return YesNo; }
    void ShowOKBottomDlg(const TOKBottomContent&) override {}
    void ShowModeDialog() override {}
    void SetStatusText(int, const std::string&) override {}
    void SetGauge(int) override {}
    void PlaceProgressBar() override {}
    std::string AnswerText() override { return Answer; }
    void SetAnswerText(const std::string& t) override { Answer = t; }
    void SetAnswerEnabled(bool) override {}
    void FocusAnswerBox() override {}
    void SetButtonCaption(const std::string&) override {}
    void FocusAnswerButton() override {}
    void PlaceAnswerButton(int, int, int, int, int, const std::string&) override {}
    void SetAnswerButtonVisible(int, bool) override {}
    void SetAnswerButtonEnabled(int, bool) override {}
    void CloseWindow() override { Closed = true; }
};

// Works through the open problem as a learner might: right and wrong
// answers, the hint, the answer buttons, passing and restarting.
inline void DriveEngine(TDrillEngine& e, NullView& view, int steps) {
    for (int step = 0; step < steps && !view.Closed && e.ProblemUsable(); ++step) {
        switch (step % 7) {
            case 0: view.Answer = e.Answers[1]; e.Button1Click(); break;
            case 1: view.Answer.clear(); e.Button1Click(); break;
            case 2: view.Answer = "x"; e.Button1Click(); break;
            case 3: e.SpeedButton3Click(); break;
            case 4: e.AnsBtnClick(step % kAnswerButtons); break;
            case 5: view.YesNo = step % 3 != 0; e.K4Click(); break;
            case 6: if (step % 5 == 0) e.K1Click(); else e.NextQuestion(); break;
        }
    }
}
