// The controller's main window, folder dialog, client list and score table
// under Qt's offscreen platform.
#include "box_answerer.h"
#include "focus_keys.h"
#include "CmbGrid.h"
#include "CsvWizard.h"
#include "dir_list.h"
#include "func.h"
#include "japanese.h"
#include "ini_text.h"
#include "list.h"
#include "localeorder.h"
#include "main.h"
#include "qtext.h"
#include "meibo.h"
#include "score.h"
#include "shown_texts.h"
#include "tempdir.h"
#include "textfile.h"

#include <QCheckBox>
#include <QCollator>
#include <QDialog>
#include <QMessageBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <QtTest>

#include <cstdlib>
#include <filesystem>

namespace {

// The real window: its messages are the real boxes, answered by keys, and
// their texts recorded; its beeps are counted.
class TestMain : public TfMain {
public:
    using TfMain::TfMain;
    QStringList Messages;
    int Beeps = 0;
    bool Answer = true;
    TBoxAnswerer Boxes{this, &Answer};
    void ShowMessage(const std::string& t) override {
        Messages << Q(t);
        TfMain::ShowMessage(t);
    }
    void Beep() override { ++Beeps; }
};

void Write(const std::string& path, const std::string& bytes) { textfile::WriteFileAtomic(path, bytes); }

// A person clicks into the box and presses Enter: the key goes to the
// focused widget.
void EnterIn(QLineEdit* box) {
    QVERIFY(ClickInto(box));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
}

// A drill program folder: the program and its local settings.
std::string MakeDrillFolder(const TempDir& t, const std::string& name) {
    const std::string dir = t / name + "/";
    std::filesystem::create_directories(dir);
    Write(dir + "ruzozu", "#!/bin/sh\n");
    Write(dir + "ruzozu.ini", sjis::L("[Option]\r\nフルスクリーン=0\r\n出題モード変更=1\r\n"));
    return dir;
}

// A results file as the drill program writes it.
void WriteResults(const std::string& folder, const std::string& computer, const char* id, const char* name,
                  int done, int count, int right, int wrong) {
    std::string text = sjis::L("\"") + id + "\",\"" + sjis::L(name) + "\"\r\n" + sjis::L("\"×\",\"×\"\r\n") +
                       "\"p\"," + std::to_string(count) + "\r\n" + std::to_string(done) + "," +
                       std::to_string(right) + "," + std::to_string(wrong) + "\r\n";
    Write(folder + computer + ".dat", text);
}

}  // namespace

class ControllerWindowTest : public QObject {
    Q_OBJECT
private slots:
    void startWithoutSettingsFile();
    void enterTakesOneFolderAndRefillsTheRest();
    void folderDialogAndDrillFolderChange();
    void modeBoxesAndForcedSettings();
    void updateWritesTheFiles();
    void folderDialogKeepsButtonsCentred();
    void clientListAndScoreTableAreSingle();
    void scoreTableSortsByClickedColumn();
    void textSortsFollowTheLanguage();
    void everyColumnBesideTheScrollBar();
    void longNamesKeepTheWindowOnTheScreen();
    void refreshKeepsTheFocus();
    void csvPreviewColumnsSizedByDragging();
    void csvWizardRefusesAFileTooBig();
    void menuShortcutsWinOverTheBoxes();
    void messagesGiveTheKeyboardBack();
    void everyWindowAndBoxReadsJapanese();
};

void ControllerWindowTest::startWithoutSettingsFile() {
    TempDir t;
    TestMain w(t.path());
    w.FormCreate();
    // The controller's own folder holds no drill program.
    QCOMPARE(w.Messages.size(), 1);
    QCOMPARE(w.Messages[0], Q(DrillFolderMessage(TDrillFolder::NoProgram, false)));
    QCOMPARE(w.Beeps, 1);
    QCOMPARE(w.ExeDirEdit->text(), Q(t.path()));
    QVERIFY(w.NormalCheck->isChecked());
    QVERIFY(!w.TestCheck->isChecked() && !w.RandomCheck->isChecked());
    QVERIFY(!w.AutoRunEdit->isEnabled());  // forced settings are off
    QVERIFY(w.MeiboDirItems[0]->isChecked());
    QVERIFY(w.ToolButton1->isEnabled());

    w.ExeDirEdit->setText(Q(t / "nowhere/"));
    w.GetSettings();
    QVERIFY(!w.ToolButton1->isEnabled());  // no folder: no roster button,
    QVERIFY(w.MeiboItem->isEnabled());     // but the menu still opens it
}

void ControllerWindowTest::enterTakesOneFolderAndRefillsTheRest() {
    TempDir t;
    TestMain w(t.path());
    w.FormCreate();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w, 20000));
    w.FullCheck->setChecked(true);  // not collected yet
    EnterIn(w.QuestionEdit);  // empty: the root
    QCOMPARE(w.Settings.QuestionDir, std::string("/"));
    QCOMPARE(w.QuestionEdit->text(), QStringLiteral("/"));
    QVERIFY(!w.FullCheck->isChecked());  // refilled from the settings

    w.ScoreEdit->setText(Q(t / "missing"));
    EnterIn(w.ScoreEdit);
    QCOMPARE(w.Beeps, 2);  // one at start, one now
    QVERIFY(w.Settings.ScoreDir.empty());
    QCOMPARE(w.ScoreEdit->selectedText(), Q(t / "missing"));

    std::filesystem::create_directories(t / "Scores");
    w.ScoreEdit->setText(Q(t / "Scores"));
    EnterIn(w.ScoreEdit);
    QCOMPARE(w.Settings.ScoreDir, t / "Scores/");

    w.CompulsionCheck->click();  // the forced problem can be typed only in forced mode
    QVERIFY(w.AutoRunEdit->isEnabled());
    w.AutoRunEdit->setText(Q(t / "none.qzb"));
    EnterIn(w.AutoRunEdit);
    QCOMPARE(w.Beeps, 3);
    Write(t / "a.qzb", "x");
    w.AutoRunEdit->setText(Q(t / "a.qzb"));
    EnterIn(w.AutoRunEdit);
    QCOMPARE(w.Settings.AutoRunFile, t / "a.qzb");
}

void ControllerWindowTest::folderDialogAndDrillFolderChange() {
    TempDir t;
    const std::string drill = MakeDrillFolder(t, "Drill");
    TestMain w(t.path());
    w.FormCreate();
    int asked = 0, askedTag = 0;
    std::string chosen, askedStart;
    w.ChooseFolder = [&](int tag, const std::string& start, std::string& out) {
        ++asked;
        askedTag = tag;
        askedStart = start;
        out = chosen;
        return !chosen.empty();
    };
    w.FolderBtnClick(1);  // cancelled
    QCOMPARE(askedTag, 1);
    QCOMPARE(askedStart, t.path());
    QCOMPARE(w.Settings.ExeDir, t.path());
    chosen = drill.substr(0, drill.size() - 1);  // the "/" is added
    w.FolderBtnClick(1);
    QCOMPARE(asked, 2);
    QCOMPARE(w.Settings.ExeDir, drill);
    // The new drill folder's settings were read and shown.
    QVERIFY(!w.FullCheck->isChecked());
    QVERIFY(w.ModeCheck->isChecked());
    QCOMPARE(w.Messages.size(), 1);  // only the one at start
    // A folder whose name holds CR LF, or a path the view could not name
    // (it comes back empty): refused with a message, nothing stored.
    std::filesystem::create_directories(t / "Scores\r\n[Auto]\r\nx");
    for (const std::string& bad : {t / "Scores\r\n[Auto]\r\nx", std::string()}) {
        chosen = bad;
        asked = 0;
        w.ChooseFolder = [&](int, const std::string&, std::string& out) {
            ++asked;
            out = chosen;
            return true;
        };
        w.FolderBtnClick(3);
        QCOMPARE(asked, 1);
        QCOMPARE(w.Messages.size(), 2);
        QCOMPARE(w.Messages.back(), Q(UnstorableFolderMessage()));
        w.Messages.removeLast();
        QCOMPARE(w.Settings.ScoreDir, std::string());
        QCOMPARE(w.ScoreEdit->text(), QString());
    }
    w.BitBtn1Click();
    for (const char* f : {"ruzozu.ini", "ruzozu.dvk"}) QVERIFY(Slurp(drill + f).find("[Auto]\r\nx") == std::string::npos);
}

void ControllerWindowTest::modeBoxesAndForcedSettings() {
    TempDir t;
    TestMain w(t.path());
    w.FormCreate();
    w.CompulsionCheck->click();
    QVERIFY(w.AutoRunEdit->isEnabled() && w.AutoRunBtn->isEnabled() && w.TestCheck->isEnabled());
    w.TestCheck->click();
    QVERIFY(!w.NormalCheck->isChecked());
    w.RandomCheck->click();
    QVERIFY(w.TestCheck->isChecked() && w.RandomCheck->isChecked());
    w.TestCheck->click();
    QVERIFY(!w.NormalCheck->isChecked());  // random still on
    w.RandomCheck->click();
    QVERIFY(w.NormalCheck->isChecked());
    w.NormalCheck->click();
    QVERIFY(!w.NormalCheck->isChecked() && !w.TestCheck->isChecked() && !w.RandomCheck->isChecked());
    w.TestCheck->click();
    w.NormalCheck->click();
    QVERIFY(w.NormalCheck->isChecked() && !w.TestCheck->isChecked());
    w.CompulsionCheck->click();
    QVERIFY(!w.NormalCheck->isEnabled());
}

void ControllerWindowTest::updateWritesTheFiles() {
    TempDir t;
    const std::string drill = MakeDrillFolder(t, "Drill");
    std::filesystem::create_directories(t / "Scores");
    TestMain w(t.path());
    w.FormCreate();
    w.ExeDirEdit->setText(Q(drill));
    w.ScoreEdit->setText(Q(t / "Scores/"));
    w.FullCheck->setChecked(true);
    w.MeiboDirItems[1]->setChecked(true);
    w.BitBtn1Click();
    QCOMPARE(w.Messages.size(), 1);  // the start's only: the folder is good now
    TIniFile own(t / "vaduvov.ini");
    QCOMPARE(own.ReadString("Data", sjis::L("Ruzozu実行Dir"), ""), drill);
    QVERIFY(TIniFile(drill + "ruzozu.ini").ReadBool("Option", sjis::L("フルスクリーン"), false));
    TIniFile dvk(drill + "ruzozu.dvk");
    QCOMPARE(dvk.ReadString("Data", "Folder", ""), t / "Scores/");
    QCOMPARE(dvk.ReadString("Data", sjis::L("名簿Dir"), ""), t / "Scores/");

    // A settings file that cannot be written is named in a message; the
    // other files are still written.
    std::filesystem::remove(drill + "ruzozu.dvk");
    std::filesystem::create_directories(drill + "ruzozu.dvk");
    w.FullCheck->setChecked(false);
    w.BitBtn1Click();
    QCOMPARE(w.Messages.size(), 2);
    QVERIFY(w.Messages.last().startsWith(QString::fromUtf8("設定を保存できませんでした。")));
    QVERIFY(w.Messages.last().contains(Q(drill + "ruzozu.dvk")));
    QVERIFY(!w.Messages.last().contains(Q(drill + "ruzozu.ini")));
    QVERIFY(!TIniFile(drill + "ruzozu.ini").ReadBool("Option", sjis::L("フルスクリーン"), true));
    std::filesystem::remove(drill + "ruzozu.dvk");

    // A folder that is not there: the own file is written, then the message.
    w.ExeDirEdit->setText(Q(t / "gone/"));
    w.close();
    QCOMPARE(w.Messages.last(), Q(DrillFolderMessage(TDrillFolder::NotSet, true)));
    QCOMPARE(TIniFile(t / "vaduvov.ini").ReadString("Data", sjis::L("Ruzozu実行Dir"), "x"), std::string());
}

void ControllerWindowTest::folderDialogKeepsButtonsCentred() {
    TfDirList dlg(nullptr);
    dlg.show();
    for (int width : {250, 400, 190}) {
        dlg.resize(width, 328);
        QTRY_COMPARE(dlg.width(), width);
        QCOMPARE(dlg.BitBtn2->x() - (dlg.BitBtn1->x() + dlg.BitBtn1->width()), 20);
        QCOMPARE(dlg.BitBtn1->x(), (width - 150 - 20) / 2);
    }
}

void ControllerWindowTest::clientListAndScoreTableAreSingle() {
    TempDir t;
    std::filesystem::create_directories(t / "Scores");
    WriteResults(t / "Scores/", "pc10", "s1", "一郎", 2, 8, 1, 1);
    WriteResults(t / "Scores/", "PC2", "s2", "二郎", 3, 3, 2, 1);
    for (const char* pc : {"q1", "q2", "q3", "q4"}) WriteResults(t / "Scores/", pc, "s", "x", 0, 1, 0, 0);
    TestMain w(t.path());
    w.FormCreate();
    w.Settings.ScoreDir = t / "Scores/";
    w.Settings.ListInterval = 0;
    w.ToolButton2Click();
    QVERIFY(w.fList);
    TfList* list = w.fList;
    w.ToolButton2Click();
    QCOMPARE(w.fList.data(), list);  // a second click does nothing
    QCOMPARE(list->Grid->RowCount(), 7);
    QCOMPARE(list->Grid->Cells(0, 1), std::string("pc10"));  // by name, whatever the case
    QCOMPARE(list->Grid->Cells(8, 1), std::string("13"));
    QCOMPARE(list->Grid->Cells(6, 2), std::string("3"));  // all answered: done is the count
    QCOMPARE(list->Grid->Cells(1, 0), std::string("User Name"));
    QCOMPARE(list->Grid->LeftCol(), 0);  // every column in view, the first one too
    QVERIFY(!list->Grid->CellRect(0, 1).isEmpty());
    QVERIFY(!list->Timer1->isActive());  // 0: no automatic refresh
    list->SpinEdit1->setValue(2);
    QCOMPARE(list->Timer1->interval(), 2000);
    // The width is the window's own; only the height may change.  The
    // scroll bar's room is added while rows are out of view.
    QVERIFY(list->windowHandle());
    QCOMPARE(list->windowHandle()->minimumWidth(), list->windowHandle()->maximumWidth());
    QCOMPARE(list->windowHandle()->maximumWidth(), list->width());
    QCOMPARE(list->ScrollExtra, 0);
    const int fitted = list->width();
    list->resize(fitted, 150);
    QTRY_VERIFY(list->ScrollExtra > 0);
    QCOMPARE(list->width(), fitted + list->ScrollExtra);
    list->resize(list->width(), list->windowHandle()->maximumHeight());
    QTRY_COMPARE(list->ScrollExtra, 0);
    QCOMPARE(list->width(), fitted);

    list->move(40, 30);
    list->close();
    QTRY_VERIFY(!w.fList);
    QCOMPARE(w.Settings.ListInterval, 2);
    QCOMPARE(w.Settings.ListLeft, 40);

    w.ToolButton1Click();
    QVERIFY(w.fScore);
    w.close();  // the open table stores its settings before the file is written
    QVERIFY(!w.fScore);
    QCOMPARE(TIniFile(t / "vaduvov.ini").ReadInteger("Data", sjis::L("一覧更新秒数"), 0), 2);
}

void ControllerWindowTest::scoreTableSortsByClickedColumn() {
    TempDir t;
    const std::string scores = t / "Scores/";
    std::filesystem::create_directories(scores);
    WriteResults(scores, "a", "b2", "x", 1, 4, 1, 0);   // 25 %
    WriteResults(scores, "b", "A1", "y", 4, 4, 4, 0);   // 100 %
    WriteResults(scores, "c", "c3", "z", 2, 4, 2, 0);   // 50 %
    TControllerSettings s;
    s.ScoreDir = scores;
    s.ScoreInterval = 0;
    TfScore table(nullptr, s);
    table.show();
    auto column = [&](int c) {
        QStringList out;
        for (int r = 1; r < table.Grid->RowCount(); ++r) out << Q(table.Grid->Cells(c, r));
        return out;
    };
    // Opens with the best percentage on top.
    QCOMPARE(column(5), (QStringList{"100", "50", "25"}));
    QCOMPARE(column(4), (QStringList{"4/4", "2/4", "1/4"}));

    auto click = [&](int col) {
        QRect r = table.Grid->CellRect(col, 0);
        table.ScoreGridMouseUp(r.center().x(), r.center().y());
    };
    click(1);
    QCOMPARE(column(1), (QStringList{"A1", "b2", "c3"}));  // without regard to case
    click(1);
    QCOMPARE(column(1), (QStringList{"c3", "b2", "A1"}));
    click(1);
    QCOMPARE(column(1), (QStringList{"A1", "b2", "c3"}));
    QCOMPARE(table.SortState.State[5], 0);  // the first sort was reset
    // A refresh keeps the chosen sort.
    WriteResults(scores, "d", "0", "w", 0, 4, 0, 0);
    table.Timer1Timer();
    QCOMPARE(column(1), (QStringList{"0", "A1", "b2", "c3"}));
    QVERIFY(table.Grid->isEnabled());
}

void ControllerWindowTest::textSortsFollowTheLanguage() {
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    auto sjisOf = [](const QStringList& list) {
        std::vector<std::string> out;
        for (const QString& s : list) out.push_back(sjis::L(s.toUtf8().constData()));
        return out;
    };
    auto namesIn = [](const std::vector<std::string>& texts, const std::vector<size_t>& order) {
        QStringList out;
        for (size_t i : order) out << Q(texts[i]);
        return out;
    };
    // Hiragana, katakana and half-width katakana by their readings, not
    // by their codes.
    const std::vector<std::string> kana = sjisOf({"かとう", "すずき", "サトウ", "ｱｵｷ"});
    QCOMPARE(namesIn(kana, LocaleTextOrder(kana, japanese)), (QStringList{"ｱｵｷ", "かとう", "サトウ", "すずき"}));

    // Kanji, full-width and half-width letters and digits, both cases: the
    // grid sort gives the collator's own order.
    const QStringList mixed{"山田", "ｻｲﾄｳ", "ＡＢＣ", "abd", "Abc", "さいとう", "田中", "ＺＥＴＡ", "1番",
                            "１０番", "ｲﾄｳ", "いとう", "beta", "Ａlpha", "中村", "なかむら"};
    QStringList expected = mixed;
    QCollator collator(japanese);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(expected.begin(), expected.end(),
                     [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    SetTextOrder([japanese](const std::vector<std::string>& texts) { return LocaleTextOrder(texts, japanese); });
    TGridRows rows{{"User ID", "n"}};
    for (const std::string& t : sjisOf(mixed)) rows.push_back({t, "x"});
    rows.push_back({"", "entry"});  // the blank last row stays last
    SortGridStr(rows, 1, 0, 1);
    QStringList got;
    for (size_t r = 1; r + 1 < rows.size(); ++r) got << Q(rows[r][0]);
    QCOMPARE(got, expected);
    QCOMPARE(rows.back()[1], std::string("entry"));
    // Case and width alone do not part two names.
    QVERIFY(std::abs(got.indexOf("ＡＢＣ") - got.indexOf("Abc")) == 1);
    QVERIFY(std::abs(got.indexOf("ｲﾄｳ") - got.indexOf("いとう")) == 1);
    QCOMPARE(collator.compare("ｲﾄｳ", "いとう"), 0);

    // The score table sorts its names that way when a title is clicked,
    // whatever locale the program was started in.
    TempDir t;
    const std::string scores = t / "Scores/";
    std::filesystem::create_directories(scores);
    WriteResults(scores, "pc1", "1", "かとう", 1, 4, 1, 0);
    WriteResults(scores, "pc2", "2", "すずき", 1, 4, 1, 0);
    WriteResults(scores, "pc3", "3", "サトウ", 1, 4, 1, 0);
    WriteResults(scores, "pc4", "4", "ｱｵｷ", 1, 4, 1, 0);
    SetTextOrder(nullptr);  // the byte order, until a window sets its own
    TControllerSettings s;
    s.ScoreDir = scores;
    s.ScoreInterval = 0;
    TfScore table(nullptr, s);
    table.show();
    const QRect title = table.Grid->CellRect(2, 0);
    table.ScoreGridMouseUp(title.center().x(), title.center().y());
    QStringList names;
    for (int r = 1; r < table.Grid->RowCount(); ++r) names << Q(table.Grid->Cells(2, r));
    if (SortLocale().language() == QLocale::Japanese)
        QCOMPARE(names, (QStringList{"ｱｵｷ", "かとう", "サトウ", "すずき"}));
    QStringList byCollator = names;
    QCollator user(SortLocale());
    user.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(byCollator.begin(), byCollator.end(),
                     [&](const QString& a, const QString& b) { return user.compare(a, b) < 0; });
    QCOMPARE(names, byCollator);
    QVERIFY(names != (QStringList{"かとう", "すずき", "サトウ", "ｱｵｷ"}));  // not the byte order
}

// The grid and the panel fill the window's width, so the last column lies
// left of the scroll bar and the close button is centred.
void CheckLayout(TResultsWindow& w) {
    QCOMPARE(w.Grid->geometry(), QRect(0, 0, w.width(), w.height() - w.Panel1->height()));
    QCOMPARE(w.Panel1->geometry(), QRect(0, w.height() - w.Panel1->height(), w.width(), w.Panel1->height()));
    QCOMPARE(w.BitBtn1->x(), (w.width() - w.BitBtn1->width()) / 2);
    const int last = w.Grid->ColCount() - 1;
    const QRect cell = w.Grid->CellRect(last, 0);
    QVERIFY(!cell.isEmpty());
    QVERIFY2(w.Grid->viewport()->width() >= cell.right() + 1, "the last column lies under the scroll bar");
    const bool bar = w.Grid->verticalScrollBar()->isVisible();
    QCOMPARE(w.ScrollExtra > 0, bar);
    if (bar)
        QVERIFY(w.Grid->verticalScrollBar()->mapTo(w.Grid, QPoint(0, 0)).x() >=
                w.Grid->viewport()->x() + cell.right() + 1);
}

// A class of computers pc101.. in the score folder: from the first up to
// the last, written (on) or removed.
void SetClass(const std::string& scores, int first, int last, bool on) {
    for (int i = first; i <= last; ++i) {
        const std::string pc = "pc" + std::to_string(100 + i);
        if (on)
            WriteResults(scores, pc, "s", "x", 1, 8, 1, 0);
        else
            textfile::DeleteFile(scores + pc + ".dat");
    }
}

// Opened on a class of 40 (more rows than the screen holds), refreshed
// with 3 left (all fit), and with the 40 back.
template <typename W>
void ClassOfForty(const std::string& scores, TControllerSettings& s) {
    SetClass(scores, 1, 40, true);
    W w(nullptr, s);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w, 20000));
    for (int shown : {40, 3, 40}) {
        SetClass(scores, 4, 40, shown == 40);
        if (w.Grid->RowCount() != shown + 1) w.Timer1Timer();
        QTRY_COMPARE(w.Grid->RowCount(), shown + 1);
        QTRY_COMPARE(w.ScrollExtra > 0, shown == 40);
        QTRY_COMPARE(w.Grid->verticalScrollBar()->isVisible(), shown == 40);
        CheckLayout(w);
        if (QTest::currentTestFailed()) return;
    }
}

void ControllerWindowTest::everyColumnBesideTheScrollBar() {
    TempDir t;
    const std::string scores = t / "Scores/";
    std::filesystem::create_directories(scores);
    TControllerSettings s;
    s.ScoreDir = scores;
    s.ListInterval = s.ScoreInterval = 0;
    ClassOfForty<TfList>(scores, s);
    if (QTest::currentTestFailed()) return;
    ClassOfForty<TfScore>(scores, s);
}

// A 200,000-character user and problem name: the cells hold what the
// reader keeps of them, the windows keep to the screen with their close button on it, and
// the columns past the long ones are reached by scrolling sideways.
template <typename W>
void LongNames(TControllerSettings& s, int nameCol) {
    W w(nullptr, s);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w, 20000));
    w.Timer1Timer();
    const QRect screen = w.screen()->availableGeometry();
    QVERIFY2(w.width() <= screen.width(), qPrintable(QString::number(w.width())));
    QVERIFY(w.x() >= screen.left() && w.x() + w.width() <= screen.right() + 1);
    QVERIFY(w.BitBtn1->geometry().right() < w.width());
    QCOMPARE(w.Grid->Cells(nameCol, 1).size(), kMaxResultsFieldBytes);
    QVERIFY(w.Grid->ColWidths(nameCol) < 20 * static_cast<int>(TComboGrid::kShownBytes));
    QVERIFY(w.Grid->horizontalScrollBar()->isVisible());
    const int last = w.Grid->ColCount() - 1;
    w.Grid->SetLeftCol(last);
    QVERIFY(!w.Grid->CellRect(last, 1).isEmpty());
    // The rows stay in view above the sideways scroll bar.
    QVERIFY(w.Grid->viewport()->height() >= w.Grid->CellRect(last, 1).bottom());
}

void ControllerWindowTest::longNamesKeepTheWindowOnTheScreen() {
    TempDir t;
    const std::string scores = t / "Scores/";
    std::filesystem::create_directories(scores);
    const std::string name(200000, 'W');
    Write(scores + "pc1.dat", "\"s1\",\"" + name + "\"\r\n\"x\",\"x\"\r\n\"" + name + "\",8\r\n1,1,0\r\n");
    TControllerSettings s;
    s.ScoreDir = scores;
    s.ListInterval = s.ScoreInterval = 0;
    s.ListLeft = s.ScoreLeft = 300;
    LongNames<TfList>(s, 1);
    if (QTest::currentTestFailed()) return;
    LongNames<TfScore>(s, 2);
}

// The score table's refresh leaves the keyboard where it was: a digit
// typed into the grid after a refresh never reaches the interval box.
void ControllerWindowTest::refreshKeepsTheFocus() {
    TempDir t;
    const std::string scores = t / "Scores/";
    std::filesystem::create_directories(scores);
    WriteResults(scores, "a", "b2", "x", 1, 4, 1, 0);
    TControllerSettings s;
    s.ScoreDir = scores;
    s.ScoreInterval = 1;
    TfScore table(nullptr, s);
    table.show();
    QVERIFY(QTest::qWaitForWindowActive(&table, 20000));
    // The teacher clicks into the table.
    QTest::mouseClick(table.Grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                      table.Grid->CellRect(1, 1).center());
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(table.Grid));
    for (int tick = 0; tick < 3; ++tick) {
        WriteResults(scores, "pc" + std::to_string(tick), "s", "y", 1, 4, 1, 0);
        QTRY_COMPARE_WITH_TIMEOUT(table.Grid->RowCount(), tick + 3, 20000);  // the timer's refresh
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(table.Grid));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_7);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    }
    QCOMPARE(table.SpinEdit1->value(), 1);
    QVERIFY(table.Grid->isEnabled());
}

// The CSV wizard's preview: a title boundary dragged sizes its column and
// maps nothing, though a target is armed; a click on a column maps it.
void ControllerWindowTest::csvPreviewColumnsSizedByDragging() {
    TempDir t;
    Write(t / "a.csv", "id,name,pw\r\nA1,Ann,p1\r\n");
    TMeiboGrid roster;
    TfCsvWizard w(nullptr, roster);
    w.CsvFileName = t / "a.csv";
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w, 20000));
    QCOMPARE(w.CsvGrid->ColCount(), 3);
    QCOMPARE(w.CsvGrid->FixedRows(), 1);  // the mapping row
    QTest::mouseClick(w.SpeedButton1, Qt::LeftButton);
    QCOMPARE(w.Model.Target, 1);
    QWidget* vp = w.CsvGrid->viewport();
    const int before = w.CsvGrid->ColWidths(0);
    const QPoint grip(w.CsvGrid->CellRect(0, 0).right() + 1, w.CsvGrid->CellRect(0, 0).center().y());
    QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, grip);
    QTest::mouseMove(vp, grip + QPoint(20, 0));
    QTest::mouseMove(vp, grip + QPoint(40, 0));
    QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, grip + QPoint(40, 0));
    QCOMPARE(w.CsvGrid->ColWidths(0), before + 40);
    QCOMPARE(w.Model.ColumnMap[1], -1);
    QCOMPARE(w.CsvGrid->Cells(0, 0), std::string());
    QCOMPARE(w.Model.Target, 1);
    // The wider column still maps by a click.
    QTest::mouseClick(vp, Qt::LeftButton, Qt::NoModifier, w.CsvGrid->CellRect(0, 1).center());
    QCOMPARE(w.Model.ColumnMap[1], 0);
    QCOMPARE(w.CsvGrid->Cells(0, 0), std::string("User ID"));
    w.reject();
}

// A file beyond what the wizard takes is refused with the real message
// box, and the wizard ends with the roster untouched.
void ControllerWindowTest::csvWizardRefusesAFileTooBig() {
    TempDir t;
    Write(t / "big.csv", std::string(TCsvWizardModel::kMaxLines + 1, '\n') + "late\n");
    TMeiboGrid roster;
    roster.Rows[1] = {"Z", "z", "pz"};
    QStringList shown;
    ModalCatcher catcher([&shown](QWidget* box) { shown << ShownTexts(box); });
    TfCsvWizard w(nullptr, roster);
    w.CsvFileName = t / "big.csv";
    w.show();
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 20000);
    QCOMPARE(catcher.Count, 1);
    QVERIFY2(shown.join("\n").contains(QL("行目で、読み込める大きさを超えました。")), qPrintable(shown.join("\n")));
    QCOMPARE(w.result(), int(QDialog::Rejected));
    QCOMPARE(roster.Rows[1], (std::vector<std::string>{"Z", "z", "pz"}));
    QCOMPARE(w.Model.Preview.size(), size_t(1));
}

void ControllerWindowTest::menuShortcutsWinOverTheBoxes() {
    TempDir t;
    TestMain w(t.path());
    w.FormCreate();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w, 20000));
    QVERIFY(ClickInto(w.ExeDirEdit));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QVERIFY(w.fList);  // the client list, not a selection of the text
    w.close();
}

// A message leaves the keyboard with the window it stood over: typing goes
// on in the box the person was in, with no step of theirs (without a window
// manager nobody else hands the keyboard back).
void ControllerWindowTest::messagesGiveTheKeyboardBack() {
    TempDir t;
    std::filesystem::create_directories(t / "NoDrill");
    TestMain w(t.path());
    w.FormCreate();  // one message at the start: no drill program in its own folder
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w, 20000));
    for (int round = 1; round <= 2; ++round) {
        w.ExeDirEdit->setText(Q(t / "NoDrill"));
        EnterIn(w.ExeDirEdit);  // a folder without the drill program: a message
        QTRY_COMPARE_WITH_TIMEOUT(w.Messages.size(), 1 + round, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), static_cast<QWidget*>(&w), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), static_cast<QWidget*>(w.ExeDirEdit), 20000);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
        QTest::keyClicks(QApplication::focusWidget(), "x");
        QCOMPARE(w.ExeDirEdit->text(), Q(t / "NoDrill/x"));
    }

    // The modal dialog on top has the keyboard again once a message over it
    // has gone; the dialog's end gives it back to the main window.
    QDialog dlg(&w);
    auto* edit = new QLineEdit(&dlg);
    bool yes = true;
    TBoxAnswerer boxes(&dlg, &yes);
    bool backInDialog = false;
    QTimer::singleShot(0, &dlg, [&] {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("t"), QStringLiteral("m"), QMessageBox::Ok, &dlg);
        box.exec();  // answered by keys
        backInDialog = QTest::qWaitFor(
            [&] { return QApplication::activeWindow() == &dlg && QApplication::focusWidget() == edit; }, 20000);
        if (backInDialog)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);  // the person closes the dialog
        else
            dlg.reject();
    });
    dlg.exec();
    QVERIFY(backInDialog);
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), static_cast<QWidget*>(&w), 20000);
    w.close();
}

void ControllerWindowTest::everyWindowAndBoxReadsJapanese() {
    QVERIFY(LoadQtJapanese());  // as the program does at start
    TempDir t;
    QStringList english, seen;
    auto read = [&](QWidget* w) {
        seen << w->metaObject()->className();
        // The system's own names and captions: the program's, the roster's
        // column titles and the file types.
        const QStringList own = {"RUZOZU", "Controller", "Network", "Ver", "User", "ID", "Name", "PassWord", "csv",
                                 "txt", "qzb", "CSV", "HTML"};
        for (const QString& e : EnglishWords(ShownTexts(w), own))
            english << QString(w->metaObject()->className()) + ": " + e;
    };
    ModalCatcher catcher(read);
    TfMain w(t.path());  // the real boxes, not counted ones
    w.show();
    w.FormCreate();  // no drill program here: a message
    read(&w);
    std::string chosen;
    w.ChooseFolder(1, t.path(), chosen);
    w.ChooseProblem(t.path(), chosen);
    w.About1Click();
    w.OpenRoster();
    {
        TfMeibo roster(nullptr, w.Settings);
        QVERIFY(roster.ChooseCsvFile().isEmpty());
        TfCsvWizard wizard(nullptr, roster.Meibo);
        wizard.show();
        read(&wizard);
        wizard.BitBtn1Click();  // nothing mapped: a message
    }
    TfList list(nullptr, w.Settings);
    read(&list);
    TfScore score(nullptr, w.Settings);
    read(&score);
    QVERIFY2(english.isEmpty(), qPrintable(english.join("\n")));
    QCOMPARE(seen, QStringList({"QMessageBox", "TfMain", "TfDirList", "QFileDialog", "TfAbout", "TfMeibo",
                                "QFileDialog", "TfCsvWizard", "QMessageBox", "TfList", "TfScore"}));
    w.close();
}

QTEST_MAIN(ControllerWindowTest)
#include "controller_window_test.moc"
#include "qtry_bounds.h"
