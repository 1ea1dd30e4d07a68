// The score table: one row per drill computer with the learner, the
// problem, the progress and the percentage drawn as a bar; a click on a
// column sorts by it, and the sort survives every refresh.
#pragma once

#include "gridsort.h"
#include "results_window.h"

class QPainter;

class TfScore : public TResultsWindow {
    Q_OBJECT
public:
    TfScore(QWidget* owner, TControllerSettings& settings);
    ~TfScore() override;
    // Reads the score folder and shows its rows in the order SortState
    // chooses.
    void RefreshScore();
    // Puts data rows (no title row) in the order SortState chooses.
    void ApplySort(TGridRows& rows) const;
    void Timer1Timer() override;
    // A mouse release at a point of the grid's view.
    void ScoreGridMouseUp(int x, int y);
    TScoreSort SortState;

private:
    void ScoreGridDrawCell(int col, int row, QPainter& p, const QRect& rect);
};
