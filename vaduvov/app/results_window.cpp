#include "results_window.h"

#include "CmbGrid.h"
#include "gridfunc.h"
#include "localeorder.h"
#include "qtext.h"
#include "winpos.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QLabel>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <limits>

TResultsWindow::TResultsWindow(QWidget* owner, TControllerSettings& settings, int panelHeight)
    : QWidget(owner, Qt::Window), Settings(settings) {
    setAttribute(Qt::WA_DeleteOnClose);
    UseLocaleTextOrder();
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPixelSize(12);
    setFont(font);
    setMinimumHeight(120);
    Grid = new TComboGrid(this);
    Grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Grid->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QFont gridFont(QStringLiteral("IPAGothic"));
    gridFont.setPixelSize(12);
    Grid->setFont(gridFont);
    Grid->SetCanvasFont(gridFont);
    Grid->SetFixedCols(0);
    Grid->SetFixedRows(1);
    Grid->SetDefaultRowHeight(24);
    Grid->SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine);
    // No cell is ever selected, nor shown as selected.
    Grid->OnSelectCell = [](QObject*, int, int, bool& can) { can = false; };
    QPalette plain = Grid->palette();
    plain.setColor(QPalette::Highlight, plain.color(QPalette::Base));
    plain.setColor(QPalette::HighlightedText, plain.color(QPalette::Text));
    Grid->setPalette(plain);

    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setFixedHeight(panelHeight);
    Panel1 = panel;
    SpinEdit1 = new QSpinBox(panel);
    SpinEdit1->setRange(0, 60);
    SpinEdit1->setToolTip(QL("更新時間"));
    SpinEdit1->setGeometry(8, (panelHeight - 22) / 2, 50, 22);
    auto* seconds = new QLabel(QL("秒"), panel);
    QFont bold = font;
    bold.setPixelSize(16);
    bold.setBold(true);
    seconds->setFont(bold);
    seconds->setGeometry(62, (panelHeight - 20) / 2, 20, 20);
    BitBtn1 = new QPushButton(QL("閉じる"), panel);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    BitBtn1->setGeometry(0, (panelHeight - 25) / 2, 75, 25);
    connect(BitBtn1, &QPushButton::clicked, this, &QWidget::close);

    Timer1 = new QTimer(this);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(SpinEdit1, &QSpinBox::valueChanged, this, [this] { SpinEdit1Change(); });
}

void TResultsWindow::SetColumns(const std::vector<const char*>& titles, const std::vector<uint8_t>& aligns) {
    Grid->SetColCount(static_cast<int>(titles.size()));
    for (int c = 0; c < Grid->ColCount(); ++c) {
        TCellKind* k = Grid->CellKinds(c);
        k->Kind = ckText;
        k->SetFixedAlign(caCenter | caVCenter);
        k->SetCellAlign(aligns[static_cast<size_t>(c)]);
        k->Indent = 2;
        Grid->SetCells(c, 0, sjis::L(titles[static_cast<size_t>(c)]));
    }
}

void TResultsWindow::ShowDataRows(const TGridRows& rows) {
    Grid->SetRowCount(rows.empty() ? 2 : static_cast<int>(rows.size()) + 1);
    for (int r = 1; r < Grid->RowCount(); ++r) {
        const size_t i = static_cast<size_t>(r - 1);
        Grid->SetRowTexts(r, i < rows.size() ? rows[i] : std::vector<std::string>());
    }
}

void TResultsWindow::FitAll() {
    FitColWidths(*Grid);
    FitWidth();
    FitHeight();
    FitScrollExtra();
}

void TResultsWindow::StartTimer(int seconds) {
    SpinEdit1->blockSignals(true);
    SpinEdit1->setValue(seconds);
    SpinEdit1->blockSignals(false);
    SpinEdit1Change();
}

void TResultsWindow::SpinEdit1Change() {
    // 0 stops the automatic refresh.
    if (SpinEdit1->value() == 0)
        Timer1->stop();
    else
        Timer1->start(SpinEdit1->value() * 1000);
}


// The grid fills the window above the panel; the close button sits in the
// middle of the panel.  Done on every size change, so the grid and the
// panel always take the window's width, the scroll bar's room included.
void TResultsWindow::LayOut() {
    const int w = width(), h = height(), ph = Panel1->height();
    Grid->setGeometry(0, 0, w, std::max(0, h - ph));
    Panel1->setGeometry(0, std::max(0, h - ph), w, ph);
    BitBtn1->move((w - BitBtn1->width()) / 2, BitBtn1->y());
}

int TResultsWindow::ScreenWidth() const {
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->availableGeometry().width() : std::numeric_limits<int>::max();
}

// A window never grows wider than its screen: columns wider than that
// (a very long name) scroll sideways in the grid, whose scroll bar then
// takes its room below the rows.
void TResultsWindow::LockWidth(int w) {
    SizeLock = false;
    const bool wide = w > ScreenWidth();
    Grid->setHorizontalScrollBarPolicy(wide ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    WideExtra = wide ? Grid->horizontalScrollBar()->sizeHint().height() : 0;
    LockedWidth = std::min(w, ScreenWidth());
    ApplyLimits();
    if (!ManagerSized) resize(LockedWidth, height());
    if (wide) {
        // A screen-wide window is kept on its screen, its close button with it.
        QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
        if (s && x() != s->availableGeometry().left()) move(s->availableGeometry().left(), y());
    }
    SizeLock = true;
    LayOut();
}

void TResultsWindow::FitWidth() {
    FittedWidth = GridWidth(*Grid) + 2 * Grid->frameWidth() + 1;
    LockWidth(FittedWidth + ScrollExtra);
}

void TResultsWindow::FitHeight() {
    int h = GridHeight(*Grid) + WideExtra + Panel1->height() + 2 * Grid->frameWidth() + 1;
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const int bottom = s ? s->availableGeometry().bottom() + 1 : h;
    // A window placed low on the screen keeps at least its smallest height.
    if (y() + h > bottom) h = std::max(minimumHeight(), bottom - y());
    MaxHeight = std::max(h, minimumHeight());
    ApplyLimits();
    if (!ManagerSized) resize(width(), h);
    LayOut();
}

// The scroll bar's room is added while rows are out of view and given back
// when all fit.  Worked out from the sizes rather than asked of the scroll
// bar, which may not have caught up with the last resize yet.
void TResultsWindow::FitScrollExtra() {
    if (FittedWidth == 0) return;
    const bool bar = GridHeight(*Grid) + WideExtra + 2 * Grid->frameWidth() > height() - Panel1->height();
    if (bar && ScrollExtra == 0) {
        ScrollExtra = Grid->verticalScrollBar()->sizeHint().width();
        LockWidth(FittedWidth + ScrollExtra);
    } else if (!bar && ScrollExtra > 0) {
        ScrollExtra = 0;
        FitWidth();
    }
}

// The limits go to the window system alone, not to the widget: a window
// manager that gives the window more room all the same (a kiosk manager
// gives every window the whole screen) is followed, and the grid and the
// panel fill all of it.  Qt would otherwise keep the widget at its limits
// and leave the rest of the window unpainted.
void TResultsWindow::ApplyLimits() {
    QWindow* w = windowHandle();
    if (!w) return;
    w->setMinimumSize(QSize(LockedWidth, minimumHeight()));
    w->setMaximumSize(QSize(LockedWidth > 0 ? LockedWidth : QWIDGETSIZE_MAX, MaxHeight > 0 ? MaxHeight : QWIDGETSIZE_MAX));
}

void TResultsWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    ApplyLimits();  // the window system's window is there now
}

void TResultsWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    // Beyond the limits: the window manager decides this window's size,
    // and every size asked for later would only be refused.
    if (LockedWidth > 0 && MaxHeight > 0 && (width() > LockedWidth || height() > MaxHeight)) ManagerSized = true;
    LayOut();
    if (FittedWidth == 0 || !SizeLock || FitPending) return;
    // The width is not changed from inside its own resize: once this one
    // is done, the scroll bar's room is fitted and the children follow.
    FitPending = true;
    QTimer::singleShot(0, this, [this] {
        FitPending = false;
        FitScrollExtra();
    });
}

void TResultsWindow::OpenAt(const QPoint& place, int seconds, const std::function<void()>& refresh) {
    PlaceFrame(this, place);
    ScrollExtra = 0;
    refresh();
    FitAll();
    StartTimer(seconds);
}

void TResultsWindow::KeepPlace(int& seconds, int& left, int& top) const {
    seconds = SpinEdit1->value();
    const QPoint at = FramePosition(this);
    left = at.x();
    top = at.y();
}
