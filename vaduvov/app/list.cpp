#include "list.h"
#include "winpos.h"

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
    // Results files half a day old are cleared once, when the list opens.
    DeleteOldFiles(Settings.ScoreDir, ".dat", std::time(nullptr));
    OpenAt(QPoint(Settings.ListLeft, Settings.ListTop), Settings.ListInterval, [this] { RefreshList(); });
}

TfList::~TfList() {
    KeepPlace(Settings.ListInterval, Settings.ListLeft, Settings.ListTop);
}

void TfList::RefreshList() {
    TGridRows rows;
    for (const auto& row : ClientListRows(ReadScoreFolder(Settings.ScoreDir))) rows.emplace_back(row.begin(), row.end());
    ShowDataRows(rows);
}

void TfList::Timer1Timer() {
    RefreshList();
    FitAll();
}
