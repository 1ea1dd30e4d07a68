#include "meibo.h"
#include "winpos.h"

#include "CmbGrid.h"
#include "CsvWizard.h"
#include "InplaceEdit.h"
#include "localeorder.h"
#include "qtext.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const int kRowHeight = 24;
const int kColWidths[3] = {86, 138, 104};

// The pictures of the tool buttons and menu items, drawn here.
enum class TPicture { Csv, Cut, Copy, Paste, Clear, InsertRows, DeleteRows, Compact, SortText, SortNumber };

QIcon Picture(TPicture kind) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor ink(40, 40, 40), paper(255, 255, 255), blue(0, 70, 170), red(190, 30, 30);
    auto sheet = [&](int x, int y, int w, int h) {
        p.setPen(ink);
        p.setBrush(paper);
        p.drawRect(x, y, w, h);
    };
    auto rows = [&](int count) {
        for (int i = 0; i < count; ++i) sheet(1, 1 + i * 5, 9, 3);
    };
    QFont small("DejaVu Sans");
    small.setPixelSize(8);
    small.setBold(true);
    p.setFont(small);
    switch (kind) {
    case TPicture::Csv:
        sheet(2, 1, 11, 13);
        p.setPen(blue);
        p.drawText(QRect(2, 3, 12, 10), Qt::AlignCenter, "csv");
        break;
    case TPicture::Cut:
        p.setPen(QPen(ink, 1));
        p.drawLine(4, 1, 10, 10);
        p.drawLine(11, 1, 5, 10);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(red, 1));
        p.drawEllipse(2, 10, 4, 4);
        p.drawEllipse(9, 10, 4, 4);
        break;
    case TPicture::Copy:
        sheet(1, 1, 8, 10);
        sheet(6, 5, 8, 10);
        break;
    case TPicture::Paste:
        p.setPen(ink);
        p.setBrush(QColor(190, 140, 70));
        p.drawRect(1, 2, 10, 13);
        p.setBrush(QColor(150, 150, 150));
        p.drawRect(4, 1, 4, 2);
        sheet(6, 6, 8, 9);
        break;
    case TPicture::Clear:
        p.setPen(QPen(red, 2));
        p.drawLine(3, 3, 12, 12);
        p.drawLine(12, 3, 3, 12);
        break;
    case TPicture::InsertRows:
        rows(3);
        p.setPen(QPen(blue, 2));
        p.drawLine(12, 4, 12, 11);
        p.drawLine(9, 8, 15, 8);
        break;
    case TPicture::DeleteRows:
        rows(3);
        p.setPen(QPen(red, 2));
        p.drawLine(9, 8, 15, 8);
        break;
    case TPicture::Compact:
        sheet(1, 1, 9, 3);
        sheet(1, 11, 9, 3);
        p.setPen(QPen(blue, 1));
        p.drawLine(13, 1, 13, 6);
        p.drawLine(11, 4, 13, 6);
        p.drawLine(15, 4, 13, 6);
        p.drawLine(13, 14, 13, 9);
        p.drawLine(11, 11, 13, 9);
        p.drawLine(15, 11, 13, 9);
        break;
    case TPicture::SortText:
    case TPicture::SortNumber:
        p.setPen(ink);
        p.drawText(QRect(0, 0, 10, 8), Qt::AlignCenter, kind == TPicture::SortText ? "A" : "1");
        p.drawText(QRect(0, 8, 10, 8), Qt::AlignCenter, kind == TPicture::SortText ? "Z" : "9");
        p.setPen(QPen(blue, 1));
        p.drawLine(13, 1, 13, 14);
        p.drawLine(10, 11, 13, 14);
        p.drawLine(16, 11, 13, 14);
        break;
    }
    return QIcon(pm);
}

bool InRect(const TGridRect& r, int col, int row) {
    return col >= r.Left && col <= r.Right && row >= r.Top && row <= r.Bottom;
}

}  // namespace

TfMeibo::TfMeibo(QWidget* parent, TControllerSettings& settings) : QDialog(parent), Settings(settings) {
    setObjectName("fMeibo");
    UseLocaleTextOrder();
    setWindowTitle(QL("Ruzozu 名簿"));
    QFont f("IPAPGothic");
    f.setPixelSize(12);
    setFont(f);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setSizeGripEnabled(false);

    BuildToolBar();
    BuildGrid();
    BuildMenu();

    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFixedHeight(41);
    auto* buttons = new QHBoxLayout(Panel1);
    buttons->setContentsMargins(8, 6, 8, 6);
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton), QL("保存終了"), Panel1);
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QL("キャンセル"), Panel1);
    for (QPushButton* b : {BitBtn1, BitBtn2}) {
        // Enter belongs to the grid: it opens and closes the cell editor.
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setFixedSize(96, 27);
    }
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addSpacing(12);
    buttons->addWidget(BitBtn2);
    buttons->addStretch(1);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { reject(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar1);
    layout->addWidget(NameGrid, 1);
    layout->addWidget(Panel1);

    ChooseCsvFile = [this] {
        return QFileDialog::getOpenFileName(this, QString(), QString(),
                                            QL("csv,txtファイル (*.csv *.txt);;全てのファイル (*)"));
    };

    SyncTimer.setSingleShot(true);
    SyncTimer.setInterval(0);
    connect(&SyncTimer, &QTimer::timeout, this, [this] { SyncGrid(); });

    LoadMeibo();
    // The width fits the three columns and the grid's frame exactly.
    FittedWidth = 2 * NameGrid->frameWidth() + NameGrid->GridLineWidth() * (NameGrid->ColCount() + 1);
    for (int c = 0; c < 3; ++c) FittedWidth += NameGrid->ColWidths(c);
    FormResize();
    SetMaxHeight();
    NameGrid->FocusCell(0, 1);
    PlaceFrame(this, QPoint(Settings.MeiboLeft, Settings.MeiboTop));
    resize(width(), std::min(std::max(Settings.MeiboHeight, minimumSizeHint().height()), maximumHeight()));
}

TfMeibo::~TfMeibo() = default;

void TfMeibo::BuildToolBar() {
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setContentsMargins(10, 0, 0, 0);
    auto add = [this](TPicture pic, const char* hint, void (TfMeibo::*handler)()) {
        QAction* a = ToolBar1->addAction(Picture(pic), QL(hint));
        a->setToolTip(QL(hint));
        connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return a;
    };
    ToolButton3 = add(TPicture::Csv, "CSV名簿読込", &TfMeibo::ToolButton3Click);
    ToolBar1->addSeparator();
    CutBtn = add(TPicture::Cut, "切り取り", &TfMeibo::CutBtnClick);
    CopyBtn = add(TPicture::Copy, "複写", &TfMeibo::CopyBtnClick);
    PasteBtn = add(TPicture::Paste, "貼り付け", &TfMeibo::PasteBtnClick);
    PasteBtn->setEnabled(false);  // decided when the window is shown
    DelBtn = add(TPicture::Clear, "削除", &TfMeibo::DelBtnClick);
    ToolBar1->addSeparator();
    ToolButton5 = add(TPicture::InsertRows, "行挿入", &TfMeibo::ToolButton5Click);
    ToolButton6 = add(TPicture::DeleteRows, "行削除", &TfMeibo::ToolButton6Click);
    ToolButton1 = add(TPicture::Compact, "空欄圧縮", &TfMeibo::ToolButton1Click);
    ToolBar1->addSeparator();
    ToolButton4 = add(TPicture::SortText, "User ID を文字として、並び換え", &TfMeibo::ToolButton4Click);
    ToolButton2 = add(TPicture::SortNumber, "User ID を数字として、並び換え", &TfMeibo::ToolButton2Click);
    // Tool buttons never take the focus from the grid.
    for (QAction* a : ToolBar1->actions())
        if (QWidget* w = ToolBar1->widgetForAction(a)) w->setFocusPolicy(Qt::NoFocus);
}

void TfMeibo::BuildGrid() {
    NameGrid = new TComboGrid(this);
    NameGrid->setObjectName("NameGrid");
    // A quote would end a field of the roster file early.
    NameGrid->setProperty("RefusedEditChars", QStringLiteral("\""));
    NameGrid->SetColCount(3);
    NameGrid->SetFixedCols(0);
    NameGrid->SetFixedRows(1);
    NameGrid->SetRowCount(6);
    NameGrid->SetDefaultRowHeight(kRowHeight);
    for (int c = 0; c < 3; ++c) NameGrid->SetColWidths(c, kColWidths[c]);
    NameGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    NameGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    NameGrid->SetCanvasFont(font());
    // Short enough for the maximum height of a grid with one record row.
    NameGrid->setMinimumHeight(2 * NameGrid->frameWidth() + kRowHeight + 2 * NameGrid->GridLineWidth());
    SetEditing(false);
    const char* titles[3] = {"User ID", "User Name", "PassWord"};
    for (int c = 0; c < 3; ++c) {
        TCellKind* k = NameGrid->CellKinds(c);
        k->Kind = ckText;
        k->SetFixedAlign(caCenter | caVCenter);
        k->SetCellAlign(caLeft | caVCenter);
        k->Indent = 2;
        k->Editable = true;
        k->MaxLength = 0;
        NameGrid->SetCells(c, 0, titles[c]);
    }
    NameGrid->OnDrawCell = [this](QObject*, int col, int row, QPainter& p, const QRect& rect, unsigned) {
        NameGridDrawCell(col, row, p, rect);
    };
    NameGrid->OnKeyPress = [this](QObject*, char& key) { NameGridKeyPress(key); };
    NameGrid->OnKeyDown = [this](QObject*, int& key, Qt::KeyboardModifiers) { NameGridKeyDown(key); };
    NameGrid->OnDblClick = [this](QObject*) { NameGridDblClick(); };
    // The double-click's own press moves the focus through the grid, which
    // drops the editor's selection: select again so typing replaces the text.
    NameGrid->OnMouseDown = [this](QObject*, Qt::MouseButton, int, int) {
        if (!SelectAfterDblClick) return;
        SelectAfterDblClick = false;
        if (NameGrid->EditorMode() && NameGrid->InplaceEditor()) NameGrid->InplaceEditor()->selectAll();
    };
    NameGrid->OnSetEditText = [this](QObject*, int col, int row, const std::string& value) {
        NameGridSetEditText(col, row, value);
    };
    NameGrid->OnSelectCell = [this](QObject*, int col, int row, bool&) {
        // An editor that follows the current cell (Tab, a click) must not
        // open on a real password: the new cell is stashed before it opens.
        const bool moves = col != NameGrid->Col() || row != NameGrid->Row();
        if (moves && (NameGrid->Options() & goAlwaysShowEditor) && Meibo.Stash(col, row)) ShowRows();
        // The restore rule looks at the current cell once it has moved.
        SyncTimer.start();
    };
    NameGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(NameGrid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(NameGrid->mapToGlobal(pos)); });
}

void TfMeibo::BuildMenu() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    auto add = [this](TPicture pic, const char* text, const QKeySequence& key, void (TfMeibo::*handler)()) {
        QAction* a = PopupMenu1->addAction(Picture(pic), QL(text));
        if (!key.isEmpty()) {
            a->setShortcut(key);
            a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            addAction(a);  // the shortcut works while the menu is closed
        }
        connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return a;
    };
    InsertItem = add(TPicture::InsertRows, "行挿入", {}, &TfMeibo::ToolButton5Click);
    DeleteRowsItem = add(TPicture::DeleteRows, "行削除", {}, &TfMeibo::ToolButton6Click);
    PopupMenu1->addSeparator();
    ClearItem = add(TPicture::Clear, "削除", QKeySequence(Qt::Key_Delete), &TfMeibo::DelBtnClick);
    PopupMenu1->addSeparator();
    CutItem = add(TPicture::Cut, "切り取り", QKeySequence(Qt::CTRL | Qt::Key_X), &TfMeibo::CutBtnClick);
    CopyItem = add(TPicture::Copy, "複写", QKeySequence(Qt::CTRL | Qt::Key_C), &TfMeibo::CopyBtnClick);
    PasteItem = add(TPicture::Paste, "貼り付け", QKeySequence(Qt::CTRL | Qt::Key_V), &TfMeibo::PasteBtnClick);
}

std::string TfMeibo::MeiboPath() const { return Settings.MeiboDir + "ruzozu.mib"; }

void TfMeibo::LoadMeibo() {
    Meibo.LoadMeibo(MeiboPath());
    ShowRows();
}

bool TfMeibo::SaveMeibo() {
    EndEditing();
    const bool ok = Meibo.SaveMeibo(MeiboPath());
    ShowRows();
    return ok;
}

void TfMeibo::ShowRows() {
    if (NameGrid->RowCount() != Meibo.RowCount()) NameGrid->SetRowCount(Meibo.RowCount());
    for (int r = 1; r < Meibo.RowCount(); ++r)
        for (int c = 0; c < 3; ++c)
            if (NameGrid->Cells(c, r) != Meibo.Rows[r][c]) NameGrid->SetCells(c, r, Meibo.Rows[r][c]);
}

void TfMeibo::SyncGrid() {
    if (OneEdit && !NameGrid->EditorMode()) SetEditing(false);
    Meibo.RestoreStash(NameGrid->Col(), NameGrid->Row());
    const bool added = Meibo.KeepEntryRow();
    ShowRows();
    if (added) {
        SetMaxHeight();
        FormResize();
    }
}

void TfMeibo::SetEditing(bool on) {
    OneEdit = false;
    const TEditOptions o = EditingSwitched(on);
    unsigned opts = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goDrawFocusSelected | goTabs |
                    goThumbTracking;
    if (o.RangeSelect) opts |= goRangeSelect;
    if (o.Editing) opts |= goEditing;
    if (o.AlwaysShowEditor) opts |= goAlwaysShowEditor;
    NameGrid->SetOptions(opts);
    if (on && !NameGrid->EditorMode()) NameGrid->ShowEditor();
}

void TfMeibo::EditingOffAfterThisEdit() {
    if (!NameGrid->EditorMode()) {
        SetEditing(false);
        return;
    }
    // The grid closes an open editor whose editing option goes; the editor
    // must stay for this one edit, so the option goes when it closes.
    const unsigned keep = NameGrid->Options() & ~unsigned(goAlwaysShowEditor);
    NameGrid->SetOptions(keep | goRangeSelect);
    OneEdit = true;
}

void TfMeibo::EndEditing() {
    const bool open = NameGrid->EditorMode();
    SetEditing(false);
    if (open) NameGrid->HideEditor();
}

void TfMeibo::ApplyStep(TEditStep step) {
    switch (step) {
    case TEditStep::None:
        break;
    case TEditStep::On:
        SetEditing(true);
        break;
    case TEditStep::Off:
        SetEditing(false);
        break;
    case TEditStep::OnThenOff:
        SetEditing(true);
        EditingOffAfterThisEdit();
        break;
    }
}

void TfMeibo::NameGridKeyPress(char& key) {
    if (key != '\r') return;
    const bool open = NameGrid->EditorMode();
    const TEditStep step = Meibo.EnterKey(open, NameGrid->Col(), NameGrid->Row());
    ShowRows();
    ApplyStep(step);
    if (open) NameGrid->HideEditor();  // closes it, keeping its text
    key = 0;
}

void TfMeibo::NameGridKeyDown(int key) {
    // Escape in an editor opened by Enter ends this edit: the grid takes back
    // what was typed and closes the editor, and editing goes off, so that
    // the next Escape is the dialog's Cancel.
    if (key == Qt::Key_Escape && NameGrid->EditorMode() && (NameGrid->Options() & goAlwaysShowEditor)) {
        EditingOffAfterThisEdit();
        SyncTimer.start();
        return;
    }
    if (key == Qt::Key_Left || key == Qt::Key_Up || key == Qt::Key_Right || key == Qt::Key_Down) SetEditing(false);
}

void TfMeibo::NameGridDblClick() {
    const TEditStep step = Meibo.DoubleClick(NameGrid->Col(), NameGrid->Row());
    ShowRows();
    ApplyStep(step);
    SelectAfterDblClick = true;
}

void TfMeibo::NameGridSetEditText(int col, int row, const std::string& value) {
    if (col < 0 || col > 2 || row < 1 || row >= Meibo.RowCount()) return;
    Meibo.Rows[row][col] = value;
    if (Meibo.KeepEntryRow()) {
        ShowRows();
        SetMaxHeight();
        FormResize();
    }
}

void TfMeibo::NameGridDrawCell(int col, int row, QPainter& p, const QRect& rect) {
    if (col == 2 && row >= 1) {
        const bool selected = InRect(NameGrid->Selection(), col, row);
        const QPalette& pal = palette();
        p.save();
        p.fillRect(rect, pal.color(selected ? QPalette::Highlight : QPalette::Base));
        p.setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
        p.setFont(NameGrid->CanvasFont());
        const QFontMetrics fm(NameGrid->CanvasFont());
        p.drawText(rect.left() + 5, rect.top() + 5 + fm.ascent(), Q(PasswordPlaceholder()));
        p.restore();
    }
    // The restore and entry-row rules change cells: not while painting.
    const bool restore = Meibo.StashedRow >= 0 && NameGrid->Col() != 2 && NameGrid->Row() != Meibo.StashedRow;
    if (restore || !Meibo.Rows.back()[0].empty() || (OneEdit && !NameGrid->EditorMode())) SyncTimer.start();
}

// ---- commands

void TfMeibo::AfterRowCommand(bool resize) {
    ShowRows();
    SetMaxHeight();
    if (resize) FormResize();
}

void TfMeibo::CopyBtnClick() {
    EndEditing();
    const TGridRect s = NameGrid->Selection();
    const std::string text = Meibo.Copy(s.Top, s.Bottom, s.Left, s.Right);
    QGuiApplication::clipboard()->setText(Q(text));
}

void TfMeibo::DelBtnClick() {
    EndEditing();
    const TGridRect s = NameGrid->Selection();
    Meibo.Clear(s.Top, s.Bottom, s.Left, s.Right);
    ShowRows();
}

void TfMeibo::CutBtnClick() {
    CopyBtnClick();
    DelBtnClick();
}

void TfMeibo::PasteBtnClick() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText()) return;
    const QString clip = data->text();
    // Text too long for any roster (each character is a byte at least) is
    // refused whole, and so is text with characters the roster cannot
    // hold; the instructor is told which line holds one.
    if (static_cast<size_t>(clip.size()) > TMeiboGrid::kMaxPasteBytes) {
        QApplication::beep();
        return;
    }
    std::string text, message;
    if (!ClipboardToRoster(clip.toStdString(), text, message)) {
        QString shown = Q(message);
        shown.replace(QLatin1String("\r"), QLatin1String("\n"));
        QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), shown, QMessageBox::Ok,
                        this);
        box.exec();
        return;
    }
    EndEditing();
    if (!Meibo.Paste(PasteLines(text), NameGrid->Row(), NameGrid->Col())) {
        QApplication::beep();
        if (!Meibo.PasteError.empty()) {
            QString shown = Q(Meibo.PasteError);
            shown.replace(QLatin1String("\r"), QLatin1String("\n"));
            QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), shown, QMessageBox::Ok,
                            this);
            box.exec();
        }
        return;
    }
    AfterRowCommand(true);
}

void TfMeibo::ToolButton5Click() {
    EndEditing();
    const TGridRect s = NameGrid->Selection();
    Meibo.InsertRows(s.Top, s.Bottom);
    AfterRowCommand(true);
}

void TfMeibo::ToolButton6Click() {
    EndEditing();
    const TGridRect s = NameGrid->Selection();
    Meibo.DeleteRows(s.Top, s.Bottom);
    AfterRowCommand(true);
}

void TfMeibo::ToolButton1Click() {
    EndEditing();
    Meibo.Compact();
    AfterRowCommand(true);
}

void TfMeibo::ToolButton4Click() {
    EndEditing();
    Meibo.SortAsText();
    ShowRows();
}

void TfMeibo::ToolButton2Click() {
    EndEditing();
    Meibo.SortAsNumber();
    ShowRows();
}

void TfMeibo::ToolButton3Click() {
    const QString chosen = ChooseCsvFile ? ChooseCsvFile() : QString();
    if (chosen.isEmpty()) return;
    std::string path;
    // A file name the system's texts cannot hold is refused.
    if (!sjis::FromUtf8(chosen.toStdString(), path)) return;
    EndEditing();
    TfCsvWizard wizard(this, Meibo);
    wizard.CsvFileName = path;
    const QFontMetrics fm(wizard.Label2->font());
    const int room = wizard.Label2->width() - 30;
    wizard.Label2->setText(
        Q(ShortenPath(path, room, [&fm](const std::string& s) { return fm.horizontalAdvance(Q(s)); })));
    wizard.exec();
    AfterRowCommand(true);
}

void TfMeibo::BitBtn1Click() {
    if (!SaveMeibo()) {
        // The edits stay in the grid: the instructor may press OK again.
        QString text = Q(Meibo.SaveError.empty() ? SaveFailedMessage(MeiboPath()) : Meibo.SaveError);
        text.replace(QLatin1String("\r"), QLatin1String("\n"));
        QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok,
                        this);
        box.exec();
        return;
    }
    accept();
}

void TfMeibo::done(int result) {
    Settings.MeiboLeft = FramePosition(this).x();
    Settings.MeiboTop = FramePosition(this).y();
    Settings.MeiboHeight = height();
    QDialog::done(result);
}

// ---- sizing

void TfMeibo::SetMaxHeight() {
    int gridHeight = 2 * NameGrid->frameWidth() + NameGrid->GridLineWidth() * (NameGrid->RowCount() + 1);
    for (int r = 0; r < NameGrid->RowCount(); ++r) gridHeight += NameGrid->RowHeights(r);
    const int toolBar = ToolBar1->isVisible() ? ToolBar1->height() : ToolBar1->sizeHint().height();
    setMaximumHeight(gridHeight + toolBar + Panel1->height() + 2);
}

void TfMeibo::FormResize() {
    if (Sizing) return;
    Sizing = true;
    int w = FittedWidth;
    if (NameGrid->VerticalScrollBarShown()) w += style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    if (minimumWidth() != w || maximumWidth() != w) setFixedWidth(w);
    Sizing = false;
}

void TfMeibo::showEvent(QShowEvent* e) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    PasteBtn->setEnabled(data && data->hasText());
    QDialog::showEvent(e);
    if (!Meibo.LoadError.empty()) {
        // A roster that could not be read right: said once the window is up.
        QTimer::singleShot(0, this, [this] {
            if (Meibo.LoadError.empty()) return;
            QString text = Q(Meibo.LoadError);
            Meibo.LoadError.clear();
            text.replace(QLatin1String("\r"), QLatin1String("\n"));
            QMessageBox box(QMessageBox::Warning, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok,
                            this);
            box.exec();
        });
    }
    SetMaxHeight();
    FormResize();
    NameGrid->setFocus();
}

void TfMeibo::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    FormResize();
}
