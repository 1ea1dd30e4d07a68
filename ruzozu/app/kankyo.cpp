#include "kankyo.h"

#include "qtext.h"
#include "textfile.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

namespace {
bool FolderExists(const std::string& f) { return textfile::DirectoryExists(f); }
}  // namespace

TfKankyo::TfKankyo(QWidget* owner, TDrillSettings& settings, std::function<void()> applyScreenMode,
                   std::function<bool(const std::string&, std::string&)> chooseFolder)
    : QDialog(owner),
      Settings(settings),
      Model(settings.FolderHistory),
      ApplyScreenMode(std::move(applyScreenMode)),
      ChooseFolder(std::move(chooseFolder)) {
    setObjectName("fKankyo");
    setWindowTitle(QL("環境設定"));
    setFixedSize(360, 170);
    CheckBox1 = new QCheckBox(QL("フルスクリーン"), this);
    CheckBox1->setGeometry(16, 12, 200, 22);
    CheckBox2 = new QCheckBox(QL("出題モード変更"), this);
    CheckBox2->setGeometry(16, 38, 200, 22);
    CheckBox2->setToolTip(QL("問題読込時にモード変更を可能にする"));
    auto* label = new QLabel(QL("問題フォルダー"), this);
    label->setGeometry(16, 68, 200, 18);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setEditable(true);
    ComboBox1->setMaxVisibleItems(5);
    // Only OK and the chooser add folders to the list; Enter just presses OK.
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setGeometry(16, 88, 296, 24);
    // The combo box holds the focus and hands keys and input-method text on
    // to its line edit: what is typed passes the combo box first.
    ComboBox1->installEventFilter(this);
    ComboBox1->lineEdit()->installEventFilter(this);
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setGeometry(316, 88, 26, 24);
    SpeedButton1->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setGeometry(96, 130, 75, 25);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QL("キャンセル"), this);
    BitBtn2->setGeometry(188, 130, 75, 25);
    setTabOrder(CheckBox1, CheckBox2);
    setTabOrder(CheckBox2, ComboBox1);
    setTabOrder(ComboBox1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    CheckBox1->setChecked(Settings.FullScreen);
    CheckBox2->setChecked(Settings.AllowModeChange);
    for (const auto& f : Model.List) ComboBox1->addItem(Q(f));
    ComboBox1->setEditText(Q(Settings.ProblemFolder));
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { reject(); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
}

bool TfKankyo::eventFilter(QObject* watched, QEvent* event) {
    const bool folderBox = watched == ComboBox1 || watched == ComboBox1->lineEdit();
    if (folderBox && event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        // Tab, Backtab and Esc move on or close: keys of the dialog, not typing.
        const bool dialogKey = k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab || k->key() == Qt::Key_Escape;
        if (k->key() != Qt::Key_Return && k->key() != Qt::Key_Enter && !dialogKey && !k->text().isEmpty())
            Model.FolderTyped = true;
    }
    // Text composed with an input method is typed too (Japanese folder names).
    if (folderBox && event->type() == QEvent::InputMethod &&
        !static_cast<QInputMethodEvent*>(event)->commitString().isEmpty())
        Model.FolderTyped = true;
    return QDialog::eventFilter(watched, event);
}

void TfKankyo::SpeedButton1Click() {
    std::string chosen;
    if (!ChooseFolder || !ChooseFolder(S(ComboBox1->currentText()), chosen)) return;
    // Linux folder names are case-sensitive: the chosen folder keeps its case.
    Model.AddFolder(chosen);
    if (ComboBox1->findText(Q(chosen)) < 0) ComboBox1->addItem(Q(chosen));
    ComboBox1->setEditText(Q(chosen));
    ComboBox1->setFocus();
}

void TfKankyo::BitBtn1Click() {
    bool ok;
    std::string f = S(ComboBox1->currentText(), &ok);
    Refusal = false;
    if (!ok || !Model.Accept(f, FolderExists)) {
        QApplication::beep();
        QMessageBox::information(this, windowTitle(), QL("指定されたフォルダーは\n\n存在しません"));
        ComboBox1->lineEdit()->selectAll();
        ComboBox1->setFocus();  // back from the message, typing goes on in the folder box
        Refusal = true;
    } else if (ComboBox1->findText(Q(f)) < 0 && Model.FolderTyped) {
        ComboBox1->addItem(Q(f));
    }
    if (ok) Settings.ProblemFolder = f;
    if (CheckBox1->isChecked() != Settings.FullScreen) {
        Settings.FullScreen = CheckBox1->isChecked();
        if (ApplyScreenMode) ApplyScreenMode();
    }
    Settings.AllowModeChange = CheckBox2->isChecked();
    Settings.FolderHistory = Model.History();
    if (!Refusal) accept();
}

void TfKankyo::reject() {
    if (!Refusal) QDialog::reject();
}

void TfKankyo::closeEvent(QCloseEvent* e) {
    if (Refusal)
        e->ignore();
    else
        QDialog::closeEvent(e);
}
