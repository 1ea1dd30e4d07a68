#include "score.h"
#include "winpos.h"

#include "CmbGrid.h"
#include "func.h"
#include "gridfunc.h"
#include "qtext.h"

#include <QPainter>
#include <QSpinBox>

TfScore::TfScore(QWidget* owner, TControllerSettings& settings) : TResultsWindow(owner, settings, 41) {
    setObjectName("fScore");
    setWindowTitle(QL("成績一覧表"));
    resize(586, 338);
    // The wide title gives the bar its room once the columns are fitted.
    SetColumns({"Computer", "User ID", "User Name", "問題名", "問題数", "　　　　　　％　　　　　　"},
               {caLeft | caVCenter, caLeft | caVCenter, caLeft | caVCenter, caLeft | caVCenter,
                caRight | caVCenter, caLeft | caVCenter});
    Grid->setToolTip(QL("セルの表題をクリックすると、ソートします。"));
    Grid->OnDrawCell = [this](QObject*, int col, int row, QPainter& p, const QRect& rect, unsigned) {
        ScoreGridDrawCell(col, row, p, rect);
    };
    Grid->OnMouseUp = [this](QObject*, Qt::MouseButton, int x, int y) { ScoreGridMouseUp(x, y); };
    OpenAt(QPoint(Settings.ScoreLeft, Settings.ScoreTop), Settings.ScoreInterval, [this] { RefreshScore(); });
}

TfScore::~TfScore() {
    KeepPlace(Settings.ScoreInterval, Settings.ScoreLeft, Settings.ScoreTop);
}

// The rows are put in the chosen order before they reach the grid, so a
// refresh fills the grid once.
void TfScore::RefreshScore() {
    TGridRows rows = ScoreTableRows(ReadScoreFolder(Settings.ScoreDir));
    ApplySort(rows);
    ShowDataRows(rows);
}

void TfScore::ApplySort(TGridRows& rows) const {
    // Sorted as the grid would be: below a title row, and a last row
    // without a computer kept last.
    rows.insert(rows.begin(), std::vector<std::string>());
    SortState.Apply(rows);
    rows.erase(rows.begin());
}

void TfScore::Timer1Timer() {
    // The refresh runs whole before the next input is handled, so the grid
    // stays enabled: disabling it would hand the keyboard to the interval
    // box, where the next digit typed would become the stored interval.
    RefreshScore();
    FitAll();
}

void TfScore::ScoreGridMouseUp(int x, int y) {
    int col, row;
    Grid->MouseToCell(x, y, col, row);
    const int sortNow = SortState.Click(row < 0 ? -1 : col);
    if (sortNow < 0) return;
    TGridRows rows = GridRows(*Grid);
    TScoreSort::SortColumn(rows, sortNow, SortState.State[static_cast<size_t>(sortNow)]);
    SetGridRows(*Grid, rows);
}

// The percentage as a teal bar on the window colour, its number in red.
void TfScore::ScoreGridDrawCell(int col, int row, QPainter& p, const QRect& rect) {
    if (col != 5 || row < 1) return;
    const int L = rect.left(), T = rect.top(), R = rect.right() + 1, B = rect.bottom() + 1;
    const std::string text = Grid->Cells(col, row);
    const int avail = R - L - 10;
    const int len = BarLength(text, avail);
    const QColor window = palette().color(QPalette::Base);
    p.fillRect(QRect(QPoint(L, T + 2), QPoint(L + len - 1, B - 3)), QColor(0, 128, 128));
    if (L + len + 1 < R - 10) p.fillRect(QRect(QPoint(L + len + 1, T + 2), QPoint(R - 11, B - 3)), window);
    QFont f = Grid->CanvasFont();
    f.setBold(true);
    p.setFont(f);
    const QString shown = Q(text);
    const QFontMetrics fm(f);
    const QRect textRect(L + 5, T + 6, fm.horizontalAdvance(shown), fm.height());
    p.fillRect(textRect, window);
    p.setPen(QColor(255, 0, 0));
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignTop, shown);
}
