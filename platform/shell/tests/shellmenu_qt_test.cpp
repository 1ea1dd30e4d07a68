// The progress dialog of long copies, on the offscreen platform.
#include "shellmenu_qt.h"

#include "tempdir.h"

#include <QApplication>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

using namespace shell;

class ShellQtTest : public QObject {
    Q_OBJECT
private slots:
    void progressShowsAfterAMomentAndCancelStops();
    void desktopHooksCopyWithProgress();
    void aCopyOfEmptyFilesShowsTheDialogAndCancels();
    void busyPhasesShowTheDialogAndKeepDrawingAfterCancel();
};

namespace {

QProgressDialog* CopyDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QProgressDialog*>(w); d && d->objectName() == QLatin1String("CopyProgress")) return d;
    return nullptr;
}

}  // namespace

void ShellQtTest::progressShowsAfterAMomentAndCancelStops() {
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window, 20000));
    std::unique_ptr<ICopyProgress> p = NewCopyProgress(300);
    // A short copy is over before the dialog would show.
    QVERIFY(p->Step(10, 100));
    QVERIFY(!CopyDialog());
    // A long one shows it, in Japanese, and keeps going until cancelled.
    QElapsedTimer clock;
    clock.start();
    uint64_t done = 0;
    while (!(CopyDialog() && CopyDialog()->isVisible()) && clock.elapsed() < 20000) QVERIFY(p->Step(++done % 90, 100));
    QProgressDialog* d = CopyDialog();
    QVERIFY(d && d->isVisible());
    QCOMPARE(d->windowTitle(), QString::fromUtf8("コピー"));
    QCOMPARE(d->labelText(), QString::fromUtf8("ファイルをコピーしています..."));
    QPushButton* cancel = d->findChild<QPushButton*>();
    QVERIFY(cancel);
    QCOMPARE(cancel->text(), QString::fromUtf8("キャンセル"));
    QTimer::singleShot(0, cancel, [cancel] { QTest::mouseClick(cancel, Qt::LeftButton); });
    bool going = true;
    clock.restart();
    while (going && clock.elapsed() < 20000) going = p->Step(50, 100);
    QVERIFY(!going);
    QVERIFY(!p->Step(60, 100));  // stays stopped
    p.reset();
    QVERIFY(!CopyDialog());  // the dialog goes with the copy
}

void ShellQtTest::desktopHooksCopyWithProgress() {
    InstallDesktopShellHooks();
    TempDir dir;
    std::filesystem::create_directories(dir / "dest");
    {
        int fd = ::open((dir / "a.bin").c_str(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        std::string bytes(3 * 1024 * 1024, 'x');
        QCOMPARE(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    }
    QVERIFY(GetShellMenuHooks().BeginCopy);
    QCOMPARE(DropPathsOn(dir / "dest", {dir / "a.bin"}, false), S_OK);
    QCOMPARE(std::filesystem::file_size(dir / "dest/a.bin"), std::uintmax_t(3 * 1024 * 1024));
    QVERIFY(!CopyDialog());
}

// No byte to copy, only items: the dialog comes all the same, and its
// Cancel stops the copy and leaves nothing of it.
void ShellQtTest::aCopyOfEmptyFilesShowsTheDialogAndCancels() {
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window, 20000));
    InstallDesktopShellHooks();
    TempDir dir;
    std::filesystem::create_directories(dir / "many");
    std::filesystem::create_directories(dir / "dest");
    for (int i = 0; i < 100000; ++i) {
        const int fd = ::open((dir / ("many/e" + std::to_string(i))).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
    }
    bool seen = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QProgressDialog* d = CopyDialog();
        if (seen || !d || !d->isVisible()) return;
        seen = true;
        QTest::mouseClick(d->findChild<QPushButton*>(), Qt::LeftButton);
    });
    poll.start();
    QCOMPARE(DropPathsOn(dir / "dest", {dir / "many"}, false), S_FALSE);
    poll.stop();
    QVERIFY(seen);
    QVERIFY(std::filesystem::is_empty(dir / "dest"));
    QVERIFY(!CopyDialog());
}

// A phase without measure (a removal, a sweep) shows the dialog as busy;
// its Cancel stops the copy once the phase is over, and the events that
// draw the windows still run while the phase ends.
void ShellQtTest::busyPhasesShowTheDialogAndKeepDrawingAfterCancel() {
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window, 20000));
    std::unique_ptr<ICopyProgress> p = NewCopyProgress(300);
    QElapsedTimer clock;
    clock.start();
    while (!(CopyDialog() && CopyDialog()->isVisible()) && clock.elapsed() < 20000) p->Busy();
    QProgressDialog* d = CopyDialog();
    QVERIFY(d && d->isVisible());
    QCOMPARE(d->maximum(), 0);  // busy
    QPushButton* cancel = d->findChild<QPushButton*>();
    QVERIFY(cancel);
    QTimer::singleShot(0, cancel, [cancel] { QTest::mouseClick(cancel, Qt::LeftButton); });
    clock.restart();
    while (!d->wasCanceled() && clock.elapsed() < 20000) p->Busy();
    QVERIFY(d->wasCanceled());
    bool fired = false;
    QTimer::singleShot(0, &window, [&fired] { fired = true; });
    clock.restart();
    while (!fired && clock.elapsed() < 20000) p->Busy();
    QVERIFY(fired);
    QVERIFY(!p->Item(1, 10));  // the copy stops
    p.reset();
    QVERIFY(!CopyDialog());
}

QTEST_MAIN(ShellQtTest)
#include "shellmenu_qt_test.moc"
