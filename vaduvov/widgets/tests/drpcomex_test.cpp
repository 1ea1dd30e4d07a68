// The controller's shell context menu and drag source over temporary
// folders, under Qt's offscreen platform.  The menu is never shown: a
// tracking hook chooses the command.
#include "DRPCOMEX.h"

#include "shellmenu.h"
#include "shellmenu_qt.h"
#include "shown_texts.h"
#include "sjis.h"
#include "tempdir.h"

#include <QDrag>
#include <QMessageBox>
#include <QMimeData>
#include <QWidget>
#include <QtTest>

#include <filesystem>
#include <fstream>

using namespace shell;
namespace fs = std::filesystem;

class DrpComExTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void findMenuItemByCaptionPosition();
    void preconditionsShowNoMenu();
    void sendToEntriesReplaceThePlaceholder();
    void dismissingOrNoEntryInvokesNothing();
    void chosenCommandsRun();
    void sendToTheHundredthEntry();
    void renameAsksForTheName();
    void invokeItemCommandRules();
    void dropSourceAnswers();
    void dragOffersTheItemsAsUrls();
    void mimeDataRoundTrip();
    void boxesReadJapaneseAndCancelIsNoFailure();

private:
    std::string S(const std::string& rel) const {
        std::string s;
        sjis::FromUtf8(root_ + rel, s);
        return s;
    }
    void Write(const std::string& rel, const std::string& text) { std::ofstream(root_ + rel) << text; }
    // The folder of rel and a packed list of its children by name.
    ShellFolderPtr Folder(const std::string& rel) {
        TPidl abs(PathToPidl(S(rel)));
        return BindAbsolute(abs.get());
    }
    TPidl Pack(const ShellFolderPtr& f, const std::vector<std::string>& names) {
        LPITEMIDLIST list = AllocPidl(2);
        for (const std::string& n : names) {
            LPITEMIDLIST item = nullptr;
            if (FAILED(f->ParseDisplayName(sjis::L(n.c_str()), item))) continue;
            list = ConcatPidlsFree(list, item);
        }
        return TPidl(list);
    }
    // Runs ShowMenu choosing id; returns how often the menu was tracked.
    int Choose(const std::string& rel, const std::vector<std::string>& names, unsigned id, int count = -1) {
        int tracked = 0;
        cm_->TrackMenu = [&](QWidget*, const TMenu& m, const QPoint& pt) {
            ++tracked;
            lastMenu_ = m;
            lastPoint_ = pt;
            return id;
        };
        ShellFolderPtr f = Folder(rel);
        TPidl items = Pack(f, names);
        cm_->ShowMenu(&window_, f, QPoint(10, 20), count < 0 ? static_cast<int>(names.size()) : count, items.get());
        return tracked;
    }

    std::unique_ptr<TempDir> tmp_;
    std::string root_;
    size_t live_ = 0;
    QWidget window_;
    std::unique_ptr<TContextMenuEx> cm_;
    std::function<bool(const std::vector<std::string>&)> desktopConfirm_;
    TMenu lastMenu_;
    QPoint lastPoint_;
    QStringList messages_;
    std::unique_ptr<ModalCatcher> boxes_;
};

void DrpComExTest::init() {
    tmp_ = std::make_unique<TempDir>();
    root_ = tmp_->path().substr(0, tmp_->path().size() - 1);
    for (const char* d : {"/home", "/work/dir", "/sendto/Box", "/sendto/Other"}) fs::create_directories(root_ + d);
    Write("/work/a.txt", "alpha");
    Write("/work/b.txt", "bee");
    SetNamespaceConfig({root_ + "/home", root_ + "/home/Desktop", {"/", root_}});
    SetShellMenuConfig({root_ + "/sendto", root_ + "/trash"});
    cm_ = std::make_unique<TContextMenuEx>();
    if (!desktopConfirm_) desktopConfirm_ = GetShellMenuHooks().ConfirmDelete;  // the real question
    // Nothing reaches the desktop; the clipboard stays the offscreen one.
    TShellMenuHooks h = GetShellMenuHooks();
    h.OpenDocument = [](const std::string&) { return false; };
    h.StartProgram = [](const std::string&, const std::vector<std::string>&) { return false; };
    h.ConfirmDelete = [](const std::vector<std::string>&) { return false; };
    SetShellMenuHooks(h);
    ClearClipItems();
    messages_.clear();
    // The menu's message boxes are the real ones: each is read (text and
    // caption) and closed.
    boxes_ = std::make_unique<ModalCatcher>([this](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        messages_ << (box ? box->text() : QString("?")) + "|" + w->windowTitle();
    });
    live_ = SHGetMalloc()->LiveBlocks();
}

void DrpComExTest::cleanup() {
    boxes_.reset();
    cm_.reset();
    lastMenu_ = TMenu();
    ClearClipItems();
    QCOMPARE(SHGetMalloc()->LiveBlocks(), live_);
    SetShellMenuConfig(DefaultShellMenuConfig());
    SetNamespaceConfig(DefaultNamespaceConfig());
    tmp_.reset();
}

void DrpComExTest::findMenuItemByCaptionPosition() {
    TMenu m;
    m.AppendString(1, sjis::L("開く(&O)"));
    m.AppendString(2, sjis::L("貼り付け(&P)"), false);
    m.AppendSeparator();
    m.AppendString(3, sjis::L("送る(&N)"));
    m.AppendString(4, sjis::L("貼り付け(&P)"));
    m.AppendString(5, "(&N)");
    QCOMPARE(TContextMenuEx::FindMenuItem(m, "(&N)", 5), 4);
    // The greyed paste entry is passed over; positions count from 1.
    QCOMPARE(TContextMenuEx::FindMenuItem(m, "(&P)", 9), 5);
    QCOMPARE(TContextMenuEx::FindMenuItem(m, "(&N)", 1), 6);
    QCOMPARE(TContextMenuEx::FindMenuItem(m, "(&P)", 8), -1);
    QCOMPARE(TContextMenuEx::FindMenuItem(m, "(&X)", 1), -1);
    // Only the first occurrence in a text counts.
    TMenu twice;
    twice.AppendString(1, "(&N)x(&N)");
    QCOMPARE(TContextMenuEx::FindMenuItem(twice, "(&N)", 6), -1);
    QCOMPARE(TContextMenuEx::FindMenuItem(TMenu(), "(&N)", 5), -1);
}

void DrpComExTest::preconditionsShowNoMenu() {
    int tracked = 0;
    cm_->TrackMenu = [&](QWidget*, const TMenu&, const QPoint&) {
        ++tracked;
        return 0u;
    };
    ShellFolderPtr f = Folder("/work");
    TPidl items = Pack(f, {"a.txt", "b.txt"});
    cm_->ShowMenu(nullptr, f, QPoint(), 1, items.get());
    cm_->ShowMenu(&window_, nullptr, QPoint(), 1, items.get());
    cm_->ShowMenu(&window_, f, QPoint(), 1, nullptr);
    cm_->ShowMenu(&window_, f, QPoint(), 0, items.get());
    cm_->ShowMenu(&window_, f, QPoint(), 1025, items.get());
    cm_->ShowMenu(&window_, f, QPoint(), 3, items.get());  // the list holds two
    QCOMPARE(tracked, 0);
    cm_->ShowMenu(&window_, f, QPoint(), 2, items.get());
    QCOMPARE(tracked, 1);
}

void DrpComExTest::sendToEntriesReplaceThePlaceholder() {
    QCOMPARE(Choose("/work", {"a.txt"}, 0), 1);
    QCOMPARE(lastPoint_, QPoint(10, 20));
    int pos = TContextMenuEx::FindMenuItem(lastMenu_, "(&N)", 5);
    QVERIFY(pos > 0);
    const TMenu::TEntry& e = lastMenu_.Entries[static_cast<size_t>(pos - 1)];
    QVERIFY(e.sub);
    QCOMPARE(e.sub->Count(), size_t(2));
    QCOMPARE(std::make_pair(e.sub->Entries[0].id, e.sub->Entries[0].text), std::make_pair(1525u, std::string("Box")));
    QCOMPARE(std::make_pair(e.sub->Entries[1].id, e.sub->Entries[1].text), std::make_pair(1526u, std::string("Other")));
}

void DrpComExTest::dismissingOrNoEntryInvokesNothing() {
    TClipItems before{{root_ + "/work/b.txt"}, false};
    SetClipItems(before);
    QCOMPARE(Choose("/work", {"a.txt"}, 0), 1);
    QCOMPARE(GetClipItems().paths, before.paths);
    // A menu without the Send To submenu gets no entries.
    TMenu m;
    m.AppendString(1, sjis::L("送る(&N)"));
    QVERIFY(!cm_->AddSendToItems(m));
    QCOMPARE(m.Count(), size_t(1));
    // No entry chosen: nothing is pasted anywhere.
    cm_->InvokeSendTo(&window_, -1);
    cm_->InvokeSendTo(&window_, 2);  // there are two entries
    QVERIFY(fs::is_empty(root_ + "/sendto/Box"));
    QVERIFY(fs::is_empty(root_ + "/sendto/Other"));
    QVERIFY(messages_.isEmpty());
}

void DrpComExTest::chosenCommandsRun() {
    Choose("/work", {"a.txt", "dir"}, 1 + verbCopy);
    QCOMPARE(GetClipItems().paths, (std::vector<std::string>{root_ + "/work/a.txt", root_ + "/work/dir"}));
    QVERIFY(!GetClipItems().cut);
    // A Send To folder gets a copy, never over a file of the same name.
    Write("/sendto/Other/a.txt", "old");
    Choose("/work", {"a.txt"}, 1526);
    QCOMPARE(Slurp(root_ + "/sendto/Other/a.txt"), std::string("old"));
    QCOMPARE(Slurp(root_ + "/sendto/Other/a (2).txt"), std::string("alpha"));
    QVERIFY(fs::exists(root_ + "/work/a.txt"));
    QVERIFY(fs::is_empty(root_ + "/sendto/Box"));
    QVERIFY(messages_.isEmpty());
    Choose("/work", {"a.txt"}, 1 + verbOpen);  // the desktop refuses
    QCOMPARE(messages_, QStringList{" InvokeCommand failed! | TContextMenuEx component version 2.04"});
}

void DrpComExTest::sendToTheHundredthEntry() {
    fs::remove_all(root_ + "/sendto");
    for (int i = 0; i < 103; ++i) {
        char n[24];
        std::snprintf(n, sizeof n, "/sendto/%03d", i);
        fs::create_directories(root_ + n);
    }
    Choose("/work", {"b.txt"}, 1624);
    int pos = TContextMenuEx::FindMenuItem(lastMenu_, "(&N)", 5);
    QVERIFY(pos > 0);
    QCOMPARE(lastMenu_.Entries[static_cast<size_t>(pos - 1)].sub->Count(), size_t(100));
    QCOMPARE(Slurp(root_ + "/sendto/099/b.txt"), std::string("bee"));
    QVERIFY(!fs::exists(root_ + "/sendto/100/b.txt"));
    QVERIFY(!fs::exists(root_ + "/sendto/098/b.txt"));
}

void DrpComExTest::renameAsksForTheName() {
    std::string asked;
    cm_->AskNewName = [&](QWidget* w, const std::string& old, std::string& name) {
        asked = old;
        name = "c.txt";
        return w == &window_;
    };
    Choose("/work", {"a.txt"}, 1 + verbRename);
    QCOMPARE(QString::fromStdString(asked), QString("a.txt"));
    QCOMPARE(QString::fromStdString(Slurp(root_ + "/work/c.txt")), QString("alpha"));
    // A taken name is refused and reported; nothing is replaced.
    cm_->AskNewName = [&](QWidget*, const std::string&, std::string& name) {
        name = "b.txt";
        return true;
    };
    Choose("/work", {"c.txt"}, 1 + verbRename);
    QCOMPARE(messages_.size(), 1);
    QCOMPARE(QString::fromStdString(Slurp(root_ + "/work/b.txt")), QString("bee"));
    QVERIFY(fs::exists(root_ + "/work/c.txt"));
}

void DrpComExTest::invokeItemCommandRules() {
    ShellFolderPtr f = Folder("/work");
    TPidl a = Pack(f, {"a.txt"});
    TPidl dir = Pack(f, {"dir"});
    QVERIFY(!cm_->InvokeItemCommand(&window_, f, 5, a.get()));
    QVERIFY(!cm_->InvokeItemCommand(&window_, nullptr, 3, a.get()));
    QVERIFY(!cm_->InvokeItemCommand(&window_, f, 3, nullptr));
    // No links and no property sheets here.
    QVERIFY(!cm_->InvokeItemCommand(&window_, f, 0, a.get()));
    QVERIFY(!cm_->InvokeItemCommand(&window_, f, 2, a.get()));
    QVERIFY(cm_->InvokeItemCommand(&window_, f, 3, a.get()));
    QCOMPARE(GetClipItems().paths, std::vector<std::string>{root_ + "/work/a.txt"});
    // A plain file has no paste entry: nothing happens.
    QVERIFY(!cm_->InvokeItemCommand(&window_, f, 4, a.get()));
    QVERIFY(cm_->InvokeItemCommand(&window_, f, 4, dir.get()));
    QCOMPARE(QString::fromStdString(Slurp(root_ + "/work/dir/a.txt")), QString("alpha"));
    QVERIFY(cm_->InvokeItemCommand(&window_, f, 1, a.get()));
    QVERIFY(!fs::exists(root_ + "/work/a.txt"));
    QVERIFY(fs::exists(root_ + "/trash/files/a.txt"));
    QVERIFY(messages_.isEmpty());
}

void DrpComExTest::dropSourceAnswers() {
    TDropSourceObject s;
    using D = TDropSourceObject;
    QCOMPARE(s.QueryContinueDrag(true, D::MK_LBUTTON), D::dsCancel);
    QCOMPARE(s.QueryContinueDrag(false, D::MK_LBUTTON), D::dsContinue);
    QCOMPARE(s.QueryContinueDrag(false, D::MK_RBUTTON), D::dsContinue);
    QCOMPARE(s.QueryContinueDrag(false, 0), D::dsDrop);
    QCOMPARE(s.QueryContinueDrag(false, 0x0004 /* shift */), D::dsDrop);
    QCOMPARE(s.GiveFeedback(1), D::dsDefaultCursors);
    QCOMPARE(D::KeyState(Qt::RightButton), D::MK_RBUTTON);
    QCOMPARE(D::KeyState(Qt::LeftButton | Qt::MiddleButton), D::MK_LBUTTON);
}

void DrpComExTest::dragOffersTheItemsAsUrls() {
    TDropSourceEx ds;
    QList<QList<QUrl>> drags;
    Qt::DropActions allowed;
    ds.ExecDrag = [&](QDrag& drag, Qt::DropActions actions) {
        drags << drag.mimeData()->urls();
        allowed = actions;
        return Qt::MoveAction;
    };
    ShellFolderPtr f = Folder("/work");
    TPidl items = Pack(f, {"a.txt", "dir"});
    ds.DragItems(&window_, f, 2, items.get());
    QCOMPARE(drags, (QList<QList<QUrl>>{{QUrl::fromLocalFile(QString::fromStdString(root_ + "/work/a.txt")),
                                          QUrl::fromLocalFile(QString::fromStdString(root_ + "/work/dir"))}}));
    QCOMPARE(allowed, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
    QVERIFY(fs::exists(root_ + "/work/a.txt"));  // the drag moves nothing by itself
    // Only the first count items are dragged; bad arguments drag nothing.
    ds.DragItems(&window_, f, 1, items.get());
    QCOMPARE(drags.last().size(), 1);
    ds.DragItems(nullptr, f, 1, items.get());
    ds.DragItems(&window_, nullptr, 1, items.get());
    ds.DragItems(&window_, f, 1, nullptr);
    ds.DragItems(&window_, f, 0, items.get());
    ds.DragItems(&window_, f, 3, items.get());
    ds.DragItems(&window_, f, 1025, items.get());
    // Items outside the file system cannot be dragged.
    ShellFolderPtr desk = SHGetDesktopFolder();
    LPITEMIDLIST computer = nullptr;
    QCOMPARE(SHGetSpecialFolderLocation(CSIDL_DRIVES, computer), S_OK);
    TPidl keep(computer);
    ds.DragItems(&window_, desk, 1, computer);
    QCOMPARE(drags.size(), 2);
}

void DrpComExTest::mimeDataRoundTrip() {
    std::unique_ptr<QMimeData> d(PathsMimeData({"/tmp/a b", "/tmp/名前"}, true));
    bool cut = false;
    QCOMPARE(MimeDataPaths(d.get(), &cut), (std::vector<std::string>{"/tmp/a b", "/tmp/名前"}));
    QVERIFY(cut);
    QVERIFY(d->data("x-special/gnome-copied-files").startsWith("cut\nfile:///tmp/a%20b"));
    std::unique_ptr<QMimeData> e(PathsMimeData({"/tmp/x"}, false));
    MimeDataPaths(e.get(), &cut);
    QVERIFY(!cut);
    QMimeData web;
    web.setUrls({QUrl("https://example.org/x")});
    QVERIFY(MimeDataPaths(&web).empty());
    QVERIFY(MimeDataPaths(nullptr).empty());
}

void DrpComExTest::boxesReadJapaneseAndCancelIsNoFailure() {
    // The texts are our own, without Qt's translation.  Every box is read
    // here (a failure's box would be one more).
    boxes_.reset();
    QStringList read;
    ModalCatcher catcher([&](QWidget* w) {
        read << w->metaObject()->className();
        for (const QString& e : EnglishWords(ShownTexts(w))) read << "English: " + e;
    });
    // The rename dialog, cancelled: nothing changes and nothing failed.
    cm_->AskNewName = nullptr;
    Choose("/work", {"a.txt"}, 1 + verbRename);
    QVERIFY(fs::exists(root_ + "/work/a.txt"));
    // No trash for the item: the question before deleting it for good,
    // answered "No".
    SetShellMenuConfig({root_ + "/sendto", ""});
    TShellMenuHooks h = GetShellMenuHooks();
    h.ConfirmDelete = desktopConfirm_;
    SetShellMenuHooks(h);
    Choose("/work", {"a.txt"}, 1 + verbDelete);
    QVERIFY(fs::exists(root_ + "/work/a.txt"));
    QCOMPARE(read, QStringList({"QInputDialog", "QMessageBox"}));
}

QTEST_MAIN(DrpComExTest)
#include "drpcomex_test.moc"
