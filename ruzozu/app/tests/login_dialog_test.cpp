// The login dialog driven by keys under Qt's offscreen platform.
#include "InputID.h"
#include "RetEdit.h"
#include "keyboard_return.h"
#include "qtext.h"
#include "roster.h"
#include "tempdir.h"
#include "textfile.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QtTest>

namespace {

// Closes every message box that opens, with Enter typed to it once it has
// the keyboard, and counts them; notes their texts and the most that stood
// at once.
struct BoxCloser {
    int Count = 0;
    int MostAtOnce = 0;
    QStringList Texts;
    QTimer Timer;
    BoxCloser() {
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            QList<QMessageBox*> open;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) open << box;
            MostAtOnce = std::max(MostAtOnce, int(open.size()));
            QWidget* focus = QApplication::focusWidget();
            for (QMessageBox* box : open) {
                if (!focus || !box->isAncestorOf(focus)) continue;
                ++Count;
                Texts << box->text();
                QTest::keyClick(focus, Qt::Key_Return);
                break;
            }
        });
        Timer.start(20);
    }
};

// Waits until no message box stands, a window of the program (if one is
// still shown) has the keyboard again and everything queued until then has been handled: a
// message box that a pending event (the window's activation, a focus set
// later) would open has opened, and been closed and counted, by then.
// Twenty seconds bound a hang.
bool Settled() {
    auto quiet = [] {
        bool shown = false;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible()) continue;
            if (qobject_cast<QMessageBox*>(w)) return false;
            shown = true;
        }
        return !shown || (QApplication::activeWindow() && QApplication::focusWidget());
    };
    if (!QTest::qWaitFor(quiet, 20000)) return false;
    for (int round = 0; round < 2; ++round) {  // twice: what the first round's events queued as well
        bool handled = false;
        QTimer::singleShot(0, [&handled] { handled = true; });
        if (!QTest::qWaitFor([&] { return handled; }, 20000) || !QTest::qWaitFor(quiet, 20000)) return false;
    }
    return true;
}

// Types into whatever has the focus, as a person's keyboard does: the text
// as an input method commits it, then Enter.
void Type(const char* text) {
    QInputMethodEvent ime;
    ime.setCommitString(QString::fromUtf8(text));
    QCoreApplication::sendEvent(QApplication::focusWidget(), &ime);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(Settled());
}

// A click of the mouse on a control of the dialog, through its window as
// the window system delivers it.
void Click(QDialog& dlg, QWidget* control) {
    const QPoint at = control->mapTo(&dlg, control->rect().center());
    QTest::mouseClick(dlg.windowHandle(), Qt::LeftButton, {}, at);
    QVERIFY(Settled());
}

// A login dialog over a fresh roster folder holding these learners, shown;
// its message boxes are closed and counted.
struct LoginRun {
    TempDir dir;
    std::string id, name;
    TfInputID dlg;
    BoxCloser closer;
    explicit LoginRun(const std::vector<RosterEntry>& roster = {})
        : dlg(nullptr, WithRoster(dir, roster), id, name) {
        dlg.show();
    }
    static std::string WithRoster(const TempDir& dir, const std::vector<RosterEntry>& roster) {
        if (!roster.empty()) textfile::WriteFileAtomic(dir / "ruzozu.mib", FormatRoster(roster));
        return dir.path();
    }
};

}  // namespace

class LoginDialogTest : public QObject {
    Q_OBJECT
private slots:
    // The program's keyboard rule, installed as the drill installs it (the
    // dialog stands here without the drill's window).
    void initTestCase() { keyboard_return::Install(nullptr); }
    void newLearnerLogsInByKeys();
    void knownLearnerWrongThenRightPassword();
    void learnerDeletedMeanwhileIsToldNotAddedBack();
    void passwordWithoutShiftJisFormIsRefused();
    void mouseClicksOneMessageAtATime();
    void newLearnerClicksPastTheName();
    void passwordsShowStars();
    void idAndPasswordBoxesTakeNoComposition();
};

void LoginDialogTest::newLearnerLogsInByKeys() {
    LoginRun run;
    TfInputID& dlg = run.dlg;
    BoxCloser& closer = run.closer;
    QVERIFY(QTest::qWaitForWindowActive(&dlg, 20000));
    QCOMPARE(QApplication::focusWidget(), dlg.Edit1);
    Type("t01");
    QCOMPARE(dlg.Edit2->text(), QL("未登録"));
    QVERIFY(dlg.Edit2->hasFocus());
    Type("太郎");  // asks for a password
    QTRY_COMPARE(closer.Count, 1);
    QTRY_VERIFY(dlg.Edit3->hasFocus());
    Type("pw1");
    QVERIFY(dlg.BitBtn1->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(dlg.result(), int(TfInputID::ResultOk));
    QCOMPARE(run.id, std::string("t01"));
    QCOMPARE(Q(run.name), QL("太郎"));
    std::vector<RosterEntry> roster;
    QVERIFY(ReadRoster(run.dir / "ruzozu.mib", roster));
    QCOMPARE(roster.size(), size_t(1));
    QCOMPARE(roster[0].password, std::string("pw1"));
}

void LoginDialogTest::knownLearnerWrongThenRightPassword() {
    LoginRun run({{"A1", "alice", "secret"}});
    TfInputID& dlg = run.dlg;
    BoxCloser& closer = run.closer;
    QVERIFY(QTest::qWaitForWindowActive(&dlg, 20000));
    Type("A1");
    QCOMPARE(dlg.Edit2->text(), QStringLiteral("alice"));
    QTRY_VERIFY(dlg.Edit3->hasFocus());  // a known ID moves on to the password
    Type("wrong");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(closer.Count, 1);
    QVERIFY(dlg.isVisible());
    QVERIFY(dlg.Edit3->text().isEmpty());
    QTRY_VERIFY(dlg.Edit3->hasFocus());
    Type("secret");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(dlg.result(), int(TfInputID::ResultOk));
    QCOMPARE(run.name, std::string("alice"));
}

// The instructor deletes the learner after the dialog has looked the ID
// up: OK tells the learner, writes nothing, and the ID box looks it up anew.
void LoginDialogTest::learnerDeletedMeanwhileIsToldNotAddedBack() {
    LoginRun run({{"A1", "alice", "secret"}, {"B2", "bob", "pw2"}});
    TfInputID& dlg = run.dlg;
    BoxCloser& closer = run.closer;
    QVERIFY(QTest::qWaitForWindowActive(&dlg, 20000));
    Type("A1");
    QCOMPARE(dlg.Edit2->text(), QStringLiteral("alice"));
    QTRY_VERIFY(dlg.Edit3->hasFocus());
    const std::string roster = run.dir / "ruzozu.mib";
    QVERIFY(UpdateRosterFile(roster, [](std::vector<RosterEntry>& e) { e.erase(e.begin()); }));
    Type("secret");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(closer.Count, 1);
    QVERIFY(Settled());
    QVERIFY(closer.Texts[0].contains(QL("名簿から削除されたか、変更されました")));
    QVERIFY(dlg.isVisible());
    QVERIFY(dlg.Edit2->text().isEmpty());
    QVERIFY(dlg.Edit3->text().isEmpty());
    QTRY_VERIFY(dlg.Edit1->hasFocus());
    std::vector<RosterEntry> now;
    QVERIFY(ReadRoster(roster, now));
    QCOMPARE(now.size(), size_t(1));
    QCOMPARE(now[0].id, std::string("B2"));
    // Leaving the ID box looks the ID up in the roster as it is now.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(Settled());
    QCOMPARE(dlg.Edit2->text(), QL("未登録"));
}

void LoginDialogTest::passwordWithoutShiftJisFormIsRefused() {
    LoginRun run;
    TfInputID& dlg = run.dlg;
    BoxCloser& closer = run.closer;
    QVERIFY(QTest::qWaitForWindowActive(&dlg, 20000));
    Type("t02");
    Type("花子");
    QTRY_COMPARE(closer.Count, 1);  // a new learner is asked for a password
    QTRY_COMPARE(QApplication::focusWidget(), dlg.Edit3);
    QInputMethodEvent ime;
    ime.setCommitString(QString::fromUtf8("\xC3\xA9"));  // "é" has no Shift-JIS form
    QCoreApplication::sendEvent(QApplication::focusWidget(), &ime);
    Click(dlg, dlg.BitBtn1);
    QTRY_COMPARE(closer.Count, 2);
    QVERIFY(dlg.isVisible());
    QVERIFY(dlg.Edit3->text().isEmpty());
    QVERIFY(!textfile::FileExists(run.dir / "ruzozu.mib"));
}

void LoginDialogTest::mouseClicksOneMessageAtATime() {
    LoginRun run({{"A1", "alice", "secret"}});
    TfInputID& dlg = run.dlg;
    BoxCloser& closer = run.closer;
    QVERIFY(QTest::qWaitForWindowActive(&dlg, 20000));
    // An ID too long, then a click on OK: the ID box's check comes first,
    // alone; the click does not go on to OK's own checks behind it.
    QTest::keyClicks(QApplication::focusWidget(), "ABCDEFG");
    Click(dlg, dlg.BitBtn1);
    QVERIFY(Settled());
    QCOMPARE(closer.Texts, QStringList{QL("User ID は、最大６文字です。")});
    QVERIFY(dlg.isVisible());
    QTRY_COMPARE(QApplication::focusWidget(), dlg.Edit1);
    QVERIFY(dlg.Edit1->text().isEmpty());
    // A known ID, then a click on OK: the lookup runs first and fills the
    // name, and the click reaches OK, which finds the password missing.
    QTest::keyClicks(QApplication::focusWidget(), "A1");
    Click(dlg, dlg.BitBtn1);
    QVERIFY(Settled());
    QCOMPARE(closer.Count, 2);
    QCOMPARE(closer.Texts.last(), QL("パスワードが一致しません。\r\rもう一度、入力してください。").replace('\r', '\n'));
    QCOMPARE(dlg.Edit2->text(), QStringLiteral("alice"));
    QTRY_COMPARE(QApplication::focusWidget(), dlg.Edit3);
    // The right password and a click: the click is not swallowed.
    QTest::keyClicks(QApplication::focusWidget(), "secret");
    Click(dlg, dlg.BitBtn1);
    QTRY_VERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(TfInputID::ResultOk));
    QCOMPARE(closer.Count, 2);
    QCOMPARE(closer.MostAtOnce, 1);
    QCOMPARE(run.id, std::string("A1"));
}

void LoginDialogTest::newLearnerClicksPastTheName() {
    LoginRun run;
    TfInputID& dlg = run.dlg;
    BoxCloser& closer = run.closer;
    QVERIFY(QTest::qWaitForWindowActive(&dlg, 20000));
    Type("n1");
    QCOMPARE(QApplication::focusWidget(), dlg.Edit2);
    QTest::keyClicks(QApplication::focusWidget(), "Ken");
    // Leaving the name for OK with the mouse asks for a password first; the
    // learner answers that message before anything else happens.
    Click(dlg, dlg.BitBtn1);
    QVERIFY(Settled());
    QCOMPARE(closer.Texts, QStringList{QL("パスワードを登録してください。")});
    QVERIFY(dlg.isVisible());
    // The next click logs in (an empty password is allowed for a new learner).
    Click(dlg, dlg.BitBtn1);
    QTRY_VERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(TfInputID::ResultOk));
    QCOMPARE(closer.MostAtOnce, 1);
    QCOMPARE(closer.Count, 1);
}

void LoginDialogTest::passwordsShowStars() {
    TempDir dir;
    std::string id, name;
    TfInputID dlg(nullptr, dir.path(), id, name);
    TfPassChange change(&dlg, dlg.Login);
    for (QLineEdit* e : {static_cast<QLineEdit*>(dlg.Edit3), change.Edits[0], change.Edits[1], change.Edits[2]}) {
        QCOMPARE(e->echoMode(), QLineEdit::Password);
        QCOMPARE(e->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, e), int('*'));
    }
    QCOMPARE(dlg.Edit1->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, dlg.Edit1),
             QApplication::style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, dlg.Edit1));
}

// What the input method is told when it asks the box, as it asks: through
// the event the box's window sends.
QVariant AskBox(QWidget* box, Qt::InputMethodQuery q) {
    QInputMethodQueryEvent query(q);
    QCoreApplication::sendEvent(box, &query);
    return query.value(q);
}

// The ID box and every password box refuse composition (an input method
// left on types "t01" as full-width kana otherwise) and ask for Latin
// text; the name box takes Japanese.  They still take what is typed.
void LoginDialogTest::idAndPasswordBoxesTakeNoComposition() {
    TempDir dir;
    std::string id, name;
    TfInputID dlg(nullptr, dir.path(), id, name);
    TfPassChange change(&dlg, dlg.Login);
    const QList<QLineEdit*> off = {dlg.Edit1, dlg.Edit3, change.Edits[0], change.Edits[1], change.Edits[2]};
    for (QLineEdit* e : off) {
        QCOMPARE(AskBox(e, Qt::ImEnabled).toBool(), false);
        const auto hints = Qt::InputMethodHints(AskBox(e, Qt::ImHints).toInt());
        QVERIFY(hints & Qt::ImhLatinOnly);
        QVERIFY(hints & Qt::ImhNoPredictiveText);
        // Asked for everything at once, as the input method does on focus.
        QInputMethodQueryEvent all(Qt::ImQueryAll);
        QCoreApplication::sendEvent(e, &all);
        QCOMPARE(all.value(Qt::ImEnabled).toBool(), false);
        QVERIFY(all.value(Qt::ImCursorRectangle).toRect().isValid());
    }
    QCOMPARE(AskBox(dlg.Edit2, Qt::ImEnabled).toBool(), true);
    QVERIFY(!(Qt::InputMethodHints(AskBox(dlg.Edit2, Qt::ImHints).toInt()) & Qt::ImhLatinOnly));
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg, 20000));
    QCOMPARE(QApplication::focusWidget(), dlg.Edit1);
    QTest::keyClicks(QApplication::focusWidget(), "t01");
    QCOMPARE(dlg.Edit1->text(), QStringLiteral("t01"));
    dlg.Edit1->clear();
}

QTEST_MAIN(LoginDialogTest)
#include "login_dialog_test.moc"
#include "qtry_bounds.h"
