#include "InputID.h"

#include "RetEdit.h"
#include "StdArr.h"
#include "japanese.h"
#include "qtext.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

namespace {

// Message texts hold CR as line breaks.
QString Shown(const std::string& sjisText) { return Q(sjisText).replace('\r', '\n'); }

// An ID or password box's text in Shift-JIS.  A character without a
// Shift-JIS form becomes "?", which no ID or password allows, so the
// character checks refuse it instead of the box reading as shorter.
std::string BoxText(const QLineEdit* e) {
    bool ok = true;
    std::string out = S(e->text(), &ok);
    if (ok) return out;
    out.clear();
    const QString t = e->text();
    for (int i = 0; i < t.size();) {
        const int n = t[i].isHighSurrogate() && i + 1 < t.size() ? 2 : 1;
        std::string part;
        out += sjis::FromUtf8(t.mid(i, n).toStdString(), part) ? part : std::string("?");
        i += n;
    }
    return out;
}

void PlainMessage(QWidget* parent, const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, parent->windowTitle(), Shown(text), QMessageBox::Ok, parent);
    box.exec();
}

TRetEdit* MakeEdit(QWidget* parent, const char* name, int top, const char* hint, bool password) {
    auto* e = new TRetEdit(parent);
    e->setObjectName(name);
    e->setGeometry(110, top, 180, 24);
    e->setToolTip(QL(hint));
    if (password) ShowPasswordStars(e);
    // IDs and passwords are ASCII: no input method.
    if (password || std::string(name) == "Edit1") InputMethodOff(e);
    return e;
}

}  // namespace

TfInputID::TfInputID(QWidget* owner, const std::string& rosterFolder, std::string& userID,
                     std::string& userName)
    : QDialog(owner), UserID(userID), UserName(userName) {
    setObjectName("fInputID");
    setWindowTitle(QL("ID, User名, PassWord を入力してください。"));
    setFixedSize(380, 170);
    const char* labels[] = {"User ID", "User名", "PassWord"};
    for (int i = 0; i < 3; ++i) {
        auto* l = new QLabel(QL(labels[i]), this);
        l->setGeometry(20, 16 + 34 * i, 88, 24);
    }
    Edit1 = MakeEdit(this, "Edit1", 16, "User ID を入力(６文字以内)", false);
    Edit2 = MakeEdit(this, "Edit2", 50, "User名(氏名)を入力", false);
    Edit3 = MakeEdit(this, "Edit3", 84, "パスワード入力(数字、アルファベットのみ)", true);
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setGeometry(300, 84, 26, 24);
    SpeedButton1->setToolTip(QL("パスワード変更"));
    SpeedButton1->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setGeometry(100, 128, 80, 28);
    BitBtn1->setAutoDefault(true);  // Enter presses it once it has the focus
    BitBtn2 = new QPushButton(QL("中止"), this);
    BitBtn2->setGeometry(200, 128, 80, 28);
    BitBtn2->setAutoDefault(true);
    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, Edit3);
    setTabOrder(Edit3, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    // The checks of a box run as it is left (before a click that leaves it
    // reaches its button); the password box's as it is entered.
    auto* exit1 = new TFocusEvents(Edit1);
    exit1->OnExit = [this](QWidget*) {
        if (!isHidden()) Edit1Exit();
    };
    auto* exit2 = new TFocusEvents(Edit2);
    exit2->OnExit = [this](QWidget*) {
        if (!isHidden()) Edit2Exit();
    };
    auto* enter3 = new TFocusEvents(Edit3);
    enter3->OnEnter = [this](QWidget*) {
        if (!isHidden()) Edit3Exit();
    };
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] {
        Login.LoginOk = true;
        done(ResultAbort);
    });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });

    Login.LoginOk = true;
    Login.PassOk = false;
    Login.NewUser = false;
    Login.RosterPath = rosterFolder + "ruzozu.mib";
    Login.LoadRoster();
}

QLineEdit* TfInputID::Box(TLoginBox b) const {
    switch (b) {
        case TLoginBox::ID: return Edit1;
        case TLoginBox::Name: return Edit2;
        case TLoginBox::Password: return Edit3;
        default: return nullptr;
    }
}

void TfInputID::Apply(const TLoginReply& r) {
    QWidget* had = QApplication::focusWidget();
    for (TLoginBox b : r.Clear)
        if (QLineEdit* e = Box(b)) e->clear();
    if (r.Beep) QApplication::beep();
    if (!r.Message.empty()) PlainMessage(this, r.Message);
    QWidget* target = Box(r.Focus);
    if (!target && had && had->window() == this) target = had;  // back where the learner was going
    if (!target) return;
    target->setFocus();
    // The dialog becomes active again only after the message box has gone;
    // the focus is set once more then, unless the learner has meanwhile
    // moved on to another box or button of the dialog.
    QPointer<QWidget> later(target);
    QTimer::singleShot(0, this, [this, later] {
        QWidget* now = QApplication::focusWidget();
        if (later && !(now && now != later && now->window() == this)) later->setFocus();
    });
}

void TfInputID::Edit1Exit() {
    std::string id = BoxText(Edit1);
    std::string name = S(Edit2->text());
    TLoginReply r = Login.Edit1Exit(id, name);
    Edit1->setText(Q(id));
    Edit2->setText(Q(name));
    if (Edit2->hasFocus()) Edit2->selectAll();  // typing replaces "未登録"
    Apply(r);
}

void TfInputID::Edit2Exit() { Apply(Login.Edit2Exit(S(Edit2->text()))); }

void TfInputID::Edit3Exit() { Apply(Login.Edit3Enter(BoxText(Edit3))); }

void TfInputID::BitBtn1Click() {
    bool okName = true;
    std::string name = S(Edit2->text(), &okName);
    TLoginReply r = Login.BitBtn1Click(BoxText(Edit1), okName ? name : std::string(), BoxText(Edit3));
    Apply(r);
    if (!Login.LoginOk) return;
    while (Login.SaveFailed) {
        QString text = QL("ユーザー名の登録に失敗しました。");
        // Why, when the modes of the roster or its folder say so.
        if (!Login.SaveProblem.empty()) text += QLatin1String("\n\n") + Shown(Login.SaveProblem);
        QMessageBox box(QMessageBox::Warning, windowTitle(), text, QMessageBox::NoButton, this);
        QPushButton* retry = box.addButton(QL("再試行(&R)"), QMessageBox::AcceptRole);
        box.addButton(QL("無視(&I)"), QMessageBox::RejectRole);
        box.exec();
        if (box.clickedButton() != retry) break;
        Login.SaveFailed = !Login.SaveRoster(BoxText(Edit1).substr(0, 6), name, BoxText(Edit3));
        if (!Login.RosterError.empty()) {
            // The roster turned out to be one that cannot be read right.
            Login.LoginOk = false;
            Apply({Login.RosterError, true, TLoginBox::None, {}, false});
            return;
        }
        if (Login.SaveConflict) {
            // Registered or changed on another computer meanwhile.
            Login.LoginOk = false;
            Apply(Login.ConflictReply());
            return;
        }
        if (Login.SaveGone) {
            // Deleted or renamed in the roster meanwhile.
            Login.LoginOk = false;
            Apply(Login.GoneReply());
            return;
        }
    }
    UserID = BoxText(Edit1).substr(0, 6);
    UserName = name;
    done(ResultOk);
}

void TfInputID::SpeedButton1Click() {
    if (!Login.CanChangePassword(BoxText(Edit1), S(Edit2->text()))) return;
    TfPassChange dlg(this, Login);
    dlg.exec();
}

void TfInputID::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) return;  // Esc does not abort
    QDialog::keyPressEvent(e);
}

void TfInputID::closeEvent(QCloseEvent* e) {
    if (Login.LoginOk) {
        if (result() == 0) setResult(ResultCancel);
        e->accept();
    } else {
        e->ignore();
    }
}

TfPassChange::TfPassChange(QWidget* owner, TLogin& login) : QDialog(owner), Login(login) {
    setObjectName("fPassChange");
    setWindowTitle(QL("PassWord変更"));
    setFixedSize(300, 150);
    const char* labels[] = {"現 PassWord", "新 PassWord", "再 PassWord"};
    for (int i = 0; i < 3; ++i) {
        auto* l = new QLabel(QL(labels[i]), this);
        l->setGeometry(16, 12 + 30 * i, 90, 24);
        auto* e = new QLineEdit(this);
        e->setObjectName(QStringLiteral("Edit%1").arg(i + 1));
        e->setGeometry(110, 12 + 30 * i, 170, 24);
        ShowPasswordStars(e);
        InputMethodOff(e);
        Edits[i] = e;
    }
    ArEdit1 = new TArEdit(this, "ArEdit1");
    for (QLineEdit* e : Edits) ArEdit1->AddCntrl(e);
    ArEdit1->OnExit = [this](QObject*, int index) {
        if (!isHidden()) ArEdit1Exit(index);
    };
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setGeometry(60, 110, 80, 28);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QL("中止"), this);
    BitBtn2->setGeometry(160, 110, 80, 28);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { reject(); });
    if (owner) move(owner->x(), owner->y() + owner->frameGeometry().height());
}

void TfPassChange::ArEdit1Exit(int index) {
    TLoginReply r = Login.PasswordBoxExit(BoxText(Edits[index]));
    if (r.Message.empty()) return;
    QApplication::beep();
    PlainMessage(this, r.Message);
    Edits[index]->clear();
    Edits[index]->setFocus();
}

void TfPassChange::BitBtn1Click() {
    TLoginReply r = Login.ChangePassword(BoxText(Edits[0]), BoxText(Edits[1]), BoxText(Edits[2]));
    auto box = [this](TLoginBox b) -> QLineEdit* {
        return b == TLoginBox::Current ? Edits[0] : b == TLoginBox::New ? Edits[1]
                                                    : b == TLoginBox::Retyped ? Edits[2] : nullptr;
    };
    for (TLoginBox b : r.Clear)
        if (QLineEdit* e = box(b)) e->clear();
    if (r.Beep) QApplication::beep();
    if (!r.Message.empty()) PlainMessage(this, r.Message);
    if (QLineEdit* e = box(r.Focus)) e->setFocus();
    if (r.Ok) accept();
}

