// The login dialog driven by keys under Qt's offscreen platform.
#include "InputID.h"
#include "RetEdit.h"
#include "qtext.h"
#include "roster.h"
#include "tempdir.h"
#include "textfile.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

// Closes every message box that opens, with Enter, and counts them.
struct BoxCloser {
    int Count = 0;
    QTimer Timer;
    BoxCloser() {
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                    ++Count;
                    QTest::keyClick(box, Qt::Key_Return);
                }
        });
        Timer.start(20);
    }
};

void Type(QLineEdit* w, const char* text) {
    w->insert(QString::fromUtf8(text));  // as an input method would
    QTest::keyClick(w, Qt::Key_Return);
    QTest::qWait(60);
}

}  // namespace

class LoginDialogTest : public QObject {
    Q_OBJECT
private slots:
    void newLearnerLogsInByKeys();
    void knownLearnerWrongThenRightPassword();
    void passwordWithoutShiftJisFormIsRefused();
};

void LoginDialogTest::newLearnerLogsInByKeys() {
    TempDir dir;
    std::string id, name;
    TfInputID dlg(nullptr, dir.path(), id, name);
    BoxCloser closer;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    dlg.Edit1->setFocus();
    Type(dlg.Edit1, "t01");
    QCOMPARE(dlg.Edit2->text(), QL("未登録"));
    QVERIFY(dlg.Edit2->hasFocus());
    Type(dlg.Edit2, "太郎");  // asks for a password
    QTRY_COMPARE(closer.Count, 1);
    QTRY_VERIFY(dlg.Edit3->hasFocus());
    Type(dlg.Edit3, "pw1");
    QVERIFY(dlg.BitBtn1->hasFocus());
    QTest::keyClick(dlg.BitBtn1, Qt::Key_Return);
    QCOMPARE(dlg.result(), int(TfInputID::ResultOk));
    QCOMPARE(id, std::string("t01"));
    QCOMPARE(Q(name), QL("太郎"));
    std::vector<RosterEntry> roster;
    QVERIFY(ReadRoster(dir / "ruzozu.mib", roster));
    QCOMPARE(roster.size(), size_t(1));
    QCOMPARE(roster[0].password, std::string("pw1"));
}

void LoginDialogTest::knownLearnerWrongThenRightPassword() {
    TempDir dir;
    textfile::WriteFileAtomic(dir / "ruzozu.mib", FormatRoster({{"A1", "alice", "secret"}}));
    std::string id, name;
    TfInputID dlg(nullptr, dir.path(), id, name);
    BoxCloser closer;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    dlg.Edit1->setFocus();
    Type(dlg.Edit1, "A1");
    QCOMPARE(dlg.Edit2->text(), QStringLiteral("alice"));
    QTRY_VERIFY(dlg.Edit3->hasFocus());  // a known ID moves on to the password
    Type(dlg.Edit3, "wrong");
    QTest::keyClick(dlg.BitBtn1, Qt::Key_Return);
    QTRY_COMPARE(closer.Count, 1);
    QVERIFY(dlg.isVisible());
    QVERIFY(dlg.Edit3->text().isEmpty());
    QTRY_VERIFY(dlg.Edit3->hasFocus());
    Type(dlg.Edit3, "secret");
    QTest::keyClick(dlg.BitBtn1, Qt::Key_Return);
    QCOMPARE(dlg.result(), int(TfInputID::ResultOk));
    QCOMPARE(name, std::string("alice"));
}

void LoginDialogTest::passwordWithoutShiftJisFormIsRefused() {
    TempDir dir;
    std::string id, name;
    TfInputID dlg(nullptr, dir.path(), id, name);
    BoxCloser closer;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    dlg.Edit1->setFocus();
    Type(dlg.Edit1, "t02");
    dlg.Edit2->setText(QL("花子"));
    dlg.Edit3->setText(QString::fromUtf8("\xC3\xA9"));  // "é" has no Shift-JIS form
    dlg.BitBtn1->click();
    QTRY_COMPARE(closer.Count, 1);
    QVERIFY(dlg.isVisible());
    QVERIFY(dlg.Edit3->text().isEmpty());
    QVERIFY(!textfile::FileExists(dir / "ruzozu.mib"));
}

QTEST_MAIN(LoginDialogTest)
#include "login_dialog_test.moc"
