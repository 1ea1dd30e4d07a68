#include "main.h"
#include "winpos.h"

#include "about.h"
#include "ShView.h"
#include "dir_list.h"
#include "ini_text.h"
#include "keyboard_return.h"
#include "list.h"
#include "meibo.h"
#include "modeboxes.h"
#include "qtext.h"
#include "score.h"
#include "textfile.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyle>
#include <QWindow>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

namespace {

const char* const kCaption = "RUZOZU Controller for Network";

QFont BoldFont(const QFont& base) {
    QFont f = base;
    f.setBold(true);
    return f;
}

}  // namespace

TfMain::TfMain(const std::string& exeFolder) : ExeFolder(exeFolder) {
    setObjectName("fMain");
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPixelSize(12);
    setFont(font);
    // Shown, and after every dialog and message, the window (or the dialog
    // on top) has the keyboard: a kiosk without a window manager hands it
    // to nobody.
    keyboard_return::Install(this);

    ChooseFolder = [this](int tag, const std::string& start, std::string& chosen) {
        static const char* const captions[] = {"", "RUZOZU 実行ファイルフォルダー指定", "RUZOZU 問題フォルダー指定",
                                               "RUZOZU 個人成績フォルダー指定"};
        TfDirList dlg(this);
        dlg.setWindowTitle(QL(captions[tag]));
        dlg.FolderView1->SetSelectedPath(start);
        if (dlg.exec() != QDialog::Accepted) return false;
        chosen = dlg.FolderView1->GetSelectedPath();
        return true;
    };
    ChooseProblem = [this](const std::string& startFolder, std::string& chosen) {
        QFileDialog dlg(this, QString(), startFolder.empty() ? QString() : QPath(startFolder),
                        QL("問題ファイル(*.qzb)"));
        dlg.setFileMode(QFileDialog::ExistingFile);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
        bool ok;
        chosen = S(dlg.selectedFiles().first(), &ok);
        return ok;
    };
    OpenRoster = [this] {
        TfMeibo dlg(this, Settings);
        dlg.exec();
    };

    BuildMenu();
    auto* client = new QWidget(this);
    client->setFixedSize(578, 265);
    BuildControls(client);
    setCentralWidget(client);
    resize(sizeHint());
}

// The window keeps its own size, a limit told to the window system alone:
// a window manager that gives it more all the same (a kiosk manager gives
// every window the whole screen) is followed, and the window's background
// fills what is beyond the controls instead of nothing being painted there.
void TfMain::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (QWindow* w = windowHandle()) {
        const QSize own = sizeHint();
        w->setMinimumSize(own);
        w->setMaximumSize(own);
    }
}

// The list and the table store their values into the settings as they go:
// they go before the settings do.
TfMain::~TfMain() {
    delete fList.data();
    delete fScore.data();
}

void TfMain::FormCreate() {
    TDrillFolder state = ReadIniFile(Settings, OwnIniPath(), ExeFolder);
    PlaceFrame(this, QPoint(Settings.Left, Settings.Top));
    ReportDrillFolder(state, false);
    // A settings file in a form that cannot be read (UTF-16, say).
    for (const std::string& why : Settings.ReadErrors) ShowMessage(why);
    ShowSettings();
    ToolButton1->setEnabled(textfile::DirectoryExists(Settings.ExeDir));
}

void TfMain::BuildMenu() {
    QMenu* file = menuBar()->addMenu(QL("ファイル(&F)"));
    MeiboItem = file->addAction(QL("名簿管理(&M)"), this, [this] { ToolButton3Click(); });
    file->addSeparator();
    file->addAction(QL("終了(&Q)"), this, [this] { Exit1Click(); });
    QMenu* view = menuBar()->addMenu(QL("表示(&P)"));
    view->addAction(QL("クライアント一覧表(&C)"), QKeySequence(Qt::CTRL | Qt::Key_A), this,
                    [this] { ToolButton2Click(); });
    view->addAction(QL("成績一覧表(&S)"), QKeySequence(Qt::CTRL | Qt::Key_S), this, [this] { ToolButton1Click(); });
    QMenu* help = menuBar()->addMenu(QL("ヘルプ(&H)"));
    help->addAction(QL("ヘルプ目次"), QKeySequence(Qt::Key_F1), this, [this] { Contents1Click(); });
    help->addAction(QL("バージョン情報(&A)..."), this, [this] { About1Click(); });
}

// The tool bar: roster, client list, score table.
void TfMain::BuildToolButtons(QWidget* client) {
    auto tool = [&](const char* name, int x, const char* hint, QStyle::StandardPixmap icon) {
        auto* b = new QToolButton(client);
        b->setObjectName(name);
        b->setGeometry(x, 3, 26, 26);
        b->setAutoRaise(true);
        b->setIcon(style()->standardIcon(icon));
        b->setToolTip(QL(hint));
        return b;
    };
    ToolButton1 = tool("ToolButton1", 10, "名簿", QStyle::SP_FileDialogDetailedView);
    ToolButton2 = tool("ToolButton2", 44, "ネットワーク一覧表", QStyle::SP_ComputerIcon);
    ToolButton3 = tool("ToolButton3", 70, "成績表示", QStyle::SP_FileDialogContentsView);
    connect(ToolButton1, &QToolButton::clicked, this, [this] { ToolButton3Click(); });
    connect(ToolButton2, &QToolButton::clicked, this, [this] { ToolButton2Click(); });
    connect(ToolButton3, &QToolButton::clicked, this, [this] { ToolButton1Click(); });
}

// The buttons that save the settings and close the window.
void TfMain::BuildFormButtons(QWidget* client) {
    auto* update = new QPushButton(QL("更　新(&N)"), client);
    update->setObjectName("BitBtn1");
    update->setGeometry(318, 228, 100, 28);
    update->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    connect(update, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    auto* quit = new QPushButton(QL("終　了(&Q)"), client);
    quit->setObjectName("BitBtn2");
    quit->setGeometry(448, 228, 100, 28);
    quit->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    connect(quit, &QPushButton::clicked, this, [this] { Exit1Click(); });
}

void TfMain::BuildControls(QWidget* client) {
    BuildToolButtons(client);

    auto group = [&](const char* name, const char* title, int x, int y, int w, int h) {
        auto* g = new QGroupBox(QL(title), client);
        g->setObjectName(name);
        g->setGeometry(x, y, w, h);
        g->setFont(BoldFont(font()));
        return g;
    };
    auto edit = [&](QWidget* parent, const char* name, int x, int y, int w) {
        auto* e = new QLineEdit(parent);
        e->setObjectName(name);
        e->setGeometry(x, y, w, 21);
        e->setFont(font());
        e->installEventFilter(this);
        return e;
    };
    auto folderButton = [&](QWidget* parent, const char* name, int x, int y, int tag) {
        auto* b = new QPushButton(QStringLiteral("..."), parent);
        b->setObjectName(name);
        b->setGeometry(x, y, 24, 21);
        b->setFont(font());
        b->setProperty("Tag", tag);
        connect(b, &QPushButton::clicked, this, [this, tag] { FolderBtnClick(tag); });
        return b;
    };
    auto check = [&](QWidget* parent, const char* name, const char* text, int x, int y, int w) {
        auto* c = new QCheckBox(QL(text), parent);
        c->setObjectName(name);
        c->setGeometry(x, y, w, 18);
        c->setFont(font());
        return c;
    };

    QGroupBox* g1 = group("GroupBox1", "RUZOZU 実行ファイルが存在するフォルダー", 8, 34, 280, 50);
    ExeDirEdit = edit(g1, "ExeDirEdit", 8, 20, 236);
    ExeDirBtn = folderButton(g1, "ExeDirBtn", 248, 20, 1);

    QGroupBox* g2 = group("GroupBox2", "RUZOZU 環境設定のコントロール", 8, 88, 280, 86);
    FullCheck = check(g2, "FullCheck", "フルスクリーン", 8, 18, 120);
    ModeCheck = check(g2, "ModeCheck", "出題モード変更", 140, 18, 130);
    auto* label = new QLabel(QL("問題フォルダー"), g2);
    label->setFont(font());
    label->setGeometry(8, 38, 120, 16);
    QuestionEdit = edit(g2, "QuestionEdit", 8, 56, 236);
    QestionBtn = folderButton(g2, "QestionBtn", 248, 56, 2);

    QGroupBox* g4 = group("GroupBox4", "個人成績格納フォルダー", 8, 180, 280, 50);
    ScoreEdit = edit(g4, "ScoreEdit", 8, 20, 236);
    ScoreBtn = folderButton(g4, "ScoreBtn", 248, 20, 3);

    CompulsionCheck = check(client, "CompulsionCheck", "強制　設定モード", 304, 34, 150);
    CompulsionCheck->setFont(BoldFont(font()));
    connect(CompulsionCheck, &QCheckBox::clicked, this, [this] { CompulsionCheckClick(); });
    QGroupBox* g3 = group("GroupBox3", "", 296, 52, 274, 104);
    auto* autoLabel = new QLabel(QL("自動実行問題ファイル"), g3);
    autoLabel->setFont(BoldFont(font()));
    autoLabel->setGeometry(8, 8, 200, 16);
    AutoRunEdit = edit(g3, "AutoRunEdit", 8, 26, 230);
    AutoRunBtn = new QPushButton(QStringLiteral("..."), g3);
    AutoRunBtn->setObjectName("AutoRunBtn");
    AutoRunBtn->setGeometry(242, 26, 24, 21);
    AutoRunBtn->setFont(font());
    connect(AutoRunBtn, &QPushButton::clicked, this, [this] { AutoRunBtnClick(); });
    NormalCheck = check(g3, "NormalCheck", "ノーマル　モード", 8, 56, 130);
    TestCheck = check(g3, "TestCheck", "テスト　モード", 140, 56, 126);
    RandomCheck = check(g3, "RandomCheck", "ランダム　モード", 8, 78, 130);
    int tag = 1;
    for (QCheckBox* c : {NormalCheck, TestCheck, RandomCheck}) {
        c->setProperty("Tag", tag);
        connect(c, &QCheckBox::clicked, this, [this, tag](bool on) { ModeClick(tag, on); });
        ++tag;
    }

    QGroupBox* radio = group("MeiboDirBtn", "名簿ファイルを作成するフォルダー", 296, 160, 274, 58);
    auto* choices = new QButtonGroup(radio);
    const char* items[] = {"RUZOZU 実行ファイルが存在するところ", "個人成績格納フォルダー"};
    for (int i = 0; i < 2; ++i) {
        MeiboDirItems[i] = new QRadioButton(QL(items[i]), radio);
        MeiboDirItems[i]->setFont(font());
        MeiboDirItems[i]->setGeometry(8, 16 + 19 * i, 258, 18);
        choices->addButton(MeiboDirItems[i], i);
    }
    MeiboDirItems[0]->setChecked(true);

    BuildFormButtons(client);
}

// ---------------------------------------------------------------- settings

TSettingsControls TfMain::Controls() const {
    TSettingsControls c;
    auto text = [](QLineEdit* e) {
        bool ok;
        std::string s = S(e->text(), &ok);
        return ok ? s : std::string();
    };
    c.ExeDirEdit = text(ExeDirEdit);
    c.QuestionEdit = text(QuestionEdit);
    c.ScoreEdit = text(ScoreEdit);
    c.AutoRunEdit = text(AutoRunEdit);
    c.FullCheck = FullCheck->isChecked();
    c.ModeCheck = ModeCheck->isChecked();
    c.CompulsionCheck = CompulsionCheck->isChecked();
    c.NormalCheck = NormalCheck->isChecked();
    c.TestCheck = TestCheck->isChecked();
    c.RandomCheck = RandomCheck->isChecked();
    c.MeiboDirBtn = MeiboDirItems[1]->isChecked() ? 1 : 0;
    return c;
}

void TfMain::SetControls(const TSettingsControls& c) {
    ExeDirEdit->setText(Q(c.ExeDirEdit));
    QuestionEdit->setText(Q(c.QuestionEdit));
    ScoreEdit->setText(Q(c.ScoreEdit));
    AutoRunEdit->setText(Q(c.AutoRunEdit));
    FullCheck->setChecked(c.FullCheck);
    ModeCheck->setChecked(c.ModeCheck);
    CompulsionCheck->setChecked(c.CompulsionCheck);
    CompulsionCheckClick();
    NormalCheck->setChecked(c.NormalCheck);
    TestCheck->setChecked(c.TestCheck);
    RandomCheck->setChecked(c.RandomCheck);
    MeiboDirItems[c.MeiboDirBtn == 1 ? 1 : 0]->setChecked(true);
}

void TfMain::ShowSettings() { SetControls(::ShowSettings(Settings)); }

void TfMain::GetSettings() { ToolButton1->setEnabled(::GetSettings(Settings, Controls())); }

void TfMain::ModeClick(int tag, bool checked) {
    TModeBoxes b;
    b.Normal = NormalCheck->isChecked();
    b.Test = TestCheck->isChecked();
    b.Random = RandomCheck->isChecked();
    if (tag == 1) b.NormalClicked(checked);
    if (tag == 2) b.TestClicked(checked);
    if (tag == 3) b.RandomClicked(checked);
    NormalCheck->setChecked(b.Normal);
    TestCheck->setChecked(b.Test);
    RandomCheck->setChecked(b.Random);
}

void TfMain::CompulsionCheckClick() {
    const bool on = CompulsionCheck->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{AutoRunEdit, AutoRunBtn, NormalCheck, TestCheck, RandomCheck})
        w->setEnabled(on);
}

void TfMain::ReportDrillFolder(TDrillFolder state, bool writing) {
    if (state == TDrillFolder::Valid) return;
    Beep();
    ShowMessage(DrillFolderMessage(state, writing));
}

void TfMain::ShowMessage(const std::string& text) {
    QString t = Q(text);
    t.replace(QLatin1String("\r"), QLatin1String("\n"));
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), t, QMessageBox::Ok, this);
    box.exec();
}

void TfMain::Beep() { QApplication::beep(); }

// ---------------------------------------------------------------- commands

void TfMain::BitBtn1Click() {
    GetSettings();
    Settings.Left = FramePosition(this).x();
    Settings.Top = FramePosition(this).y();
    SaveSettings();
}

void TfMain::SaveSettings() {
    std::vector<std::string> failed;
    ReportDrillFolder(WriteIniFile(Settings, OwnIniPath(), &failed), true);
    if (!failed.empty()) {
        Beep();
        ShowMessage(SettingsWriteFailedMessage(failed));
    }
}

void TfMain::Exit1Click() { close(); }

void TfMain::closeEvent(QCloseEvent* e) {
    if (Closed) {
        e->accept();
        return;
    }
    Closed = true;
    GetSettings();
    // The open windows store their places and intervals first.
    delete fList.data();
    delete fScore.data();
    Settings.Left = FramePosition(this).x();
    Settings.Top = FramePosition(this).y();
    SaveSettings();
    e->accept();
}

void TfMain::ToolButton3Click() {
    if (OpenRoster) OpenRoster();
}

void TfMain::ToolButton2Click() {
    if (fList) return;  // one list at a time; an open one stays where it is
    fList = new TfList(this, Settings);
    fList->show();
}

void TfMain::ToolButton1Click() {
    if (fScore) return;
    fScore = new TfScore(this, Settings);
    fScore->show();
}

void TfMain::About1Click() {
    TfAbout box(this);
    box.exec();
}

void TfMain::Contents1Click() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QPath(ExeFolder + "vaduvov.html")));
}

std::string& TfMain::FolderOfTag(int tag) {
    return tag == 1 ? Settings.ExeDir : tag == 2 ? Settings.QuestionDir : Settings.ScoreDir;
}

QLineEdit* TfMain::EditOfTag(int tag) const { return tag == 1 ? ExeDirEdit : tag == 2 ? QuestionEdit : ScoreEdit; }

void TfMain::FolderBtnClick(int tag) {
    std::string chosen;
    if (!ChooseFolder || !ChooseFolder(tag, FolderOfTag(tag), chosen)) return;
    // A path the view could not name (a character outside Shift-JIS) comes
    // back empty, and one with a line break would add lines to the
    // settings files: neither is taken.
    if (!StorableFolder(chosen)) {
        ShowMessage(UnstorableFolderMessage());
        return;
    }
    if (chosen.back() != '/') chosen += '/';
    EditOfTag(tag)->setText(Q(chosen));
    GetSettings();
    if (tag == 1) ReportDrillFolder(ReadDrillSettings(Settings), false);
    ShowSettings();
}

void TfMain::EditKeyPress(int tag) {
    QLineEdit* e = EditOfTag(tag);
    bool ok;
    std::string text = S(e->text(), &ok);
    if (text.empty() || text.back() != '/') text += '/';
    if (ok && textfile::DirectoryExists(text)) {
        // Only this folder is taken; the other controls are refilled from
        // the settings.
        FolderOfTag(tag) = text;
        if (tag == 1) ReportDrillFolder(ReadDrillSettings(Settings), false);
        ShowSettings();
        ToolButton1->setEnabled(textfile::DirectoryExists(Settings.ExeDir));
        return;
    }
    Beep();
    e->selectAll();
    e->setFocus();
}

void TfMain::AutoRunBtnClick() {
    std::string start;
    if (textfile::DirectoryExists(Settings.QuestionDir))
        start = Settings.QuestionDir;
    else if (textfile::FileExists(Settings.AutoRunFile))
        start = textfile::ExtractFilePath(Settings.AutoRunFile);
    std::string chosen;
    if (!ChooseProblem || !ChooseProblem(start, chosen)) return;
    AutoRunEdit->setText(Q(chosen));
    GetSettings();
}

void TfMain::AutoRunEditKeyPress() {
    bool ok;
    std::string text = S(AutoRunEdit->text(), &ok);
    if (ok && textfile::FileExists(text)) {
        Settings.AutoRunFile = text;
        ShowSettings();
        return;
    }
    Beep();
    AutoRunEdit->selectAll();
    AutoRunEdit->setFocus();
}

// Enter in a folder or problem box takes what was typed; the key goes no
// further.  The menu's short-cut keys reach the menu from the boxes too
// (Ctrl+A opens the client list rather than selecting the text).
bool TfMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        const QKeySequence keys(static_cast<QKeyEvent*>(event)->keyCombination());
        for (const QAction* a : menuBar()->findChildren<QAction*>())
            if (!a->shortcut().isEmpty() && a->shortcut() == keys) return true;  // left unaccepted
    }
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            if (watched == ExeDirEdit) EditKeyPress(1);
            else if (watched == QuestionEdit) EditKeyPress(2);
            else if (watched == ScoreEdit) EditKeyPress(3);
            else if (watched == AutoRunEdit) AutoRunEditKeyPress();
            else return QMainWindow::eventFilter(watched, event);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
