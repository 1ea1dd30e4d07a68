// The combo grid's drawing: its cells, buttons, check boxes and combo buttons.
#include "CmbGrid.h"
#include "CmbGridPrivate.h"

#include "InplaceEdit.h"
#include "sjis.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <qdrawutil.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_map>


using namespace cmbgrid;

namespace {


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
