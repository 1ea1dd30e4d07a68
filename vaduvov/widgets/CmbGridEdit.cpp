// The combo grid's editing: edit masks, the in-place editor, the mouse and the keys.
#include "CmbGrid.h"
#include "CmbGridPrivate.h"

#include "InplaceEdit.h"
#include "sjis.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <qdrawutil.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_map>


using namespace cmbgrid;

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
