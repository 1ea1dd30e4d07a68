#include "CmbGrid.h"

#include "InplaceEdit.h"
#include "sjis.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <qdrawutil.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_map>

int ComboButtonWidth = 17;

namespace {

QString Q(const std::string& sjisText) { return QString::fromStdString(sjis::ToUtf8(sjisText)); }

// Windows-style rectangle edges (right and bottom exclusive).
struct TEdges {
    int L, T, R, B;
};
TEdges Edges(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

// A 1-px frame inside e, top-left in one colour and bottom-right in
// another; e shrinks by one on every side.
void Frame3D(QPainter& p, TEdges& e, const QColor& topLeft, const QColor& bottomRight) {
    p.fillRect(QRect(e.L, e.T, e.R - e.L, 1), topLeft);
    p.fillRect(QRect(e.L, e.T, 1, e.B - e.T), topLeft);
    p.fillRect(QRect(e.L, e.B - 1, e.R - e.L, 1), bottomRight);
    p.fillRect(QRect(e.R - 1, e.T, 1, e.B - e.T), bottomRight);
    e = {e.L + 1, e.T + 1, e.R - 1, e.B - 1};
}

QColor GrayText(const QPalette& pal) { return pal.color(QPalette::Disabled, QPalette::WindowText); }

// Draws text at a reference point, its top at y.
void TextAt(QPainter& p, const QFont& font, const TTextPlace& place, const QRect& cell,
            const QString& s) {
    QFontMetrics fm(font);
    int x = cell.left() + place.X;
    int w = fm.horizontalAdvance(s);
    if (place.Anchor == caCenter)
        x -= w / 2;
    else if (place.Anchor == caRight)
        x -= w;
    p.drawText(QPoint(x, cell.top() + place.Y + fm.ascent()), s);
}

}  // namespace

// ---------------------------------------------------------------- helpers

TTextPlace CellTextPlace(uint8_t align, int indent, bool fixed, int w, int h, int textHeight) {
    TTextPlace t;
    t.X = indent;
    t.Y = (h - textHeight) / 2;
    if (align & caCenter) {
        t.Anchor = caCenter;
        t.X = w / 2;
    }
    if (align & caRight) {
        t.Anchor = caRight;
        t.X = w - indent;
    }
    if (align & caTop) t.Y = 2;
    if (align & caBottom) t.Y = fixed ? h - textHeight - 2 : h - textHeight;
    return t;
}

int CheckValueIndex(const std::vector<TKindItem>& items, const std::string& value) {
    for (size_t i = 0; i < items.size(); ++i)
        if (sjis::EqualsIgnoreCase(items[i].Text, value)) return static_cast<int>(i);
    return -1;
}

std::string ToggleCheckValue(const std::vector<TKindItem>& items, const std::string& value) {
    if (items.empty()) return value;
    int i = CheckValueIndex(items, value);
    if (i < 0 || items[i].Tag == 1) return items[0].Text;
    for (const TKindItem& item : items)
        if (item.Tag == 1) return item.Text;
    return items[i].Text;
}

namespace {

// The fields of a classic edit mask "mask;save-literals;blank"; the last
// two are taken when present and their ";" is not escaped.
struct TEditMaskFields {
    std::string Mask, Save, Blank;
};

TEditMaskFields SplitEditMask(const std::string& editMask) {
    TEditMaskFields f;
    f.Mask = editMask;
    const size_t last = editMask.rfind(';');
    if (last == std::string::npos || last == 0) return f;
    const size_t prev = editMask.rfind(';', last - 1);
    if (prev != std::string::npos && (prev == 0 || editMask[prev - 1] != '\\')) {
        f.Save = editMask.substr(prev + 1, last - prev - 1);
        f.Blank = editMask.substr(last + 1);
        f.Mask.resize(prev);
    } else if (editMask[last - 1] != '\\') {
        f.Save = editMask.substr(last + 1);
        f.Mask.resize(last);
    }
    return f;
}

}  // namespace

bool EditMaskSavesLiterals(const std::string& editMask) {
    const std::string save = SplitEditMask(editMask).Save;
    return save.empty() || save[0] != '0';
}

QString StripMaskLiterals(const QString& inputMask, const QString& displayText) {
    QString out;
    QChar blank = u' ';
    int end = inputMask.size();
    for (int i = 0; i < inputMask.size(); ++i) {
        if (inputMask[i] == u'\\') {
            ++i;
        } else if (inputMask[i] == u';') {
            end = i;
            if (i + 1 < inputMask.size()) blank = inputMask[i + 1];
            break;
        }
    }
    int pos = 0;
    for (int i = 0; i < end && pos < displayText.size(); ++i) {
        const QChar m = inputMask[i];
        if (m == u'<' || m == u'>' || m == u'!') continue;  // case switches take no place
        if (m == u'\\') {
            ++i;  // an escaped literal
        } else if (QStringLiteral("AaNnXx90DdHhBb#").contains(m)) {
            if (displayText[pos] != blank) out += displayText[pos];
        }
        ++pos;
    }
    return out;
}

QString EditMaskToInputMask(const std::string& editMask) {
    const TEditMaskFields fields = SplitEditMask(editMask);
    const std::string& mask = fields.Mask;
    const std::string& blank = fields.Blank;
    if (mask.empty()) return QString();
    QString out;
    for (size_t i = 0; i < mask.size(); ++i) {
        char c = mask[i];
        switch (c) {
        case '0': out += '9'; break;
        case '9': out += '0'; break;
        case 'L': out += 'A'; break;
        case 'l': out += 'a'; break;
        case 'A': out += 'N'; break;
        case 'a': out += 'n'; break;
        case 'C': out += 'X'; break;
        case 'c': out += 'x'; break;
        case '#': out += '#'; break;
        case '>': out += '>'; break;
        case '!': break;  // trailing blanks: the line edit keeps none anyway
        case '_': out += ' '; break;
        case '<':
            if (i + 1 < mask.size() && mask[i + 1] == '>') {
                out += '!';
                ++i;
            } else {
                out += '<';
            }
            break;
        case '\\':
            if (i + 1 < mask.size()) {
                out += '\\';
                out += QChar::fromLatin1(mask[++i]);
            }
            break;
        default:
            if (std::strchr("AaNnXx90DdHhBb#><![]{}\\", c)) out += '\\';
            out += QChar::fromLatin1(c);
        }
    }
    if (!blank.empty()) out += ';' + QChar::fromLatin1(blank[0]);
    return out;
}

QString MapFontFamily(const QString& family) {
    if (family == QString::fromUtf8("ＭＳ ゴシック")) return QStringLiteral("IPAGothic");
    if (family == QString::fromUtf8("ＭＳ Ｐゴシック")) return QStringLiteral("IPAPGothic");
    return family;
}

void DrawButtonCell(QPainter& p, const QRect& rect, const QPalette& pal, bool pressed,
                    const std::string& caption, const QFont& font) {
    p.save();
    QBrush face(pal.color(QPalette::Button));
    qDrawWinButton(&p, rect, pal, pressed, &face);
    TEdges e = Edges(rect);
    TEdges f{e.L + 1, e.T + 1, e.R - 2, e.B - 2};
    if (pressed) f = {f.L + 1, f.T + 1, f.R + 1, f.B + 1};
    QRect fr(f.L, f.T, f.R - f.L, f.B - f.T);
    if (!fr.isEmpty()) {
        p.setClipRect(fr);
        p.fillRect(fr, pal.color(QPalette::Button));
        p.setFont(font);
        p.setPen(pal.color(QPalette::ButtonText));
        QFontMetrics fm(font);
        TTextPlace place;
        place.Anchor = caCenter;
        place.X = (f.R - f.L) / 2;
        place.Y = ((f.B - f.T) - fm.height()) / 2;
        TextAt(p, font, place, fr, Q(caption));
        p.setClipping(false);
    }
    p.setPen(pal.color(QPalette::Light));
    p.drawLine(e.L, e.B - 1, e.L, e.T);
    p.drawLine(e.L, e.T, e.R - 1, e.T);
    p.restore();
}

void DrawCheckCell(QPainter& p, const QRect& rect, const QPalette& pal, bool pressed,
                   const std::vector<TKindItem>& items, const std::string& value) {
    p.save();
    const QColor face = pal.color(QPalette::Button), light = pal.color(QPalette::Light),
                 shadow = pal.color(QPalette::Dark);
    p.fillRect(rect, face);
    TEdges r = Edges(rect);
    Frame3D(p, r, light, shadow);
    Frame3D(p, r, shadow, light);
    int cx = r.L + (r.R - r.L) / 2, cy = r.T + (r.B - r.T) / 2;
    TEdges b{cx - 6, cy - 6, cx + 7, cy + 7};
    int i = CheckValueIndex(items, value);
    QColor fill = pressed ? face : i < 0 ? GrayText(pal) : pal.color(QPalette::Base);
    p.fillRect(QRect(b.L, b.T, 13, 13), fill);
    Frame3D(p, b, shadow, light);
    Frame3D(p, b, pal.color(QPalette::Shadow), face);
    if (i >= 0 && items[i].Tag == 0) {
        b = {b.L + 1, b.T + 1, b.R - 1, b.B - 1};
        p.setPen(QPen(pal.color(QPalette::ButtonText), 2));
        p.drawLine(b.L, b.T, b.R - 1, b.B - 1);
        p.drawLine(b.R - 1, b.T, b.L, b.B - 1);
    }
    p.restore();
}

namespace {
void ComboArrow(QPainter& p, int w, int h, const QPalette& pal) {
    p.setPen(pal.color(QPalette::ButtonText));
    int x0 = w - ComboButtonWidth / 2 - 4, y0 = h / 2 - 2;
    const int len[4] = {7, 5, 3, 1};
    for (int i = 0; i < 4; ++i) p.drawLine(x0 + i, y0 + i, x0 + i + len[i] - 1, y0 + i);
}
}  // namespace

void DrawComboButton(QPainter& p, int w, int h, const QPalette& pal) {
    p.save();
    QBrush face(pal.color(QPalette::Button));
    qDrawWinButton(&p, QRect(w - ComboButtonWidth, 0, ComboButtonWidth, h - 1), pal, false, &face);
    ComboArrow(p, w, h, pal);
    p.restore();
}

void DrawComboButtonDown(QPainter& p, int w, int h, const QPalette& pal) {
    p.save();
    QBrush face(pal.color(QPalette::Button));
    qDrawWinButton(&p, QRect(w - ComboButtonWidth, 0, ComboButtonWidth, h - 1), pal, true, &face);
    ComboArrow(p, w, h, pal);
    p.setPen(QPen(pal.color(QPalette::ButtonText), 1, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(w - ComboButtonWidth, 0, ComboButtonWidth - 1, h - 1);
    p.restore();
}

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

namespace {

// The sizes of a grid's columns (or rows), each with the grid line after
// it, and their running sums in a binary indexed tree: a position, the
// index at a position and a change of one size all cost O(log n), so a
// grid of 100,000 rows or 50,000 columns lays out as fast as a small one.
class TExtents {
public:
    int Count() const { return static_cast<int>(FSize.size()); }
    int Size(int i) const { return FSize[static_cast<size_t>(i)]; }
    int Line(int i) const { return i < FFixedCount ? FFixedLine : FLine; }
    int64_t Extent(int i) const { return int64_t(Size(i)) + Line(i); }

    // n sizes of value each.
    void Assign(int n, int value) {
        FSize.assign(static_cast<size_t>(n), value);
        Rebuild();
    }
    // n sizes; the ones gained take value.
    void Resize(int n, int value) {
        FSize.resize(static_cast<size_t>(n), value);
        Rebuild();
    }
    // The grid lines: fixedLine after each of the first fixedCount, line
    // after the others.
    void SetLines(int fixedCount, int fixedLine, int line) {
        if (fixedCount == FFixedCount && fixedLine == FFixedLine && line == FLine) return;
        FFixedCount = fixedCount;
        FFixedLine = fixedLine;
        FLine = line;
        Rebuild();
    }
    void SetSize(int i, int value) {
        const int64_t delta = int64_t(value) - Size(i);
        FSize[static_cast<size_t>(i)] = value;
        for (size_t k = static_cast<size_t>(i) + 1; k < FTree.size(); k += k & (~k + 1)) FTree[k] += delta;
    }
    // The extents of [0, i).
    int64_t Sum(int i) const {
        int64_t s = 0;
        for (size_t k = static_cast<size_t>(std::clamp(i, 0, Count())); k > 0; k -= k & (~k + 1)) s += FTree[k];
        return s;
    }
    int64_t Total() const { return Sum(Count()); }
    // The largest i (0..Count()) with Sum(i) <= pos, or with Sum(i) < pos
    // when strict: for pos inside the extents, the index whose span holds it.
    int LastAtOrBelow(int64_t pos, bool strict = false) const {
        if (pos < 0 || (strict && pos == 0)) return 0;
        size_t at = 0;
        size_t step = 1;
        while (step * 2 < FTree.size()) step *= 2;
        for (; step > 0; step /= 2) {
            const size_t next = at + step;
            if (next < FTree.size() && (strict ? FTree[next] < pos : FTree[next] <= pos)) {
                at = next;
                pos -= FTree[next];
            }
        }
        return static_cast<int>(at);
    }
    // The smallest i with Sum(i) >= pos.
    int FirstAtOrAbove(int64_t pos) const {
        if (pos <= 0) return 0;
        return std::min(Count(), LastAtOrBelow(pos, true) + 1);
    }

private:
    void Rebuild() {
        FTree.assign(FSize.size() + 1, 0);
        for (size_t k = 1; k < FTree.size(); ++k) {
            FTree[k] += Extent(static_cast<int>(k - 1));
            const size_t parent = k + (k & (~k + 1));
            if (parent < FTree.size()) FTree[parent] += FTree[k];
        }
    }
    std::vector<int> FSize;
    std::vector<int64_t> FTree{0};  // 1-based
    int FFixedCount = 0, FFixedLine = 0, FLine = 0;
};

// What the widths of measured texts may hold before they are forgotten.
constexpr size_t kWidthCacheBytes = size_t(4) << 20;

// A position far beyond any view, for sums that do not fit a pixel value.
int Pixels(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, -(1 << 30), 1 << 30)); }

}  // namespace

struct TComboGrid::Private {
    // [row][col]; a row holds its cells up to the last one set, the rest
    // read as empty.
    std::vector<std::vector<std::string>> cells;
    TExtents cols, rows;
    bool editorMode = false;
    int anchorCol = 1, anchorRow = 1;  // the moving end of the selection
    bool selecting = false;
    bool leftHeld = false;
    bool spaceHeld = false;
    bool syncingBars = false;
    int editCol = -1, editRow = -1;  // the cell the visible editor edits
    std::string editStartText;
    // A column being sized by dragging its title's right boundary: the
    // column, the x where the drag began and the width it had then.
    int sizingCol = -1, sizingX = 0, sizingWidth = 0;
    // The canvas font's metrics, made when first asked for.
    std::optional<QFontMetrics> metrics;
    // Widths of texts measured in that font, up to kWidthCacheBytes.
    std::unordered_map<std::string, int> widths;
    size_t widthBytes = 0;
};

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

void TComboGrid::SetEditorMode(bool on) {
    if (on)
        ShowEditor();
    else
        HideEditor();
}

void TComboGrid::ShowEditor() {
    d->editorMode = true;
    UpdateEditor();
}

void TComboGrid::HideEditor() {
    d->editorMode = false;
    HideEditorWidget();
}

bool TComboGrid::IsActiveControl() const {
    QWidget* f = window() ? window()->focusWidget() : nullptr;
    return f && (f == this || f == viewport() || (FEditor && f == FEditor));
}

bool TComboGrid::CanEditShow() {
    bool r = (FOptions & goEditing) && !(FOptions & goRowSelect) && d->editorMode &&
             ((FOptions & goAlwaysShowEditor) || IsActiveControl());
    TCellKind* k = CellKinds(FCol);
    if (FEditor) FEditor->SetCellKind(k);
    if (k->Editable && k->Kind != ckButton && k->Kind != ckCheck)
        return r || (!d->editorMode && (FOptions & goAlwaysShowEditor) && (FOptions & goEditing));
    HideEditorWidget();
    InvalidateCell(FCol, FRow);
    return false;
}

std::string TComboGrid::GetEditMask(int col, int row) {
    TCellKind* k = CellKinds(FCol);
    if (k->Kind == ckText && !k->Items.empty() && !k->Items[0].Text.empty()) return k->Items[0].Text;
    std::string mask;
    OnGetEditMask(this, col, row, mask);
    return mask;
}

int TComboGrid::GetEditLimit() {
    TCellKind* k = CellKinds(FCol);
    return k->Kind == ckText ? k->MaxLength : 0;
}

void TComboGrid::UpdateEditor() {
    if (!CanEditShow()) {
        HideEditorWidget();
        return;
    }
    QRect r = CellRect(FCol, FRow);
    if (r.isEmpty()) {
        HideEditorWidget();
        return;
    }
    if (!FEditor) {
        FEditor = new TComboInplaceEdit(this);
        FEditor->SetCellKind(CellKinds(FCol));
    }
    bool fresh = !FEditor->isVisible() || d->editCol != FCol || d->editRow != FRow;
    if (fresh) {
        d->editCol = FCol;
        d->editRow = FRow;
        d->editStartText = Cells(FCol, FRow);
        FEditor->SetEditMask(GetEditMask(FCol, FRow));
        FEditor->SetMaxLength(GetEditLimit());
        FEditor->SetSjisText(d->editStartText);
        FEditor->selectAll();
    }
    FEditor->setGeometry(r);
    bool focus = IsActiveControl();
    FEditor->show();
    if (focus) FEditor->setFocus();
}

void TComboGrid::HideEditorWidget() {
    d->editCol = d->editRow = -1;
    if (!FEditor || FEditor->isHidden()) return;
    if (FEditor->hasFocus() || (window() && window()->focusWidget() == FEditor)) setFocus();
    FEditor->hide();
}

void TComboGrid::CancelEdit() {
    if (d->editCol >= 0 && Cells(d->editCol, d->editRow) != d->editStartText) {
        FEditor->SetSjisText(d->editStartText);
        EditorTextChanged(d->editStartText);
    }
    if (!(FOptions & goAlwaysShowEditor))
        HideEditor();
    else if (FEditor)
        FEditor->selectAll();
}

void TComboGrid::EditorTextChanged(const std::string& text) {
    if (d->editCol < 0) return;
    int col = d->editCol, row = d->editRow;
    StoreCell(col, row, text);
    InvalidateCell(col, row);
    OnSetEditText(this, col, row, text);
}

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

// ---------------------------------------------------------------- drawing

void TComboGrid::DrawCellTextOf(QPainter& p, int col, int row, const QRect& rect, bool fixed,
                                const QColor& bg, const QColor& fg) {
    TCellKind* k = CellKinds(col);
    std::string text = ShownText(Cells(col, row));
    if (!fixed && k->Kind == ckText && k->Items.size() >= 2 && !k->Items[1].Text.empty() && !text.empty()) {
        std::string formatted;
        if (FormatNumeric(k->Items[1].Text, text, formatted)) text = formatted;
    }
    QFontMetrics fm(FCanvasFont);
    TTextPlace place = CellTextPlace(fixed ? k->FixedAlign() : k->CellAlign(), k->Indent, fixed,
                                     rect.width(), rect.height(), fm.height());
    p.save();
    p.setClipRect(rect);
    p.fillRect(rect, bg);
    p.setFont(FCanvasFont);
    p.setPen(fg);
    TextAt(p, FCanvasFont, place, rect, Q(text));
    p.restore();
}

namespace {
// What a kind cell shows: a button its caption (or the cell's text), a
// check cell its value.
std::string KindCellText(const TCellKind* k, const std::string& cellText) {
    if (k->Kind != ckButton) return cellText;
    std::string caption = k->Items.empty() ? std::string() : k->Items[0].Text;
    return caption == "%%USECELLDATA%%" ? cellText : caption;
}
}  // namespace

void TComboGrid::DrawKindCell(QPainter& p, const QRect& rect, bool pressed, TCellKind* kind,
                              const std::string& text) {
    if (kind->Kind == ckButton)
        DrawButtonCell(p, rect, palette(), pressed, ShownText(text), FCanvasFont);
    else
        DrawCheckCell(p, rect, palette(), pressed, kind->Items, text);
}

void TComboGrid::DrawCell(QPainter& p, int col, int row, const QRect& rect, unsigned state) {
    if (rect.isEmpty()) return;
    if (DefaultDrawing) {
        TCellKind* k = CellKinds(col);
        bool kindCol = k->Kind == ckButton || k->Kind == ckCheck;
        std::string text = KindCellText(k, Cells(col, row));
        if (state & gdFixed) {
            if (row < FFixedRows || !kindCol)
                DrawCellTextOf(p, col, row, rect, true, FFixedColor, palette().color(QPalette::ButtonText));
            else
                DrawKindCell(p, rect, false, k, text);
        } else if (!kindCol) {
            bool sel = state & gdSelected;
            DrawCellTextOf(p, col, row, rect, false,
                           palette().color(sel ? QPalette::Highlight : QPalette::Base),
                           palette().color(sel ? QPalette::HighlightedText : QPalette::Text));
        } else {
            DrawKindCell(p, rect, col == FPressedCol && row == FPressedRow, k, text);
        }
    }
    OnDrawCell(this, col, row, p, rect, state);
}

void TComboGrid::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const QRect view = viewport()->rect();
    p.fillRect(view, palette().color(QPalette::Base));
    bool active = IsActiveControl();
    // Only what the view shows is visited: the fixed ones, then from the
    // first that scrolls on to the view's edge.
    std::vector<int> cols, rows;
    for (int c = 0; c < FColCount; c = c + 1 == FFixedCols ? std::max(FLeftCol, c + 1) : c + 1) {
        if (c >= FFixedCols && c < FLeftCol) c = FLeftCol;
        int x = ColX(c);
        if (x < 0 || x >= view.width()) break;
        cols.push_back(c);
    }
    for (int r = 0; r < FRowCount; r = r + 1 == FFixedRows ? std::max(FTopRow, r + 1) : r + 1) {
        if (r >= FFixedRows && r < FTopRow) r = FTopRow;
        int y = RowY(r);
        if (y < 0 || y >= view.height()) break;
        rows.push_back(r);
    }
    const QColor fixedLine = palette().color(QPalette::Shadow), line = palette().color(QPalette::Mid);
    for (int r : rows)
        for (int c : cols) {
            QRect rect = CellRect(c, r);
            if (rect.isEmpty()) continue;
            bool fixed = c < FFixedCols || r < FFixedRows;
            unsigned state = 0;
            if (fixed) state |= gdFixed;
            bool focused = !fixed && c == FCol && r == FRow && active;
            if (focused) state |= gdFocused;
            // The focused cell shows as selected only when the options ask for it.
            if (!fixed && c >= FSelection.Left && c <= FSelection.Right && r >= FSelection.Top &&
                r <= FSelection.Bottom && (!focused || (FOptions & (goDrawFocusSelected | goRowSelect))))
                state |= gdSelected;
            DrawCell(p, c, r, rect, state);
            // A held button in a fixed column looks pressed as long as it is held.
            if (fixed && c == FPressedCol && r == FPressedRow && DefaultDrawing) {
                TCellKind* pk = CellKinds(c);
                DrawKindCell(p, rect, true, pk, KindCellText(pk, Cells(c, r)));
            }
            if (fixed && DefaultDrawing && (FOptions & (goFixedVertLine | goFixedHorzLine)) &&
                !(r >= FFixedRows && CellKinds(c)->Kind >= ckButton && CellKinds(c)->Kind <= ckCheck))
                qDrawShadeRect(&p, rect, palette(), false, 1);
            if ((focused || (c == FPressedCol && r == FPressedRow)) && DefaultDrawing &&
                !(FOptions & goRowSelect)) {
                QStyleOptionFocusRect o;
                o.initFrom(this);
                o.rect = rect.adjusted(0, 0, -1, -1);
                style()->drawPrimitive(QStyle::PE_FrameFocusRect, &o, &p, this);
            }
            int lw = LineW(true, c), lh = LineW(false, r);
            QColor lc = fixed ? fixedLine : line;
            if (lw) p.fillRect(QRect(rect.left() + ColWidths(c), rect.top(), lw, RowHeights(r) + lh), lc);
            if (lh) p.fillRect(QRect(rect.left(), rect.top() + RowHeights(r), ColWidths(c) + lw, lh), lc);
        }
    // A button or check cell that is current is drawn once more.
    TCellKind* k = CellKinds(FCol);
    if (k->Kind == ckButton || k->Kind == ckCheck) {
        QRect rect = CellRect(FCol, FRow);
        if (!rect.isEmpty()) DrawCell(p, FCol, FRow, rect, 0);
    }
}

// ---------------------------------------------------------------- mouse

void TComboGrid::LeftDown(int x, int y, Qt::KeyboardModifiers mods, bool takePress) {
    int col, row;
    MouseToCell(x, y, col, row);
    if (col >= FFixedCols && row >= FFixedRows) {
        if (col == FCol && row == FRow && !(mods & Qt::ShiftModifier) && (FOptions & goEditing) &&
            !(FOptions & goRowSelect)) {
            MoveCurrent(col, row, false);
            ShowEditor();
        } else {
            MoveCurrent(col, row, (mods & Qt::ShiftModifier) != 0);
            d->selecting = (FOptions & goRangeSelect) != 0;
        }
    }
    OnMouseDown(this, Qt::LeftButton, x, y);

    FPressedCol = FPressedRow = -1;
    if (!takePress || col < 0 || row < 0) return;
    QRect r = CellRect(col, row);
    if (!r.contains(x, y) || row < FFixedRows) return;
    TCellKind* k = CellKinds(col);
    bool taken = k->Kind == ckButton || (k->Kind == ckCheck && k->Editable && (FOptions & goEditing));
    if (!taken) return;
    FPressedCol = col;
    FPressedRow = row;
    FPressedFocused = (col == FCol && row == FRow) ? unsigned(gdFocused) : 0u;
    viewport()->update(r);
}

void TComboGrid::LeftUp(int x, int y) {
    d->selecting = false;
    OnMouseUp(this, Qt::LeftButton, x, y);
    if (FEditor && FEditor->CellKind().Kind == ckCombo) FEditor->AdjustEditRect();
    if (FPressedCol < 0) return;
    int col = FPressedCol, row = FPressedRow;
    QRect r = CellRect(col, row);
    FPressedCol = FPressedRow = -1;
    viewport()->update(r);
    if (r.contains(x, y)) {
        TCellKind* k = CellKinds(col);
        if (k->Kind == ckCheck) SetCells(col, row, ::ToggleCheckValue(k->Items, Cells(col, row)));
        DoGridBtnClick(col, row);
    }
}

void TComboGrid::mousePressEvent(QMouseEvent* e) {
    QPoint pt = e->position().toPoint();
    if (FEditor && FEditor->DroppedDown()) FEditor->ToggleDropDown();
    setFocus(Qt::MouseFocusReason);
    if (e->button() == Qt::LeftButton && SizingColAt(pt.x(), pt.y()) >= 0) {
        // A press on a title boundary sizes that column and does nothing else.
        d->sizingCol = SizingColAt(pt.x(), pt.y());
        d->sizingX = pt.x();
        d->sizingWidth = ColWidths(d->sizingCol);
        return;
    }
    if (e->button() == Qt::LeftButton) {
        d->leftHeld = true;
        LeftDown(pt.x(), pt.y(), e->modifiers());
    } else {
        OnMouseDown(this, e->button(), pt.x(), pt.y());
    }
}

void TComboGrid::mouseReleaseEvent(QMouseEvent* e) {
    QPoint pt = e->position().toPoint();
    if (e->button() == Qt::LeftButton && d->sizingCol >= 0) {
        d->sizingCol = -1;
        viewport()->unsetCursor();
        return;
    }
    if (e->button() == Qt::LeftButton) {
        d->leftHeld = false;
        LeftUp(pt.x(), pt.y());
    } else {
        OnMouseUp(this, e->button(), pt.x(), pt.y());
    }
}

void TComboGrid::mouseMoveEvent(QMouseEvent* e) {
    QPoint pt = e->position().toPoint();
    if (d->sizingCol >= 0) {
        // A column is never sized below one pixel, so it can be found again.
        SetColWidths(d->sizingCol, std::max(1, d->sizingWidth + pt.x() - d->sizingX));
        return;
    }
    if (FOptions & goColSizing) {
        if (!(e->buttons() & Qt::LeftButton) && SizingColAt(pt.x(), pt.y()) >= 0)
            viewport()->setCursor(Qt::SplitHCursor);
        else
            viewport()->unsetCursor();
    }
    if (!d->selecting || !(e->buttons() & Qt::LeftButton)) return;
    int col, row;
    MouseToCell(pt.x(), pt.y(), col, row);
    if (col >= FFixedCols && row >= FFixedRows && (col != d->anchorCol || row != d->anchorRow))
        MoveAnchor(col, row);
}

void TComboGrid::mouseDoubleClickEvent(QMouseEvent* e) {
    OnDblClick(this);
    if (e->button() != Qt::LeftButton) {
        mousePressEvent(e);
        return;
    }
    // The second press of a double click moves the current cell as any
    // press, but a button or check cell toggles and clicks only once.
    QPoint pt = e->position().toPoint();
    if (SizingColAt(pt.x(), pt.y()) >= 0) return;  // on a title boundary: no press
    if (FEditor && FEditor->DroppedDown()) FEditor->ToggleDropDown();
    setFocus(Qt::MouseFocusReason);
    d->leftHeld = true;
    LeftDown(pt.x(), pt.y(), e->modifiers(), false);
}

// ---------------------------------------------------------------- keys

void TComboGrid::NavigateKey(int key, Qt::KeyboardModifiers mods) {
    bool shift = mods & Qt::ShiftModifier, ctrl = mods & Qt::ControlModifier;
    int col = shift && (FOptions & goRangeSelect) ? d->anchorCol : FCol;
    int row = shift && (FOptions & goRangeSelect) ? d->anchorRow : FRow;
    int page = std::max(1, VisibleRowCount());
    switch (key) {
    case Qt::Key_Up: --row; break;
    case Qt::Key_Down: ++row; break;
    case Qt::Key_Left: --col; break;
    case Qt::Key_Right: ++col; break;
    case Qt::Key_PageUp: row -= page; break;
    case Qt::Key_PageDown: row += page; break;
    case Qt::Key_Home:
        col = FFixedCols;
        if (ctrl) row = FFixedRows;
        break;
    case Qt::Key_End:
        col = FColCount - 1;
        if (ctrl) row = FRowCount - 1;
        break;
    default: return;
    }
    MoveCurrent(col, row, shift);
}

bool TComboGrid::focusNextPrevChild(bool next) {
    if (!(FOptions & goTabs)) return QAbstractScrollArea::focusNextPrevChild(next);
    int col = FCol, row = FRow;
    if (next) {
        if (col < FColCount - 1)
            ++col;
        else if (row < FRowCount - 1)
            col = FFixedCols, ++row;
    } else {
        if (col > FFixedCols)
            --col;
        else if (row > FFixedRows)
            col = FColCount - 1, --row;
    }
    MoveCurrent(col, row, false);
    return true;
}

void TComboGrid::TypedChar(char c, QKeyEvent* e) {
    // Enter on a button clicks it; the character goes no further, not
    // even to OnKeyPress.
    if (c == 13 && CellKinds(FCol)->Kind == ckButton) {
        DoGridBtnClick(FCol, FRow);
        return;
    }
    OnKeyPress(this, c);
    if (c == 0) return;
    TCellKind* k = CellKinds(FCol);
    if (c == 13) {
        if (!(FOptions & goAlwaysShowEditor)) {
            if (d->editorMode)
                HideEditor();
            else
                ShowEditor();
        }
        return;
    }
    if (static_cast<unsigned char>(c) < 32 || !(FOptions & goEditing)) return;
    if (k->Kind == ckButton || k->Kind == ckCheck || !k->Editable) return;
    ShowEditor();
    if (FEditor && FEditor->isVisible() && e) {
        FEditor->setFocus();
        FEditor->selectAll();
        QKeyEvent copy(QEvent::KeyPress, e->key(), e->modifiers(), e->text());
        QApplication::sendEvent(FEditor, &copy);
    }
}

void TComboGrid::keyPressEvent(QKeyEvent* e) {
    TCellKind* k = CellKinds(FCol);
    const bool kindCol = k->Kind == ckButton || k->Kind == ckCheck;
    // Space presses a button or check cell as the mouse does; the key goes
    // no further, not even to OnKeyDown.
    if (e->key() == Qt::Key_Space && kindCol && !d->leftHeld && !d->spaceHeld && FPressedCol < 0) {
        QRect r = CellRect(FCol, FRow);
        d->spaceHeld = true;
        LeftDown(std::clamp(r.left(), 0, 65535), std::clamp(r.top(), 0, 65535), Qt::NoModifier);
        return;
    }
    int key = e->key();
    OnKeyDown(this, key, e->modifiers());
    if (key == 0) return;
    if (key == Qt::Key_Space && (CellKinds(FCol)->Kind == ckButton || CellKinds(FCol)->Kind == ckCheck))
        return;  // already held
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        NavigateKey(key, e->modifiers());
        return;
    case Qt::Key_F2:
        ShowEditor();
        return;
    case Qt::Key_Escape:
        // With no cell in edit the key is the window's: a dialog's Cancel.
        if (d->editorMode)
            CancelEdit();
        else
            e->ignore();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        TypedChar(13, e);
        return;
    default: break;
    }
    QString t = e->text();
    if (!t.isEmpty() && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        std::string s;
        if (!sjis::FromUtf8(t.toStdString(), s) || s.empty()) return;
        TypedChar(s[0], e);
        return;
    }
    QAbstractScrollArea::keyPressEvent(e);
}

void TComboGrid::keyReleaseEvent(QKeyEvent* e) {
    TCellKind* k = CellKinds(FCol);
    // A Space press ends with its key, also when the current cell has moved
    // on to another kind of column: released away from the pressed cell,
    // it changes nothing and clicks nothing.
    if (e->key() == Qt::Key_Space && (d->spaceHeld || k->Kind == ckButton || k->Kind == ckCheck)) {
        if (e->isAutoRepeat()) return;
        d->spaceHeld = false;
        QRect r = CellRect(FCol, FRow);
        LeftUp(std::clamp(r.left(), 0, 65535), std::clamp(r.top(), 0, 65535));
        return;
    }
    QAbstractScrollArea::keyReleaseEvent(e);
}
