// The combo grid's in-place editor and its drop-down list.
//
// The editor is a single-line edit that the grid lays over the current
// cell.  It keeps a copy of the current column's kind: a text column gives
// it an edit mask and a length limit (in Shift-JIS bytes), a combo column a
// drop-down button at its right end and a list of the column's entries
// that floats below it.  No cell takes a control character (TAB, CR, LF,
// 0x1A, ...), typed or pasted, nor a character the grid's property
// "RefusedEditChars" (a string) names.
#pragma once

#include "CmbGrid.h"

#include <QLineEdit>
#include <QListWidget>

class TComboGrid;
class TInplaceListBox;

class TComboInplaceEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TComboInplaceEdit(TComboGrid* grid);
    ~TComboInplaceEdit() override;

    TComboGrid* Grid() const { return FGrid; }
    const TCellKind& CellKind() const { return FCellKind; }
    // Takes a column's kind (a copy); nullptr only makes it a text kind.
    // A combo kind fills the list (created on first need).
    void SetCellKind(const TCellKind* kind);

    // The classic edit mask ("" none) and the length limit in bytes (0 none).
    std::string EditMask() const { return FEditMask; }
    void SetEditMask(const std::string& mask);
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int bytes);

    // The text as Shift-JIS bytes, as the cell takes it (without the mask's
    // literals when the mask says so); setting it does not reach the cell.
    std::string SjisText() const;
    void SetSjisText(const std::string& text);

    // Pastes the clipboard's first line at the caret (a paste stops at the
    // first line break, as in any one-line edit); a line that holds a
    // character the cell refuses is not pasted (a beep).
    void PasteFirstLine();

    // Keeps the text clear of the drop-down button.
    void AdjustEditRect();
    // Opens the list below the editor, or closes it.
    void ToggleDropDown();
    // The list's selection changed by the user: the grid's OnGridBtnClick.
    void ListClick();
    TInplaceListBox* DropList() const { return FDropList; }
    bool DroppedDown() const;
    // x of a press on the drop-down button; -1 none.
    int ButtonDownX() const { return FButtonDownX; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    bool IsCombo() const { return FCellKind.Kind == ckCombo; }
    void StepList(int key);
    void TextChanged(const QString& text);

    TComboGrid* FGrid;
    TEditorHost* FHost;  // the grid, as the editor may use it
    TCellKind FCellKind;
    TInplaceListBox* FDropList = nullptr;
    int FButtonDownX = -1;
    std::string FEditMask;
    bool FSaveLiterals = true;
    int FMaxLength = 0;
    bool FLoading = false;
    class TSjisValidator* FValidator = nullptr;
};

// The drop-down list: a frameless window of its own below the editor that
// never takes the keyboard focus (typing stays in the editor).  A press
// anywhere else closes it.
class TInplaceListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TInplaceListBox(TComboInplaceEdit* editor);
    TComboInplaceEdit* Editor() const { return FEditor; }
    // The editor's text becomes the selected entry, if any.
    void CopySelection();
    // Selects a row as the program does (no click).
    void SelectQuietly(int row);
    // Moves the selection as the user does (a click follows).
    void SelectByUser(int row);

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TComboInplaceEdit* FEditor;
    bool FQuiet = false;
};
