// What the client list and the score table share: a grid of the results
// files over a panel with the refresh interval and the close button, a
// timer, and a window that fits its width to the columns and lets the
// user change only its height.
#pragma once

#include "IniFile.h"
#include "gridsort.h"

#include <QWidget>

#include <functional>

class QPushButton;
class QSpinBox;
class QTimer;
class TComboGrid;

class TResultsWindow : public QWidget {
    Q_OBJECT
public:
    TResultsWindow(QWidget* owner, TControllerSettings& settings, int panelHeight);

    TComboGrid* Grid = nullptr;
    QWidget* Panel1 = nullptr;
    QSpinBox* SpinEdit1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QTimer* Timer1 = nullptr;

    bool SizeLock = false;
    int FittedWidth = 0;
    int ScrollExtra = 0;
    // The height of the grid's horizontal scroll bar while the columns are
    // wider than the screen (the window then keeps to the screen); else 0.
    int WideExtra = 0;
    // The width the window keeps and the tallest it may be (0: not fitted
    // yet), as told to the window system.
    int LockedWidth = 0;
    int MaxHeight = 0;
    // The window manager gave the window a size beyond those limits (a
    // kiosk manager's whole screen): it keeps that size, filled.
    bool ManagerSized = false;

    void FitWidth();
    void FitHeight();
    void SpinEdit1Change();
    // Rebuilds the rows and fits the window (what the timer does).
    virtual void Timer1Timer() = 0;
    // Fits the columns, the width and the height to the rows shown, and
    // the scroll bar's room to the rows out of view.
    void FitAll();
    void FitScrollExtra();

protected:
    // Titles and cell alignments of the columns; the rest of the set-up.
    void SetColumns(const std::vector<const char*>& titles, const std::vector<uint8_t>& aligns);
    void StartTimer(int seconds);
    // Shows the window at its kept place with the rows refresh makes,
    // fitted, and refreshes every seconds from then on.
    void OpenAt(const QPoint& place, int seconds, const std::function<void()>& refresh);
    // The refresh interval and the window's place, kept for the next time.
    void KeepPlace(int& seconds, int& left, int& top) const;
    // One row per results file below the titles; no file: one empty row.
    void ShowDataRows(const TGridRows& rows);
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    TControllerSettings& Settings;

private:
    void LockWidth(int width);
    void ApplyLimits();
    // The widest the window may be: its screen's width.
    int ScreenWidth() const;
    void LayOut();
    bool FitPending = false;
};
