#include "list.h"

#include "CmbGrid.h"
#include "func.h"
#include "gridfunc.h"
#include "qtext.h"

#include <QSpinBox>
#include <ctime>

TfList::TfList(QWidget* owner, TControllerSettings& settings) : TResultsWindow(owner, settings, 38) {
    setObjectName("fList");
    setWindowTitle(QL("クライアント一覧表"));
    resize(691, 223);
    SetColumns({"Computer", "User Name", "問題", "Normal", " Test ", "Random", "実施No.", "最大数", "%"},
               {caLeft | caVCenter, caLeft | caVCenter, caLeft | caVCenter, caCenter | caVCenter,
                caCenter | caVCenter, caCenter | caVCenter, caRight | caVCenter, caRight | caVCenter,
                caRight | caVCenter});
    move(Settings.ListLeft, Settings.ListTop);
    ScrollExtra = 0;
    // Results files half a day old are cleared once, when the list opens.
    DeleteOldFiles(Settings.ScoreDir, ".dat", std::time(nullptr));
    RefreshList();
    FitColWidths(*Grid);
    FitWidth();
    FitHeight();
    StartTimer(Settings.ListInterval);
}

TfList::~TfList() {
    Settings.ListInterval = SpinEdit1->value();
    Settings.ListLeft = x();
    Settings.ListTop = y();
}

void TfList::RefreshList() {
    auto rows = ClientListRows(Settings.ScoreDir);
    if (rows.empty()) {
        Grid->SetRowCount(2);
        for (int c = 0; c < Grid->ColCount(); ++c) Grid->SetCells(c, 1, std::string());
        return;
    }
    Grid->SetRowCount(static_cast<int>(rows.size()) + 1);
    for (size_t r = 0; r < rows.size(); ++r)
        for (int c = 0; c < 9; ++c) Grid->SetCells(c, static_cast<int>(r) + 1, rows[r][static_cast<size_t>(c)]);
}

void TfList::Timer1Timer() {
    RefreshList();
    FitColWidths(*Grid);
    FitWidth();
    FitHeight();
}
