// The roster editor and the CSV wizard driven as a user would, under Qt's
// offscreen platform.
#include "focus_keys.h"
#include "when_modal.h"
#include "CmbGrid.h"
#include "CsvWizard.h"
#include "InplaceEdit.h"
#include "meibo.h"
#include "qtext.h"
#include "scramble.h"
#include "tempdir.h"
#include "textfile.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <functional>

namespace {

std::string Line(const std::string& id, const std::string& name, const std::string& pw) {
    return "\"" + id + "\",\"" + name + "\",\"" + Scramble(pw, "encode") + "\"\r\n";
}

std::string Cell(const TfMeibo& dlg, int col, int row) { return dlg.NameGrid->Cells(col, row); }

void Press(QWidget* w, Qt::Key key) {
    QTest::keyClick(w, key);
    QCoreApplication::processEvents();  // what the key posted
}

// Keys go where a person's keyboard goes: to the focused widget, the open
// in-place editor or else the grid.
QWidget* KeyTarget(TfMeibo& dlg) {
    TComboInplaceEdit* e = dlg.NameGrid->InplaceEditor();
    QWidget* expected = dlg.NameGrid->EditorMode() && e && e->isVisible() ? static_cast<QWidget*>(e) : dlg.NameGrid;
    if (QApplication::focusWidget() != expected)
        QTest::qFail("the keys would not reach the expected widget", __FILE__, __LINE__);
    return QApplication::focusWidget() ? QApplication::focusWidget() : expected;
}

void TypeInEditor(TfMeibo& dlg, const char* text) {
    TComboInplaceEdit* e = dlg.NameGrid->InplaceEditor();
    QVERIFY(e && e->isVisible());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(e));
    QTest::keyClicks(QApplication::focusWidget(), QString::fromUtf8(text));
    QCoreApplication::processEvents();
}

QPoint CellCenter(TComboGrid* g, int col, int row) { return g->CellRect(col, row).center(); }

void DoubleClick(TfMeibo& dlg, int col, int row) {
    QTest::mouseDClick(dlg.NameGrid->viewport(), Qt::LeftButton, {}, CellCenter(dlg.NameGrid, col, row));
    QCoreApplication::processEvents();
}

// A roster folder holding the given roster file (none when empty).
struct TRoster {
    TempDir dir;
    TControllerSettings s;
    explicit TRoster(const std::string& file = std::string()) {
        s.MeiboDir = dir.path();
        if (!file.empty()) textfile::WriteFileAtomic(dir / "ruzozu.mib", file);
    }
    std::string Saved() const { return Slurp(dir / "ruzozu.mib"); }
};

// The editor on a roster, shown and active.
struct TShown : TRoster {
    TfMeibo dlg;
    explicit TShown(const std::string& file = std::string()) : TRoster(file), dlg(nullptr, s) {
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg, 20000));
    }
};

}  // namespace

class MeiboWindowTest : public QObject {
    Q_OBJECT
private slots:
    void loadsRecordsWithAnEntryRow();
    void emptyRosterKeepsTheFormLayout();
    void passwordsAreNeverPainted();
    void enterOnPasswordStashesEditsAndRestores();
    void savingWithAPendingStashKeepsThePassword();
    void escapeCancelsTheEditThenTheEditor();
    void doubleClickEditsOnceThenTypingDoesNothing();
    void typingAnIdIntoTheEntryRowAddsARow();
    void clipboardCopyCutPaste();
    void rowCommandsAndWidth();
    void closingWritesThePlaceOnlySaveWrites();
    void csvImportThroughTheWizard();
    void wizardWithNothingMappedLeavesTheRoster();
    void failedSaveIsReportedAndKeepsTheEdits();
    void wizardRefusesAFileWithoutShiftJisForm();
    void cellEditorTakesOneStorableLine();
    void saveRefusesARowTheFileCannotCarry();
};

void MeiboWindowTest::loadsRecordsWithAnEntryRow() {
    TRoster r(Line("A1", "a", "p1") + Line("B2", "b", "p2") + Line("C3", "c", ""));
    TfMeibo dlg(nullptr, r.s);
    QCOMPARE(dlg.NameGrid->RowCount(), 5);
    QCOMPARE(Cell(dlg, 2, 2), std::string("p2"));  // plain in the grid
    QCOMPARE(Cell(dlg, 0, 4), std::string());
}

void MeiboWindowTest::emptyRosterKeepsTheFormLayout() {
    // Zero bytes, empty lines only, blanks only: no line holds a field.
    for (const char* bytes : {"", "\r\n", "\r\n\r\n\r\n", "\n\n"}) {
        TRoster r;
        textfile::WriteFileAtomic(r.dir / "ruzozu.mib", bytes);
        TfMeibo dlg(nullptr, r.s);
        QCOMPARE(dlg.NameGrid->RowCount(), 6);  // titles and five empty rows
        QCOMPARE(Cell(dlg, 0, 0), std::string("User ID"));
        QCOMPARE(dlg.NameGrid->Row(), 1);
        dlg.BitBtn1->click();
        const std::string empty = "\"\",\"\",\"\"\r\n";
        QCOMPARE(r.Saved(), empty + empty + empty + empty);
    }
}

void MeiboWindowTest::passwordsAreNeverPainted() {
    TShown r(Line("A1", "a", "secret"));
    TfMeibo& dlg = r.dlg;
    const QImage withSecret = dlg.NameGrid->grab().toImage();
    dlg.Meibo.Rows[1][2] = "WWWWWWWWWWWWW";
    dlg.ShowRows();
    QCOMPARE(dlg.NameGrid->grab().toImage(), withSecret);
    dlg.Meibo.Rows[1][1] = "changed name";  // the name column is painted
    dlg.ShowRows();
    QVERIFY(dlg.NameGrid->grab().toImage() != withSecret);
}

void MeiboWindowTest::enterOnPasswordStashesEditsAndRestores() {
    TShown r(Line("A1", "a", "old1") + Line("B2", "b", "old2"));
    TfMeibo& dlg = r.dlg;
    QVERIFY(TabTo(dlg.NameGrid));
    // A new password typed over the placeholder is stored.
    dlg.NameGrid->FocusCell(2, 1);
    Press(KeyTarget(dlg), Qt::Key_Return);
    QCOMPARE(Cell(dlg, 2, 1), PasswordPlaceholder());
    QVERIFY(dlg.NameGrid->EditorMode());
    TypeInEditor(dlg, "new1");
    Press(KeyTarget(dlg), Qt::Key_Return);
    QVERIFY(!dlg.NameGrid->EditorMode());
    QCOMPARE(dlg.Meibo.Rows[1][2], std::string("new1"));
    // Enter twice without typing, then another row and another column:
    // the old password comes back.
    dlg.NameGrid->FocusCell(2, 2);
    Press(KeyTarget(dlg), Qt::Key_Return);
    Press(KeyTarget(dlg), Qt::Key_Return);
    QCOMPARE(dlg.Meibo.Rows[2][2], PasswordPlaceholder());
    Press(KeyTarget(dlg), Qt::Key_Up);  // still the password column
    QCOMPARE(dlg.Meibo.Rows[2][2], PasswordPlaceholder());
    Press(KeyTarget(dlg), Qt::Key_Left);
    QTRY_COMPARE(dlg.Meibo.Rows[2][2], std::string("old2"));
    QCOMPARE(dlg.Meibo.StashedRow, -1);
    // With the editor open, Tab into the password column opens it on the
    // placeholder, never on the password.
    dlg.NameGrid->FocusCell(1, 2);
    Press(KeyTarget(dlg), Qt::Key_Return);
    Press(KeyTarget(dlg), Qt::Key_Tab);
    QCOMPARE(dlg.NameGrid->Col(), 2);
    QVERIFY(dlg.NameGrid->EditorMode());
    QCOMPARE(dlg.NameGrid->InplaceEditor()->text(), QString("**********"));
    Press(KeyTarget(dlg), Qt::Key_Return);
    QCOMPARE(Cell(dlg, 2, 2), PasswordPlaceholder());
    dlg.NameGrid->FocusCell(0, 1);
    QTRY_COMPARE(Cell(dlg, 2, 2), std::string("old2"));
}

void MeiboWindowTest::savingWithAPendingStashKeepsThePassword() {
    TShown r(Line("A1", "a", "pa") + Line("B2", "b", "pb"));
    TfMeibo& dlg = r.dlg;
    // Open one password cell, go down the column and open the next one.
    dlg.NameGrid->FocusCell(2, 1);
    DoubleClick(dlg, 2, 1);
    QCOMPARE(dlg.Meibo.Rows[1][2], PasswordPlaceholder());
    dlg.NameGrid->FocusCell(2, 2);
    DoubleClick(dlg, 2, 2);
    QCOMPARE(dlg.Meibo.Rows[1][2], std::string("pa"));
    QVERIFY(dlg.NameGrid->EditorMode());
    QTest::mouseClick(dlg.BitBtn1, Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(r.Saved(), Line("A1", "a", "pa") + Line("B2", "b", "pb"));
}

void MeiboWindowTest::escapeCancelsTheEditThenTheEditor() {
    const std::string file = Line("A1", "a", "p1") + Line("B2", "b", "p2");
    TShown r(file);
    TfMeibo& dlg = r.dlg;
    QVERIFY(TabTo(dlg.NameGrid));
    dlg.NameGrid->FocusCell(1, 1);
    // The first Escape takes back what was typed into the cell Enter
    // opened, and closes its editor; the dialog stays.
    Press(KeyTarget(dlg), Qt::Key_Return);
    QVERIFY(dlg.NameGrid->EditorMode());
    TypeInEditor(dlg, "zz");
    QVERIFY(dlg.Meibo.Rows[1][1] != "a");
    Press(KeyTarget(dlg), Qt::Key_Escape);
    QCOMPARE(dlg.Meibo.Rows[1][1], std::string("a"));
    QVERIFY(dlg.isVisible());
    QVERIFY(!dlg.NameGrid->EditorMode());
    // Typing now edits nothing: editing went off with the editor.
    QTest::keyClicks(QApplication::focusWidget(), "zz");
    QCOMPARE(dlg.Meibo.Rows[1][1], std::string("a"));
    QVERIFY(!dlg.NameGrid->EditorMode());
    // Enter then Escape with nothing typed closes the editor alone too.
    Press(KeyTarget(dlg), Qt::Key_Return);
    QVERIFY(dlg.NameGrid->EditorMode());
    Press(KeyTarget(dlg), Qt::Key_Escape);
    QVERIFY(dlg.isVisible());
    QVERIFY(!dlg.NameGrid->EditorMode());
    // With no cell in edit, Escape is the Cancel button: nothing is written.
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(dlg.NameGrid));
    dlg.Meibo.Rows[2][1] = "changed";
    Press(KeyTarget(dlg), Qt::Key_Escape);
    QTRY_VERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QCOMPARE(r.Saved(), file);
}

void MeiboWindowTest::doubleClickEditsOnceThenTypingDoesNothing() {
    TShown r(Line("A1", "a", "pa") + Line("B2", "b", "pb"));
    TfMeibo& dlg = r.dlg;
    QTest::mouseClick(dlg.NameGrid->viewport(), Qt::LeftButton, {}, CellCenter(dlg.NameGrid, 1, 1));
    DoubleClick(dlg, 1, 1);
    QVERIFY(dlg.NameGrid->EditorMode());
    TypeInEditor(dlg, "ann");
    QCOMPARE(dlg.Meibo.Rows[1][1], std::string("ann"));
    QTest::mouseClick(dlg.NameGrid->viewport(), Qt::LeftButton, {}, CellCenter(dlg.NameGrid, 1, 2));
    // The editor closes and, this one edit done, editing goes off.
    QTRY_VERIFY(!(dlg.NameGrid->Options() & goEditing));
    QVERIFY(!dlg.NameGrid->EditorMode());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(dlg.NameGrid));
    QTest::keyClicks(QApplication::focusWidget(), "zz");
    QCOMPARE(dlg.Meibo.Rows[2][1], std::string("b"));
    QVERIFY(!dlg.NameGrid->EditorMode());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);  // the menu's shortcut clears the cell
    QCOMPARE(dlg.Meibo.Rows[2][1], std::string());
}

void MeiboWindowTest::typingAnIdIntoTheEntryRowAddsARow() {
    TShown r(Line("A1", "a", "pa"));
    TfMeibo& dlg = r.dlg;
    const int maxBefore = dlg.maximumHeight();
    // A name alone in the entry row brings no row.
    dlg.NameGrid->FocusCell(1, 2);
    Press(KeyTarget(dlg), Qt::Key_Return);
    TypeInEditor(dlg, "only a name");
    Press(KeyTarget(dlg), Qt::Key_Return);
    QCOMPARE(dlg.NameGrid->RowCount(), 3);
    dlg.NameGrid->FocusCell(0, 2);
    Press(KeyTarget(dlg), Qt::Key_Return);
    TypeInEditor(dlg, "Z");
    QTRY_COMPARE(dlg.NameGrid->RowCount(), 4);  // at the first keystroke
    QCOMPARE(Cell(dlg, 0, 3), std::string());
    QCOMPARE(dlg.maximumHeight(), maxBefore + dlg.NameGrid->RowHeights(3) + dlg.NameGrid->GridLineWidth());
    Press(KeyTarget(dlg), Qt::Key_Return);
    QCOMPARE(dlg.Meibo.Rows[2], (std::vector<std::string>{"Z", "only a name", ""}));
}

void MeiboWindowTest::clipboardCopyCutPaste() {
    QGuiApplication::clipboard()->clear();
    TShown r(Line("a", "b", "p") + Line("c", "d", "q"));
    TfMeibo& dlg = r.dlg;
    QVERIFY(!dlg.PasteBtn->isEnabled());  // nothing to paste when shown
    dlg.NameGrid->SetSelection({0, 1, 1, 2});
    dlg.CopyBtn->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("a\tb\r\nc\td\r\n"));
    dlg.NameGrid->SetSelection({2, 1, 2, 1});
    dlg.CutBtn->trigger();  // the password column is cut in plain text
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("p\r\n"));
    QCOMPARE(Cell(dlg, 2, 1), std::string());
    // Lines from a program of this system end in LF alone; the fourth
    // field has no column; the paste on the entry row brings a new one.
    QGuiApplication::clipboard()->setText(QL("x\ty\tz\tdrop\n名前\n"));
    dlg.NameGrid->FocusCell(0, 3);
    dlg.PasteItem->trigger();
    QCOMPARE(dlg.NameGrid->RowCount(), 6);
    QCOMPARE(Cell(dlg, 2, 3), std::string("z"));
    QCOMPARE(Cell(dlg, 0, 4), sjis::L("名前"));
    QCOMPARE(Cell(dlg, 0, 5), std::string());
    // Text the roster cannot hold is refused whole, and the instructor is
    // told which line holds what the roster cannot.
    QGuiApplication::clipboard()->setText(QString::fromUtf8("ok\n\xF0\x9F\x98\x80\n"));
    dlg.NameGrid->FocusCell(0, 1);
    QStringList messages;
    ReadNextBoxThenEnter(messages);
    dlg.PasteItem->trigger();
    QCOMPARE(Cell(dlg, 0, 1), std::string("a"));
    QCOMPARE(messages, QStringList{QL("貼り付ける文字列の 2 行目に、Shift-JIS にない文字があります。\n\n"
                                      "貼り付けませんでした。")});
    TfMeibo second(nullptr, r.s);
    second.show();
    QVERIFY(QTest::qWaitForWindowExposed(&second, 20000));
    QVERIFY(second.PasteBtn->isEnabled());
}

void MeiboWindowTest::rowCommandsAndWidth() {
    std::string file;
    for (int i = 1; i <= 3; ++i) file += Line(std::to_string(i * 5), "n", "");
    TRoster r(file);
    r.s.MeiboHeight = 200;
    TfMeibo dlg(nullptr, r.s);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg, 20000));
    // The window is as wide as the grid, and the scroll bar when it shows.
    auto fits = [&dlg](bool bar) {
        const int extent = bar ? dlg.style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
        return dlg.NameGrid->VerticalScrollBarShown() == bar && dlg.width() == dlg.FittedWidth + extent;
    };
    QTRY_VERIFY(fits(false));
    QCOMPARE(dlg.minimumWidth(), dlg.maximumWidth());  // only the height can change
    dlg.resize(dlg.width(), 120);                      // the user hides rows
    QTRY_VERIFY(fits(true));
    dlg.resize(dlg.width(), 1000);
    QTRY_VERIFY(fits(false));
    QCOMPARE(dlg.height(), dlg.maximumHeight());
    dlg.resize(dlg.width(), 200);
    // Insert with rows 2 to 3 selected.
    dlg.NameGrid->SetSelection({0, 2, 1, 3});
    dlg.ToolButton5->trigger();
    QCOMPARE(dlg.NameGrid->RowCount(), 7);
    QCOMPARE(Cell(dlg, 0, 2), std::string());
    QCOMPARE(Cell(dlg, 0, 4), std::string("10"));
    QCOMPARE(Cell(dlg, 0, 5), std::string("15"));
    QTRY_VERIFY(fits(true));  // 200 px show fewer rows
    dlg.ToolButton1->trigger();  // compact
    QCOMPARE(dlg.NameGrid->RowCount(), 5);
    dlg.Meibo.Rows[1][0] = "x";
    dlg.ShowRows();
    dlg.ToolButton2->trigger();  // as numbers: x counts as 0
    QCOMPARE(Cell(dlg, 0, 1) + Cell(dlg, 0, 2) + Cell(dlg, 0, 3), std::string("x1015"));
    dlg.ToolButton4->trigger();  // as text
    QCOMPARE(Cell(dlg, 0, 1) + Cell(dlg, 0, 2) + Cell(dlg, 0, 3), std::string("1015x"));
    dlg.NameGrid->SetSelection({0, 1, 2, 4});
    dlg.DeleteRowsItem->trigger();
    QCOMPARE(dlg.NameGrid->RowCount(), 2);
    QTRY_VERIFY(fits(false));
    QVERIFY(dlg.height() <= dlg.maximumHeight());
    dlg.ToolButton6->trigger();  // titles and entry row only: nothing
    QCOMPARE(dlg.NameGrid->RowCount(), 2);
}

void MeiboWindowTest::closingWritesThePlaceOnlySaveWrites() {
    TRoster r;
    TControllerSettings& s = r.s;
    s.MeiboLeft = 30;
    s.MeiboTop = 40;
    s.MeiboHeight = 220;
    {
        TfMeibo dlg(nullptr, s);
        QCOMPARE(dlg.NameGrid->RowCount(), 6);  // no file: titles and five empty rows
        QCOMPARE(dlg.height(), 220);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg, 20000));
        dlg.move(50, 60);
        dlg.Meibo.Rows[1][0] = "Q";
        QTest::mouseClick(dlg.BitBtn2, Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }
    QCOMPARE(std::make_tuple(s.MeiboLeft, s.MeiboTop, s.MeiboHeight), std::make_tuple(50, 60, 220));
    QVERIFY(!QFile::exists(QString::fromStdString(r.dir / "ruzozu.mib")));
    // "保存終了" at once on no roster file writes four empty records.
    TfMeibo dlg(nullptr, s);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg, 20000));
    QTest::mouseClick(dlg.BitBtn1, Qt::LeftButton);
    const std::string empty = "\"\",\"\",\"\"\r\n";
    QCOMPARE(r.Saved(), empty + empty + empty + empty);
}

void MeiboWindowTest::csvImportThroughTheWizard() {
    TShown r(Line("OLD", "old", "x"));
    TfMeibo& dlg = r.dlg;
    textfile::WriteFileAtomic(r.dir / "class.csv", sjis::L("番号,氏名,合言葉\r\nA1,\"Ann Lee\",pa\r\nB2,Bob,pb\r\n"));
    dlg.ChooseCsvFile = [&] { return QString::fromStdString(r.dir / "class.csv"); };
    bool checked = false;
    WhenModal<TfCsvWizard>([&](TfCsvWizard* w) {
        QCOMPARE(w->CsvGrid->ColCount(), 3);
        QCOMPARE(w->CsvGrid->RowCount(), 4);  // the mapping row and three lines
        QVERIFY(w->Label2->text().endsWith("class.csv"));
        w->CheckBox1->setChecked(true);
        QTest::mouseClick(w->SpeedButton1, Qt::LeftButton);
        QVERIFY(w->SpeedButton1->isChecked());
        QWidget* vp = w->CsvGrid->viewport();
        auto click = [w, vp](int col, int row, Qt::MouseButton b) {
            QTest::mousePress(vp, b, {}, CellCenter(w->CsvGrid, col, row));
            QTest::mouseRelease(vp, b, {}, CellCenter(w->CsvGrid, col, row));
        };
        click(0, 2, Qt::LeftButton);
        QVERIFY(w->SpeedButton2->isChecked());  // the next target is armed
        QCOMPARE(w->CsvGrid->Cells(0, 0), std::string("User ID"));
        click(1, 1, Qt::LeftButton);
        click(2, 3, Qt::RightButton);  // any button
        QVERIFY(!w->SpeedButton1->isChecked() && !w->SpeedButton2->isChecked() && !w->SpeedButton3->isChecked());
        QCOMPARE(w->CsvGrid->Cells(2, 0), std::string("PassWord"));
        checked = true;
        QTest::mouseClick(w->BitBtn1, Qt::LeftButton);
    });
    dlg.ToolButton3->trigger();
    QVERIFY(checked);
    QCOMPARE(dlg.NameGrid->RowCount(), 4);  // titles, two records, entry row
    QCOMPARE(Cell(dlg, 1, 1), std::string("Ann Lee"));
    QCOMPARE(Cell(dlg, 2, 2), std::string("pb"));
    QTest::mouseClick(dlg.BitBtn1, Qt::LeftButton);
    QCOMPARE(r.Saved(), Line("A1", "Ann Lee", "pa") + Line("B2", "Bob", "pb"));
}

void MeiboWindowTest::wizardWithNothingMappedLeavesTheRoster() {
    TRoster r;
    textfile::WriteFileAtomic(r.dir / "a.csv", "A1,Ann\r\n");
    TfMeibo dlg(nullptr, r.s);
    dlg.ChooseCsvFile = [&] { return QString::fromStdString(r.dir / "a.csv"); };
    QStringList messages;
    WhenModal<TfCsvWizard>([&](TfCsvWizard* w) {
        // A disarmed target maps nothing.
        QTest::mouseClick(w->SpeedButton2, Qt::LeftButton);
        QTest::mouseClick(w->SpeedButton2, Qt::LeftButton);
        QTest::mousePress(w->CsvGrid->viewport(), Qt::LeftButton, {}, CellCenter(w->CsvGrid, 1, 1));
        QCOMPARE(w->CsvGrid->Cells(1, 0), std::string());
        ReadNextBoxThenEnter(messages);
        QTest::mouseClick(w->BitBtn1, Qt::LeftButton);
    });
    dlg.ToolButton3->trigger();
    QCOMPARE(messages, QStringList{QL("読込先の列は必ず、一列以上指定してください。")});
    QCOMPARE(dlg.NameGrid->RowCount(), 6);
    // Cancelling the file choice does nothing at all.
    dlg.ChooseCsvFile = [] { return QString(); };
    dlg.ToolButton3->trigger();
    QCOMPARE(dlg.NameGrid->RowCount(), 6);
}

void MeiboWindowTest::failedSaveIsReportedAndKeepsTheEdits() {
    TShown r(Line("A1", "a", "p1"));
    TfMeibo& dlg = r.dlg;
    // A folder standing where the roster file belongs: no save can go through.
    const std::string file = r.dir / "ruzozu.mib";
    QVERIFY(QFile::remove(QString::fromStdString(file)));
    QVERIFY(QDir().mkdir(QString::fromStdString(file)));
    dlg.Meibo.Rows[1][1] = "edited";
    dlg.ShowRows();
    QStringList messages;
    ReadNextBoxThenEnter(messages);
    QTest::mouseClick(dlg.BitBtn1, Qt::LeftButton);
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages[0].startsWith(QL("名簿を保存できませんでした。")));
    QVERIFY(messages[0].contains(QString::fromStdString(file)));
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.result(), 0);
    QCOMPARE(Cell(dlg, 1, 1), std::string("edited"));
    // Once the way is clear, OK again saves and closes.
    QVERIFY(QDir().rmdir(QString::fromStdString(file)));
    QTest::mouseClick(dlg.BitBtn1, Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(r.Saved(), Line("A1", "edited", "p1"));
}

void MeiboWindowTest::wizardRefusesAFileWithoutShiftJisForm() {
    TShown r(Line("OLD", "old", "x"));
    TfMeibo& dlg = r.dlg;
    textfile::WriteFileAtomic(r.dir / "u.csv", "\xEF\xBB\xBF" "A1,\xE5\xB1\xB1\xE7\x94\xB0\nB2,\xF0\x9F\x98\x80\n");
    dlg.ChooseCsvFile = [&] { return QString::fromStdString(r.dir / "u.csv"); };
    QStringList messages;
    ReadNextBoxThenEnter(messages);
    dlg.ToolButton3->trigger();
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages[0].contains(QL("CSVファイルの 2 行目")));
    QCOMPARE(dlg.NameGrid->RowCount(), 3);  // the roster as it was
    QCOMPARE(Cell(dlg, 0, 1), std::string("OLD"));
}

// What the roster's own Copy of two rows gives, pasted into an open cell:
// only its first line, and a line with a TAB or a quote, typed or pasted,
// is refused.
void MeiboWindowTest::cellEditorTakesOneStorableLine() {
    TShown r(Line("A1", "a", "pa") + Line("B2", "b", "pb"));
    TfMeibo& dlg = r.dlg;
    QTest::mouseClick(dlg.NameGrid->viewport(), Qt::LeftButton, {}, CellCenter(dlg.NameGrid, 1, 1));
    DoubleClick(dlg, 1, 1);
    QVERIFY(dlg.NameGrid->EditorMode());
    QWidget* editor = KeyTarget(dlg);
    QGuiApplication::clipboard()->setText(QStringLiteral("Ann\r\nB2\tb\tpb\r\n"));
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    QTRY_COMPARE(dlg.Meibo.Rows[1][1], std::string("Ann"));
    QGuiApplication::clipboard()->setText(QStringLiteral("x\ty"));
    QTest::keyClick(KeyTarget(dlg), Qt::Key_V, Qt::ControlModifier);
    QGuiApplication::clipboard()->setText(QStringLiteral("\nlater"));  // an empty first line
    QTest::keyClick(KeyTarget(dlg), Qt::Key_V, Qt::ControlModifier);
    QTest::keyClicks(KeyTarget(dlg), QStringLiteral("\""));
    QTest::keyClicks(KeyTarget(dlg), QStringLiteral("!"));
    // The key after it is taken, in order: the quote was refused.
    QTRY_COMPARE(dlg.Meibo.Rows[1][1], std::string("Ann!"));
    QTest::keyClick(KeyTarget(dlg), Qt::Key_Return);
    QTest::mouseClick(dlg.BitBtn1, Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(r.Saved(), Line("A1", "Ann!", "pa") + Line("B2", "b", "pb"));
}

void MeiboWindowTest::saveRefusesARowTheFileCannotCarry() {
    TShown r(Line("k1", "a", "pa") + Line("k3", "c", "pc") + Line("k4", "d", "pd"));
    TfMeibo& dlg = r.dlg;
    dlg.Meibo.Rows[1][2] = "\x82\xC1";  // 「っ」: scrambles to 0x1A
    dlg.ShowRows();
    QStringList messages;
    ReadNextBoxThenEnter(messages);
    QTest::mouseClick(dlg.BitBtn1, Qt::LeftButton);
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].contains(QL("1 行目の PassWord")), qPrintable(messages[0]));
    QVERIFY(dlg.isVisible());
    QCOMPARE(r.Saved(), Line("k1", "a", "pa") + Line("k3", "c", "pc") + Line("k4", "d", "pd"));
}

QTEST_MAIN(MeiboWindowTest)
#include "meibo_window_test.moc"
#include "qtry_bounds.h"
