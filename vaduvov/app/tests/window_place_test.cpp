// The controller's windows open where they were closed, under a real
// window manager (run by window_place.sh on an X display of its own): the
// place saved is the frame's, and the place restored is the frame's too.
#include "IniFile.h"
#include "ini_text.h"
#include "list.h"
#include "main.h"
#include "meibo.h"
#include "score.h"
#include "tempdir.h"
#include "winpos.h"

#include <QScreen>
#include <QtTest>

#include <functional>

namespace {

// The real main window, its messages (no drill program here) counted.
class TestMain : public TfMain {
public:
    using TfMain::TfMain;
    void ShowMessage(const std::string&) override {}
    void Beep() override {}
};

// Opens a window, lets the window manager frame it, closes it: the place
// it saved.  open makes the window from the settings; close saves its
// place into them (as closing it does).
using TOpen = std::function<QWidget*(TControllerSettings&)>;
using TClose = std::function<void(QWidget*)>;

// A window manager may keep a window on the screen, or maximize a main
// window: such a place is the manager's choice, not one to restore.
bool Placeable(QWidget* w) { return !(w->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)); }

}  // namespace

class WindowPlaceTest : public QObject {
    Q_OBJECT
private slots:
    void everyWindowReopensWhereItWasClosed();
};

void WindowPlaceTest::everyWindowReopensWhereItWasClosed() {
    TempDir dir;
    struct TKind {
        const char* name;
        int TControllerSettings::*left;
        int TControllerSettings::*top;
        TOpen open;
        TClose close;
    };
    const TKind kinds[] = {
        {"main", &TControllerSettings::Left, &TControllerSettings::Top,
         [&](TControllerSettings& s) -> QWidget* {
             // The place comes from the controller's own settings file.
             TIniFile ini(dir / "vaduvov.ini");
             ini.WriteInteger("Window", "Top", s.Top);
             ini.WriteInteger("Window", "Left", s.Left);
             auto* w = new TestMain(dir.path());
             w->FormCreate();
             return w;
         },
         [&](QWidget* w) {
             static_cast<TfMain*>(w)->BitBtn1Click();  // writes the settings files
             TControllerSettings back;
             ReadIniFile(back, dir / "vaduvov.ini", dir.path());
             static_cast<TfMain*>(w)->Settings = back;
         }},
        {"roster", &TControllerSettings::MeiboLeft, &TControllerSettings::MeiboTop,
         [](TControllerSettings& s) -> QWidget* { return new TfMeibo(nullptr, s); },
         [](QWidget* w) { static_cast<TfMeibo*>(w)->reject(); }},
        {"client list", &TControllerSettings::ListLeft, &TControllerSettings::ListTop,
         [](TControllerSettings& s) -> QWidget* { return new TfList(nullptr, s); }, [](QWidget*) {}},
        {"score table", &TControllerSettings::ScoreLeft, &TControllerSettings::ScoreTop,
         [](TControllerSettings& s) -> QWidget* { return new TfScore(nullptr, s); }, [](QWidget*) {}},
    };
    for (const TKind& k : kinds) {
        for (const QPoint start : {QPoint(100, 100), QPoint(20, 45), QPoint(37, 61)}) {
            TControllerSettings s;
            s.MeiboDir = dir.path();
            s.ScoreDir = dir.path();
            s.*k.left = start.x();
            s.*k.top = start.y();
            // Three openings: each must stand where the last one closed.
            for (int round = 0; round < 3; ++round) {
                const QPoint want(s.*k.left, s.*k.top);
                QWidget* w = k.open(s);
                w->show();
                QVERIFY(QTest::qWaitForWindowExposed(w, 20000));
                if (!Placeable(w)) {
                    delete w;
                    break;
                }
                // The frame settles where it was put (a window manager
                // frames the window a moment after it is shown).
                QTRY_VERIFY2_WITH_TIMEOUT(FramePosition(w) == want,
                                          qPrintable(QString("%1 round %2: frame at %3,%4 (client %5,%6) for %7,%8")
                                                         .arg(k.name).arg(round)
                                                         .arg(FramePosition(w).x()).arg(FramePosition(w).y())
                                                         .arg(w->geometry().x()).arg(w->geometry().y())
                                                         .arg(want.x()).arg(want.y())),
                                          10000);
                QTest::qWait(200);  // and stays there
                QCOMPARE(FramePosition(w), want);
                k.close(w);
                if (auto* main = qobject_cast<TfMain*>(w)) s = main->Settings;
                delete w;  // the lists save their place when they go
                QVERIFY2(QPoint(s.*k.left, s.*k.top) == want,
                         qPrintable(QString("%1 round %2: saved %3,%4 for %5,%6")
                                        .arg(k.name).arg(round).arg(s.*k.left).arg(s.*k.top)
                                        .arg(want.x()).arg(want.y())));
            }
        }
    }
}

QTEST_MAIN(WindowPlaceTest)
#include "window_place_test.moc"
