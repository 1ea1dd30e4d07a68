// A string grid whose columns each carry a cell kind: text, combo (text
// with a drop-down list in the in-place editor), push button or check box.
// The controller's grids (client list, score table, roster, CSV preview)
// are all of this class.
//
// The grid keeps the ways of a classic string grid: cells of Shift-JIS
// text, fixed title rows and columns, a current cell (Col, Row), a
// selection rectangle, options, in-place editing, CellRect and MouseToCell.
// Column titles and kinds are stored in two byte-stream properties,
// "CellData" and "CellKind".
#pragma once

#include "FormStream.h"
#include "NumFormat.h"
#include "component.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class QKeyEvent;
class QPainter;
class QPalette;
class TComboGrid;
class TComboInplaceEdit;

// Alignment flags of a cell kind (one byte as stored).
enum : uint8_t { caLeft = 1, caCenter = 2, caRight = 4, caTop = 8, caVCenter = 0x10, caBottom = 0x20 };
// Column kinds.
enum : uint8_t { ckText = 0, ckCombo = 1, ckButton = 2, ckCheck = 3 };

// Grid options (a set of flags).
enum TGridOption : unsigned {
    goFixedVertLine = 1u << 0,
    goFixedHorzLine = 1u << 1,
    goVertLine = 1u << 2,
    goHorzLine = 1u << 3,
    goRangeSelect = 1u << 4,
    goDrawFocusSelected = 1u << 5,
    goRowSizing = 1u << 6,
    goColSizing = 1u << 7,
    goRowMoving = 1u << 8,
    goColMoving = 1u << 9,
    goEditing = 1u << 10,
    goTabs = 1u << 11,
    goRowSelect = 1u << 12,
    goAlwaysShowEditor = 1u << 13,
    goThumbTracking = 1u << 14,
};

// Draw state of a cell.
enum TGridDrawState : unsigned { gdSelected = 1, gdFocused = 2, gdFixed = 4 };

struct TGridRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// Items of a cell kind: texts, each with a 32-bit object value.
struct TKindItem {
    std::string Text;
    int32_t Tag = 0;
};

class TCellKind {
public:
    TCellKind() = default;
    uint8_t CellAlign() const { return FCellAlign; }
    uint8_t FixedAlign() const { return FFixedAlign; }
    // Setters repaint the owner grid when the value changes.
    void SetCellAlign(uint8_t v);
    void SetFixedAlign(uint8_t v);
    uint8_t Kind = ckText;
    TComboGrid* Owner = nullptr;  // not owned
    std::vector<TKindItem> Items;
    bool Editable = true;
    int32_t DropDownWidth = 0;
    int8_t Indent = 2;
    int32_t MaxLength = 0;

    void SetItems(const std::vector<TKindItem>* items);  // nullptr empties
    // Copies everything but Owner.
    void Assign(const TCellKind& source);

private:
    uint8_t FCellAlign = caLeft | caVCenter;
    uint8_t FFixedAlign = caLeft | caVCenter;
};

// Width of the editor's drop-down button (a scroll-bar arrow's width).
extern int ComboButtonWidth;

// ---- plain helpers of the grid's drawing and editing

// Where a cell's text goes: the reference point (X, Y) relative to the
// cell's top-left corner, and which point of the text it is: caLeft (its
// left), caCenter (its centre) or caRight (its right end); Y is the top.
struct TTextPlace {
    int X = 0, Y = 0;
    uint8_t Anchor = caLeft;
};
// Places a text of height textHeight in a cell of w x h.  Right wins over
// centre, bottom over top; bottom text keeps 2 px off the edge in fixed
// cells only.
TTextPlace CellTextPlace(uint8_t align, int indent, bool fixed, int w, int h, int textHeight);

// Position of the first entry equal to value (ASCII letters compared
// without case); -1 when none.
int CheckValueIndex(const std::vector<TKindItem>& items, const std::string& value);
// The value a check cell takes when clicked: an off value (tag 1) or an
// unknown value becomes entry 0; an on value becomes the first off value,
// or stays when the column has none.  Without entries the value stays.
std::string ToggleCheckValue(const std::vector<TKindItem>& items, const std::string& value);

// The line-edit input mask for a classic edit mask ("mask;save;blank");
// "" for no mask.
QString EditMaskToInputMask(const std::string& editMask);
// Whether the cell takes the mask's literals with the typed characters:
// the second field "0" says no; absent or anything else, yes.
bool EditMaskSavesLiterals(const std::string& editMask);
// The characters typed into a line edit with that input mask: its literals
// and its blanks left out.
QString StripMaskLiterals(const QString& inputMask, const QString& displayText);

// Our font for a font name of the forms ("ＭＳ ゴシック" -> IPAGothic,
// "ＭＳ Ｐゴシック" -> IPAPGothic); other names unchanged.
QString MapFontFamily(const QString& family);

// Painters of a kind cell and of the editor's drop-down button (the
// colours are the palette's equivalents of the system colours).
void DrawButtonCell(QPainter& p, const QRect& rect, const QPalette& pal, bool pressed,
                    const std::string& caption, const QFont& font);
void DrawCheckCell(QPainter& p, const QRect& rect, const QPalette& pal, bool pressed,
                   const std::vector<TKindItem>& items, const std::string& value);
void DrawComboButton(QPainter& p, int w, int h, const QPalette& pal);
void DrawComboButtonDown(QPainter& p, int w, int h, const QPalette& pal);

// What the in-place editor asks of the grid it edits in, and all it may.
class TEditorHost {
public:
    // The user changed the editor's text: it goes into the edited cell.
    virtual void EditorTextChanged(const std::string& text) = 0;
    // A key that moves between cells, handed on to the grid.
    virtual void EditorPassKey(QKeyEvent* e) = 0;
    // Escape: the cell gets back the text it had when the edit began.
    virtual void EditorCancel() = 0;
    // Enter, as the grid takes it.
    virtual void EditorEnter(QKeyEvent* e) = 0;
    // A pick in the drop-down list: the click of the current cell.
    virtual void EditorListClick() = 0;

protected:
    ~TEditorHost() = default;
};

class TComboGrid : public QAbstractScrollArea, public TEditorHost {
    Q_OBJECT
public:
    explicit TComboGrid(QWidget* owner = nullptr);
    ~TComboGrid() override;

    // ---- string grid
    int ColCount() const { return FColCount; }
    void SetColCount(int n);
    int RowCount() const { return FRowCount; }
    void SetRowCount(int n);  // rows gained start empty
    int FixedCols() const { return FFixedCols; }
    void SetFixedCols(int n);
    int FixedRows() const { return FFixedRows; }
    void SetFixedRows(int n);
    int DefaultColWidth() const { return FDefaultColWidth; }
    void SetDefaultColWidth(int w);
    int DefaultRowHeight() const { return FDefaultRowHeight; }
    void SetDefaultRowHeight(int h);
    int ColWidths(int col) const;
    void SetColWidths(int col, int w);
    int RowHeights(int row) const;
    void SetRowHeights(int row, int h);
    int GridLineWidth() const { return FGridLineWidth; }
    void SetGridLineWidth(int w);
    QColor FixedColor() const { return FFixedColor; }
    void SetFixedColor(const QColor& c);

    std::string Cells(int col, int row) const;
    void SetCells(int col, int row, const std::string& text);
    // Sets the texts of a whole row from column 0 (cells past the texts
    // become empty), repainting the row once.
    void SetRowTexts(int row, const std::vector<std::string>& texts);
    // The columns of a row that may hold text: every cell from there on is
    // empty (so a pass over a row's texts need not visit every column).
    int CellsInRow(int row) const;
    // The part of a text the grid shows and measures: a cell can show no
    // more than a screen's width, so a longer text is cut (at a character
    // boundary) to kShownBytes; the cell keeps the whole text.
    static constexpr size_t kShownBytes = 1024;
    static std::string ShownText(const std::string& text);

    int Col() const { return FCol; }
    int Row() const { return FRow; }
    void SetCol(int col);
    void SetRow(int row);
    // Moves the current cell (the selection follows, as a click would).
    void FocusCell(int col, int row);
    TGridRect Selection() const { return FSelection; }
    void SetSelection(const TGridRect& r);
    int TopRow() const { return FTopRow; }
    void SetTopRow(int row);
    int LeftCol() const { return FLeftCol; }
    void SetLeftCol(int col);
    // Rows that fit in the view below the fixed rows.
    int VisibleRowCount() const;

    unsigned Options() const { return FOptions; }
    void SetOptions(unsigned options);
    bool DefaultDrawing = true;

    bool EditorMode() const;
    void SetEditorMode(bool on);
    void ShowEditor();
    void HideEditor();
    TComboInplaceEdit* InplaceEditor() const { return FEditor; }
    // Whether the editor may show on the current cell now; hands the
    // editor the current column's kind first.
    bool CanEditShow();
    // The edit mask and length limit the editor takes on the current
    // column (a text column's own, else OnGetEditMask's and 0).
    std::string GetEditMask(int col, int row);
    int GetEditLimit();

    // The cell's rectangle in the viewport; empty when out of view.
    QRect CellRect(int col, int row) const;
    // The cell at a viewport point; -1, -1 outside every cell.
    void MouseToCell(int x, int y, int& col, int& row) const;
    // Whether the vertical scroll bar shows (rows out of view).
    bool VerticalScrollBarShown() const;
    // The width of a text in the grid's canvas font.
    int TextWidth(const std::string& text) const;
    QFont CanvasFont() const { return FCanvasFont; }
    void SetCanvasFont(const QFont& f);
    void InvalidateCell(int col, int row);
    void InvalidateGrid();

    // ---- combo grid
    // The kind of a column, made with defaults (Owner this grid) when the
    // column has none yet.  Kinds outlive a smaller ColCount.
    TCellKind* CellKinds(int col);
    int KindCount() const { return static_cast<int>(FCellKinds.size()); }
    void DoGridBtnClick(int col, int row);
    // The button or check cell held down; -1, -1 none.
    int PressedCol() const { return FPressedCol; }
    int PressedRow() const { return FPressedRow; }

    // The stored properties, as byte streams of form values.
    void WriteCellData(TFormWriter& w) const;
    void ReadCellData(TFormReader& r);
    void WriteCellKind(TFormWriter& w);
    void ReadCellKind(TFormReader& r);

    // ---- events
    // After a completed click on a button or check cell, Enter in a button
    // cell, Space on a button or check cell, a pick in a combo list.
    TEvent<QObject*, int, int> OnGridBtnClick;
    // After the grid's own drawing of a cell (Sender, ACol, ARow, painter,
    // Rect, State), also with DefaultDrawing off.
    TEvent<QObject*, int, int, QPainter&, const QRect&, unsigned> OnDrawCell;
    // Before a cell becomes current (Sender, ACol, ARow, CanSelect).
    TEvent<QObject*, int, int, bool&> OnSelectCell;
    // The editor's text went into a cell (Sender, ACol, ARow, Value).
    TEvent<QObject*, int, int, const std::string&> OnSetEditText;
    TEvent<QObject*, Qt::MouseButton, int, int> OnMouseDown;  // viewport x, y
    TEvent<QObject*, Qt::MouseButton, int, int> OnMouseUp;
    TEvent<QObject*> OnDblClick;
    // Key events on the grid (Sender, Key, modifiers); a handler may clear
    // Key to consume it.  KeyPress carries the typed character (13 Enter).
    TEvent<QObject*, int&, Qt::KeyboardModifiers> OnKeyDown;
    TEvent<QObject*, char&> OnKeyPress;
    TEvent<QObject*> OnTopLeftChanged;
    // The mask of a column that has none of its own (Sender, ACol, ARow,
    // Value).
    TEvent<QObject*, int, int, std::string&> OnGetEditMask;

    // Paints one cell as the grid does (tests and owner drawing use it).
    void DrawCell(QPainter& p, int col, int row, const QRect& rect, unsigned state);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;

private:
    // ---- the editor's host: reached only through TEditorHost
    void EditorTextChanged(const std::string& text) override;
    void EditorPassKey(QKeyEvent* e) override { keyPressEvent(e); }
    // Escape in the editor is seen by OnKeyDown first, as the grid's own
    // keys are; a handler may take it by setting the key to 0.
    void EditorCancel() override {
        int key = Qt::Key_Escape;
        OnKeyDown(this, key, Qt::NoModifier);
        if (key) CancelEdit();
    }
    void EditorEnter(QKeyEvent* e) override { TypedChar(13, e); }
    void EditorListClick() override { DoGridBtnClick(FCol, FRow); }

    int LineW(bool vertical, int index) const;
    // The grid lines after each column and row follow the options.
    void SyncLines();
    // Sets the size of one column (col) or row, or with no index the size
    // every one takes anew; the view follows.
    void SetSize(bool col, std::optional<int> index, int size);
    // After a change of the number of columns or rows, or of the fixed ones.
    void LinesChanged();
    // The x of a column and the y of a row in the view (-1 scrolled off
    // before the view); O(log n) whatever their number.
    int ColX(int col) const;
    int RowY(int row) const;
    // The column whose title's right boundary lies under a viewport point,
    // where the options let the user size columns; -1 none.
    int SizingColAt(int x, int y) const;
    int MaxTopRow() const;
    int MaxLeftCol() const;
    void ClampCurrent();
    void UpdateScrollBars();
    void TopLeftChanged();
    bool MoveCurrent(int col, int row, bool extend);
    void MoveAnchor(int col, int row);
    void ScrollIntoView(int col, int row);
    // Shows the grid from this top row and left column on.
    void ScrollTo(int top, int left);
    bool IsActiveControl() const;
    // Stores a cell's text without drawing; the row grows only for a text.
    void StoreCell(int col, int row, const std::string& text);
    void UpdateEditor();
    void HideEditorWidget();
    void CancelEdit();
    void NavigateKey(int key, Qt::KeyboardModifiers mods);
    void TypedChar(char c, QKeyEvent* e);
    // takePress false: the press of a double click, which never holds a
    // button or check cell.
    void LeftDown(int x, int y, Qt::KeyboardModifiers mods, bool takePress = true);
    void LeftUp(int x, int y);
    void DrawKindCell(QPainter& p, const QRect& rect, bool pressed, TCellKind* kind,
                      const std::string& text);
    void DrawCellTextOf(QPainter& p, int col, int row, const QRect& rect, bool fixed,
                        const QColor& bg, const QColor& fg);
    // The implementation keeps its own private state here.
    struct Private;
    std::unique_ptr<Private> d;

    int FColCount = 5, FRowCount = 5, FFixedCols = 1, FFixedRows = 1;
    int FDefaultColWidth = 64, FDefaultRowHeight = 24, FGridLineWidth = 1;
    int FCol = 1, FRow = 1, FTopRow = 1, FLeftCol = 1;
    TGridRect FSelection{1, 1, 1, 1};
    unsigned FOptions = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
    QColor FFixedColor;
    QFont FCanvasFont;
    TComboInplaceEdit* FEditor = nullptr;
    // Press state of a button or check cell.
    int FPressedCol = -1, FPressedRow = -1;
    unsigned FPressedFocused = 0;
    std::vector<std::unique_ptr<TCellKind>> FCellKinds;
};
