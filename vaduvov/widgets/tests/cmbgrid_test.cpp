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

// A shown grid of 5 x 5 cells, 64 x 24 each, in a window of its own.
struct Shown {
    TComboGrid grid;
    Shown() {
        grid.resize(400, 200);
        grid.show();
        grid.activateWindow();
        grid.setFocus();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
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
    // kinds
    void kindsOnDemandAndAssign();
    // drawing
    void textPlaces();
    void numericPatterns();
    void numericCellsDrawnFormatted();
    void checkCellLooks();
    void buttonCaptions();
    void drawCellEvents();
    // check and button presses
    void checkToggleRules();
    void clickOnCheckAndButton();
    void pressesThatAreNotTaken();
    void fixedCellsAndPresses();
    void keysOnKindCells();
    // grid
    void geometryAndScrolling();
    void keyboardNavigation();
    void rangeSelectAndRefusedMoves();
    void fontNames();
    // editor
    void editMaskMapping();
    void editorOpensAndWritesTheCell();
    void editorEscapeAndMoving();
    void editorNeverOnButtonsOrLockedColumns();
    void editorMaskAndLimit();
    void comboStepsWithTheListClosed();
    void comboListPlacement();
    void comboListSelectionAndClosing();
};

// ---------------------------------------------------------------- streams

void CmbGridTest::integersTakeTheSmallestTag() {
    TFormWriter w;
    for (int32_t v : {0, 127, -128, 128, -129, 32767, -32768, 32768, -2147483647 - 1}) w.WriteInteger(v);
    w.WriteBoolean(true);
    w.WriteBoolean(false);
    w.WriteListBegin();
    w.WriteListEnd();
    const Bytes expected{0x02, 0x00, 0x02, 0x7F, 0x02, 0x80, 0x03, 0x80, 0x00, 0x03, 0x7F, 0xFF,
                         0x03, 0xFF, 0x7F, 0x03, 0x00, 0x80, 0x04, 0x00, 0x80, 0x00, 0x00, 0x04,
                         0x00, 0x00, 0x00, 0x80, 0x09, 0x08, 0x01, 0x00};
    QCOMPARE(w.Bytes, expected);

    TFormReader r(w.Bytes);
    for (int32_t v : {0, 127, -128, 128, -129, 32767, -32768, 32768, -2147483647 - 1}) QCOMPARE(r.ReadInteger(), v);
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
    QCOMPARE(w.Bytes[0], uint8_t(0x06));
    QCOMPARE(w.Bytes[1], uint8_t(0x00));
    QCOMPARE(w.Bytes[2], uint8_t(0x06));
    QCOMPARE(w.Bytes[3], uint8_t(4));  // two double-byte characters
    QCOMPARE(w.Bytes[8], uint8_t(0x06));
    QCOMPARE(w.Bytes[9], uint8_t(255));
    const size_t at = 10 + 255;
    QCOMPARE(Bytes(w.Bytes.begin() + at, w.Bytes.begin() + at + 5), (Bytes{0x0C, 0x2C, 0x01, 0x00, 0x00}));
    TFormReader r(w.Bytes);
    QCOMPARE(r.ReadString(), std::string());
    QCOMPARE(r.ReadString(), title);
    QCOMPARE(r.ReadString(), std::string(255, 'y'));
    QCOMPARE(r.ReadString(), longText);
}

void CmbGridTest::readerRefusesWrongValues() {
    {
        TFormReader r(Bytes{0x06, 0x01, 'a'});
        QVERIFY_THROWS_EXCEPTION(EFormStreamError, r.ReadInteger());
        QVERIFY_THROWS_EXCEPTION(EFormStreamError, r.ReadBoolean());
        QVERIFY_THROWS_EXCEPTION(EFormStreamError, r.ReadListBegin());
        QCOMPARE(r.ReadString(), std::string("a"));
        QVERIFY(!r.EndOfList());  // past the end is no list end
        QVERIFY_THROWS_EXCEPTION(EFormStreamError, r.ReadListEnd());
        QVERIFY_THROWS_EXCEPTION(EFormStreamError, r.ReadString());
    }
    {
        TFormReader r(Bytes{0x06, 0x05, 'a', 'b'});  // string cut short
        QVERIFY_THROWS_EXCEPTION(EFormStreamError, r.ReadString());
        TFormReader i(Bytes{0x03, 0x01});  // integer cut short
        QVERIFY_THROWS_EXCEPTION(EFormStreamError, i.ReadInteger());
    }
}

void CmbGridTest::cellKindGroupOfTheForms() {
    TComboGrid g;
    g.SetColCount(1);
    TCellKind* k = g.CellKinds(0);
    k->SetFixedAlign(caCenter | caVCenter);
    k->Items = {{"", 0}, {"", 0}};
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

    // The titles of row 0 as the forms store them.
    h.SetCells(0, 0, sjis::L("番号"));
    h.SetCells(2, 0, "ID");
    TFormWriter cd;
    h.WriteCellData(cd);
    const std::string number = sjis::L("番号");
    QCOMPARE(cd.Bytes, Concat({{0x01, 0x02, 0x00, 0x02, 0x00, 0x06, 0x04}, Bytes(number.begin(), number.end()),
                               {0x02, 0x02, 0x02, 0x00, 0x06, 0x02, 'I', 'D', 0x00}}));
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
    TCellKind* b = g.CellKinds(1);
    b->Kind = ckCombo;
    b->Items = {{"a", 99}, {"b", 0}};  // tags of other kinds are not stored
    g.CellKinds(4)->Kind = ckButton;  // beyond ColCount: not written

    TFormWriter w;
    g.WriteCellKind(w);
    TComboGrid h;
    h.SetColCount(2);
    TFormReader r(w.Bytes);
    h.ReadCellKind(r);
    QCOMPARE(r.Position, w.Bytes.size());
    QCOMPARE(h.KindCount(), 2);
    TCellKind* c2 = h.CellKinds(0);
    QCOMPARE(c2->Kind, uint8_t(ckCheck));
    QCOMPARE(c2->Items.size(), size_t(3));
    QCOMPARE(c2->Items[1].Text, std::string("OFF"));
    QCOMPARE(c2->Items[1].Tag, 1);
    QCOMPARE(c2->Items[2].Tag, 300);
    QVERIFY(!c2->Editable);
    QCOMPARE(int(c2->Indent), -5);
    QCOMPARE(c2->MaxLength, 70000);
    QCOMPARE(c2->DropDownWidth, -1);
    QCOMPARE(h.CellKinds(1)->Items[0].Tag, 0);
    QCOMPARE(h.CellKinds(1)->Kind, uint8_t(ckCombo));

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

// ---------------------------------------------------------------- kinds

void CmbGridTest::kindsOnDemandAndAssign() {
    TComboGrid g;
    TCellKind* k = g.CellKinds(7);
    QCOMPARE(g.KindCount(), 8);
    QCOMPARE(k->Owner, &g);
    QCOMPARE(g.CellKinds(7), k);
    g.SetColCount(2);
    QCOMPARE(g.KindCount(), 8);
    QCOMPARE(g.CellKinds(7), k);

    TCellKind a;
    a.Kind = ckCombo;
    a.Items = {{"x", 1}};
    a.Editable = false;
    a.DropDownWidth = 90;
    a.Indent = 7;
    a.MaxLength = 4;
    a.SetCellAlign(caRight);
    a.SetFixedAlign(caBottom);
    k->Assign(a);
    QCOMPARE(k->Owner, &g);
    QCOMPARE(k->Kind, uint8_t(ckCombo));
    QCOMPARE(k->Items[0].Text, std::string("x"));
    QCOMPARE(k->Items[0].Tag, 1);
    QVERIFY(!k->Editable);
    QCOMPARE(k->DropDownWidth, 90);
    QCOMPARE(int(k->Indent), 7);
    QCOMPARE(k->MaxLength, 4);
    QCOMPARE(k->CellAlign(), uint8_t(caRight));
    QCOMPARE(k->FixedAlign(), uint8_t(caBottom));
    k->SetItems(nullptr);
    QVERIFY(k->Items.empty());
    QCOMPARE(g.CellKinds(-1), nullptr);
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
    check(caLeft | caVCenter, false, 2, 5, caLeft);
    check(caCenter, false, 32, 5, caCenter);
    check(caRight, false, 62, 5, caRight);
    check(caCenter | caRight, false, 62, 5, caRight);
    check(caTop, true, 2, 2, caLeft);
    check(caBottom, false, 2, 11, caLeft);
    check(caBottom, true, 2, 9, caLeft);
    check(caTop | caBottom, false, 2, 11, caLeft);
    // Odd sizes truncate; a text taller than the cell starts above it.
    TTextPlace t = CellTextPlace(caCenter, 2, false, 63, 10, 13);
    QCOMPARE(t.X, 31);
    QCOMPARE(t.Y, -1);
}

void CmbGridTest::numericPatterns() {
    auto f = [](const char* pattern, double v) {
        std::string out;
        if (!FormatFloatPattern(pattern, v, out)) return std::string("<fail>");
        return out;
    };
    QCOMPARE(f("#,##0", 1234567), std::string("1,234,567"));
    QCOMPARE(f("#,##0", 999), std::string("999"));
    QCOMPARE(f("0.00", 3.14159), std::string("3.14"));
    QCOMPARE(f("0.00", 0.125), std::string("0.13"));
    QCOMPARE(f("0.00", 2.5), std::string("2.50"));
    QCOMPARE(f("0.##", 1), std::string("1"));
    QCOMPARE(f("0.##", 1.5), std::string("1.5"));
    QCOMPARE(f("#.##", 0.5), std::string(".5"));
    QCOMPARE(f("000", 7), std::string("007"));
    QCOMPARE(f("00", 12345), std::string("12345"));
    QCOMPARE(f("0", -5), std::string("-5"));
    QCOMPARE(f("0", -0.2), std::string("0"));
    QCOMPARE(f("#,##0;(#,##0)", -1234), std::string("(1,234)"));
    QCOMPARE(f("0;(0);zero", 0), std::string("zero"));
    QCOMPARE(f("0.0;-0.0;zero", 0.01), std::string("zero"));
    QCOMPARE(f("0;;zero", -3), std::string("-3"));
    QCOMPARE(f("0.00E+00", 12345), std::string("1.23E+04"));
    QCOMPARE(f("0.0E-0", 0.00123), std::string("1.2E-3"));
    QCOMPARE(f("0.0e+00", 5), std::string("5.0e+00"));
    QCOMPARE(f("'$'#,##0\" yen\"", 1500), std::string("$1,500 yen"));
    QCOMPARE(f("0%", 42), std::string("42%"));
    QCOMPARE(f("'open", 1), std::string("<fail>"));

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
    g.SetCells(1, 1, "1234.5");
    g.SetCells(1, 2, "abc");
    g.SetCells(1, 0, "1234.5");
    g.SetCells(2, 1, "1,234.50");
    g.SetCells(2, 2, "abc");
    g.SetCells(2, 0, "1234.5");
    g.SetCells(3, 1, "1234.5");
    g.CellKinds(3)->Kind = ckCombo;
    g.CellKinds(3)->Items = {{"", 0}, {"#,##0.00", 0}};
    g.SetCells(4, 1, "1234.5");
    QCOMPARE(Render(g, 1, 1, 0), Render(g, 2, 1, 0));                // formatted
    QVERIFY(Render(g, 1, 1, 0) != Render(g, 4, 1, 0));
    QCOMPARE(Render(g, 1, 2, 0), Render(g, 2, 2, 0));                // not a number: raw
    QCOMPARE(Render(g, 1, 0, gdFixed), Render(g, 2, 0, gdFixed));    // fixed cells never
    QCOMPARE(Render(g, 3, 1, 0), Render(g, 4, 1, 0));                // combo columns never

    // Alignment shows in the drawing: right-aligned text ends at the indent.
    g.SetCells(4, 2, "W");
    g.CellKinds(4)->SetCellAlign(caRight | caVCenter);
    const QColor text = g.palette().color(QPalette::Text);
    auto [lo, hi] = Extent(Render(g, 4, 2, 0), text);
    QVERIFY(lo > 32);
    QVERIFY(hi <= 62 && hi >= 56);
    g.CellKinds(4)->SetCellAlign(caLeft);
    std::tie(lo, hi) = Extent(Render(g, 4, 2, 0), text);
    QVERIFY(lo >= 2 && lo <= 5);
    // A text over 255 bytes is drawn whole, clipped by the cell.
    g.SetCells(4, 3, std::string(300, 'W'));
    std::tie(lo, hi) = Extent(Render(g, 4, 3, 0, QSize(4000, 24)), text);
    QVERIFY(hi > g.TextWidth(std::string(255, 'W')) + 2);
}

void CmbGridTest::checkCellLooks() {
    TComboGrid g;
    g.CellKinds(1)->Kind = ckCheck;
    g.CellKinds(1)->Items = {{"A", 0}, {"B", 1}};
    const QPalette pal = g.palette();
    auto centre = [&](const std::string& value, bool pressed) {
        QImage img(40, 30, QImage::Format_RGB32);
        QPainter p(&img);
        DrawCheckCell(p, img.rect(), pal, pressed, g.CellKinds(1)->Items, value);
        p.end();
        // R is the cell less two 1-px frames: (2, 2, 38, 28), its centre (20, 15).
        return std::make_pair(img.pixel(20, 15), img.pixel(20 - 3, 15 + 3));
    };
    auto on = centre("a", false);  // case does not matter
    QCOMPARE(on.first, pal.color(QPalette::ButtonText).rgb());
    QCOMPARE(on.second, pal.color(QPalette::ButtonText).rgb());
    auto off = centre("B", false);
    QCOMPARE(off.first, pal.color(QPalette::Base).rgb());
    QCOMPARE(off.second, pal.color(QPalette::Base).rgb());
    auto unknown = centre("Z", false);
    QCOMPARE(unknown.first, pal.color(QPalette::Disabled, QPalette::WindowText).rgb());
    auto pressedOff = centre("B", true);
    QCOMPARE(pressedOff.first, pal.color(QPalette::Button).rgb());
    // The box is 13 x 13 with two frames: its corners are the frame colours.
    QImage img(40, 30, QImage::Format_RGB32);
    QPainter p(&img);
    DrawCheckCell(p, img.rect(), pal, false, {}, "x");  // no entries: grey, no cross
    p.end();
    QCOMPARE(img.pixel(14, 9), pal.color(QPalette::Dark).rgb());
    QCOMPARE(img.pixel(26, 21), pal.color(QPalette::Light).rgb());
    QCOMPARE(img.pixel(15, 10), pal.color(QPalette::Shadow).rgb());
    QCOMPARE(img.pixel(20, 15), pal.color(QPalette::Disabled, QPalette::WindowText).rgb());
    QCOMPARE(img.pixel(13, 15), pal.color(QPalette::Button).rgb());
}

void CmbGridTest::buttonCaptions() {
    TComboGrid g;
    g.CellKinds(1)->Kind = ckButton;
    g.CellKinds(1)->Items = {{"Go", 0}};
    g.CellKinds(2)->Kind = ckButton;
    g.CellKinds(2)->Items = {{"%%USECELLDATA%%", 0}};
    g.CellKinds(3)->Kind = ckButton;  // no caption at all
    g.SetCells(1, 1, "ignored");
    g.SetCells(2, 1, "Go");
    g.SetCells(3, 1, "ignored");
    g.SetCells(4, 1, "");
    g.CellKinds(4)->Kind = ckButton;
    g.CellKinds(4)->Items = {{"", 0}};
    QCOMPARE(Render(g, 1, 1, 0), Render(g, 2, 1, 0));
    QCOMPARE(Render(g, 3, 1, 0), Render(g, 4, 1, 0));
    QVERIFY(Render(g, 1, 1, 0) != Render(g, 4, 1, 0));
    // The focused flag changes nothing; pressing does.
    QCOMPARE(Render(g, 1, 1, gdFocused), Render(g, 1, 1, 0));
    QImage img(64, 24, QImage::Format_RGB32), down(64, 24, QImage::Format_RGB32);
    {
        QPainter p(&img);
        DrawButtonCell(p, img.rect(), g.palette(), false, "Go", g.CanvasFont());
        QPainter q(&down);
        DrawButtonCell(q, down.rect(), g.palette(), true, "Go", g.CanvasFont());
    }
    QVERIFY(img != down);
    QCOMPARE(img.pixel(0, 12), g.palette().color(QPalette::Light).rgb());  // the highlight line
}

void CmbGridTest::drawCellEvents() {
    Shown s;
    TComboGrid& g = s.grid;
    std::map<std::pair<int, int>, int> calls;
    std::vector<unsigned> statesOfCurrent;
    g.OnDrawCell = [&](QObject* sender, int c, int r, QPainter&, const QRect& rect, unsigned state) {
        QCOMPARE(sender, &g);
        QVERIFY(!rect.isEmpty());
        ++calls[{c, r}];
        if (c == 1 && r == 1) statesOfCurrent.push_back(state);
    };
    g.DefaultDrawing = false;
    g.viewport()->repaint();
    QCOMPARE(calls.size(), size_t(25));
    QCOMPARE(calls[std::make_pair(1, 1)], 1);
    QCOMPARE(calls[std::make_pair(0, 0)], 1);
    calls.clear();
    statesOfCurrent.clear();
    g.DefaultDrawing = true;
    g.CellKinds(1)->Kind = ckCheck;
    g.CellKinds(1)->Items = {{"A", 0}};
    g.viewport()->repaint();
    QCOMPARE(calls[std::make_pair(1, 1)], 2);
    QCOMPARE(calls[std::make_pair(1, 2)], 1);
    QCOMPARE(statesOfCurrent.size(), size_t(2));
    QVERIFY(statesOfCurrent[0] & gdFocused);
    QCOMPARE(statesOfCurrent[1], 0u);
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
    QCOMPARE(ToggleCheckValue(ab, "A"), std::string("B"));
    QCOMPARE(ToggleCheckValue(ab, "B"), std::string("A"));
    QCOMPARE(ToggleCheckValue(ab, "b"), std::string("A"));
    QCOMPARE(ToggleCheckValue(ab, "other"), std::string("A"));
    QCOMPARE(ToggleCheckValue(ab, ""), std::string("A"));
    const std::vector<TKindItem> ac{{"A", 0}, {"C", 0}};
    QCOMPARE(ToggleCheckValue(ac, "A"), std::string("A"));
    QCOMPARE(ToggleCheckValue(ac, "C"), std::string("C"));
    QCOMPARE(ToggleCheckValue(ac, "x"), std::string("A"));
    const std::vector<TKindItem> three{{"Off", 1}, {"On", 0}, {"Half", 2}, {"Off2", 1}};
    QCOMPARE(ToggleCheckValue(three, "Half"), std::string("Off"));
    QCOMPARE(ToggleCheckValue(three, "Off2"), std::string("Off"));
    QCOMPARE(ToggleCheckValue({}, "kept"), std::string("kept"));
    QCOMPARE(CheckValueIndex(three, "ON"), 1);
    QCOMPARE(CheckValueIndex(three, "none"), -1);
}

void CmbGridTest::clickOnCheckAndButton() {
    Shown s;
    TComboGrid& g = s.grid;
    g.SetOptions(g.Options() | goEditing);
    g.CellKinds(2)->Kind = ckCheck;
    g.CellKinds(2)->Items = {{"A", 0}, {"B", 1}};
    g.CellKinds(3)->Kind = ckButton;
    g.CellKinds(3)->Items = {{"Go", 0}};
    std::vector<std::pair<int, int>> clicks;
    g.OnGridBtnClick = [&](QObject*, int c, int r) { clicks.emplace_back(c, r); };
    g.SetCells(2, 2, "A");
    Click(g, 2, 2);
    QCOMPARE(g.Cells(2, 2), std::string("B"));
    Click(g, 2, 2);
    QCOMPARE(g.Cells(2, 2), std::string("A"));
    g.SetCells(2, 3, "zzz");
    Click(g, 2, 3);
    QCOMPARE(g.Cells(2, 3), std::string("A"));
    Click(g, 3, 4);
    QCOMPARE(g.Cells(3, 4), std::string());
    QCOMPARE(clicks, (Clicks{{2, 2}, {2, 2}, {2, 3}, {3, 4}}));
    QCOMPARE(g.PressedCol(), -1);

    // The press holds until the release; outside the cell nothing happens.
    clicks.clear();
    g.SetCells(2, 1, "A");
    QTest::mousePress(g.viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(g, 2, 1));
    QCOMPARE(g.PressedCol(), 2);
    QCOMPARE(g.PressedRow(), 1);
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, Qt::NoModifier, CellCenter(g, 3, 1));
    QCOMPARE(g.PressedCol(), -1);
    QCOMPARE(g.Cells(2, 1), std::string("A"));
    QVERIFY(clicks.empty());

    // Columns without entries: the button clicks with no caption, the
    // check keeps its value.
    g.CellKinds(4)->Kind = ckCheck;
    g.SetCells(4, 1, "any");
    Click(g, 4, 1);
    QCOMPARE(g.Cells(4, 1), std::string("any"));
    QCOMPARE(clicks.size(), size_t(1));
}

void CmbGridTest::pressesThatAreNotTaken() {
    Shown s;
    TComboGrid& g = s.grid;
    g.CellKinds(2)->Kind = ckCheck;
    g.CellKinds(2)->Items = {{"A", 0}, {"B", 1}};
    g.CellKinds(3)->Kind = ckButton;
    g.CellKinds(3)->Items = {{"Go", 0}};
    g.CellKinds(3)->Editable = false;  // buttons press all the same
    int clicks = 0;
    g.OnGridBtnClick = [&](QObject*, int, int) { ++clicks; };
    g.SetCells(2, 2, "A");
    Click(g, 2, 2);  // goEditing off
    QCOMPARE(g.Cells(2, 2), std::string("A"));
    QCOMPARE(clicks, 0);
    g.SetOptions(g.Options() | goEditing);
    g.CellKinds(2)->Editable = false;
    Click(g, 2, 2);
    QCOMPARE(g.Cells(2, 2), std::string("A"));
    QCOMPARE(clicks, 0);
    Click(g, 3, 2);
    QCOMPARE(clicks, 1);
    Click(g, 1, 2);  // a text cell
    QCOMPARE(clicks, 1);
}

void CmbGridTest::fixedCellsAndPresses() {
    Shown s;
    TComboGrid& g = s.grid;
    g.CellKinds(0)->Kind = ckButton;
    g.CellKinds(0)->Items = {{"No.", 0}};
    std::vector<std::pair<int, int>> clicks;
    g.OnGridBtnClick = [&](QObject*, int c, int r) { clicks.emplace_back(c, r); };
    Click(g, 0, 3);
    QCOMPARE(clicks, (Clicks{{0, 3}}));
    QCOMPARE(g.Row(), 1);  // a fixed cell never becomes current
    g.CellKinds(2)->Kind = ckButton;
    Click(g, 2, 0);  // fixed row
    Click(g, 0, 0);
    QCOMPARE(clicks.size(), size_t(1));
    // The fixed-column button is drawn as a button, the fixed row as text.
    g.SetCells(0, 3, "x");
    QCOMPARE(Render(g, 0, 3, gdFixed), Render(g, 0, 2, gdFixed));
    QVERIFY(Render(g, 0, 0, gdFixed) != Render(g, 0, 2, gdFixed));
}

void CmbGridTest::keysOnKindCells() {
    Shown s;
    TComboGrid& g = s.grid;
    g.SetOptions(g.Options() | goEditing);
    g.CellKinds(1)->Kind = ckCheck;
    g.CellKinds(1)->Items = {{"A", 0}, {"B", 1}};
    g.CellKinds(2)->Kind = ckButton;
    g.CellKinds(2)->Items = {{"Go", 0}};
    std::vector<std::pair<int, int>> clicks;
    g.OnGridBtnClick = [&](QObject*, int c, int r) { clicks.emplace_back(c, r); };
    g.SetCells(1, 1, "A");
    QTest::keyClick(&g, Qt::Key_Return);
    QVERIFY(clicks.empty());  // Enter in a check column
    QTest::keyPress(&g, Qt::Key_Space);
    QCOMPARE(g.PressedCol(), 1);
    QVERIFY(clicks.empty());
    // A held Space repeats key-downs: still one press.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", true);
    QApplication::sendEvent(&g, &repeat);
    QTest::keyRelease(&g, Qt::Key_Space);
    QCOMPARE(clicks, (Clicks{{1, 1}}));
    QCOMPARE(g.Cells(1, 1), std::string("B"));
    QCOMPARE(g.PressedCol(), -1);

    clicks.clear();
    g.FocusCell(2, 3);
    QTest::keyClick(&g, Qt::Key_Return);
    QTest::keyClick(&g, Qt::Key_Space);
    QCOMPARE(clicks, (Clicks{{2, 3}, {2, 3}}));
    // A handler of OnKeyPress may swallow Enter.
    g.OnKeyPress = [](QObject*, char& c) {
        if (c == 13) c = 0;
    };
    QTest::keyClick(&g, Qt::Key_Return);
    QCOMPARE(clicks.size(), size_t(2));
}

// ---------------------------------------------------------------- grid

void CmbGridTest::geometryAndScrolling() {
    Shown s;
    TComboGrid& g = s.grid;
    QCOMPARE(g.CellRect(0, 0), QRect(0, 0, 64, 24));
    QCOMPARE(g.CellRect(2, 1), QRect(130, 25, 64, 24));
    int c, r;
    g.MouseToCell(131, 26, c, r);
    QCOMPARE(std::make_pair(c, r), std::make_pair(2, 1));
    g.MouseToCell(194, 49, c, r);  // the line right of and below a cell is the cell's
    QCOMPARE(std::make_pair(c, r), std::make_pair(2, 1));
    g.MouseToCell(399, 190, c, r);
    QCOMPARE(std::make_pair(c, r), std::make_pair(-1, -1));
    QVERIFY(!g.VerticalScrollBarShown());

    g.SetRowCount(40);
    QVERIFY(g.VerticalScrollBarShown());
    const int visible = g.VisibleRowCount();
    QCOMPARE(visible, (g.viewport()->height() - 25) / 25);
    int topChanges = 0;
    g.OnTopLeftChanged = [&](QObject*) { ++topChanges; };
    g.SetTopRow(10);
    QCOMPARE(g.TopRow(), 10);
    QCOMPARE(topChanges, 1);
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
    QVERIFY(!g.CellRect(19, 30).isEmpty());
    QVERIFY(g.CellRect(1, 30).isEmpty());
    QCOMPARE(g.CellRect(0, 30).left(), 0);
    QCOMPARE(g.TextWidth("abc"), QFontMetrics(g.CanvasFont()).horizontalAdvance("abc"));
}

void CmbGridTest::keyboardNavigation() {
    Shown s;
    TComboGrid& g = s.grid;
    g.SetRowCount(30);
    QTest::keyClick(&g, Qt::Key_Right);
    QTest::keyClick(&g, Qt::Key_Down);
    QCOMPARE(std::make_pair(g.Col(), g.Row()), std::make_pair(2, 2));
    QTest::keyClick(&g, Qt::Key_End);
    QCOMPARE(g.Col(), 4);
    QTest::keyClick(&g, Qt::Key_Right);
    QCOMPARE(g.Col(), 4);
    QTest::keyClick(&g, Qt::Key_Home);
    QCOMPARE(g.Col(), 1);
    QTest::keyClick(&g, Qt::Key_Left);
    QCOMPARE(g.Col(), 1);  // never onto the fixed column
    QTest::keyClick(&g, Qt::Key_PageDown);
    QCOMPARE(g.Row(), 2 + g.VisibleRowCount());
    QTest::keyClick(&g, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(std::make_pair(g.Col(), g.Row()), std::make_pair(4, 29));
    QTest::keyClick(&g, Qt::Key_PageUp);
    QCOMPARE(g.Row(), 29 - g.VisibleRowCount());
    QTest::keyClick(&g, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(std::make_pair(g.Col(), g.Row()), std::make_pair(1, 1));
    QTest::keyClick(&g, Qt::Key_Up);
    QCOMPARE(g.Row(), 1);
    // Tab moves between cells only with goTabs.
    g.SetOptions(g.Options() | goTabs);
    g.FocusCell(4, 1);
    QTest::keyClick(&g, Qt::Key_Tab);
    QCOMPARE(std::make_pair(g.Col(), g.Row()), std::make_pair(1, 2));
    QTest::keyClick(&g, Qt::Key_Backtab);
    QCOMPARE(std::make_pair(g.Col(), g.Row()), std::make_pair(4, 1));
    // OnKeyDown may take a key away.
    g.OnKeyDown = [](QObject*, int& key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_Down) key = 0;
    };
    QTest::keyClick(&g, Qt::Key_Down);
    QCOMPARE(g.Row(), 1);
}

void CmbGridTest::rangeSelectAndRefusedMoves() {
    Shown s;
    TComboGrid& g = s.grid;
    QTest::keyClick(&g, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&g, Qt::Key_Right, Qt::ShiftModifier);
    TGridRect sel = g.Selection();
    QCOMPARE((std::vector<int>{sel.Left, sel.Top, sel.Right, sel.Bottom}), (std::vector<int>{1, 1, 2, 2}));
    QCOMPARE(std::make_pair(g.Col(), g.Row()), std::make_pair(1, 1));
    QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::ShiftModifier, CellCenter(g, 3, 4));
    sel = g.Selection();
    QCOMPARE((std::vector<int>{sel.Left, sel.Top, sel.Right, sel.Bottom}), (std::vector<int>{1, 1, 3, 4}));
    Click(g, 2, 2);
    sel = g.Selection();
    QCOMPARE((std::vector<int>{sel.Left, sel.Top, sel.Right, sel.Bottom}), (std::vector<int>{2, 2, 2, 2}));
    g.SetSelection({3, 4, 1, 2});
    sel = g.Selection();
    QCOMPARE((std::vector<int>{sel.Left, sel.Top, sel.Right, sel.Bottom}), (std::vector<int>{1, 2, 3, 4}));
    // Without goRangeSelect Shift moves nothing but the current cell.
    g.SetOptions(g.Options() & ~unsigned(goRangeSelect));
    g.FocusCell(1, 1);
    QTest::keyClick(&g, Qt::Key_Down, Qt::ShiftModifier);
    sel = g.Selection();
    QCOMPARE(sel.Top, sel.Bottom);
    // Row select spans the row.
    g.SetOptions(g.Options() | goRowSelect);
    g.FocusCell(2, 3);
    sel = g.Selection();
    QCOMPARE((std::vector<int>{sel.Left, sel.Top, sel.Right, sel.Bottom}), (std::vector<int>{1, 3, 4, 3}));
    // OnSelectCell may refuse.
    g.OnSelectCell = [](QObject*, int c, int, bool& can) { can = c != 4; };
    g.FocusCell(4, 4);
    QCOMPARE(std::make_pair(g.Col(), g.Row()), std::make_pair(2, 3));
    g.SetRow(4);
    QCOMPARE(g.Row(), 4);
}

void CmbGridTest::fontNames() {
    QCOMPARE(MapFontFamily(QString::fromUtf8("ＭＳ ゴシック")), QString("IPAGothic"));
    QCOMPARE(MapFontFamily(QString::fromUtf8("ＭＳ Ｐゴシック")), QString("IPAPGothic"));
    QCOMPARE(MapFontFamily("DejaVu Sans"), QString("DejaVu Sans"));
    TComboGrid g;
    g.SetCanvasFont(QFont(QString::fromUtf8("ＭＳ Ｐゴシック"), 9));
    QCOMPARE(g.CanvasFont().family(), QString("IPAPGothic"));
    QCOMPARE(g.CanvasFont().pointSize(), 9);
}

// ---------------------------------------------------------------- editor

void CmbGridTest::editMaskMapping() {
    QCOMPARE(EditMaskToInputMask(""), QString());
    QCOMPARE(EditMaskToInputMask("!999-9999;1;_"), QString("000-0000;_"));
    QCOMPARE(EditMaskToInputMask("L0L;0;*"), QString("A9A;*"));
    QCOMPARE(EditMaskToInputMask(">LL<ll<>cC"), QString(">AA<aa!xX"));
    QCOMPARE(EditMaskToInputMask("00:00"), QString("99:99"));
    QCOMPARE(EditMaskToInputMask("\\A0;1"), QString("\\A9"));
    QCOMPARE(EditMaskToInputMask("0(a)x"), QString("9(n)\\x"));
}

void CmbGridTest::editorOpensAndWritesTheCell() {
    Shown s;
    TComboGrid& g = s.grid;
    std::vector<std::string> edits;
    g.OnSetEditText = [&](QObject*, int c, int r, const std::string& v) {
        QCOMPARE(std::make_pair(c, r), std::make_pair(g.Col(), g.Row()));
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
    QCOMPARE(g.Cells(1, 1), std::string("a"));
    QTest::keyClicks(e, "bc");
    QCOMPARE(g.Cells(1, 1), std::string("abc"));
    QCOMPARE(edits, (std::vector<std::string>{"a", "ab", "abc"}));
    // Japanese text goes into the cell as Shift-JIS.
    e->insert(QString::fromUtf8("表"));
    QCOMPARE(g.Cells(1, 1), "abc" + sjis::L("表"));
    // Enter closes the editor, Enter again opens it; F2 opens it too.
    QTest::keyClick(e, Qt::Key_Return);
    QVERIFY(!g.EditorMode());
    QVERIFY(e->isHidden());
    QTest::keyClick(&g, Qt::Key_Return);
    QVERIFY(e->isVisible());
    QCOMPARE(e->SjisText(), "abc" + sjis::L("表"));
    g.HideEditor();
    QTest::keyClick(&g, Qt::Key_F2);
    QVERIFY(e->isVisible());
    g.SetEditorMode(false);
    QVERIFY(e->isHidden());
}

void CmbGridTest::editorEscapeAndMoving() {
    Shown s;
    TComboGrid& g = s.grid;
    g.SetOptions(g.Options() | goEditing);
    g.SetCells(1, 1, "keep");
    g.SetCells(1, 2, "two");
    std::vector<std::string> edits;
    g.OnSetEditText = [&](QObject*, int, int, const std::string& v) { edits.push_back(v); };
    g.ShowEditor();
    TComboInplaceEdit* e = g.InplaceEditor();
    QVERIFY(e->isVisible());
    e->end(false);
    QTest::keyClicks(e, "er");
    QCOMPARE(g.Cells(1, 1), std::string("keeper"));
    QTest::keyClick(e, Qt::Key_Escape);  // back to the text it had
    QCOMPARE(g.Cells(1, 1), std::string("keep"));
    QCOMPARE(edits.back(), std::string("keep"));
    QVERIFY(e->isHidden());
    QVERIFY(!g.EditorMode());

    g.ShowEditor();
    e->end(false);
    QTest::keyClicks(e, "s");
    QTest::keyClick(e, Qt::Key_Down);  // moving keeps the text and closes
    QCOMPARE(g.Row(), 2);
    QCOMPARE(g.Cells(1, 1), std::string("keeps"));
    QVERIFY(e->isHidden());
    QVERIFY(!g.EditorMode());

    // With goAlwaysShowEditor the editor follows the current cell.
    g.SetOptions(g.Options() | goAlwaysShowEditor);
    QVERIFY(e->isVisible());
    QCOMPARE(e->SjisText(), std::string("two"));
    g.FocusCell(3, 3);
    QVERIFY(e->isVisible());
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
    g.CellKinds(2)->Kind = ckButton;
    g.CellKinds(2)->Items = {{"Go", 0}};
    g.CellKinds(3)->Editable = false;
    g.CellKinds(4)->Kind = ckCombo;
    g.SetOptions(g.Options() | goEditing | goAlwaysShowEditor);
    TComboInplaceEdit* e = g.InplaceEditor();
    QVERIFY(e && e->isVisible());
    QVERIFY(g.CanEditShow());
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
    g.FocusCell(1, 1);
    QVERIFY(g.CanEditShow());
    g.SetOptions(g.Options() & ~unsigned(goEditing));
    QVERIFY(e->isHidden());
    QVERIFY(!g.CanEditShow());
}

void CmbGridTest::editorMaskAndLimit() {
    Shown s;
    TComboGrid& g = s.grid;
    g.CellKinds(1)->Items = {{"000;1;_", 0}};
    g.CellKinds(2)->Items = {{"", 0}};
    g.CellKinds(2)->MaxLength = 4;
    g.CellKinds(3)->Kind = ckCombo;
    g.CellKinds(3)->Items = {{"999", 0}};
    g.CellKinds(3)->MaxLength = 2;
    g.OnGetEditMask = [](QObject*, int c, int, std::string& m) {
        if (c == 4) m = "L";
    };
    g.SetOptions(g.Options() | goEditing);
    QCOMPARE(g.GetEditMask(9, 9), std::string("000;1;_"));  // the current column's
    QCOMPARE(g.GetEditLimit(), 0);
    g.ShowEditor();
    TComboInplaceEdit* e = g.InplaceEditor();
    QCOMPARE(e->inputMask(), QString("999;_"));
    QTest::keyClicks(e, "1a2");
    QCOMPARE(g.Cells(1, 1), std::string("12"));
    g.FocusCell(2, 1);
    g.ShowEditor();
    QCOMPARE(g.GetEditMask(2, 1), std::string());
    QCOMPARE(e->inputMask(), QString());
    QCOMPARE(e->MaxLength(), 4);
    QTest::keyClicks(e, "abcdef");
    QCOMPARE(g.Cells(2, 1), std::string("abcd"));
    e->clear();
    e->insert(QString::fromUtf8("表表"));  // four bytes
    e->insert(QString::fromUtf8("x"));
    QCOMPARE(g.Cells(2, 1), sjis::L("表表"));
    g.FocusCell(3, 1);  // a combo column has neither mask nor limit
    g.ShowEditor();
    QCOMPARE(e->inputMask(), QString());
    QCOMPARE(e->MaxLength(), 0);
    QTest::keyClicks(e, "long text");
    QCOMPARE(g.Cells(3, 1), std::string("long text"));
    g.FocusCell(4, 1);
    QCOMPARE(g.GetEditMask(4, 1), std::string("L"));
    // A text that has no Shift-JIS form is refused.
    g.FocusCell(2, 2);
    g.ShowEditor();
    e->insert(QString::fromUtf8("😀"));
    QCOMPARE(g.Cells(2, 2), std::string());
}

void CmbGridTest::comboStepsWithTheListClosed() {
    Shown s;
    TComboGrid& g = s.grid;
    g.CellKinds(1)->Kind = ckCombo;
    g.CellKinds(1)->Items = {{"one", 0}, {"two", 0}, {"three", 0}};
    int clicks = 0;
    g.OnGridBtnClick = [&](QObject*, int c, int r) {
        QCOMPARE(std::make_pair(c, r), std::make_pair(1, 1));
        ++clicks;
    };
    g.SetOptions(g.Options() | goEditing);
    g.ShowEditor();
    TComboInplaceEdit* e = g.InplaceEditor();
    QVERIFY(e->DropList());
    QVERIFY(!e->DroppedDown());
    QCOMPARE(e->DropList()->count(), 3);
    QTest::keyClick(e, Qt::Key_Down);
    QCOMPARE(g.Cells(1, 1), std::string("one"));
    QTest::keyClick(e, Qt::Key_Down);
    QTest::keyClick(e, Qt::Key_Down);
    QTest::keyClick(e, Qt::Key_Down);
    QCOMPARE(g.Cells(1, 1), std::string("three"));
    QTest::keyClick(e, Qt::Key_Up);
    QCOMPARE(e->text(), QString("two"));
    QCOMPARE(g.Cells(1, 1), std::string("two"));
    QCOMPARE(g.Row(), 1);  // the arrows stay in the editor
    QVERIFY(!e->DroppedDown());
    QCOMPARE(clicks, 4);
    // Escape leaves the text and the editor as they are.
    QTest::keyClick(e, Qt::Key_Escape);
    QVERIFY(e->isVisible());
    QCOMPARE(g.Cells(1, 1), std::string("two"));
}

void CmbGridTest::comboListPlacement() {
    Shown s;
    TComboGrid& g = s.grid;
    g.SetColWidths(1, 80);
    g.CellKinds(1)->Kind = ckCombo;
    g.CellKinds(1)->Items = {{"one", 0}, {"two", 0}};
    g.CellKinds(2)->Kind = ckCombo;
    g.CellKinds(2)->Items = {{"a", 0}};
    g.CellKinds(2)->DropDownWidth = 150;
    g.SetOptions(g.Options() | goEditing);
    g.ShowEditor();
    TComboInplaceEdit* e = g.InplaceEditor();
    e->ToggleDropDown();
    TInplaceListBox* list = e->DropList();
    QVERIFY(list->isVisible());
    QCOMPARE(list->width(), e->width());
    QCOMPARE(list->height(), 97);
    QCOMPARE(list->pos(), e->mapToGlobal(QPoint(0, e->height())));
    e->ToggleDropDown();
    QVERIFY(list->isHidden());

    g.FocusCell(2, 1);
    g.ShowEditor();
    QCOMPARE(e->DropList(), list);  // one list, refilled
    QCOMPARE(list->count(), 1);
    e->ToggleDropDown();
    QCOMPARE(list->width(), 150);
    QCOMPARE(list->pos(), e->mapToGlobal(QPoint(e->width() - 150, e->height())));
    QCOMPARE(list->geometry().right(), e->mapToGlobal(QPoint(e->width() - 1, 0)).x());
    // Moving to a text column closes it.
    g.FocusCell(3, 1);
    QVERIFY(list->isHidden());
}

void CmbGridTest::comboListSelectionAndClosing() {
    Shown s;
    TComboGrid& g = s.grid;
    g.CellKinds(1)->Kind = ckCombo;
    g.CellKinds(1)->Items = {{"Alpha", 0}, {"Beta", 0}, {"Gamma", 0}};
    int clicks = 0;
    g.OnGridBtnClick = [&](QObject*, int, int) { ++clicks; };
    g.SetOptions(g.Options() | goEditing);
    g.SetCells(1, 1, "beta");
    g.ShowEditor();
    TComboInplaceEdit* e = g.InplaceEditor();
    TInplaceListBox* list = e->DropList();
    // Pressing the text part never opens the list; the button does.
    QTest::mouseClick(e, Qt::LeftButton, Qt::NoModifier, QPoint(3, e->height() / 2));
    QVERIFY(!e->DroppedDown());
    QCOMPARE(e->ButtonDownX(), -1);
    const QPoint button(e->width() - ComboButtonWidth / 2, e->height() / 2);
    QTest::mousePress(e, Qt::LeftButton, Qt::NoModifier, button);
    QCOMPARE(e->ButtonDownX(), button.x());
    QTest::mouseRelease(e, Qt::LeftButton, Qt::NoModifier, button);
    QVERIFY(e->DroppedDown());
    QCOMPARE(e->ButtonDownX(), -1);
    QCOMPARE(list->currentRow(), 1);  // found without regard to case
    QCOMPARE(e->selectedText(), QString("beta"));
    QCOMPARE(clicks, 0);
    // Escape closes it and leaves the text.
    QTest::keyClick(e, Qt::Key_Escape);
    QVERIFY(!e->DroppedDown());
    QCOMPARE(g.Cells(1, 1), std::string("beta"));
    // A text that is no entry: nothing selected.
    e->setText("delta");
    e->ToggleDropDown();
    QVERIFY(list->selectedItems().isEmpty());
    QCOMPARE(g.Cells(1, 1), std::string("delta"));
    // A pick with the mouse copies the entry, clicks and closes.
    QRect third = list->visualItemRect(list->item(2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, third.center());
    QVERIFY(!e->DroppedDown());
    QCOMPARE(g.Cells(1, 1), std::string("Gamma"));
    QCOMPARE(clicks, 1);
    // Focus leaving the editor closes the list.
    e->ToggleDropDown();
    QVERIFY(e->DroppedDown());
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
}

QTEST_MAIN(CmbGridTest)
#include "cmbgrid_test.moc"
