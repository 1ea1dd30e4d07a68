// The combo grid: its cells, kinds, lines and scrolling.
#include "CmbGrid.h"
#include "CmbGridPrivate.h"

#include "InplaceEdit.h"
#include "sjis.h"

#include <QScrollBar>
#include <QStyle>
#include <qdrawutil.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_map>


using namespace cmbgrid;

int ComboButtonWidth = 17;

// ---------------------------------------------------------------- TCellKind

void TCellKind::SetCellAlign(uint8_t v) {
    if (v == FCellAlign) return;
    FCellAlign = v;
    if (Owner) Owner->InvalidateGrid();
}

void TCellKind::SetFixedAlign(uint8_t v) {
    if (v == FFixedAlign) return;
    FFixedAlign = v;
    if (Owner) Owner->InvalidateGrid();
}

void TCellKind::SetItems(const std::vector<TKindItem>* items) {
    if (items)
        Items = *items;
    else
        Items.clear();
}

void TCellKind::Assign(const TCellKind& source) {
    Kind = source.Kind;
    SetItems(&source.Items);
    DropDownWidth = source.DropDownWidth;
    Indent = source.Indent;
    SetFixedAlign(source.FFixedAlign);
    SetCellAlign(source.FCellAlign);
    MaxLength = source.MaxLength;
    Editable = source.Editable;
}

// ---------------------------------------------------------------- TComboGrid
TComboGrid::TComboGrid(QWidget* owner) : QAbstractScrollArea(owner), d(std::make_unique<Private>()) {
    static bool metricRead = false;
    if (!metricRead) {
        ComboButtonWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        metricRead = true;
    }
    d->cells.assign(FRowCount, {});
    d->cols.Assign(FColCount, FDefaultColWidth);
    d->rows.Assign(FRowCount, FDefaultRowHeight);
    SyncLines();
    FFixedColor = palette().color(QPalette::Button);
    FCanvasFont = font();
    FCanvasFont.setFamily(MapFontFamily(FCanvasFont.family()));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    UpdateScrollBars();
}

TComboGrid::~TComboGrid() {
    // The editor goes first: it reports to the grid while it lives.
    delete FEditor;
    FEditor = nullptr;
}

int TComboGrid::LineW(bool vertical, int index) const {
    return vertical ? d->cols.Line(index) : d->rows.Line(index);
}

void TComboGrid::SyncLines() {
    auto w = [this](unsigned opt) { return (FOptions & opt) ? FGridLineWidth : 0; };
    d->cols.SetLines(FFixedCols, w(goFixedVertLine), w(goVertLine));
    d->rows.SetLines(FFixedRows, w(goFixedHorzLine), w(goHorzLine));
}

int TComboGrid::ColX(int col) const {
    if (col < 0 || col >= FColCount) return -1;
    if (col < FFixedCols) return Pixels(d->cols.Sum(col));
    if (col < FLeftCol) return -1;
    return Pixels(d->cols.Sum(FFixedCols) + d->cols.Sum(col) - d->cols.Sum(FLeftCol));
}

int TComboGrid::RowY(int row) const {
    if (row < 0 || row >= FRowCount) return -1;
    if (row < FFixedRows) return Pixels(d->rows.Sum(row));
    if (row < FTopRow) return -1;
    return Pixels(d->rows.Sum(FFixedRows) + d->rows.Sum(row) - d->rows.Sum(FTopRow));
}

// The first row (or column) that scrolls such that all from there to the
// last fit in avail; the last one is shown even when it alone does not.
namespace {
int FirstOfLastFitting(const TExtents& e, int fixed, int64_t avail) {
    const int n = e.Count();
    const int first = e.FirstAtOrAbove(e.Total() - avail);
    return std::max(fixed, std::min(first, n - 1));
}
}  // namespace

int TComboGrid::MaxTopRow() const {
    return FirstOfLastFitting(d->rows, FFixedRows, int64_t(viewport()->height()) - d->rows.Sum(FFixedRows));
}

int TComboGrid::MaxLeftCol() const {
    return FirstOfLastFitting(d->cols, FFixedCols, int64_t(viewport()->width()) - d->cols.Sum(FFixedCols));
}

void TComboGrid::UpdateScrollBars() {
    d->syncingBars = true;
    int maxTop = MaxTopRow(), maxLeft = MaxLeftCol();
    verticalScrollBar()->setRange(0, std::max(0, std::max(maxTop, FTopRow) - FFixedRows));
    verticalScrollBar()->setPageStep(std::max(1, VisibleRowCount()));
    verticalScrollBar()->setValue(FTopRow - FFixedRows);
    horizontalScrollBar()->setRange(0, std::max(0, std::max(maxLeft, FLeftCol) - FFixedCols));
    horizontalScrollBar()->setPageStep(1);
    horizontalScrollBar()->setValue(FLeftCol - FFixedCols);
    d->syncingBars = false;
}

void TComboGrid::scrollContentsBy(int, int) {
    if (d->syncingBars) return;
    int top = FFixedRows + verticalScrollBar()->value();
    int left = FFixedCols + horizontalScrollBar()->value();
    if (top == FTopRow && left == FLeftCol) return;
    FTopRow = std::clamp(top, FFixedRows, FRowCount - 1);
    FLeftCol = std::clamp(left, FFixedCols, FColCount - 1);
    viewport()->update();
    TopLeftChanged();
}

void TComboGrid::TopLeftChanged() {
    OnTopLeftChanged(this);
    if (CellRect(FCol, FRow).isEmpty())
        HideEditorWidget();
    else if (CanEditShow())
        UpdateEditor();
}

void TComboGrid::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    UpdateScrollBars();
    if (FEditor && FEditor->isVisible()) UpdateEditor();
}

void TComboGrid::ClampCurrent() {
    FCol = std::clamp(FCol, FFixedCols, FColCount - 1);
    FRow = std::clamp(FRow, FFixedRows, FRowCount - 1);
    FTopRow = std::clamp(FTopRow, FFixedRows, FRowCount - 1);
    FLeftCol = std::clamp(FLeftCol, FFixedCols, FColCount - 1);
    d->anchorCol = std::clamp(d->anchorCol, FFixedCols, FColCount - 1);
    d->anchorRow = std::clamp(d->anchorRow, FFixedRows, FRowCount - 1);
    FSelection.Left = std::min(FCol, d->anchorCol);
    FSelection.Right = std::max(FCol, d->anchorCol);
    FSelection.Top = std::min(FRow, d->anchorRow);
    FSelection.Bottom = std::max(FRow, d->anchorRow);
    if (FOptions & goRowSelect) {
        FSelection.Left = FFixedCols;
        FSelection.Right = FColCount - 1;
    }
}

void TComboGrid::SetColCount(int n) {
    n = std::max(1, n);
    if (n == FColCount) return;
    FColCount = n;
    // Rows hold only the cells set; cells beyond the new last column go.
    for (auto& row : d->cells)
        if (row.size() > static_cast<size_t>(n)) row.resize(static_cast<size_t>(n));
    if (FFixedCols >= n) FFixedCols = n - 1;
    d->cols.Resize(n, FDefaultColWidth);
    LinesChanged();
    if (FEditor && FEditor->isVisible()) UpdateEditor();
}

void TComboGrid::SetRowCount(int n) {
    n = std::max(1, n);
    if (n == FRowCount) return;
    FRowCount = n;
    d->cells.resize(static_cast<size_t>(n));
    if (FFixedRows >= n) FFixedRows = n - 1;
    d->rows.Resize(n, FDefaultRowHeight);
    LinesChanged();
    if (FEditor && FEditor->isVisible()) UpdateEditor();
}

// The view starts again at the first column (row) that scrolls.
void TComboGrid::SetFixedCols(int n) {
    n = std::clamp(n, 0, FColCount - 1);
    if (n == FFixedCols) return;
    FFixedCols = FLeftCol = n;
    LinesChanged();
}

void TComboGrid::SetFixedRows(int n) {
    n = std::clamp(n, 0, FRowCount - 1);
    if (n == FFixedRows) return;
    FFixedRows = FTopRow = n;
    LinesChanged();
}

void TComboGrid::LinesChanged() {
    SyncLines();
    ClampCurrent();
    UpdateScrollBars();
    InvalidateGrid();
}

void TComboGrid::SetSize(bool col, std::optional<int> index, int size) {
    TExtents& e = col ? d->cols : d->rows;
    const int count = col ? FColCount : FRowCount;
    size = std::max(0, size);
    if (!index) {
        (col ? FDefaultColWidth : FDefaultRowHeight) = size;
        e.Assign(count, size);
    } else if (*index >= 0 && *index < count) {
        e.SetSize(*index, size);
    } else {
        return;
    }
    UpdateScrollBars();
    InvalidateGrid();
}

void TComboGrid::SetDefaultColWidth(int w) { SetSize(true, std::nullopt, w); }
void TComboGrid::SetDefaultRowHeight(int h) { SetSize(false, std::nullopt, h); }
int TComboGrid::ColWidths(int col) const { return col >= 0 && col < FColCount ? d->cols.Size(col) : FDefaultColWidth; }
void TComboGrid::SetColWidths(int col, int w) { SetSize(true, col, w); }
int TComboGrid::RowHeights(int row) const { return row >= 0 && row < FRowCount ? d->rows.Size(row) : FDefaultRowHeight; }
void TComboGrid::SetRowHeights(int row, int h) { SetSize(false, row, h); }

void TComboGrid::SetGridLineWidth(int w) {
    FGridLineWidth = std::max(0, w);
    SyncLines();
    UpdateScrollBars();
    InvalidateGrid();
}

void TComboGrid::SetFixedColor(const QColor& c) {
    FFixedColor = c;
    InvalidateGrid();
}

std::string TComboGrid::Cells(int col, int row) const {
    if (col < 0 || row < 0 || col >= FColCount || row >= FRowCount) return std::string();
    const auto& cells = d->cells[static_cast<size_t>(row)];
    return static_cast<size_t>(col) < cells.size() ? cells[static_cast<size_t>(col)] : std::string();
}

void TComboGrid::SetRowTexts(int row, const std::vector<std::string>& texts) {
    if (row < 0 || row >= FRowCount) return;
    static const std::string none;
    const size_t count = std::min(texts.size(), static_cast<size_t>(FColCount));
    const size_t n = std::max(count, static_cast<size_t>(CellsInRow(row)));
    bool changed = false;
    for (size_t c = 0; c < n; ++c) {
        const std::string& text = c < count ? texts[c] : none;
        const auto& cells = d->cells[static_cast<size_t>(row)];
        if (c < cells.size() ? cells[c] == text : text.empty()) continue;
        StoreCell(static_cast<int>(c), row, text);
        changed = true;
        if (FEditor && FEditor->isVisible() && static_cast<int>(c) == d->editCol && row == d->editRow &&
            FEditor->SjisText() != text)
            FEditor->SetSjisText(text);
    }
    const int y = RowY(row);
    if (changed && y >= 0 && y < viewport()->height())
        viewport()->update(QRect(0, y, viewport()->width(), RowHeights(row) + LineW(false, row)));
}

int TComboGrid::CellsInRow(int row) const {
    if (row < 0 || row >= FRowCount) return 0;
    return static_cast<int>(std::min(d->cells[static_cast<size_t>(row)].size(), static_cast<size_t>(FColCount)));
}

std::string TComboGrid::ShownText(const std::string& text) {
    if (text.size() <= kShownBytes) return text;
    // Step over whole characters so no lead byte is left without its trail.
    size_t i = 0;
    while (i < kShownBytes) {
        const size_t step = sjis::IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
        if (i + step > kShownBytes) break;
        i += step;
    }
    return text.substr(0, i);
}

void TComboGrid::StoreCell(int col, int row, const std::string& text) {
    auto& cells = d->cells[static_cast<size_t>(row)];
    if (static_cast<size_t>(col) >= cells.size()) {
        if (text.empty()) return;  // an empty cell needs no room
        cells.resize(static_cast<size_t>(col) + 1);
    }
    cells[static_cast<size_t>(col)] = text;
}

void TComboGrid::SetCells(int col, int row, const std::string& text) {
    if (col < 0 || row < 0 || col >= FColCount || row >= FRowCount) return;
    StoreCell(col, row, text);
    InvalidateCell(col, row);
    if (FEditor && FEditor->isVisible() && col == d->editCol && row == d->editRow &&
        FEditor->SjisText() != text)
        FEditor->SetSjisText(text);
}

void TComboGrid::SetCol(int col) { MoveCurrent(col, FRow, false); }
void TComboGrid::SetRow(int row) { MoveCurrent(FCol, row, false); }
void TComboGrid::FocusCell(int col, int row) { MoveCurrent(col, row, false); }

void TComboGrid::SetSelection(const TGridRect& r) {
    // The current cell is the selection's top-left; the anchor its other end.
    int l = std::clamp(std::min(r.Left, r.Right), FFixedCols, FColCount - 1);
    int rt = std::clamp(std::max(r.Left, r.Right), FFixedCols, FColCount - 1);
    int t = std::clamp(std::min(r.Top, r.Bottom), FFixedRows, FRowCount - 1);
    int b = std::clamp(std::max(r.Top, r.Bottom), FFixedRows, FRowCount - 1);
    if (!MoveCurrent(l, t, false)) return;
    MoveAnchor(rt, b);
}

bool TComboGrid::MoveCurrent(int col, int row, bool extend) {
    col = std::clamp(col, FFixedCols, FColCount - 1);
    row = std::clamp(row, FFixedRows, FRowCount - 1);
    if (extend && (FOptions & goRangeSelect)) {
        MoveAnchor(col, row);
        return true;
    }
    bool can = true;
    OnSelectCell(this, col, row, can);
    if (!can) return false;
    bool moved = col != FCol || row != FRow;
    if (moved) {
        HideEditorWidget();
        if (!(FOptions & goAlwaysShowEditor)) d->editorMode = false;
    }
    FCol = col;
    FRow = row;
    d->anchorCol = col;
    d->anchorRow = row;
    ClampCurrent();
    ScrollIntoView(col, row);
    viewport()->update();
    if (d->editorMode || (FOptions & goAlwaysShowEditor)) UpdateEditor();
    return true;
}

void TComboGrid::MoveAnchor(int col, int row) {
    d->anchorCol = std::clamp(col, FFixedCols, FColCount - 1);
    d->anchorRow = std::clamp(row, FFixedRows, FRowCount - 1);
    if (!(FOptions & goRangeSelect)) {
        d->anchorCol = FCol;
        d->anchorRow = FRow;
    }
    ClampCurrent();
    ScrollIntoView(d->anchorCol, d->anchorRow);
    viewport()->update();
}

// The first of the rows (or columns) from index on that scroll, moved on
// from current just far enough that index fits whole in a view of size
// view after the fixed ones.
namespace {
int ScrolledToShow(const TExtents& e, int fixed, int current, int index, int view) {
    if (index < current) return index;
    const int64_t need = e.Sum(fixed) + e.Sum(index) + e.Size(index) - view;
    return std::max(current, std::min(e.FirstAtOrAbove(need), index));
}
}  // namespace

void TComboGrid::ScrollTo(int top, int left) {
    if (top == FTopRow && left == FLeftCol) return;
    FTopRow = top;
    FLeftCol = left;
    UpdateScrollBars();
    viewport()->update();
    TopLeftChanged();
}

void TComboGrid::ScrollIntoView(int col, int row) {
    ScrollTo(ScrolledToShow(d->rows, FFixedRows, FTopRow, row, viewport()->height()),
             ScrolledToShow(d->cols, FFixedCols, FLeftCol, col, viewport()->width()));
}

void TComboGrid::SetTopRow(int row) {
    ScrollTo(std::clamp(row, FFixedRows, std::max(FFixedRows, MaxTopRow())), FLeftCol);
}

void TComboGrid::SetLeftCol(int col) {
    ScrollTo(FTopRow, std::clamp(col, FFixedCols, std::max(FFixedCols, MaxLeftCol())));
}

int TComboGrid::VisibleRowCount() const {
    const int64_t avail = int64_t(viewport()->height()) - d->rows.Sum(FFixedRows);
    if (avail < 0 || FTopRow >= FRowCount) return 0;
    // Every row before the one at the view's bottom edge fits whole; that
    // one fits when its line alone is cut off.
    const int64_t bottom = d->rows.Sum(FTopRow) + avail;
    const int last = d->rows.LastAtOrBelow(bottom);
    int n = last - FTopRow;
    if (last < FRowCount && d->rows.Sum(last) + d->rows.Size(last) <= bottom) ++n;
    return n;
}

void TComboGrid::SetOptions(unsigned options) {
    if (options & goRowSelect) options &= ~unsigned(goAlwaysShowEditor);
    if (options == FOptions) return;
    FOptions = options;
    SyncLines();
    // Hovering a title boundary shows the sizing pointer.
    viewport()->setMouseTracking((FOptions & goColSizing) != 0);
    ClampCurrent();
    UpdateScrollBars();
    InvalidateGrid();
    if (!d->editorMode) {
        if (FOptions & goAlwaysShowEditor)
            ShowEditor();
        else
            HideEditor();
    } else if (!CanEditShow()) {
        HideEditor();
    }
}

bool TComboGrid::EditorMode() const { return d->editorMode; }

QRect TComboGrid::CellRect(int col, int row) const {
    const QRect view = viewport()->rect();
    int x = ColX(col), y = RowY(row);
    if (x < 0 || y < 0) return QRect();
    QRect r(x, y, ColWidths(col), RowHeights(row));
    if (x >= view.width() || y >= view.height()) return QRect();
    return r.intersected(view);
}

namespace {
// The index under a viewport position: one of the fixed ones, or one that
// scrolls, counted from first; -1 past the last or beyond the view.
int IndexAt(const TExtents& e, int fixed, int first, int pos, int view) {
    if (pos < 0 || pos >= view) return -1;
    const int64_t fixedEnd = e.Sum(fixed);
    const int i = pos < fixedEnd ? e.LastAtOrBelow(pos) : e.LastAtOrBelow(pos - fixedEnd + e.Sum(first));
    return i < e.Count() ? i : -1;
}
}  // namespace

void TComboGrid::MouseToCell(int x, int y, int& col, int& row) const {
    col = row = -1;
    const int c = IndexAt(d->cols, FFixedCols, FLeftCol, x, viewport()->width());
    const int r = IndexAt(d->rows, FFixedRows, FTopRow, y, viewport()->height());
    if (c >= 0 && r >= 0) {
        col = c;
        row = r;
    }
}

int TComboGrid::SizingColAt(int x, int y) const {
    if (!(FOptions & goColSizing) || y < 0 || y >= Pixels(d->rows.Sum(FFixedRows))) return -1;
    int col = -1, row = -1;
    MouseToCell(x, y, col, row);
    if (col < 0) return -1;
    // Within a few pixels of a boundary: the column left of it is sized.
    constexpr int kGrip = 3;
    const int right = ColX(col) + ColWidths(col) + LineW(true, col);
    if (right - x <= kGrip) return col;
    if (x - ColX(col) < kGrip) {
        const int prev = col == FLeftCol && FFixedCols > 0 ? FFixedCols - 1 : col - 1;
        if (prev >= 0 && ColX(prev) >= 0) return prev;
    }
    return -1;
}

bool TComboGrid::VerticalScrollBarShown() const { return MaxTopRow() > FFixedRows || FTopRow > FFixedRows; }

int TComboGrid::TextWidth(const std::string& text) const {
    if (text.empty()) return 0;
    // Fitting the columns at every refresh measures the same names and
    // problems again and again: each text is measured once per font.
    const std::string shown = ShownText(text);
    auto known = d->widths.find(shown);
    if (known != d->widths.end()) return known->second;
    if (!d->metrics) d->metrics.emplace(FCanvasFont);
    const int w = d->metrics->horizontalAdvance(Q(shown));
    if (d->widthBytes > kWidthCacheBytes) {
        d->widths.clear();
        d->widthBytes = 0;
    }
    d->widthBytes += shown.size() + 32;
    d->widths.emplace(shown, w);
    return w;
}

void TComboGrid::SetCanvasFont(const QFont& f) {
    FCanvasFont = f;
    FCanvasFont.setFamily(MapFontFamily(f.family()));
    d->metrics.reset();
    d->widths.clear();
    d->widthBytes = 0;
    InvalidateGrid();
}

void TComboGrid::InvalidateCell(int col, int row) {
    QRect r = CellRect(col, row);
    if (!r.isEmpty()) viewport()->update(r);
}

void TComboGrid::InvalidateGrid() { viewport()->update(); }

TCellKind* TComboGrid::CellKinds(int col) {
    if (col < 0) return nullptr;
    if (FCellKinds.size() < static_cast<size_t>(col) + 1) FCellKinds.resize(col + 1);
    if (!FCellKinds[col]) {
        FCellKinds[col] = std::make_unique<TCellKind>();
        FCellKinds[col]->Owner = this;
    }
    return FCellKinds[col].get();
}

void TComboGrid::DoGridBtnClick(int col, int row) { OnGridBtnClick(this, col, row); }

void TComboGrid::WriteCellData(TFormWriter& w) const {
    w.WriteListBegin();
    for (int r = 0; r < FRowCount; ++r)
        for (size_t c = 0; c < d->cells[static_cast<size_t>(r)].size(); ++c) {
            const std::string& t = d->cells[static_cast<size_t>(r)][c];
            if (t.empty()) continue;
            w.WriteInteger(static_cast<int32_t>(c));
            w.WriteInteger(r);
            w.WriteString(t);
        }
    w.WriteListEnd();
}

void TComboGrid::ReadCellData(TFormReader& r) {
    r.ReadListBegin();
    while (!r.EndOfList()) {
        int col = r.ReadInteger();
        int row = r.ReadInteger();
        SetCells(col, row, r.ReadString());
    }
    r.ReadListEnd();
}

void TComboGrid::WriteCellKind(TFormWriter& w) {
    w.WriteListBegin();
    for (int c = 0; c < FColCount; ++c) {
        TCellKind* k = CellKinds(c);
        w.WriteInteger(k->Kind);
        w.WriteInteger(k->FixedAlign());
        w.WriteInteger(k->CellAlign());
        w.WriteInteger(static_cast<int32_t>(k->Items.size()));
        for (const TKindItem& item : k->Items) {
            w.WriteString(item.Text);
            if (k->Kind == ckCheck) w.WriteInteger(item.Tag);
        }
        w.WriteInteger(k->DropDownWidth);
        w.WriteInteger(k->Indent);
        w.WriteInteger(k->MaxLength);
        w.WriteBoolean(k->Editable);
    }
    w.WriteListEnd();
}

void TComboGrid::ReadCellKind(TFormReader& r) {
    FCellKinds.clear();
    r.ReadListBegin();
    auto byte = [](int32_t v) {
        if (v < 0 || v > 255) throw EFormStreamError("alignment out of range");
        return static_cast<uint8_t>(v);
    };
    while (!r.EndOfList()) {
        auto k = std::make_unique<TCellKind>();
        k->Kind = static_cast<uint8_t>(r.ReadInteger() & 0xFF);
        k->SetFixedAlign(byte(r.ReadInteger()));
        k->SetCellAlign(byte(r.ReadInteger()));
        int n = r.ReadInteger();
        for (int i = 0; i < n; ++i) {
            TKindItem item;
            item.Text = r.ReadString();
            if (k->Kind == ckCheck) item.Tag = r.ReadInteger();
            k->Items.push_back(std::move(item));
        }
        k->DropDownWidth = r.ReadInteger();
        int32_t indent = r.ReadInteger();
        if (indent < -128 || indent > 127) throw EFormStreamError("indent out of range");
        k->Indent = static_cast<int8_t>(indent);
        k->MaxLength = r.ReadInteger();
        k->Editable = r.ReadBoolean();
        k->Owner = this;
        FCellKinds.push_back(std::move(k));
    }
    r.ReadListEnd();
    InvalidateGrid();
    if (FEditor && FEditor->isVisible()) UpdateEditor();
}
