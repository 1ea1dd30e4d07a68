// Control arrays and the return-key edit under Qt's offscreen platform.
#include "ExtArr.h"
#include "RetEdit.h"
#include "focus_keys.h"
#include "when_modal.h"
#include "StdArr.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <memory>

class ArraysTest : public QObject {
    Q_OBJECT
private slots:
    void createsNamesAndPlacesElements();
    void shrinksAndForgetsFreedElements();
    void acceptsAndRefusesClasses();
    void eventsCarryTheIndex();
    void focusEnterAndExitOnceInOrder();
    void exitComesBeforeTheClickThatLeaves();
    void controlInTwoArraysOrTwiceInOne();
    void shrinkingPastAControlThatStandsTwice();
    void returnKeyMovesOn();
    void arrayKeyPressOfReturnEdits();
    void doubleClickOnALabelClicksOnce();
};

void ArraysTest::createsNamesAndPlacesElements() {
    QWidget form;
    form.resize(631, 429);
    auto* existing = new QPushButton(&form);
    existing->setObjectName("AnsBtn_1");
    TArBitBtn AnsBtn(&form, "AnsBtn", QPoint(21, 48));
    AnsBtn.SetNumOfArry(10);
    QCOMPARE(AnsBtn.NumOfArry(), 10);
    QCOMPARE(AnsBtn.Cntrls(0)->objectName(), QStringLiteral("AnsBtn_2"));
    QCOMPARE(AnsBtn.Cntrls(1)->objectName(), QStringLiteral("AnsBtn_3"));
    QCOMPARE(AnsBtn.Cntrls(0)->pos(), QPoint(51, 48));
    QCOMPARE(AnsBtn.Cntrls(1)->pos(), QPoint(66, 78));
    QCOMPARE(AnsBtn.Cntrls(0)->parentWidget(), &form);
    QVERIFY(AnsBtn.Cntrls(-1) == nullptr);
    QVERIFY(AnsBtn.Cntrls(10) == nullptr);
    AnsBtn.SetNumOfArry(10);  // the same number changes nothing
    QCOMPARE(AnsBtn.NumOfArry(), 10);
}

void ArraysTest::shrinksAndForgetsFreedElements() {
    QWidget form;
    form.resize(631, 429);
    TArBitBtn a(&form, "B");
    a.SetNumOfArry(10);
    QPointer<QPushButton> nine = a.Cntrls(9);
    QPointer<QPushButton> six = a.Cntrls(6);
    a.SetNumOfArry(7);
    QVERIFY(nine.isNull());
    QVERIFY(!six.isNull());
    QCOMPARE(a.NumOfArry(), 7);
    QPushButton* four = a.Cntrls(4);
    delete a.Cntrls(3);  // freeing element 3 moves the later ones down
    QCOMPARE(a.NumOfArry(), 6);
    QCOMPARE(a.Cntrls(3), four);
    QCOMPARE(a.IndexOf(four), 3);
}

void ArraysTest::acceptsAndRefusesClasses() {
    QWidget form;
    TArEdit edits(&form, "E");
    QLineEdit plain(&form);
    QCOMPARE(edits.AddCntrl(&plain), 0);  // a base of the element class
    TArLabel labels(&form, "L");
    QPushButton button(&form);
    bool refused = false;
    try {
        labels.AddCntrl(&button);
    } catch (const EInvalidOperation& e) {
        refused = true;
        QVERIFY(QString::fromLatin1(e.what()).startsWith("QPushButton "));
    }
    QVERIFY(refused);
    QCOMPARE(labels.NumOfArry(), 0);
}

void ArraysTest::eventsCarryTheIndex() {
    QWidget form;
    form.resize(631, 429);
    TArBitBtn a(&form, "AnsBtn");
    a.SetNumOfArry(3);
    int own = 0;
    connect(a.Cntrls(1), &QPushButton::clicked, [&] { ++own; });  // replaced once hooked again
    TArBitBtn b(&form, "Other");
    b.AddCntrl(a.Cntrls(1));
    QPushButton* btn = a.Cntrls(1);
    btn->click();  // b has no OnClick handler: nothing happens
    QCOMPARE(own, 0);
    QList<int> clicked;
    QObject* sender = nullptr;
    b.OnClick = [&](QObject* s, int i) {
        sender = s;
        clicked << i;
    };
    btn->click();
    QCOMPARE(clicked, QList<int>{0});
    QCOMPARE(sender, static_cast<QObject*>(btn));
    QObject* popupSender = nullptr;
    int popupIndex = -9;
    b.OnContextPopup = [&](QObject* s, int i, QPoint, bool& handled) {
        popupSender = s;
        popupIndex = i;
        handled = true;
    };
    QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(1, 1), QPoint(1, 1));
    QApplication::sendEvent(btn, &ev);
    QCOMPARE(popupSender, static_cast<QObject*>(&b));  // the array itself
    QCOMPARE(popupIndex, 0);
}

void ArraysTest::focusEnterAndExitOnceInOrder() {
    QWidget form;
    TArEdit edits(&form, "ArEdit1");
    auto* e0 = new QLineEdit(&form);
    auto* e1 = new QLineEdit(&form);
    edits.AddCntrl(e0);
    edits.AddCntrl(e1);
    QStringList log;
    edits.OnEnter = [&](QObject*, int i) { log << QStringLiteral("enter%1").arg(i); };
    edits.OnExit = [&](QObject*, int i) { log << QStringLiteral("exit%1").arg(i); };
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form, 20000));
    QVERIFY(TabTo(e0));
    QVERIFY(TabTo(e1));
    QCOMPARE(log, (QStringList{"enter0", "exit0", "enter1"}));
    // A message box taking the window's focus is no exit of the edit.
    EnterInNextModal();
    QMessageBox::information(&form, "t", "m");
    QCOMPARE(log, (QStringList{"enter0", "exit0", "enter1"}));
}

void ArraysTest::exitComesBeforeTheClickThatLeaves() {
    QWidget form;
    form.resize(300, 120);
    TArEdit edits(&form, "ArEdit1");
    auto* e0 = new QLineEdit(&form);
    e0->setGeometry(10, 10, 100, 24);
    edits.AddCntrl(e0);
    auto* button = new QPushButton("b", &form);
    button->setGeometry(10, 60, 100, 30);
    QStringList log;
    bool message = false;
    edits.OnExit = [&](QObject*, int i) {
        log << QStringLiteral("exit%1").arg(i);
        if (!message) return;
        EnterInNextModal();
        QMessageBox::information(&form, "t", "m");
    };
    QObject::connect(button, &QPushButton::clicked, [&] { log << "click"; });
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form, 20000));
    QVERIFY(TabTo(e0));
    // The press, as the window system delivers it, moves the focus first.
    QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, button->geometry().center());
    QCOMPARE(log, (QStringList{"exit0", "click"}));
    QCOMPARE(QApplication::focusWidget(), button);
    // An exit that asks the person something first: the click is dropped,
    // the focus has moved all the same.
    QVERIFY(TabTo(e0));
    message = true;
    QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, button->geometry().center());
    QCOMPARE(log, (QStringList{"exit0", "click", "exit0"}));
    QCOMPARE(form.focusWidget(), button);
    // Back from the message box: where a window manager gives the form the
    // activation back, the offscreen platform leaves no window active.
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form, 20000));
    // A click that leaves the focus where it is delivers no exit.
    QVERIFY(TabTo(e0));
    QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, e0->geometry().center());
    QCOMPARE(log.size(), 3);
}

void ArraysTest::controlInTwoArraysOrTwiceInOne() {
    QWidget form;
    auto* e0 = new QLineEdit(&form);
    auto* e1 = new QLineEdit(&form);
    QStringList log;
    TArEdit kept(&form, "Kept");
    kept.AddCntrl(e0);
    kept.AddCntrl(e1);
    kept.OnEnter = [&](QObject*, int i) { log << QStringLiteral("kept%1").arg(i); };
    {
        // A second array over the same edits, destroyed first: the first
        // array's watchers stay and the second's go with it.
        auto gone = std::make_unique<TArEdit>(&form, "Gone");
        gone->AddCntrl(e1);
        gone->AddCntrl(e0);
        gone->OnEnter = [&](QObject*, int i) { log << QStringLiteral("gone%1").arg(i); };
    }
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form, 20000));
    QVERIFY(TabTo(e0));
    QVERIFY(TabTo(e1));
    QCOMPARE(log, (QStringList{"kept0", "kept1"}));

    // Added twice, an edit is hooked once; it keeps its hooks until its
    // last place in the array goes.
    log.clear();
    TArEdit twice(&form, "Twice");
    twice.AddCntrl(e0);
    QCOMPARE(twice.AddCntrl(e0), 1);
    QCOMPARE(twice.NumOfArry(), 2);
    twice.OnEnter = [&](QObject*, int i) { log << QStringLiteral("twice%1").arg(i); };
    twice.OnChange = [&](QObject*, int i) { log << QStringLiteral("change%1").arg(i); };
    QVERIFY(TabTo(e0));
    e0->setText("a");
    QCOMPARE(log, (QStringList{"twice0", "kept0", "change0"}));  // the later watcher first, as Qt calls them
    twice.Delete(1);
    log.clear();
    QVERIFY(TabTo(e1));
    QVERIFY(TabTo(e0));
    e0->setText("b");
    QCOMPARE(log, (QStringList{"kept1", "twice0", "kept0", "change0"}));
    twice.Delete(0);
    log.clear();
    QVERIFY(TabTo(e1));
    QVERIFY(TabTo(e0));
    e0->setText("c");
    QCOMPARE(log, (QStringList{"kept1", "kept0"}));
    // A control freed while in the array twice leaves both places.
    twice.AddCntrl(e1);
    twice.AddCntrl(e1);
    delete e1;
    QCOMPARE(twice.NumOfArry(), 0);
}

void ArraysTest::shrinkingPastAControlThatStandsTwice() {
    QWidget form;
    TArLabel labels(&form, "Lbl");
    labels.SetNumOfArry(2);
    QPointer<QLabel> first = labels.Cntrls(0), second = labels.Cntrls(1);
    QCOMPARE(labels.AddCntrl(labels.Cntrls(0)), 2);
    QCOMPARE(labels.NumOfArry(), 3);
    // Down to one: the first label's second place and the second label go;
    // the first label stays, still element 0 and still hooked.
    labels.SetNumOfArry(1);
    QCOMPARE(labels.NumOfArry(), 1);
    QVERIFY(first);
    QVERIFY(!second);
    QCOMPARE(labels.Cntrls(0), first.data());
    int clicks = 0;
    labels.OnClick = [&](QObject*, int i) { clicks += i == 0; };
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form, 20000));
    QTest::mouseClick(first.data(), Qt::LeftButton, {}, QPoint(2, 2));
    QCOMPARE(clicks, 1);
    // Twice again, then none: the label is freed once and nothing is left.
    labels.AddCntrl(labels.Cntrls(0));
    labels.SetNumOfArry(0);
    QCOMPARE(labels.NumOfArry(), 0);
    QVERIFY(!first);
    QVERIFY(!labels.Cntrls(0));
    QVERIFY(form.findChildren<QLabel*>().isEmpty());
    // The array grows again from nothing.
    labels.SetNumOfArry(2);
    QCOMPARE(labels.NumOfArry(), 2);
    QVERIFY(labels.Cntrls(1));
}

void ArraysTest::returnKeyMovesOn() {
    QWidget form;
    auto* a = new TRetEdit(&form);
    auto* b = new TRetEdit(&form);
    auto* ok = new QPushButton("OK", &form);
    QStringList keys;
    a->OnKeyPress = [&](QObject*, QString k) { keys << k; };
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form, 20000));
    QVERIFY(TabTo(a));
    QTest::keyClicks(QApplication::focusWidget(), "x");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(b->hasFocus());
    QCOMPARE(keys, QStringList{"x"});  // the Enter itself never reaches the handler
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(ok->hasFocus());  // the last box before a button gives it the focus
    b->ReturnNext = false;
    QVERIFY(TabTo(b));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(b->hasFocus());
}

void ArraysTest::arrayKeyPressOfReturnEdits() {
    QWidget form;
    TArEdit edits(&form, "ArEdit1");
    edits.SetNumOfArry(2);
    TRetEdit* e0 = edits.Cntrls(0) ? qobject_cast<TRetEdit*>(edits.Cntrls(0)) : nullptr;
    QVERIFY(e0 != nullptr);
    QStringList keys;
    edits.OnKeyPress = [&](QObject*, int i, QString& k) { keys << QStringLiteral("%1:%2").arg(i).arg(k); };
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form, 20000));
    QVERIFY(TabTo(e0));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);  // swallowed by the edit before any key-press handler
    QVERIFY(edits.Cntrls(1)->hasFocus());
    QCOMPARE(keys, QStringList{});
    // A key the handler changes reaches the element changed.
    edits.OnKeyPress = [&](QObject*, int, QString& k) { k = k.toUpper(); };
    QTest::keyClicks(QApplication::focusWidget(), "ab");
    QCOMPARE(edits.Cntrls(1)->text(), QStringLiteral("AB"));
}

void ArraysTest::doubleClickOnALabelClicksOnce() {
    QWidget form;
    TArLabel labels(&form, "TextLine");
    labels.SetNumOfArry(1);
    QStringList log;
    labels.OnClick = [&](QObject*, int i) { log << QStringLiteral("click%1").arg(i); };
    labels.OnDblClick = [&](QObject*, int i) { log << QStringLiteral("dbl%1").arg(i); };
    const QPointF at(2, 2);
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonPress,
                           QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        QMouseEvent ev(t, at, labels.Cntrls(0)->mapToGlobal(at), Qt::LeftButton,
                       t == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(labels.Cntrls(0), &ev);
    }
    QCOMPARE(log, (QStringList{"click0", "dbl0"}));  // the release ending a double click is no click
}

int RunArraysTest(int argc, char** argv) {
    ArraysTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "arrays_test.moc"
