// The drill window as it is made: its screen, pictures, text lines, bars,
// menu, answer buttons and media.
#include "main.h"

#include "TestMode.h"
#include "about.h"
#include "ExtArr.h"
#include "InputID.h"
#include "ini_text.h"
#include "SPIBmp.h"
#include "StdArr.h"
#include "choice.h"
#include "hint_form.h"
#include "japanese.h"
#include "kankyo.h"
#include "keyboard_return.h"
#include "messages.h"
#include "picture_budget.h"
#include "qtext.h"
#include "composition.h"
#include "scaled_display.h"
#include "textfile.h"

#include <QApplication>
#include <QAction>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QGridLayout>
#include <QLabel>
#include <QScreen>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <dirent.h>

namespace {

// The face colour of tool and status bars, with black text.
QPalette FacePalette() {
    QPalette pal = QApplication::palette();
    pal.setColor(QPalette::Window, QColor(0xF0, 0xF0, 0xF0));
    pal.setColor(QPalette::WindowText, Qt::black);
    return pal;
}

QPixmap MarkPixmap(bool maru, int w, int h) {
    QPixmap pm(w, h);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (maru) {
        p.setPen(QPen(QColor(255, 40, 40), 5));
        p.drawEllipse(QRectF(4, 4, w - 8, h - 8));
    } else {
        p.setPen(QPen(QColor(60, 120, 255), 5));
        p.drawLine(6, 6, w - 6, h - 6);
        p.drawLine(w - 6, 6, 6, h - 6);
    }
    return pm;
}

}  // namespace

// The built-in sounds are compiled into a static library: register them.
static void InitSoundResources() { Q_INIT_RESOURCE(sounds); }

void TForm1::FormCreate() {
    TitleText = std::string("Ruzozu ") + VersionText;
    setWindowTitle(QString::fromStdString(TitleText));
    setObjectName("Form1");
    Engine_->ChosenMode = 0;
    ReadSettings(Engine_->Settings, ExeFolder);
    // A settings file in a form that cannot be read (UTF-16, say): told
    // before anything goes on with the defaults.
    for (const std::string& why : Engine_->Settings.ReadErrors) ShowMessage(why);
    if (ShowSplash) ShowSplashScreen();
    BuildScreen();
    InstallInputRules();
    BuildPictures();
    BuildTextLines();
    BuildToolBar();
    BuildStatusBar();
    BuildAnswerButtons();
    BuildMenu();
    ChooseFolder = [this](const std::string& start, std::string& chosen) {
        TfChoice dlg(QApplication::activeModalWidget() ? QApplication::activeModalWidget() : this, start);
        if (dlg.exec() != QDialog::Accepted) return false;
        chosen = TfChoice::ChosenFolder;
        return true;
    };
    OKBottomDlg_ = new TOKBottomDlg(this);
    BuildMedia();

    setAcceptDrops(false);
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 640, 480);
    SavedScreen = TSavedScreen{area.width(), area.height(), screen ? screen->depth() : 24};
    Display = std::make_unique<TDisplay>(SavedScreen.Width, SavedScreen.Height, SavedScreen.BitsPerPixel);
    View->Embed(Screen);  // once all of the drill is made: it shows with the view
    View->FocusFallback = [this] { FocusAnswerBox(); };
    ApplyScreenMode();

    StartSession();
}

// The splash stands alone for a moment before the window or the login
// comes up; the learner's input waits meanwhile.
void TForm1::ShowSplashScreen() {
    auto* splash = new Tstart;
    splash->Label1->setText(QString::fromLatin1(VersionText));
    splash->show();
    splash->repaint();
    QEventLoop pause;
    QTimer::singleShot(1500, &pause, &QEventLoop::quit);
    pause.exec(QEventLoop::ExcludeUserInputEvents);
}

// The client, the menu bar above it and the view that shows them.
void TForm1::BuildScreen() {
    Client = new QWidget(this);
    Client->setFixedSize(kClientWidth, kClientHeight);
    Client->setAutoFillBackground(true);
    QPalette pal = Client->palette();
    pal.setColor(QPalette::Window, Qt::black);
    Client->setPalette(pal);
    // The menu and the client make up what a 640 x 480 display would show:
    // in full screen that is scaled to fill the screen, the rest black.
    auto* holder = new QWidget(this);
    holder->setAutoFillBackground(true);
    holder->setPalette(pal);
    auto* grid = new QGridLayout(holder);
    grid->setContentsMargins(0, 0, 0, 0);
    Screen = new QWidget;  // shown by the view, scaled in full screen
    Screen->setObjectName("Screen");
    // Black below and beside the client as the screen around it, also
    // where the drill is a window of its own inside the view.
    Screen->setAutoFillBackground(true);
    Screen->setPalette(pal);
    auto* column = new QVBoxLayout(Screen);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    MainMenu1 = new QMenuBar(Screen);
    MainMenu1->setObjectName("MainMenu1");
    MainMenu1->setAutoFillBackground(true);
    MainMenu1->setPalette(FacePalette());
    column->addWidget(MainMenu1);
    column->addWidget(Client, 0, Qt::AlignLeft | Qt::AlignTop);
    column->addStretch(1);
    View = new TScaledView(holder);
    grid->addWidget(View, 0, 0);
    setCentralWidget(holder);
    DialogScaler_ = new TDialogScaler(this);
}

// The window's rules for the keyboard and the input method, and its font.
void TForm1::InstallInputRules() {
    // Enter is the window's wherever the focus is, also while the drill is
    // embedded in the view (a window of its own there); after focus changes
    // anywhere the drill takes the keyboard back (TakeKeyboard), and after
    // menus and dialogs by the program's keyboard rule.
    qApp->installEventFilter(this);
    keyboard_return::Install(this, [this] { TakeKeyboard(); });
    // A composition in progress is confirmed before anything takes the
    // answer (and the menus take no composition).
    Composition_ = new TComposition(this);
    QFont formFont(QStringLiteral("IPAPGothic"));
    formFont.setPixelSize(12);
    setFont(formFont);
}

// The picture slots and the marks.
void TForm1::BuildPictures() {
    // Text lines and marks lie above the pictures.  Drawing order
    // from the bottom: Image[0], [4], [3], [2], [1].
    Image = new TArImage(this, "Image");
    for (int i = 0; i < 5; ++i) {
        auto* img = new TImage(Client);
        img->setObjectName(QStringLiteral("ArImage1_%1").arg(i + 1));
        img->hide();
        Image->AddCntrl(img);
    }
    for (int i = 4; i >= 1; --i) Image->Cntrls(i)->raise();
    ImageBatu = new QLabel(Client);
    ImageBatu->setGeometry(600, -3, 32, 37);
    ImageBatu->setPixmap(MarkPixmap(false, 32, 37));
    ImageBatu->hide();
    ImageMaru = new QLabel(Client);
    ImageMaru->setGeometry(600, 0, 32, 34);
    ImageMaru->setPixmap(MarkPixmap(true, 32, 34));
    ImageMaru->hide();
}

// The text lines of the drill.
void TForm1::BuildTextLines() {
    QFont lineFont(QStringLiteral("IPAGothic"));
    lineFont.setPointSize(12);
    TextLine = new TArLabel(this, "TextLine");
    for (int i = 0; i < kTextLines; ++i) {
        auto* l = new QLabel(Client);
        l->setObjectName(QStringLiteral("ArLabel1_%1").arg(i + 1));
        l->setGeometry(5, 17 * i + 38, 625, 17);
        l->setFont(lineFont);
        l->setAttribute(Qt::WA_TranslucentBackground);
        l->setTextFormat(Qt::PlainText);
        l->setStyleSheet("color: #FFFFFF;");
        TextLine->AddCntrl(l);
    }
}

// Ten answer buttons, made by the array and hidden until a question lays
// them out.
void TForm1::BuildAnswerButtons() {
    AnsBtn = new TArBitBtn(this, "AnsBtn", QPoint(21, 48));
    AnsBtn->SetArryParent(Client);
    AnsBtn->SetNumOfArry(kAnswerButtons);
    for (int i = 0; i < kAnswerButtons; ++i) AnsBtn->Cntrls(i)->hide();
    AnsBtn->OnClick = [this](QObject*, int index) {
        Composition_->Commit();
        Engine_->AnsBtnClick(index);
    };
    AnsBtn->OnEnter = [this](QObject*, int) { SyncAnsBtnLook(); };
    AnsBtn->OnExit = [this](QObject*, int) { SyncAnsBtnLook(); };
    LookConnection_ = connect(qApp, &QApplication::focusChanged, this, [this] { SyncAnsBtnLook(); });
}

// The sounds, the media players and the image plug-ins.
void TForm1::BuildMedia() {
    InitSoundResources();
    Media = TMediaSystem::CreateDefault();
    MediaPlayer2 = Media->NewPlayer("MediaPlayer2");
    MediaPlayer3 = Media->NewPlayer("MediaPlayer3");
    MediaPlayer4 = Media->NewPlayer("MediaPlayer4");
    CreatePluginHost();
}

// Who uses the drill: the login in network mode, and this computer's name.
void TForm1::StartSession() {
    if (!Engine_->Settings.NetworkMode) logoff->setEnabled(false);
    if (Engine_->Settings.NetworkMode) {
        Login();
    } else {
        LoginResult = 0;
        Engine_->UserID.clear();
    }
    FirstShow = true;
    Engine_->ComputerName = GetComputerNameText();
    if (Engine_->ComputerName.empty()) Engine_->ComputerName = "localhost";
}

// The image plug-ins: import plug-ins only, and never for JPEG, which
// libjpeg decodes.
void TForm1::CreatePluginHost() {
    if (TSPIs::Current()) return;  // one host per program
    SPIs1 = std::make_unique<TSPIs>();
    SPIs1->AppDir = ExeFolder;
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME", QDir::homePath() + "/.config");
    SPIs1->SusieConfig = S(config + "/ruzozu/viewer.ini");
    SPIs1->OnSearch = [](TSPIs*, TSPI* spi, bool& accept) { accept = spi->Kind() == TSPIKind::In; };
    SPIs1->OnPictureRegister = [](TSPIs*, TSPI*, const std::string& ext, const std::string&, bool& reg) {
        if (sjis::EqualsIgnoreCase(ext, "JPG") || sjis::EqualsIgnoreCase(ext, "JPEG")) reg = false;
    };
    SPIs1->RegisterFileFormat = [](const std::string& ext, const std::string& description) {
        TPictureRegistry::Instance().Register(ext, description, TPictureRegistry::Kind::Plugin);
    };
    SPIs1->Search("*.spi");
    SPIs1->Search("/*.spi");
}

void TForm1::BuildMenu() {
    QMenu* file = MainMenu1->addMenu(QL("ﾌｧｲﾙ(&F)"));
    file->addAction(QL("開く(&O)..."), this, [this] { Open1Click(); });
    file->addSeparator();
    file->addAction(QL("問題開始(&S)"), this, [this] { Engine_->K4Click(); });
    file->addAction(QL("問題中断(&E)"), this, [this] { Engine_->K1Click(); });
    file->addSeparator();
    logoff = file->addAction(QL("Ruzozuログオフ"), this, [this] { logoffClick(); });
    file->addSeparator();
    file->addAction(QL("終了(&X)"), this, [this] { Exit1Click(); });
    QMenu* options = MainMenu1->addMenu(QL("設定(&O)"));
    options->addAction(QL("背景色 設定(&C)"), this, [this] { K3Click(); });
    options->addAction(QL("環境設定(&O)"), this, [this] { OptionBoxClick(); });
    QMenu* help = MainMenu1->addMenu(QL("ﾍﾙﾌﾟ(&H)"));
    help->addAction(QL("ヘルプ目次(&Z)"), QKeySequence(Qt::Key_F1), this, [this] { RUZOZU1Click(); });
    help->addAction(QL("QZB Maker マニュアル"), QKeySequence(Qt::Key_F2), this, [this] { QZBMaker1Click(); });
    help->addAction(QL("ﾊﾞｰｼﾞｮﾝ情報(&A)..."), this, [this] { About1Click(); });
}

void TForm1::BuildToolBar() {
    auto* panel = new QFrame(Client);
    panel->setObjectName("Panel1");
    panel->setGeometry(0, 0, 601, 33);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setAutoFillBackground(true);
    panel->setPalette(FacePalette());
    auto tool = [&](const char* name, int x, const char* hint, QStyle::StandardPixmap icon) {
        auto* b = new QToolButton(panel);
        b->setObjectName(name);
        b->setGeometry(x, 4, 25, 25);
        b->setAutoRaise(true);
        b->setToolTip(QL(hint));
        b->setIcon(style()->standardIcon(icon));
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    connect(tool("SpeedButton1", 5, "問題 選択", QStyle::SP_DialogOpenButton), &QToolButton::clicked, this,
            [this] { Open1Click(); });
    connect(tool("SpeedButton4", 30, "問題 開始　& 次へ", QStyle::SP_MediaPlay), &QToolButton::clicked, this,
            [this] { Engine_->K4Click(); });
    connect(tool("SpeedButton2", 62, "最初から", QStyle::SP_MediaSkipBackward), &QToolButton::clicked, this,
            [this] { Engine_->K1Click(); });
    connect(tool("SpeedButton5", 87, "終了", QStyle::SP_DialogCloseButton), &QToolButton::clicked, this,
            [this] { Exit1Click(); });
    Button1 = new QPushButton(QL("解答"), panel);
    Button1->setObjectName("Button1");
    Button1->setGeometry(196, 4, 69, 25);
    QFont bold = Button1->font();
    bold.setBold(true);
    Button1->setFont(bold);
    Button1->setFocusPolicy(Qt::ClickFocus);
    connect(Button1, &QPushButton::clicked, this, [this] {
        Composition_->Commit();
        Engine_->Button1Click();
    });
    Edit1 = new QLineEdit(panel);
    Edit1->setObjectName("Edit1");
    Edit1->setGeometry(264, 4, 305, 25);
    QFont editFont(QStringLiteral("IPAPGothic"));
    editFont.setPixelSize(16);
    Edit1->setFont(editFont);
    // The media buttons, shown by the media lines.
    SpeedButton6 = tool("SpeedButton6", 118, "MIDI 再生中止", QStyle::SP_MediaPause);
    SpeedButton6->setCheckable(true);
    SpeedButton7 = tool("SpeedButton7", 143, "音声再生", QStyle::SP_MediaVolume);
    SpeedButton8 = tool("SpeedButton8", 143, "ビデオ再生", QStyle::SP_MediaPlay);
    SpeedButton9 = tool("SpeedButton9", 167, "再生中止", QStyle::SP_MediaStop);
    // Audio and video share one place, one pixel short of the stop button.
    SpeedButton7->resize(24, 25);
    SpeedButton8->resize(24, 25);
    for (QToolButton* b : {SpeedButton6, SpeedButton7, SpeedButton8, SpeedButton9}) b->hide();
    // clicked, not toggled: only the learner's click pauses or goes on.
    connect(SpeedButton6, &QToolButton::clicked, this, [this] { SpeedButton6Click(); });
    connect(SpeedButton7, &QToolButton::clicked, this, [this] { SpeedButton7Click(); });
    connect(SpeedButton8, &QToolButton::clicked, this, [this] { SpeedButton8Click(); });
    connect(SpeedButton9, &QToolButton::clicked, this, [this] { SpeedButton9Click(); });
    connect(tool("SpeedButton3", 571, "答 or ヒント", QStyle::SP_MessageBoxQuestion), &QToolButton::clicked,
            this, [this] { Engine_->SpeedButton3Click(); });
}

void TForm1::BuildStatusBar() {
    auto* bar = new QFrame(Client);
    bar->setObjectName("StatusBar1");
    StatusBar1 = bar;
    bar->setGeometry(0, 411, kClientWidth, 18);
    bar->setAutoFillBackground(true);
    // The form's font (the drill lies outside the window's font while it is
    // scaled): in the application's default, "ランダム" did not fit its panel.
    bar->setFont(font());
    bar->setPalette(FacePalette());
    // The count is "101/101" at most: its panel is wider than the mode
    // words' ones, the file's panel gives it the room.
    const int widths[4] = {230, 50, 50, 70};
    int x = 0;
    for (int i = 0; i < 4; ++i) {
        auto* p = new QLabel(bar);
        p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        p->setIndent(2);  // not half an "x": a word of four kana fits the panel of 50
        p->setGeometry(x, 1, widths[i] - 2, 17);
        x += widths[i];
        StatusPanels[i] = p;
    }
    StatusPanels[0]->setText(QL("【問題ファイル】"));
    Panel2 = new QWidget(Client);
    Panel2->setObjectName("Panel2");
    Panel2->setGeometry(400, 415, 229, 13);
    Bar = new QProgressBar(Panel2);
    Bar->setGeometry(0, 0, 229, 13);
    Bar->setRange(0, 100);
    Bar->setValue(0);
    Bar->setTextVisible(false);
    Bar->setStyleSheet("QProgressBar { background: palette(button); border: 1px solid gray; }"
                       "QProgressBar::chunk { background: #00FFFF; }");
}
