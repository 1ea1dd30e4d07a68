// Full screen on the screen this process was started with (CTest runs it
// once per screen size, and once with a device-pixel ratio of 2): the drill
// fills the largest 4:3 rectangle, takes clicks at its scaled places, and
// its dialogs are scaled alike.
#include "focus_keys.h"
#include "when_modal.h"
#include "hint_form.h"
#include "ExtArr.h"
#include "StdArr.h"
#include "ini_text.h"
#include "InputID.h"
#include "kankyo.h"
#include "main.h"
#include "test_form.h"
#include "qtext.h"
#include "scaled_display.h"
#include "choice.h"
#include "tempdir.h"
#include "textfile.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QToolButton>
#include <QToolTip>
#include <QInputMethod>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <QVBoxLayout>

#include <cmath>
#include <functional>
#include <memory>

namespace {

// The largest 4:3 rectangle on the screen, centred, worked out here on its own.
QRectF Expected(const QRect& screen) {
    const double s = std::min(screen.width() / 640.0, screen.height() / 480.0);
    return QRectF(screen.x() + (screen.width() - 640 * s) / 2, screen.y() + (screen.height() - 480 * s) / 2, 640 * s,
                  480 * s);
}

double ExpectedScale(const QRect& screen) { return std::min(screen.width() / 640.0, screen.height() / 480.0); }

bool Near(const QRectF& a, const QRectF& b, double tolerance = 1.0) {
    return std::abs(a.left() - b.left()) <= tolerance && std::abs(a.top() - b.top()) <= tolerance &&
           std::abs(a.right() - b.right()) <= tolerance && std::abs(a.bottom() - b.bottom()) <= tolerance;
}

QString Text(const QRectF& r) {
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// Where a point of the drill (in its 640 x 480 layout) shows in the window,
// by the expected scale alone.
QPoint InWindow(TForm1& f, QWidget* w, QPoint at) {
    const QRect screen = f.screen()->geometry();
    const QPointF logical = w->mapTo(f.DrillScreen(), at);
    const QRectF area = Expected(screen);
    const double s = ExpectedScale(screen);
    return (area.topLeft() + logical * s - QPointF(f.geometry().topLeft())).toPoint();
}

void ClickInWindow(TForm1& f, QPoint at) {
    QTest::mouseClick(f.windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
}


// What a start or a switch leaves on the screen.
struct TLook {
    QRect Window;
    QRect Drill;
    // Full screen by the window's state: a frameless window stalls the
    // dialogs under a kiosk window manager.
    bool FullScreen = false;
    bool Frameless = false;
    double DialogScale = 1;
    bool operator==(const TLook& o) const {
        return Window == o.Window && Drill == o.Drill && FullScreen == o.FullScreen && Frameless == o.Frameless &&
               DialogScale == o.DialogScale;
    }
};

TLook Look(TForm1& f) {
    return TLook{f.geometry(), f.DrillRect(), bool(f.windowState() & Qt::WindowFullScreen),
                 bool(f.windowFlags() & Qt::FramelessWindowHint), f.DialogScaler()->ScaleFactor()};
}

QString Text(const TLook& l) {
    return QStringLiteral("window %1 drill %2 full %3 frameless %4 dialogs %5")
        .arg(Text(l.Window), Text(l.Drill))
        .arg(l.FullScreen)
        .arg(l.Frameless)
        .arg(l.DialogScale);
}

}  // namespace

class FullScreenTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qputenv("RUZOZU_QUIET_MEDIA", "1");
        TForm1::ShowSplash = false;
        qInfo() << "screen" << QGuiApplication::primaryScreen()->geometry() << "ratio"
                << QGuiApplication::primaryScreen()->devicePixelRatio();
    }
    void drillFillsTheScreenAndTakesClicksThere();
    void dialogsScaleAlike();
    void loginBeforeTheWindowIsScaledToo();
    void switchingAtRunTimeLooksLikeAStart();
    void bigScreensShowEveryDialogWhole();
};

void FullScreenTest::drillFillsTheScreenAndTakesClicksThere() {
    TempDir dir;
    std::string p = WriteProblem(dir, "btns 2 a;b;c\nどれ？\n/\nz\n/\n");
    TestForm f(dir.path(), {Q(p)});
    f.ConfirmClose = false;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f, 20000));
    QTRY_VERIFY(f.AnsBtn->Cntrls(2)->isVisible());
    const QRect screen = f.screen()->geometry();
    QCOMPARE(f.geometry(), screen);
    QTRY_VERIFY2(Near(f.DrillRect(), Expected(screen)), qPrintable(Text(f.DrillRect()) + " / " + Text(Expected(screen))));
    QVERIFY(std::abs(f.ScaledView()->Scale() - ExpectedScale(screen)) < 1e-9);
    // The drill keeps the layout of the 640 x 480 display.
    QCOMPARE(f.DrillScreen()->size(), QSize(640, 480));
    QCOMPARE(f.AnsBtn->Cntrls(1)->geometry(), QRect(20, 265, 294, 30));

    // The answer box takes the focus where it shows, and the input method's
    // candidate window is asked to stand by it there.
    QVERIFY(TabTo(f.AnsBtn->Cntrls(1)));
    ClickInWindow(f, InWindow(f, f.Edit1, QPoint(10, f.Edit1->height() / 2)));
    QTRY_VERIFY(f.Edit1->hasFocus());
    QTest::keyClicks(QApplication::focusWidget(), "zz");
    QCOMPARE(f.Edit1->text(), QStringLiteral("zz"));
    const QRectF cursor = QGuiApplication::inputMethod()->cursorRectangle();
    const QRectF box(InWindow(f, f.Edit1, QPoint(0, 0)), InWindow(f, f.Edit1, QPoint(f.Edit1->width(), f.Edit1->height())));
    QVERIFY2(box.adjusted(-2, -2, 2, 2).contains(cursor), qPrintable(Text(cursor) + " / " + Text(box)));
    QVERIFY2(cursor.height() >= 0.8 * f.Edit1->fontMetrics().height() * ExpectedScale(screen),
             qPrintable(Text(cursor)));

    // An answer button and the answer button, each at its scaled place.
    QSignalSpy answer(f.AnsBtn->Cntrls(1), &QPushButton::clicked);
    ClickInWindow(f, InWindow(f, f.AnsBtn->Cntrls(1), f.AnsBtn->Cntrls(1)->rect().center()));
    QCOMPARE(answer.count(), 1);
    QCOMPARE(f.Engine().CorrectCount, 1);
    QCOMPARE(f.Button1->text(), QL("次に進む"));
    QSignalSpy next(f.Button1, &QPushButton::clicked);
    ClickInWindow(f, InWindow(f, f.Button1, f.Button1->rect().center()));
    QCOMPARE(next.count(), 1);
    // Enter in the answer box still reaches the window.
    ClickInWindow(f, InWindow(f, f.Edit1, QPoint(10, f.Edit1->height() / 2)));
    QTRY_VERIFY(f.Edit1->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(next.count(), 2);
    f.close();
}

void FullScreenTest::dialogsScaleAlike() {
    TempDir dir;
    // A message box at its natural size, before any scaling is on.
    QMessageBox plain(QMessageBox::NoIcon, "t", QL("メッセージの本文です"), QMessageBox::Ok);
    plain.setAttribute(Qt::WA_DontShowOnScreen);
    plain.show();
    const QSize natural = plain.size();
    const int naturalText = plain.findChild<QLabel*>("qt_msgbox_label")->fontMetrics().height();
    plain.hide();
    QSize size;
    // And a dialog that lays itself out, with room to spare.
    QDialog laidOut;
    laidOut.setLayout(new QVBoxLayout);
    laidOut.layout()->addWidget(new QLabel("text"));
    laidOut.resize(200, 100);
    const QSize laidOutSize = laidOut.size();

    TestForm f(dir.path(), {Q(WriteProblem(dir, "a\n/\n"))});
    f.ConfirmClose = false;
    f.Boxes.Enabled = false;  // the message box below is looked at before it is closed
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f, 20000));
    const QRect screen = f.screen()->geometry();
    QTRY_VERIFY(Near(f.DrillRect(), Expected(screen)));
    const double s = ExpectedScale(screen);
    const QPointF centre = Expected(screen).center();
    // Each dialog below is looked at, from inside its own event loop, until
    // it has settled where and as it should be (it is centred after it has
    // taken its size, and the keyboard comes to it after it shows), then
    // closed at once; the checks after it say what was seen last.  Twenty
    // seconds without settling bound a hang.
    auto closeOnceSettled = [](std::function<bool(QWidget*)> settled, std::function<void(QWidget*)> close) {
        auto* poll = new QTimer(qApp);
        auto waited = std::make_shared<QElapsedTimer>();
        waited->start();
        QObject::connect(poll, &QTimer::timeout, poll, [=] {
            QWidget* d = QApplication::activeModalWidget();
            if (!d || !d->isVisible()) return;
            if (!settled(d) && waited->elapsed() < 20000) return;
            poll->stop();
            poll->deleteLater();
            close(d);
        });
        poll->start(10);
    };
    auto centred = [&](QWidget* d) { return (QRectF(d->frameGeometry()).center() - centre).manhattanLength() <= 3; };
    auto hasKeyboard = [](QWidget* d) {
        QWidget* focus = QApplication::focusWidget();
        return QApplication::activeWindow() == d && focus && d->isAncestorOf(focus);
    };

    closeOnceSettled(
        [&](QWidget* d) {
            size = d->size();
            return std::abs(size.width() - laidOutSize.width() * s) <= 1 && std::abs(size.height() - laidOutSize.height() * s) <= 1;
        },
        [](QWidget* d) { d->close(); });
    laidOut.exec();
    QVERIFY2(std::abs(size.width() - laidOutSize.width() * s) <= 1 && std::abs(size.height() - laidOutSize.height() * s) <= 1,
             qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
    QTRY_COMPARE(laidOut.size(), laidOutSize);  // its own size back

    // The hint dialog: its fixed size and its text scaled, over the drill's middle.
    QPointF shownAt;
    int textHeight = 0;
    closeOnceSettled(
        [&](QWidget* w) {
            auto* d = qobject_cast<TOKBottomDlg*>(w);
            if (!d) return false;
            size = d->size();
            shownAt = QRectF(d->frameGeometry()).center();
            textHeight = d->ArLabel1->Cntrls(0)->height();
            return centred(d) && hasKeyboard(d);
        },
        [](QWidget*) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); });
    TOKBottomContent c;
    c.Caption = "x";
    c.Labels[0] = "y";
    c.Width = c.Height = 1;
    f.ShowOKBottomDlg(c);
    QVERIFY2(std::abs(size.width() - 323 * s) <= 1 && std::abs(size.height() - 140 * s) <= 1,
             qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
    QVERIFY(std::abs(textHeight - 20 * s) <= 1);
    QVERIFY2((shownAt - centre).manhattanLength() <= 3, qPrintable(QStringLiteral("%1,%2").arg(shownAt.x()).arg(shownAt.y())));
    // Closed, it has its own sizes back for the next time.
    QTRY_COMPARE(f.OKBottomDlg()->size(), QSize(323, 140));
    QCOMPARE(f.OKBottomDlg()->ArLabel1->Cntrls(0)->geometry(), QRect(5, 2, 316, 20));

    // The settings dialog, opened from the menu command.
    closeOnceSettled(
        [&](QWidget* d) {
            size = d->size();
            shownAt = QRectF(d->frameGeometry()).center();
            return centred(d);
        },
        [](QWidget* d) { d->close(); });
    f.OptionBoxClick();
    QVERIFY2(std::abs(size.width() - 360 * s) <= 1 && std::abs(size.height() - 170 * s) <= 1,
             qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
    QVERIFY((shownAt - centre).manhattanLength() <= 3);

    // A message box lays itself out: its text and its margins grow by the
    // factor, so the box does too, and it stands over the drill's middle.
    int text = 0;
    closeOnceSettled(
        [&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box) return false;
            size = box->size();
            shownAt = QRectF(box->frameGeometry()).center();
            text = box->findChild<QLabel*>("qt_msgbox_label")->fontMetrics().height();
            return centred(box) && hasKeyboard(box);
        },
        [](QWidget*) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); });
    f.TForm1::ShowMessage(sjis::L("メッセージの本文です"));
    QVERIFY2(std::abs(text - naturalText * s) <= 2, qPrintable(QStringLiteral("%1 / %2").arg(text).arg(naturalText)));
    // (Qt caps a message box's width at 500 pixels and wraps the text: the
    // area still grows as the square of the factor.)
    QVERIFY2(double(size.width()) * size.height() >= 0.7 * natural.width() * natural.height() * s * s,
             qPrintable(QStringLiteral("%1x%2 / %3x%4").arg(size.width()).arg(size.height()).arg(natural.width()).arg(natural.height())));
    QVERIFY((shownAt - centre).manhattanLength() <= 3);
    f.close();
}

// In network mode the login comes before the window is up: it is scaled
// and stands where the drill will.
void FullScreenTest::loginBeforeTheWindowIsScaledToo() {
    TempDir dir;
    textfile::CreateDir(dir / "score");
    textfile::WriteFileAtomic(dir / "ruzozu.dvk", "[Data]\r\nFolder=" + (dir / "score/") + "\r\n");
    QSize natural;
    {
        std::string id, name;
        TfInputID plain(nullptr, dir / "score/", id, name);
        natural = plain.size();
    }
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const double s = ExpectedScale(screen);
    QSize size;
    QPointF shownAt;
    WhenModal<QWidget>([&](QWidget* d) {
        size = d->size();
        shownAt = QRectF(d->frameGeometry()).center();
        d->close();
    });
    TestForm f(dir.path(), {});
    f.ConfirmClose = false;
    QVERIFY2(std::abs(size.width() - natural.width() * s) <= 1 && std::abs(size.height() - natural.height() * s) <= 1,
             qPrintable(QStringLiteral("%1x%2 / %3x%4").arg(size.width()).arg(size.height()).arg(natural.width()).arg(natural.height())));
    QVERIFY2((shownAt - Expected(screen).center()).manhattanLength() <= 3,
             qPrintable(QStringLiteral("%1,%2").arg(shownAt.x()).arg(shownAt.y())));
}

// The settings dialog switches full screen off and on three times; each
// time the screen looks as after a start in that mode.
void FullScreenTest::switchingAtRunTimeLooksLikeAStart() {
    TempDir dir;
    const std::string problem = WriteProblem(dir, "a\n/\n");
    auto startedIn = [&](bool full) {
        TDrillSettings s;
        ReadSettings(s, dir.path());
        s.FullScreen = full;
        s.ProblemFolder = dir.path();
        WriteSettings(s, dir.path());
        auto f = std::make_unique<TestForm>(dir.path(), QStringList{Q(problem)});
        f->ConfirmClose = false;
        f->show();
        return f;
    };
    TLook look[2];
    for (bool full : {false, true}) {
        auto f = startedIn(full);
        QVERIFY(QTest::qWaitForWindowExposed(f.get(), 20000));
        // The look to compare with, once the drill has its size.
        if (full) QTRY_VERIFY(Near(f->DrillRect(), Expected(QGuiApplication::primaryScreen()->geometry())));
        else QTRY_COMPARE(f->DrillRect().width(), 631);
        look[full] = Look(*f);
        f->close();
    }
    QVERIFY(look[1].FullScreen && !look[0].FullScreen);
    QVERIFY(!look[1].Frameless && !look[0].Frameless);
    QVERIFY(Near(look[1].Drill, Expected(QGuiApplication::primaryScreen()->geometry())));
    // Normal mode: the drill at its own size, dialogs as they are.
    QCOMPARE(look[0].Drill.width(), 631);
    QCOMPARE(look[0].DialogScale, 1.0);

    auto f = startedIn(true);
    QVERIFY(QTest::qWaitForWindowExposed(f.get(), 20000));
    for (int round = 0; round < 3; ++round) {
        for (bool full : {false, true}) {
            WhenModal<TfKankyo>([full](TfKankyo* d) {
                d->CheckBox1->setChecked(full);
                d->BitBtn1->click();
            });
            f->OptionBoxClick();
            QTRY_VERIFY2(Look(*f) == look[full], qPrintable(QStringLiteral("round %1 full %2: %3 / %4")
                                                                 .arg(round)
                                                                 .arg(full)
                                                                 .arg(Text(Look(*f)), Text(look[full]))));
            QCOMPARE(f->Engine().Settings.FullScreen, full);
            // A real display holds the window to its size limits, which the
            // offscreen platform does not: none may be left from normal mode.
            if (full) QVERIFY(f->maximumSize().expandedTo(look[1].Window.size()) == f->maximumSize());
        }
    }
    // Typing still reaches the answer box after all the switching: the
    // window has taken the keyboard back by itself.
    QVERIFY(QTest::qWaitForWindowActive(f.get(), 20000));
    QTRY_VERIFY(f->Edit1->hasFocus());
    QTest::keyClicks(QApplication::focusWidget(), "ok");
    QCOMPARE(f->Edit1->text(), QStringLiteral("ok"));
    f->close();
}

// What a big screen showed cut off: the status words, the folder chooser's
// buttons and place, the open dialog's columns, the tooltips.
void FullScreenTest::bigScreensShowEveryDialogWhole() {
    TempDir dir;
    const QFont naturalTip = QToolTip::font();
    TestForm f(dir.path(), {Q(WriteProblem(dir, "a\n/\n"))});
    f.ConfirmClose = false;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f, 20000));
    const QRect screen = f.screen()->geometry();
    QTRY_VERIFY(Near(f.DrillRect(), Expected(screen)));
    const double s = ExpectedScale(screen);

    // The status texts fit their panels (the drill is scaled as a whole).
    const QString cut = StatusTextCut(f);
    QVERIFY2(cut.isEmpty(), qPrintable(cut));
    // Tooltips are scaled with the drill.
    const QFont tip = QToolTip::font();
    const double grown = tip.pixelSize() > 0 ? double(tip.pixelSize()) / naturalTip.pixelSize()
                                             : tip.pointSizeF() / naturalTip.pointSizeF();
    QVERIFY2(std::abs(grown - s) < 0.1, qPrintable(QString::number(grown)));

    // The open dialog's columns grow with its text.
    std::vector<int> natural;
    {
        QFileDialog plain;
        for (int i = 0; i < 4; ++i) natural.push_back(plain.findChild<QHeaderView*>()->sectionSize(i));
    }
    std::vector<int> shown;
    WhenModal<QFileDialog>([&](QFileDialog* d) {
        for (int i = 0; i < 4; ++i) shown.push_back(d->findChild<QHeaderView*>()->sectionSize(i));
        d->reject();
    });
    f.Engine().BaseName.clear();  // no question first
    f.Open1Click();
    QCOMPARE(shown.size(), size_t(4));
    for (int i = 0; i < 4; ++i)
        QVERIFY2(std::abs(shown[i] - natural[i] * s) <= 2,
                 qPrintable(QStringLiteral("column %1: %2 / %3").arg(i).arg(shown[i]).arg(natural[i])));

    // The folder chooser, opened from the settings dialog: right of it (kept
    // on the screen), its buttons inside it.
    QRect settings, chooser, ok, cancel, chooserClient;
    WhenModal<TfKankyo>([&](TfKankyo* k) {
        settings = k->frameGeometry();
        WhenModal<TfChoice>([&](TfChoice* c) {
            chooser = c->frameGeometry();
            chooserClient = c->rect();
            ok = c->BitBtn1->geometry();
            cancel = c->BitBtn2->geometry();
            c->reject();
            WhenModal<TfKankyo>([](TfKankyo* k) { k->BitBtn2->click(); });
        });
        k->SpeedButton1->click();
    });
    f.OptionBoxClick();
    QVERIFY(!chooser.isEmpty());
    QVERIFY2(chooserClient.contains(ok) && chooserClient.contains(cancel),
             qPrintable(Text(ok) + " " + Text(cancel) + " in " + Text(chooserClient)));
    QVERIFY(std::abs(ok.height() - 25 * s) <= 1);
    QVERIFY2(screen.contains(chooser), qPrintable(Text(chooser)));
    QVERIFY2(chooser.left() == settings.right() + 1 || chooser.right() == screen.right(),
             qPrintable(Text(chooser) + " beside " + Text(settings)));
    QCOMPARE(chooser.top(), std::min(settings.top(), screen.bottom() + 1 - chooser.height()));
    f.close();
}

QTEST_MAIN(FullScreenTest)
#include "fullscreen_test.moc"
#include "qtry_bounds.h"
