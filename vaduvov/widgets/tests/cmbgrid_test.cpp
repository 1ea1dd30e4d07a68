// The combo grid and its in-place editor under Qt's offscreen platform.
#include "CmbGrid.h"
#include "InplaceEdit.h"

#include "sjis.h"

#include <QPainter>
#include <QScrollBar>
#include <QtTest>

namespace {

using Bytes = std::vector<uint8_t>;
using Clicks = std::vector<std::pair<int, int>>;

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Column col as a check column (entries A and B) or a button column.
void MakeCheck(TComboGrid& g, int col) {
    g.CellKinds(col)->Kind = ckCheck;
    g.CellKinds(col)->Items = {{"A", 0}, {"B", 1}};
}
void MakeKind(TComboGrid& g, int col, uint8_t kind, std::vector<TKindItem> items) {
    g.CellKinds(col)->Kind = kind;
    g.CellKinds(col)->Items = std::move(items);
}

// A shown grid of 5 x 5 cells, 64 x 24 each, in a window of its own, that
// records its button clicks.
// Where a person's keys go: the focused widget, which has to be the one
// the test expects there.
QWidget* Focused(QWidget* expected) {
    QWidget* f = QApplication::focusWidget();
    if (f != expected) QTest::qFail("the keys would not reach the expected widget", __FILE__, __LINE__);
    return f ? f : expected;
}

// Text committed by an input method into w.
void Commit(QWidget* w, const QString& text) {
    QInputMethodEvent ime;
    ime.setCommitString(text);
    QCoreApplication::sendEvent(w, &ime);
}

struct Shown {
    TComboGrid grid;
    Clicks clicks;
    explicit Shown(bool editing = false) {
        grid.resize(400, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowActive(&grid, 20000));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(&grid));  // the window's one control
        grid.OnGridBtnClick = [this](QObject*, int c, int r) { clicks.emplace_back(c, r); };
        if (editing) grid.SetOptions(grid.Options() | goEditing);
    }
};

QImage Render(TComboGrid& g, int col, int row, unsigned state, QSize size = QSize(64, 24)) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::magenta);
    QPainter p(&img);
    g.DrawCell(p, col, row, QRect(QPoint(0, 0), size), state);
    return img;
}

// The leftmost and rightmost columns that hold a pixel of colour c.
std::pair<int, int> Extent(const QImage& img, const QColor& c) {
    int lo = img.width(), hi = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == c.rgb()) lo = std::min(lo, x), hi = std::max(hi, x);
    return {lo, hi};
}

QPoint CellCenter(TComboGrid& g, int col, int row) { return g.CellRect(col, row).center(); }

void Click(TComboGrid& g, int col, int row) {
    QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(g, col, row));
}

std::pair<int, int> Current(const TComboGrid& g) { return {g.Col(), g.Row()}; }

std::vector<int> Sel(const TComboGrid& g) {
    TGridRect s = g.Selection();
    return {s.Left, s.Top, s.Right, s.Bottom};
}

}  // namespace

class CmbGridTest : public QObject {
    Q_OBJECT
private slots:
    // streams
    void integersTakeTheSmallestTag();
    void stringsShortAndLong();
    void readerRefusesWrongValues();
    void cellKindGroupOfTheForms();
    void cellKindForAGridWithoutKinds();
    void cellKindReadBack();
    void cellKindRangeErrors();
    void cellDataOrderAndKeeping();
    // drawing
    void textPlaces();
    void numericPatterns();
    void numericCellsDrawnFormatted();
    void checkAndButtonLooks();
    void drawCellEvents();
    // check and button presses
    void checkToggleRules();
    void clicksOnCheckAndButton();
    void fixedCellsAndPresses();
    void keysOnKindCells();
    void spaceReleasedInAnotherColumn();
    // grid
    void geometryAndScrolling();
    void hundredThousandRows();
    void fiftyThousandColumns();
    void columnSizingByDragging();
    void keyboardNavigation();
    void rangeSelectAndRefusedMoves();
    void fontNames();
    // editor
    void editMaskMapping();
    void editorOpensAndWritesTheCell();
    void editorEscapeAndMoving();
    void editorNeverOnButtonsOrLockedColumns();
    void editorMaskAndLimit();
    void editMaskSaveLiterals();
    void comboStepsWithTheListClosed();
    void comboListWidthAndPicking();
};

// ---------------------------------------------------------------- streams

void CmbGridTest::integersTakeTheSmallestTag() {
    const int32_t values[] = {0, 127, -128, 128, -129, 32767, -32768, 32768, -2147483647 - 1};
    TFormWriter w;
    for (int32_t v : values) w.WriteInteger(v);
    w.WriteBoolean(true);
    w.WriteBoolean(false);
    w.WriteListBegin();
    w.WriteListEnd();
    const Bytes expected{0x02, 0x00, 0x02, 0x7F, 0x02, 0x80, 0x03, 0x80, 0x00, 0x03, 0x7F, 0xFF,
                         0x03, 0xFF, 0x7F, 0x03, 0x00, 0x80, 0x04, 0x00, 0x80, 0x00, 0x00, 0x04,
                         0x00, 0x00, 0x00, 0x80, 0x09, 0x08, 0x01, 0x00};
    QCOMPARE(w.Bytes, expected);

    TFormReader r(w.Bytes);
    for (int32_t v : values) QCOMPARE(r.ReadInteger(), v);
    QCOMPARE(r.ReadBoolean(), true);
    QCOMPARE(r.ReadBoolean(), false);
    r.ReadListBegin();
    QVERIFY(r.EndOfList());
    r.ReadListEnd();
    QCOMPARE(r.Position, w.Bytes.size());
    // A reader takes a small value in a wide tag as well.
    TFormReader wide(Bytes{0x04, 0x05, 0x00, 0x00, 0x00, 0x03, 0xFE, 0xFF});
    QCOMPARE(wide.ReadInteger(), 5);
    QCOMPARE(wide.ReadInteger(), -2);
}

void CmbGridTest::stringsShortAndLong() {
    TFormWriter w;
    const std::string title = sjis::L("名前");
    const std::string longText(300, 'x');
    w.WriteString("");
    w.WriteString(title);
    w.WriteString(std::string(255, 'y'));
    w.WriteString(longText);
    // Empty, then two double-byte characters: a length of 4.
    QCOMPARE(Bytes(w.Bytes.begin(), w.Bytes.begin() + 4), (Bytes{0x06, 0x00, 0x06, 4}));
    QCOMPARE(Bytes(w.Bytes.begin() + 8, w.Bytes.begin() + 10), (Bytes{0x06, 255}));
    const size_t at = 10 + 255;
    QCOMPARE(Bytes(w.Bytes.begin() + at, w.Bytes.begin() + at + 5), (Bytes{0x0C, 0x2C, 0x01, 0x00, 0x00}));
    TFormReader r(w.Bytes);
    QCOMPARE(r.ReadString(), std::string());
    QCOMPARE(r.ReadString(), title);
    QCOMPARE(r.ReadString(), std::string(255, 'y'));
    QCOMPARE(r.ReadString(), longText);
}

void CmbGridTest::readerRefusesWrongValues() {
    TFormReader r(Bytes{0x06, 0x01, 'a'});
    QVERIFY_THROWS_EXCEPTION(EFormStreamError, r.ReadInteger());
    QVERIFY_THROWS_EXCEPTION(EFormStreamError, r.ReadBoolean());
    QVERIFY_THROWS_EXCEPTION(EFormStreamError, r.ReadListBegin());
    QCOMPARE(r.ReadString(), std::string("a"));
    QVERIFY(!r.EndOfList());  // past the end is no list end
    QVERIFY_THROWS_EXCEPTION(EFormStreamError, r.ReadListEnd());
    QVERIFY_THROWS_EXCEPTION(EFormStreamError, r.ReadString());
    TFormReader s(Bytes{0x06, 0x05, 'a', 'b'});  // string cut short
    QVERIFY_THROWS_EXCEPTION(EFormStreamError, s.ReadString());
    TFormReader i(Bytes{0x03, 0x01});  // integer cut short
    QVERIFY_THROWS_EXCEPTION(EFormStreamError, i.ReadInteger());
}

void CmbGridTest::cellKindGroupOfTheForms() {
    TComboGrid g;
    g.SetColCount(1);
    g.CellKinds(0)->SetFixedAlign(caCenter | caVCenter);
    g.CellKinds(0)->Items = {{"", 0}, {"", 0}};
    TFormWriter w;
    g.WriteCellKind(w);
    const Bytes group{0x02, 0x00, 0x02, 0x12, 0x02, 0x11, 0x02, 0x02, 0x06, 0x00,
                      0x06, 0x00, 0x02, 0x00, 0x02, 0x02, 0x02, 0x00, 0x09};
    QCOMPARE(w.Bytes, Concat({{0x01}, group, {0x00}}));

    // Read into a grid of three columns with the middle one right-aligned.
    TComboGrid h;
    h.SetColCount(3);
    Bytes right = group;
    right[5] = 0x14;
    TFormReader r(Concat({{0x01}, group, right, group, {0x00}}));
    h.ReadCellKind(r);
    QCOMPARE(h.KindCount(), 3);
    QCOMPARE(h.CellKinds(1)->CellAlign(), uint8_t(caRight | caVCenter));
    QCOMPARE(h.CellKinds(1)->FixedAlign(), uint8_t(caCenter | caVCenter));
    QCOMPARE(h.CellKinds(0)->Items.size(), size_t(2));
    QCOMPARE(h.CellKinds(2)->Owner, &h);
}

void CmbGridTest::cellKindForAGridWithoutKinds() {
    TComboGrid g;
    QCOMPARE(g.KindCount(), 0);
    TFormWriter w;
    g.WriteCellKind(w);
    QCOMPARE(g.KindCount(), 5);
    const Bytes group{0x02, 0x00, 0x02, 0x11, 0x02, 0x11, 0x02, 0x00, 0x02, 0x00, 0x02, 0x02, 0x02, 0x00, 0x09};
    QCOMPARE(w.Bytes, Concat({{0x01}, group, group, group, group, group, {0x00}}));
    // Columns without a stored group are left, vertically centred, 2 px in.
    TFormReader r(Concat({{0x01}, group, {0x00}}));
    g.ReadCellKind(r);
    QCOMPARE(g.KindCount(), 1);
    TCellKind* k = g.CellKinds(3);
    QCOMPARE(k->Kind, uint8_t(ckText));
    QCOMPARE(k->CellAlign(), uint8_t(caLeft | caVCenter));
    QCOMPARE(k->FixedAlign(), uint8_t(caLeft | caVCenter));
    QCOMPARE(int(k->Indent), 2);
    QVERIFY(k->Editable);
    // Kinds come on demand and stay when the columns get fewer.
    QCOMPARE(g.CellKinds(7)->Owner, &g);
    g.SetColCount(2);
    QCOMPARE(g.KindCount(), 8);
    QCOMPARE(g.CellKinds(-1), nullptr);
}

void CmbGridTest::cellKindReadBack() {
    TComboGrid g;
    g.SetColCount(2);
    TCellKind* c = g.CellKinds(0);
    c->Kind = ckCheck;
    c->Items = {{"ON", 0}, {"OFF", 1}, {"?", 300}};
    c->Editable = false;
    c->Indent = -5;
    c->MaxLength = 70000;
    c->DropDownWidth = -1;
    MakeKind(g, 1, ckCombo, {{"a", 99}, {"b", 0}});  // tags of other kinds are not stored
    g.CellKinds(4)->Kind = ckButton;                  // beyond ColCount: not written

    TFormWriter w;
    g.WriteCellKind(w);
    TComboGrid h;
    h.SetColCount(2);
    TFormReader r(w.Bytes);
    h.ReadCellKind(r);
    QCOMPARE(r.Position, w.Bytes.size());
    QCOMPARE(h.KindCount(), 2);
    const TCellKind* c2 = h.CellKinds(0);
    QCOMPARE(std::make_tuple(c2->Items[2].Tag, c2->Editable, int(c2->Indent), c2->MaxLength, c2->DropDownWidth),
             std::make_tuple(300, false, -5, 70000, -1));
    QCOMPARE(h.CellKinds(1)->Items[0].Tag, 0);

    // Kind keeps the low 8 bits; more groups than columns stay in the list.
    const Bytes group{0x03, 0x04, 0x01, 0x02, 0x11, 0x02, 0x11, 0x02, 0x00, 0x02, 0x00, 0x02, 0x02, 0x02, 0x00, 0x08};
    TFormReader r2(Concat({{0x01}, group, group, group, {0x00}}));
    h.ReadCellKind(r2);
    QCOMPARE(h.KindCount(), 3);
    QCOMPARE(h.CellKinds(2)->Kind, uint8_t(4));
    QVERIFY(!h.CellKinds(2)->Editable);
}

void CmbGridTest::cellKindRangeErrors() {
    auto group = [](Bytes fixedAlign, Bytes indent) {
        return Concat({{0x01, 0x02, 0x00}, fixedAlign, {0x02, 0x11, 0x02, 0x00, 0x02, 0x00}, indent,
                       {0x02, 0x00, 0x09, 0x00}});
    };
    TComboGrid g;
    TFormReader ok(group({0x03, 0xFF, 0x00}, {0x02, 0x80}));
    g.ReadCellKind(ok);
    QCOMPARE(g.CellKinds(0)->FixedAlign(), uint8_t(255));
    QCOMPARE(int(g.CellKinds(0)->Indent), -128);
    TFormReader align(group({0x03, 0x00, 0x01}, {0x02, 0x02}));
    QVERIFY_THROWS_EXCEPTION(EFormStreamError, g.ReadCellKind(align));
    TFormReader negative(group({0x02, 0xFF}, {0x02, 0x02}));
    QVERIFY_THROWS_EXCEPTION(EFormStreamError, g.ReadCellKind(negative));
    TFormReader indent(group({0x02, 0x11}, {0x03, 0x80, 0x00}));
    QVERIFY_THROWS_EXCEPTION(EFormStreamError, g.ReadCellKind(indent));
}

void CmbGridTest::cellDataOrderAndKeeping() {
    TComboGrid g;
    g.SetCells(3, 0, "c");
    g.SetCells(1, 1, "b");
    g.SetCells(0, 1, "a");
    g.SetCells(2, 4, std::string(256, 'z'));
    TFormWriter w;
    g.WriteCellData(w);
    Bytes expected{0x01, 0x02, 0x03, 0x02, 0x00, 0x06, 0x01, 'c', 0x02, 0x00, 0x02, 0x01, 0x06, 0x01, 'a',
                   0x02, 0x01, 0x02, 0x01, 0x06, 0x01, 'b', 0x02, 0x02, 0x02, 0x04, 0x0C, 0x00, 0x01, 0x00, 0x00};
    expected.insert(expected.end(), 256, 'z');
    expected.push_back(0x00);
    QCOMPARE(w.Bytes, expected);

    TComboGrid h;
    h.SetCells(4, 4, "kept");
    h.SetCells(0, 1, "replaced");
    TFormReader r(w.Bytes);
    h.ReadCellData(r);
    QCOMPARE(h.Cells(4, 4), std::string("kept"));
    QCOMPARE(h.Cells(0, 1), std::string("a"));
    QCOMPARE(h.Cells(2, 4), std::string(256, 'z'));
    TFormReader empty(Bytes{0x01, 0x00});
    h.ReadCellData(empty);
    QCOMPARE(h.Cells(4, 4), std::string("kept"));
    // A cell outside the grid is passed over.
    TFormReader outside(Bytes{0x01, 0x02, 0x09, 0x02, 0x00, 0x06, 0x01, 'q', 0x00});
    h.ReadCellData(outside);
    QCOMPARE(outside.Position, size_t(9));
    QCOMPARE(h.Cells(9, 0), std::string());
}

// ---------------------------------------------------------------- drawing

void CmbGridTest::textPlaces() {
    auto check = [](uint8_t align, bool fixed, int x, int y, uint8_t anchor) {
        TTextPlace t = CellTextPlace(align, 2, fixed, 64, 24, 13);
        QCOMPARE(t.X, x);
        QCOMPARE(t.Y, y);
        QCOMPARE(t.Anchor, anchor);
    };
    check(0, false, 2, 5, caLeft);  // no flags: left, vertically centred
    check(caCenter, false, 32, 5, caCenter);
    check(caCenter | caRight, false, 62, 5, caRight);
    check(caTop, true, 2, 2, caLeft);
    check(caBottom, true, 2, 9, caLeft);
    check(caTop | caBottom, false, 2, 11, caLeft);
    // Odd sizes truncate; a text taller than the cell starts above it.
    TTextPlace t = CellTextPlace(caCenter, 2, false, 63, 10, 13);
    QCOMPARE(t.X, 31);
    QCOMPARE(t.Y, -1);
}

void CmbGridTest::numericPatterns() {
    struct Case {
        const char* pattern;
        double value;
        const char* text;
    };
    const Case cases[] = {
        {"#,##0", 1234567, "1,234,567"}, {"#,##0", 999, "999"}, {"0.00", 3.14159, "3.14"},
        {"0.00", 0.125, "0.13"}, {"0.00", 2.5, "2.50"}, {"0.##", 1, "1"}, {"0.##", 1.5, "1.5"},
        {"#.##", 0.5, ".5"}, {"000", 7, "007"}, {"00", 12345, "12345"}, {"0", -5, "-5"}, {"0", -0.2, "0"},
        {"#,##0;(#,##0)", -1234, "(1,234)"}, {"0;(0);zero", 0, "zero"}, {"0.0;-0.0;zero", 0.01, "zero"},
        {"0;;zero", -3, "-3"}, {"0.00E+00", 12345, "1.23E+04"}, {"0.0E-0", 0.00123, "1.2E-3"},
        {"0.0e+00", 5, "5.0e+00"}, {"'$'#,##0\" yen\"", 1500, "$1,500 yen"}, {"0%", 42, "42%"},
        {"'open", 1, "<fail>"}};
    for (const Case& c : cases) {
        std::string out;
        if (!FormatFloatPattern(c.pattern, c.value, out)) out = "<fail>";
        QCOMPARE(QString(c.pattern) + " " + QString::fromStdString(out), QString(c.pattern) + " " + c.text);
    }
    std::string out;
    QVERIFY(FormatNumeric("#,##0.0", " 1234.56 ", out));
    QCOMPARE(out, std::string("1,234.6"));
    QVERIFY(FormatNumeric("0", "+12", out));
    QCOMPARE(out, std::string("12"));
    QVERIFY(FormatNumeric("0.0", "1e3", out));
    QCOMPARE(out, std::string("1000.0"));
    for (const char* bad : {"abc", "1,000", "", "1.2.3", "12a", "e5", "1e", "-"})
        QVERIFY2(!FormatNumeric("0", bad, out), bad);
}

void CmbGridTest::numericCellsDrawnFormatted() {
    TComboGrid g;
    g.CellKinds(1)->Items = {{"", 0}, {"#,##0.00", 0}};
    MakeKind(g, 3, ckCombo, {{"", 0}, {"#,##0.00", 0}});
    for (int col : {1, 3, 4}) g.SetCells(col, 1, "1234.5");
    g.SetCells(1, 0, "1234.5");
    g.SetCells(2, 0, "1234.5");
    g.SetCells(2, 1, "1,234.50");
    g.SetCells(1, 2, "abc");
    g.SetCells(2, 2, "abc");
    QCOMPARE(Render(g, 1, 1, 0), Render(g, 2, 1, 0));  // formatted
    QVERIFY(Render(g, 1, 1, 0) != Render(g, 4, 1, 0));
    QCOMPARE(Render(g, 1, 2, 0), Render(g, 2, 2, 0));              // not a number: raw
    QCOMPARE(Render(g, 1, 0, gdFixed), Render(g, 2, 0, gdFixed));  // fixed cells never
    QCOMPARE(Render(g, 3, 1, 0), Render(g, 4, 1, 0));              // combo columns never

    // Right-aligned text ends at the indent.
    g.SetCells(4, 2, "W");
    g.CellKinds(4)->SetCellAlign(caRight | caVCenter);
    const QColor text = g.palette().color(QPalette::Text);
    auto [lo, hi] = Extent(Render(g, 4, 2, 0), text);
    QVERIFY(lo > 32);
    QVERIFY(hi <= 62 && hi >= 56);
    // A text over 255 bytes is drawn whole, clipped by the cell.
    g.SetCells(4, 3, std::string(300, 'W'));
    std::tie(lo, hi) = Extent(Render(g, 4, 3, 0, QSize(4000, 24)), text);
    QVERIFY(hi > g.TextWidth(std::string(255, 'W')) + 2);
}

void CmbGridTest::checkAndButtonLooks() {
    TComboGrid g;
    const QPalette pal = g.palette();
    auto centre = [&](const std::vector<TKindItem>& items, const std::string& value, bool pressed) {
        QImage img(40, 30, QImage::Format_RGB32);
        QPainter p(&img);
        DrawCheckCell(p, img.rect(), pal, pressed, items, value);
        p.end();
        return img.pixel(20, 15);
    };
    const std::vector<TKindItem> ab{{"A", 0}, {"B", 1}};
    QCOMPARE(centre(ab, "a", false), pal.color(QPalette::ButtonText).rgb());  // case does not matter
    QCOMPARE(centre(ab, "B", false), pal.color(QPalette::Base).rgb());
    QCOMPARE(centre(ab, "B", true), pal.color(QPalette::Button).rgb());
    const QRgb grey = pal.color(QPalette::Disabled, QPalette::WindowText).rgb();
    QCOMPARE(centre(ab, "Z", false), grey);
    QCOMPARE(centre({}, "x", false), grey);  // no entries

    // Buttons: the caption of the column, or the cell's text; none without entries.
    MakeKind(g, 1, ckButton, {{"Go", 0}});
    MakeKind(g, 2, ckButton, {{"%%USECELLDATA%%", 0}});
    MakeKind(g, 3, ckButton, {});
    MakeKind(g, 4, ckButton, {{"", 0}});
    g.SetCells(1, 1, "ignored");
    g.SetCells(2, 1, "Go");
    g.SetCells(3, 1, "ignored");
    QCOMPARE(Render(g, 1, 1, 0), Render(g, 2, 1, 0));
    QCOMPARE(Render(g, 3, 1, 0), Render(g, 4, 1, 0));
    QVERIFY(Render(g, 1, 1, 0) != Render(g, 4, 1, 0));
    QCOMPARE(Render(g, 1, 1, gdFocused), Render(g, 1, 1, 0));  // the focus is not drawn
}

void CmbGridTest::drawCellEvents() {
    Shown s;
    TComboGrid& g = s.grid;
    std::map<std::pair<int, int>, int> calls;
    std::vector<unsigned> statesOfCurrent;
    g.OnDrawCell = [&](QObject*, int c, int r, QPainter&, const QRect&, unsigned state) {
        ++calls[{c, r}];
        if (c == 1 && r == 1) statesOfCurrent.push_back(state);
    };
    g.DefaultDrawing = false;
    g.viewport()->repaint();
    QCOMPARE(calls.size(), size_t(25));
    QCOMPARE(calls[std::make_pair(1, 1)], 1);
    // A check cell is drawn twice: once with the state, once plain.
    calls.clear();
    statesOfCurrent.clear();
    g.DefaultDrawing = true;
    MakeCheck(g, 1);
    g.viewport()->repaint();
    QCOMPARE(calls[std::make_pair(1, 1)], 2);
    QCOMPARE(calls[std::make_pair(1, 2)], 1);
    QCOMPARE(statesOfCurrent.size(), size_t(2));
    QVERIFY((statesOfCurrent[0] & gdFocused) && statesOfCurrent[1] == 0);
    // An empty rectangle is skipped without the event.
    calls.clear();
    QImage img(10, 10, QImage::Format_RGB32);
    QPainter p(&img);
    g.DrawCell(p, 2, 2, QRect(), 0);
    QVERIFY(calls.empty());
}

// ---------------------------------------------------------------- presses

void CmbGridTest::checkToggleRules() {
    const std::vector<TKindItem> ab{{"A", 0}, {"B", 1}};
    const std::vector<TKindItem> ac{{"A", 0}, {"C", 0}};
    const std::vector<TKindItem> three{{"Off", 1}, {"On", 0}, {"Half", 2}, {"Off2", 1}};
    const std::tuple<const std::vector<TKindItem>*, const char*, const char*> cases[] = {
        {&ab, "A", "B"},     {&ab, "B", "A"},           {&ab, "b", "A"},    {&ab, "other", "A"},
        {&ab, "", "A"},      {&ac, "A", "A"},           {&ac, "C", "C"},    {&ac, "x", "A"},
        {&three, "Half", "Off"}, {&three, "Off2", "Off"}};
    for (const auto& [items, from, to] : cases)
        QCOMPARE(QString(from) + ">" + QString::fromStdString(ToggleCheckValue(*items, from)), QString(from) + ">" + to);
    QCOMPARE(ToggleCheckValue({}, "kept"), std::string("kept"));
    QCOMPARE(CheckValueIndex(three, "ON"), 1);
    QCOMPARE(CheckValueIndex(three, "none"), -1);
}

void CmbGridTest::clicksOnCheckAndButton() {
    Shown s;
    TComboGrid& g = s.grid;
    MakeCheck(g, 2);
    MakeKind(g, 3, ckButton, {{"Go", 0}});
    g.CellKinds(3)->Editable = false;  // buttons press all the same
    g.SetCells(2, 2, "A");
    Click(g, 2, 2);  // goEditing off: no toggle, no click
    QCOMPARE(g.Cells(2, 2), std::string("A"));
    QVERIFY(s.clicks.empty());

    g.SetOptions(g.Options() | goEditing);
    Click(g, 2, 2);
    QCOMPARE(g.Cells(2, 2), std::string("B"));
    Click(g, 2, 2);
    QCOMPARE(g.Cells(2, 2), std::string("A"));
    g.SetCells(2, 3, "zzz");
    Click(g, 2, 3);
    QCOMPARE(g.Cells(2, 3), std::string("A"));
    Click(g, 3, 4);
    Click(g, 1, 2);  // a text cell
    QCOMPARE(s.clicks, (Clicks{{2, 2}, {2, 2}, {2, 3}, {3, 4}}));
    QCOMPARE(g.PressedCol(), -1);

    // The press holds until the release; outside the cell nothing happens.
    s.clicks.clear();
    g.SetCells(2, 1, "A");
    QTest::mousePress(g.viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(g, 2, 1));
    QCOMPARE(std::make_pair(g.PressedCol(), g.PressedRow()), std::make_pair(2, 1));
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(g, 3, 1));
    QCOMPARE(g.PressedCol(), -1);
    QCOMPARE(g.Cells(2, 1), std::string("A"));
    QVERIFY(s.clicks.empty());
    // A double click toggles and clicks once: its second press takes no press.
    Click(g, 2, 1);
    QTest::mouseDClick(g.viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(g, 2, 1));
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(g, 2, 1));
    QCOMPARE(g.Cells(2, 1), std::string("B"));
    QCOMPARE(s.clicks, (Clicks{{2, 1}}));
    s.clicks.clear();

    // A check column without entries keeps its value; a locked one never toggles.
    g.CellKinds(4)->Kind = ckCheck;
    g.SetCells(4, 1, "any");
    Click(g, 4, 1);
    QCOMPARE(g.Cells(4, 1), std::string("any"));
    QCOMPARE(s.clicks.size(), size_t(1));
    g.CellKinds(2)->Editable = false;
    Click(g, 2, 2);
    QCOMPARE(g.Cells(2, 2), std::string("A"));
    QCOMPARE(s.clicks.size(), size_t(1));
}

void CmbGridTest::fixedCellsAndPresses() {
    Shown s;
    TComboGrid& g = s.grid;
    MakeKind(g, 0, ckButton, {{"No.", 0}});
    Click(g, 0, 3);
    QCOMPARE(s.clicks, (Clicks{{0, 3}}));
    QCOMPARE(g.Row(), 1);  // a fixed cell never becomes current
    g.CellKinds(2)->Kind = ckButton;
    Click(g, 2, 0);  // fixed row
    Click(g, 0, 0);
    QCOMPARE(s.clicks.size(), size_t(1));
    // The fixed-column button is drawn as a button, the fixed row as text.
    g.SetCells(0, 3, "x");
    QCOMPARE(Render(g, 0, 3, gdFixed), Render(g, 0, 2, gdFixed));
    QVERIFY(Render(g, 0, 0, gdFixed) != Render(g, 0, 2, gdFixed));
    // While held, the fixed-column button looks pressed (inside its edges).
    const QRect cell = g.CellRect(0, 3), inside = QRect(QPoint(), cell.size()).adjusted(3, 3, -3, -3);
    auto face = [&](bool pressed) {
        QImage img(cell.size(), QImage::Format_RGB32);
        QPainter p(&img);
        DrawButtonCell(p, img.rect(), g.palette(), pressed, "No.", g.CanvasFont());
        return img.copy(inside);
    };
    auto shown = [&] { return g.viewport()->grab(cell).toImage().convertToFormat(QImage::Format_RGB32).copy(inside); };
    QTest::mousePress(g.viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QCOMPARE(shown(), face(true));
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QCOMPARE(shown(), face(false));
}

void CmbGridTest::keysOnKindCells() {
    Shown s(true);
    TComboGrid& g = s.grid;
    MakeCheck(g, 1);
    MakeKind(g, 2, ckButton, {{"Go", 0}});
    g.SetCells(1, 1, "A");
    QTest::keyClick(&g, Qt::Key_Return);
    QVERIFY(s.clicks.empty());  // Enter in a check column
    QTest::keyPress(&g, Qt::Key_Space);
    QCOMPARE(g.PressedCol(), 1);
    QVERIFY(s.clicks.empty());
    // A held Space repeats key-downs: still one press.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", true);
    QApplication::sendEvent(&g, &repeat);
    QTest::keyRelease(&g, Qt::Key_Space);
    QCOMPARE(s.clicks, (Clicks{{1, 1}}));
    QCOMPARE(g.Cells(1, 1), std::string("B"));
    QCOMPARE(g.PressedCol(), -1);

    s.clicks.clear();
    g.FocusCell(2, 3);
    g.OnKeyPress = [](QObject*, char& c) { c = 0; };  // Enter on a button never reaches it,
    g.OnKeyDown = [](QObject*, int& k, Qt::KeyboardModifiers) { k = k == Qt::Key_Space ? 0 : k; };  // nor Space
    QTest::keyClick(&g, Qt::Key_Return);
    QTest::keyClick(&g, Qt::Key_Space);
    QCOMPARE(s.clicks, (Clicks{{2, 3}, {2, 3}}));
}

void CmbGridTest::spaceReleasedInAnotherColumn() {
    Shown s(true);
    TComboGrid& g = s.grid;
    MakeCheck(g, 1);
    MakeKind(g, 2, ckButton, {{"Go", 0}});
    g.SetCells(1, 1, "A");
    for (Qt::Key move : {Qt::Key_Right, Qt::Key_Left}) {
        // Held on the check cell (or the button), moved on, released in a
        // text column.
        g.FocusCell(move == Qt::Key_Right ? 2 : 1, 1);
        const int held = g.Col();
        QTest::keyPress(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(g.PressedCol(), held);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        if (move == Qt::Key_Left) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QCOMPARE(g.Col(), 3);
        QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(g.PressedCol(), -1);  // the old cell no longer looks pressed
        QVERIFY(s.clicks.empty());     // and nothing was clicked away from it
        QCOMPARE(g.Cells(1, 1), std::string("A"));
    }
    // The next Space on a check cell presses and clicks it.
    g.FocusCell(1, 2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(s.clicks, (Clicks{{1, 2}}));
    QCOMPARE(g.Cells(1, 2), std::string("A"));
}

// ---------------------------------------------------------------- grid

void CmbGridTest::geometryAndScrolling() {
    Shown s;
    TComboGrid& g = s.grid;
    QCOMPARE(g.CellRect(2, 1), QRect(130, 25, 64, 24));
    int c, r;
    g.MouseToCell(194, 49, c, r);  // the line right of and below a cell is the cell's
    QCOMPARE(std::make_pair(c, r), std::make_pair(2, 1));
    g.MouseToCell(399, 190, c, r);
    QCOMPARE(std::make_pair(c, r), std::make_pair(-1, -1));
    QVERIFY(!g.VerticalScrollBarShown());

    g.SetRowCount(40);
    QVERIFY(g.VerticalScrollBarShown());
    const int visible = g.VisibleRowCount();
    g.SetTopRow(10);
    QVERIFY(g.CellRect(1, 5).isEmpty());
    QCOMPARE(g.CellRect(1, 10).top(), 25);
    QCOMPARE(g.CellRect(1, 0).top(), 0);  // fixed rows stay
    g.SetTopRow(1000);
    QCOMPARE(g.TopRow(), 40 - visible);
    QCOMPARE(g.verticalScrollBar()->value(), g.TopRow() - 1);
    g.verticalScrollBar()->setValue(0);
    QCOMPARE(g.TopRow(), 1);
    // Moving the current cell brings it into view.
    g.FocusCell(1, 30);
    QVERIFY(!g.CellRect(1, 30).isEmpty());
    QVERIFY(g.CellRect(1, 30).bottom() < g.viewport()->height());
    g.SetColCount(20);
    g.FocusCell(19, 30);
    QVERIFY(g.LeftCol() > 1);
    QVERIFY(g.CellRect(1, 30).isEmpty());
    QCOMPARE(g.CellRect(0, 30).left(), 0);
}

// The running sums the grid lays out with, checked against a plain sum.
void CmbGridTest::hundredThousandRows() {
    Shown s;
    TComboGrid& g = s.grid;
    constexpr int kRows = 100000;
    g.SetRowCount(kRows);
    // A few rows of other heights, far down and near the end.
    g.SetRowHeights(50000, 40);
    g.SetRowHeights(kRows - 2, 60);
    g.SetRowHeights(kRows - 3, 0);
    g.SetCells(1, kRows - 1, "last");
    // Ctrl+End goes to the last row and shows it whole at the bottom.
    QTest::keyClick(Focused(&g), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(Current(g), std::make_pair(4, kRows - 1));
    const QRect last = g.CellRect(1, kRows - 1);
    QVERIFY(!last.isEmpty());
    QVERIFY(last.bottom() < g.viewport()->height());
    QCOMPARE(last.height(), 24);
    // The view starts where the rows from the top row on just fit.
    int used = 0;
    for (int r = g.TopRow(); r < kRows; ++r) used += g.RowHeights(r) + 1;
    QVERIFY(used - 1 <= g.viewport()->height() - 25);
    QVERIFY(used + g.RowHeights(g.TopRow() - 1) + 1 > g.viewport()->height() - 25);
    QCOMPARE(g.verticalScrollBar()->value(), g.TopRow() - 1);
    int c, r;
    g.MouseToCell(last.center().x(), last.center().y(), c, r);
    QCOMPARE(std::make_pair(c, r), std::make_pair(1, kRows - 1));
    // A row below the tall one sits where the plain sum puts it.
    g.SetTopRow(49998);
    int y = 25;
    for (int i = 49998; i < 50003; ++i) y += g.RowHeights(i) + 1;
    QCOMPARE(g.CellRect(1, 50003).top(), y);
    g.MouseToCell(10, y + 3, c, r);
    QCOMPARE(r, 50003);
    // Page keys and Ctrl+Home still step as they did.
    QTest::keyClick(Focused(&g), Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(Current(g), std::make_pair(1, 1));
    QCOMPARE(g.TopRow(), 1);
    const int page = g.VisibleRowCount();
    QCOMPARE(page, (g.viewport()->height() - 25 + 1) / 25);
    QTest::keyClick(Focused(&g), Qt::Key_PageDown);
    QCOMPARE(g.Row(), 1 + page);
    // Shrinking drops the rows and their heights; the view follows.
    g.SetRowCount(10);
    QCOMPARE(g.Cells(1, kRows - 1), std::string());
    QVERIFY(g.TopRow() <= 9);
    QVERIFY(!g.CellRect(1, g.Row()).isEmpty());
}

void CmbGridTest::fiftyThousandColumns() {
    Shown s;
    TComboGrid& g = s.grid;
    constexpr int kCols = 50000;
    g.SetFixedCols(0);
    g.SetColCount(kCols);
    g.SetRowCount(3);
    for (int col = 0; col < kCols; ++col) {
        g.SetCells(col, 1, "c" + std::to_string(col));
        g.SetColWidths(col, 20 + col % 7);
    }
    std::vector<int> drawn;
    g.OnDrawCell = [&drawn](QObject*, int col, int row, QPainter&, const QRect&, unsigned) {
        if (row == 1) drawn.push_back(col);
    };
    // End goes to the last column, shown whole at the right edge.
    QTest::keyClick(Focused(&g), Qt::Key_End);
    QCOMPARE(g.Col(), kCols - 1);
    const QRect last = g.CellRect(kCols - 1, 1);
    QVERIFY(!last.isEmpty());
    QCOMPARE(last.width(), 20 + (kCols - 1) % 7);
    QVERIFY(last.right() < g.viewport()->width());
    int x = 0;
    for (int col = g.LeftCol(); col < kCols - 1; ++col) x += g.ColWidths(col) + 1;
    QCOMPARE(last.left(), x);
    int c, r;
    g.MouseToCell(last.center().x(), last.center().y(), c, r);
    QCOMPARE(std::make_pair(c, r), std::make_pair(kCols - 1, 1));
    // The view paints the columns it shows and no others.
    drawn.clear();
    g.viewport()->repaint();
    QVERIFY(!drawn.empty());
    QCOMPARE(drawn.front(), g.LeftCol());
    QCOMPARE(drawn.back(), kCols - 1);
    QVERIFY(static_cast<int>(drawn.size()) < g.viewport()->width() / 20 + 2);
    QCOMPARE(g.Cells(kCols - 1, 1), std::string("c49999"));
    // A column in the middle, by the scroll bar.
    g.horizontalScrollBar()->setValue(25000);
    QCOMPARE(g.LeftCol(), 25000);
    g.MouseToCell(1, 30, c, r);
    QCOMPARE(std::make_pair(c, r), std::make_pair(25000, 1));
    QCOMPARE(g.CellRect(25001, 1).left(), g.ColWidths(25000) + 1);
    // Fewer columns drop the cells beyond the last; more bring them back empty.
    g.SetColCount(10);
    g.SetColCount(kCols);
    QCOMPARE(g.Cells(kCols - 1, 1), std::string());
    QCOMPARE(g.Cells(9, 1), std::string("c9"));
}

void CmbGridTest::columnSizingByDragging() {
    Shown s;
    TComboGrid& g = s.grid;
    int downs = 0;
    g.OnMouseDown = [&downs](QObject*, Qt::MouseButton, int, int) { ++downs; };
    const int boundary = g.CellRect(2, 0).right() + 1;  // the line right of column 2's title
    const QPoint grip(boundary, 12);
    auto drag = [&](QPoint from, int dx) {
        QTest::mousePress(g.viewport(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(g.viewport(), from + QPoint(dx / 2, 0));
        QTest::mouseMove(g.viewport(), from + QPoint(dx, 0));
        QTest::mouseRelease(g.viewport(), Qt::LeftButton, Qt::NoModifier, from + QPoint(dx, 0));
    };
    // Without the option a title boundary is only a click.
    drag(grip, 30);
    QCOMPARE(g.ColWidths(2), 64);
    QCOMPARE(downs, 1);
    g.SetOptions(g.Options() | goColSizing);
    downs = 0;
    drag(grip, 30);
    QCOMPARE(g.ColWidths(2), 94);
    QCOMPARE(g.ColWidths(1), 64);
    QCOMPARE(g.CellRect(3, 1).left(), g.CellRect(2, 1).left() + 95);
    QCOMPARE(downs, 0);  // sizing is no click on the column
    QCOMPARE(Current(g), std::make_pair(1, 1));
    // Narrower, from just left of the new boundary; never below a pixel.
    drag(QPoint(g.CellRect(2, 0).right() - 1, 12), -200);
    QCOMPARE(g.ColWidths(2), 1);
    // Only the titles carry the boundaries; a data row is a click.
    const int before = g.ColWidths(1);
    drag(QPoint(g.CellRect(1, 1).right() + 1, g.CellRect(1, 1).center().y()), 20);
    QCOMPARE(g.ColWidths(1), before);
    QCOMPARE(downs, 1);
}

void CmbGridTest::keyboardNavigation() {
    Shown s;
    TComboGrid& g = s.grid;
    g.SetRowCount(30);
    auto key = [&g](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(&g, k, m);
        return Current(g);
    };
    key(Qt::Key_Right);
    QCOMPARE(key(Qt::Key_Down), std::make_pair(2, 2));
    QCOMPARE(key(Qt::Key_End).first, 4);
    QCOMPARE(key(Qt::Key_Home).first, 1);
    QCOMPARE(key(Qt::Key_Left).first, 1);  // never onto the fixed column
    QCOMPARE(key(Qt::Key_PageDown).second, 2 + g.VisibleRowCount());
    QCOMPARE(key(Qt::Key_End, Qt::ControlModifier), std::make_pair(4, 29));
    QCOMPARE(key(Qt::Key_Home, Qt::ControlModifier), std::make_pair(1, 1));
    QCOMPARE(key(Qt::Key_Up).second, 1);
    // Tab moves between cells only with goTabs.
    g.SetOptions(g.Options() | goTabs);
    g.FocusCell(4, 1);
    QCOMPARE(key(Qt::Key_Tab), std::make_pair(1, 2));
    QCOMPARE(key(Qt::Key_Backtab), std::make_pair(4, 1));
    // OnKeyDown may take a key away.
    g.OnKeyDown = [](QObject*, int& k, Qt::KeyboardModifiers) {
        if (k == Qt::Key_Down) k = 0;
    };
    QCOMPARE(key(Qt::Key_Down).second, 1);
}

void CmbGridTest::rangeSelectAndRefusedMoves() {
    Shown s;
    TComboGrid& g = s.grid;
    QTest::keyClick(&g, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&g, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(Sel(g), (std::vector<int>{1, 1, 2, 2}));
    QCOMPARE(Current(g), std::make_pair(1, 1));
    QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::ShiftModifier, CellCenter(g, 3, 4));
    QCOMPARE(Sel(g), (std::vector<int>{1, 1, 3, 4}));
    Click(g, 2, 2);
    QCOMPARE(Sel(g), (std::vector<int>{2, 2, 2, 2}));
    g.SetSelection({3, 4, 1, 2});
    QCOMPARE(Sel(g), (std::vector<int>{1, 2, 3, 4}));
    // Without goRangeSelect Shift moves nothing but the current cell.
    g.SetOptions(g.Options() & ~unsigned(goRangeSelect));
    g.FocusCell(1, 1);
    QTest::keyClick(&g, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(Sel(g)[1], Sel(g)[3]);
    // Row select spans the row.
    g.SetOptions(g.Options() | goRowSelect);
    g.FocusCell(2, 3);
    QCOMPARE(Sel(g), (std::vector<int>{1, 3, 4, 3}));
    // OnSelectCell may refuse.
    g.OnSelectCell = [](QObject*, int c, int, bool& can) { can = c != 4; };
    g.FocusCell(4, 4);
    QCOMPARE(Current(g), std::make_pair(2, 3));
    g.SetRow(4);
    QCOMPARE(g.Row(), 4);
}

void CmbGridTest::fontNames() {
    QCOMPARE(MapFontFamily(QString::fromUtf8("ＭＳ ゴシック")), QString("IPAGothic"));
    TComboGrid g;
    g.SetCanvasFont(QFont(QString::fromUtf8("ＭＳ Ｐゴシック"), 9));
    QCOMPARE(g.CanvasFont().family(), QString("IPAPGothic"));
    QCOMPARE(g.CanvasFont().pointSize(), 9);
}

// ---------------------------------------------------------------- editor

void CmbGridTest::editMaskMapping() {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},           {"!999-9999;1;_", "000-0000;_"}, {"L0L;0;*", "A9A;*"}, {">LL<ll<>cC", ">AA<aa!xX"},
        {"00:00", "99:99"}, {"\\A0;1", "\\A9"},             {"0(a)x", "9(n)\\x"}};
    for (const auto& [mask, input] : cases) QCOMPARE(EditMaskToInputMask(mask), QString(input));
}

void CmbGridTest::editorOpensAndWritesTheCell() {
    Shown s;
    TComboGrid& g = s.grid;
    std::vector<std::string> edits;
    g.OnSetEditText = [&](QObject*, int c, int r, const std::string& v) {
        QCOMPARE(std::make_pair(c, r), Current(g));
        edits.push_back(v);
    };
    g.SetCells(1, 1, "old");
    QTest::keyClick(&g, Qt::Key_A);  // goEditing off: nothing
    QVERIFY(!g.InplaceEditor() || g.InplaceEditor()->isHidden());
    QCOMPARE(g.Cells(1, 1), std::string("old"));

    g.SetOptions(g.Options() | goEditing);
    QTest::keyClick(&g, Qt::Key_A);  // typing replaces the text
    QVERIFY(g.EditorMode());
    TComboInplaceEdit* e = g.InplaceEditor();
    QVERIFY(e && e->isVisible());
    QCOMPARE(e->geometry(), g.CellRect(1, 1));
    QTest::keyClicks(Focused(e), "bc");
    QCOMPARE(edits, (std::vector<std::string>{"a", "ab", "abc"}));
    // Japanese text goes into the cell as Shift-JIS.
    Commit(Focused(e), QString::fromUtf8("表"));
    QCOMPARE(g.Cells(1, 1), "abc" + sjis::L("表"));
    // Enter closes the editor, Enter again opens it; F2 opens it too.
    QTest::keyClick(Focused(e), Qt::Key_Return);
    QVERIFY(!g.EditorMode());
    QVERIFY(e->isHidden());
    QTest::keyClick(&g, Qt::Key_Return);
    QVERIFY(e->isVisible());
    QCOMPARE(e->SjisText(), "abc" + sjis::L("表"));
    g.HideEditor();
    QTest::keyClick(&g, Qt::Key_F2);
    QVERIFY(e->isVisible());
}

void CmbGridTest::editorEscapeAndMoving() {
    Shown s(true);
    TComboGrid& g = s.grid;
    g.SetCells(1, 1, "keep");
    g.SetCells(1, 2, "two");
    std::vector<std::string> edits;
    g.OnSetEditText = [&](QObject*, int, int, const std::string& v) { edits.push_back(v); };
    g.ShowEditor();
    TComboInplaceEdit* e = g.InplaceEditor();
    e->end(false);
    QTest::keyClicks(Focused(e), "er");
    QCOMPARE(g.Cells(1, 1), std::string("keeper"));
    QTest::keyClick(Focused(e), Qt::Key_Escape);  // back to the text it had
    QCOMPARE(g.Cells(1, 1), std::string("keep"));
    QCOMPARE(edits.back(), std::string("keep"));
    QVERIFY(e->isHidden());

    g.ShowEditor();
    e->end(false);
    QTest::keyClicks(Focused(e), "s");
    QTest::keyClick(Focused(e), Qt::Key_Down);  // moving keeps the text and closes
    QCOMPARE(g.Row(), 2);
    QCOMPARE(g.Cells(1, 1), std::string("keeps"));
    QVERIFY(!g.EditorMode());

    // With goAlwaysShowEditor the editor follows the current cell.
    g.SetOptions(g.Options() | goAlwaysShowEditor);
    QVERIFY(e->isVisible());
    QCOMPARE(e->SjisText(), std::string("two"));
    g.FocusCell(3, 3);
    QCOMPARE(e->geometry(), g.CellRect(3, 3));
    // Scrolling the cell out of view hides it; back in view shows it again.
    g.SetRowCount(40);
    g.SetTopRow(10);
    QVERIFY(e->isHidden());
    g.SetTopRow(1);
    QVERIFY(e->isVisible());
    // goRowSelect never edits.
    g.SetOptions(g.Options() | goRowSelect);
    QVERIFY(!(g.Options() & goAlwaysShowEditor));
    QVERIFY(e->isHidden());
}

void CmbGridTest::editorNeverOnButtonsOrLockedColumns() {
    Shown s;
    TComboGrid& g = s.grid;
    MakeKind(g, 2, ckButton, {{"Go", 0}});
    g.CellKinds(3)->Editable = false;
    g.CellKinds(4)->Kind = ckCombo;
    g.SetOptions(g.Options() | goEditing | goAlwaysShowEditor);
    TComboInplaceEdit* e = g.InplaceEditor();
    QVERIFY(e && e->isVisible());
    for (int col : {2, 3}) {
        g.FocusCell(col, 1);
        QVERIFY(e->isHidden());
        QVERIFY(!g.CanEditShow());
        QTest::keyClick(&g, Qt::Key_X);
        QVERIFY(e->isHidden());
        QCOMPARE(g.Cells(col, 1), std::string());
    }
    g.FocusCell(4, 1);  // a combo column edits
    QVERIFY(e->isVisible());
    QCOMPARE(e->CellKind().Kind, uint8_t(ckCombo));
    // Out of editor mode with both options on, text and combo columns may show.
    g.HideEditor();
    QVERIFY(!g.EditorMode());
    QVERIFY(g.CanEditShow());
    g.SetOptions(g.Options() & ~unsigned(goEditing));
    QVERIFY(e->isHidden());
    QVERIFY(!g.CanEditShow());
}

void CmbGridTest::editorMaskAndLimit() {
    Shown s(true);
    TComboGrid& g = s.grid;
    g.CellKinds(1)->Items = {{"000;1;_", 0}};
    g.CellKinds(2)->Items = {{"", 0}};
    g.CellKinds(2)->MaxLength = 4;
    MakeKind(g, 3, ckCombo, {{"999", 0}});
    g.CellKinds(3)->MaxLength = 2;
    QCOMPARE(g.GetEditMask(9, 9), std::string("000;1;_"));  // the current column's
    g.ShowEditor();
    TComboInplaceEdit* e = g.InplaceEditor();
    QCOMPARE(e->inputMask(), QString("999;_"));
    QTest::keyClicks(Focused(e), "1a2");
    QCOMPARE(g.Cells(1, 1), std::string("12"));
    // The limit counts Shift-JIS bytes.
    g.FocusCell(2, 1);
    g.ShowEditor();
    QCOMPARE(e->inputMask(), QString());
    QTest::keyClicks(Focused(e), "abcdef");
    QCOMPARE(g.Cells(2, 1), std::string("abcd"));
    e->clear();
    Commit(Focused(e), QString::fromUtf8("表表"));
    Commit(Focused(e), QString::fromUtf8("x"));
    QCOMPARE(g.Cells(2, 1), sjis::L("表表"));
    g.FocusCell(3, 1);  // a combo column has neither mask nor limit
    g.ShowEditor();
    QCOMPARE(e->inputMask(), QString());
    QTest::keyClicks(Focused(e), "long text");
    QCOMPARE(g.Cells(3, 1), std::string("long text"));
    // A text that has no Shift-JIS form is refused.
    g.FocusCell(2, 2);
    g.ShowEditor();
    Commit(Focused(e), QString::fromUtf8("😀"));
    QCOMPARE(g.Cells(2, 2), std::string());
}

void CmbGridTest::editMaskSaveLiterals() {
    Shown s(true);
    TComboGrid& g = s.grid;
    g.CellKinds(1)->Items = {{"!000-0000;0;_", 0}};
    g.CellKinds(2)->Items = {{"!000-0000;1;_", 0}};
    g.CellKinds(3)->Items = {{"00\\-00;0", 0}};  // an escaped literal
    g.ShowEditor();
    QTest::keyClicks(QApplication::focusWidget(), "1234567");
    QCOMPARE(g.Cells(1, 1), std::string("1234567"));  // without the literal
    g.FocusCell(2, 1);
    g.ShowEditor();
    QTest::keyClicks(QApplication::focusWidget(), "1234567");
    QCOMPARE(g.Cells(2, 1), std::string("123-4567"));  // with it
    g.FocusCell(3, 1);
    g.ShowEditor();
    QTest::keyClicks(QApplication::focusWidget(), "12");
    QCOMPARE(g.Cells(3, 1), std::string("12"));  // unfilled places are not taken
    QTest::keyClicks(QApplication::focusWidget(), "34");
    QCOMPARE(g.Cells(3, 1), std::string("1234"));
    // A cell that holds the typed characters opens with the literals shown.
    g.FocusCell(1, 1);
    g.ShowEditor();
    QCOMPARE(g.InplaceEditor()->displayText(), QString("123-4567"));
    QCOMPARE(g.Cells(1, 1), std::string("1234567"));
    QVERIFY(EditMaskSavesLiterals("000;1;_") && EditMaskSavesLiterals("000") && !EditMaskSavesLiterals("0;0"));
}

void CmbGridTest::comboStepsWithTheListClosed() {
    Shown s(true);
    TComboGrid& g = s.grid;
    MakeKind(g, 1, ckCombo, {{"one", 0}, {"two", 0}, {"three", 0}});
    g.ShowEditor();
    TComboInplaceEdit* e = g.InplaceEditor();
    QVERIFY(!e->DroppedDown());
    QTest::keyClick(Focused(e), Qt::Key_Down);
    QCOMPARE(g.Cells(1, 1), std::string("one"));
    for (int i = 0; i < 3; ++i) QTest::keyClick(Focused(e), Qt::Key_Down);
    QCOMPARE(g.Cells(1, 1), std::string("three"));
    QTest::keyClick(Focused(e), Qt::Key_Up);
    QCOMPARE(g.Cells(1, 1), std::string("two"));
    QCOMPARE(g.Row(), 1);  // the arrows stay in the editor
    QVERIFY(!e->DroppedDown());
    QCOMPARE(s.clicks, Clicks(4, {1, 1}));
    // Escape leaves the text and the editor as they are.
    QTest::keyClick(Focused(e), Qt::Key_Escape);
    QVERIFY(e->isVisible());
    QCOMPARE(g.Cells(1, 1), std::string("two"));
}

void CmbGridTest::comboListWidthAndPicking() {
    Shown s(true);
    TComboGrid& g = s.grid;
    MakeKind(g, 1, ckCombo, {{"Alpha", 0}, {"Beta", 0}, {"Gamma", 0}});
    MakeKind(g, 2, ckCombo, {{"a", 0}});
    g.CellKinds(2)->DropDownWidth = 150;
    g.SetCells(1, 1, "beta");
    g.ShowEditor();
    TComboInplaceEdit* e = g.InplaceEditor();
    TInplaceListBox* list = e->DropList();
    // Pressing the text part never opens the list; the button does.
    QTest::mouseClick(e, Qt::LeftButton, Qt::NoModifier, QPoint(3, e->height() / 2));
    QVERIFY(!e->DroppedDown());
    const QPoint button(e->width() - ComboButtonWidth / 2, e->height() / 2);
    QTest::mousePress(e, Qt::LeftButton, Qt::NoModifier, button);
    QTest::mouseRelease(e, Qt::LeftButton, Qt::NoModifier, button);
    QVERIFY(e->DroppedDown());
    QCOMPARE(list->geometry().topLeft(), e->mapToGlobal(QPoint(0, e->height())));
    QCOMPARE(list->currentRow(), 1);  // found without regard to case
    QVERIFY(s.clicks.empty());
    // Escape closes it and leaves the text.
    QTest::keyClick(Focused(e), Qt::Key_Escape);
    QVERIFY(!e->DroppedDown());
    QCOMPARE(g.Cells(1, 1), std::string("beta"));
    // A text that is no entry: nothing selected.
    e->setText("delta");
    e->ToggleDropDown();
    QVERIFY(list->selectedItems().isEmpty());
    // A pick with the mouse copies the entry, clicks and closes.
    QRect third = list->visualItemRect(list->item(2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, third.center());
    QVERIFY(!e->DroppedDown());
    QCOMPARE(g.Cells(1, 1), std::string("Gamma"));
    QCOMPARE(s.clicks.size(), size_t(1));
    // Focus leaving the editor closes the list.
    e->ToggleDropDown();
    QLineEdit other(g.window());
    other.show();
    other.setFocus();
    QApplication::processEvents();
    QVERIFY(!e->DroppedDown());
    // A press on the grid closes it as well.
    e->setFocus();
    e->ToggleDropDown();
    QVERIFY(e->DroppedDown());
    QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(g, 3, 3));
    QVERIFY(!e->DroppedDown());

    // A wider list keeps its right edge under the editor's; one list, refilled.
    g.FocusCell(2, 1);
    g.ShowEditor();
    QCOMPARE(list->count(), 1);
    e->ToggleDropDown();
    QCOMPARE(list->width(), 150);
    QCOMPARE(list->geometry().right(), e->mapToGlobal(QPoint(e->width() - 1, 0)).x());
    // Moving to a text column closes it.
    g.FocusCell(3, 1);
    QVERIFY(list->isHidden());
    // Refilling the list is no pick of the user's: still the one click.
    QCOMPARE(s.clicks.size(), size_t(1));
}

QTEST_MAIN(CmbGridTest)
#include "cmbgrid_test.moc"
#include "qtry_bounds.h"
