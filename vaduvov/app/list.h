// The client list: every drill computer's learner, problem, mode and
// progress, read from the results files of the score folder and refreshed
// on a timer.
#pragma once

#include "results_window.h"

class TfList : public TResultsWindow {
    Q_OBJECT
public:
    TfList(QWidget* owner, TControllerSettings& settings);
    ~TfList() override;
    void RefreshList();
    void Timer1Timer() override;
};
