// The folder tree's context menu, label rename and drag and drop over
// temporary folders, under Qt's offscreen platform.  Menus and drags never
// open: hooks of the tree choose and run them.
#include "FolderTree.h"

#include "keyboard_return.h"
#include "shellmenu.h"
#include "shellmenu_qt.h"
#include "shown_texts.h"
#include "sjis.h"
#include "tempdir.h"

#include <QApplication>
#include <QDrag>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QtTest>

#include <filesystem>
#include <fstream>

using namespace shell;
namespace fs = std::filesystem;

// Opens the tree's protected drag start for the tests.
class TTestTree : public TFolderTreeViewEx {
public:
    using TFolderTreeViewEx::startDrag;
};

class FolderTreeShellTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void rightClickOnNothingOrSwitchedOffShowsNoMenu();
    void rightClickSelectsAndShowsTheItemsMenu();
    void leftClickReportsTheClickedFolderOnce();
    void deleteFollowsAutoUpDate();
    void aDeclinedDeleteForGoodKeepsTheNode();
    void aNewFolderIsShownChosenAndNamed();
    void sendToAShownFolderShowsWhatCame();
    void aNewFolderAndAPasteShowInALargeTree();
    void theDelayedRefreshKeepsTheChoiceMadeMeanwhile();
    void failedCommandShowsTheMessage();
    void renameThroughTheLabelEdit();
    void renameRefusalsKeepTheOldNameAndSayWhy();
    void withoutAutoUpDateTheLabelKeepsItsText();
    void dragOffersTheNodesItem();
    void oneFileDroppedOnAFolderMovesOrCopies();
    void dropsThatAreRefused();
    void restingOverAFolderOpensIt();
    void restingOverARemovableDriveLeavesItClosed();
    void refreshDueInsideTheMenuWaitsForTheCommand();
    void refreshDueDuringADragWaitsForIt();
    void refreshDueDuringALabelEditWaitsForIt();

private:
    std::string S(const std::string& rel) const {
        std::string s;
        sjis::FromUtf8(root_ + rel, s);
        return s;
    }
    static QStringList Texts(QTreeWidgetItem* parent) {
        QStringList out;
        for (int i = 0; parent && i < parent->childCount(); ++i) out << parent->child(i)->text(0);
        return out;
    }
    static QTreeWidgetItem* Child(QTreeWidgetItem* parent, const QString& text) {
        for (int i = 0; parent && i < parent->childCount(); ++i)
            if (parent->child(i)->text(0) == text) return parent->child(i);
        return nullptr;
    }
    // A shown tree rooted at the temporary folder's "data", with files.
    void Prepare(TFolderTreeViewEx& t) {
        t.SetRefreshDelay(0);
        t.SetShowFile(true);
        t.SetRootFolderName(S("/data"));
        t.SetRootFolder(TFolderTreeViewEx::rfManual);
        t.resize(300, 400);
        t.show();
        QVERIFY(QTest::qWaitForWindowExposed(&t, 20000));
    }
    QPoint PosOf(TFolderTreeViewEx& t, QTreeWidgetItem* node) { return t.visualItemRect(node).center(); }
    void RightClick(TFolderTreeViewEx& t, QTreeWidgetItem* node) {
        QTest::mousePress(t.viewport(), Qt::RightButton, {}, PosOf(t, node));
        QTest::mouseRelease(t.viewport(), Qt::RightButton, {}, PosOf(t, node));
    }
    // Chooses the menu command id on the node named name below the root.
    void Choose(TFolderTreeViewEx& t, const QString& name, unsigned id) {
        t.TrackMenu = [id](QWidget*, const TMenu&, const QPoint&) { return id; };
        RightClick(t, Child(t.topLevelItem(0), name));
    }
    // Renames the node name through the menu's command and the label editor.
    void Rename(TFolderTreeViewEx& t, const QString& name, const QString& to, bool autoUpDate = true) {
        Choose(t, name, 19);
        t.SetAutoUpDate(autoUpDate);
        // The label editor has the focus, as it has for the user.
        QLineEdit* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        QCOMPARE(QApplication::focusWidget(), editor);  // where the keys go
        editor->selectAll();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        QInputMethodEvent typed;  // as an input method commits it
        typed.setCommitString(to);
        QCoreApplication::sendEvent(QApplication::focusWidget(), &typed);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCoreApplication::processEvents();  // the editor commits on a queued call
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // A drag of data comes in over node and rests there.
    void DragOver(TFolderTreeViewEx& t, QTreeWidgetItem* node, QMimeData& data) {
        QPoint pos = PosOf(t, node);
        QDragEnterEvent enter(pos, Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(t.viewport(), &enter);
        QDragMoveEvent move(pos, Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(t.viewport(), &move);
    }
    // Sends a drag of paths over node and drops it; true when accepted.
    bool Drop(TFolderTreeViewEx& t, QTreeWidgetItem* node, const std::vector<std::string>& paths,
              Qt::KeyboardModifiers mods = {}, bool* moveAccepted = nullptr) {
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
        data.setUrls(urls);
        QPoint pos = PosOf(t, node);
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        QDragEnterEvent enter(pos, actions, &data, Qt::LeftButton, mods);
        QApplication::sendEvent(t.viewport(), &enter);
        QDragMoveEvent move(pos, actions, &data, Qt::LeftButton, mods);
        QApplication::sendEvent(t.viewport(), &move);
        if (moveAccepted) *moveAccepted = move.isAccepted();
        QDropEvent drop(QPointF(pos), actions, &data, Qt::LeftButton, mods);
        QApplication::sendEvent(t.viewport(), &drop);
        return drop.isAccepted();
    }

    std::unique_ptr<TempDir> tmp_;
    std::string root_;
    QStringList messages_;
    // The tree's message boxes are the real ones: each is read (text and
    // caption) and closed.
    std::unique_ptr<ModalCatcher> boxes_;
};

void FolderTreeShellTest::init() {
    tmp_ = std::make_unique<TempDir>();
    root_ = tmp_->path().substr(0, tmp_->path().size() - 1);
    for (const char* d : {"/home", "/data/box/inner", "/data/dir", "/in", "/sendto/Place"})
        fs::create_directories(root_ + d);
    std::ofstream(root_ + "/data/note.txt") << "note";
    std::ofstream(root_ + "/in/one.txt") << "one";
    std::ofstream(root_ + "/in/two.txt") << "two";
    SetNamespaceConfig({root_ + "/home", root_ + "/home/Desktop", {"/", root_}});
    SetShellMenuConfig({root_ + "/sendto", root_ + "/trash"});
    messages_.clear();
    boxes_ = std::make_unique<ModalCatcher>([this](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        messages_ << (box ? box->text() : QString("?")) + "|" + w->windowTitle();
    });
}

void FolderTreeShellTest::cleanup() {
    boxes_.reset();
    ClearClipItems();
    SetShellMenuConfig(DefaultShellMenuConfig());
    SetNamespaceConfig(DefaultNamespaceConfig());
    tmp_.reset();
}

void FolderTreeShellTest::rightClickOnNothingOrSwitchedOffShowsNoMenu() {
    TFolderTreeViewEx t;
    Prepare(t);
    int shown = 0;
    t.TrackMenu = [&](QWidget*, const TMenu&, const QPoint&) {
        ++shown;
        return 0u;
    };
    QTest::mousePress(t.viewport(), Qt::RightButton, {}, QPoint(150, 390));
    QCOMPARE(shown, 0);
    t.SetContextMenu(false);
    RightClick(t, Child(t.topLevelItem(0), "box"));
    QCOMPARE(shown, 0);
    t.SetContextMenu(true);
    RightClick(t, Child(t.topLevelItem(0), "box"));
    QCOMPARE(shown, 1);
}

void FolderTreeShellTest::rightClickSelectsAndShowsTheItemsMenu() {
    TFolderTreeViewEx t;
    Prepare(t);
    QStringList changes;
    t.OnChange = [&](QObject*, const std::string& f) { changes << QString::fromStdString(f); };
    TMenu shownMenu;
    QPoint at;
    t.TrackMenu = [&](QWidget*, const TMenu& m, const QPoint& p) {
        shownMenu = m;
        at = p;
        return 0u;
    };
    QTreeWidgetItem* box = Child(t.topLevelItem(0), "box");
    RightClick(t, box);
    QCOMPARE(t.currentItem(), box);
    QCOMPARE(changes.last(), QString::fromStdString(root_ + "/data/box"));
    QCOMPARE(at, t.viewport()->mapToGlobal(PosOf(t, box)));
    const TMenu::TEntry* paste = shownMenu.FindId(27);
    QVERIFY(paste);
    QCOMPARE(paste->text.find("(&P)"), size_t(8));
    // The Send To submenu was filled before it opened.
    const TMenu::TEntry* place = shownMenu.FindId(1 + verbSendTo);
    QVERIFY(place);
    QCOMPARE(QString::fromStdString(place->text), QString("Place"));
}

void FolderTreeShellTest::leftClickReportsTheClickedFolderOnce() {
    TFolderTreeViewEx t;
    Prepare(t);
    QStringList changes;
    t.OnChange = [&](QObject*, const std::string& f) { changes << QString::fromStdString(f); };
    QTest::mouseClick(t.viewport(), Qt::LeftButton, {}, PosOf(t, Child(t.topLevelItem(0), "dir")));
    QCOMPARE(changes, QStringList{QString::fromStdString(root_ + "/data/dir")});
    QTest::mouseClick(t.viewport(), Qt::LeftButton, {}, PosOf(t, Child(t.topLevelItem(0), "dir")));
    QCOMPARE(changes.size(), 1);
}

void FolderTreeShellTest::deleteFollowsAutoUpDate() {
    TFolderTreeViewEx t;
    Prepare(t);
    QTreeWidgetItem* root = t.topLevelItem(0);
    Choose(t, "dir", 18);
    QVERIFY(!Child(root, "dir"));
    QVERIFY(fs::is_directory(root_ + "/trash/files/dir"));
    // Without AutoUpDate the node stays.
    t.SetAutoUpDate(false);
    Choose(t, "box", 18);
    QVERIFY(Child(root, "box"));
    QVERIFY(!fs::exists(root_ + "/data/box"));
    QVERIFY(!t.RefreshPending());
    QVERIFY(messages_.isEmpty());
}

// Where the trash cannot take a folder the user is asked (the real box);
// "いいえ" keeps the folder, and so its node.
void FolderTreeShellTest::aDeclinedDeleteForGoodKeepsTheNode() {
    SetShellMenuConfig({root_ + "/sendto", ""});  // no trash
    TFolderTreeViewEx t;
    Prepare(t);
    boxes_.reset();  // every box is read here: a failure's would be one more
    QStringList asked;
    ModalCatcher boxes([&](QWidget* w) {  // closed as Escape closes it: いいえ
        auto* box = qobject_cast<QMessageBox*>(w);
        asked << (box ? box->text() : QString("?"));
    });
    Choose(t, "dir", 18);
    QCOMPARE(boxes.Count, 1);
    QVERIFY(asked.first().startsWith(QString::fromUtf8("ごみ箱に移動できません。")));
    QVERIFY(fs::is_directory(root_ + "/data/dir"));
    QVERIFY(Child(t.topLevelItem(0), "dir"));  // a "No" is no failure
}

// The new folder is in the tree at once, chosen, with its name being
// edited; a second one gets the next free name and shows too.
void FolderTreeShellTest::aNewFolderIsShownChosenAndNamed() {
    TFolderTreeViewEx t;
    Prepare(t);
    t.SetRefreshDelay(1000);  // shown at once all the same
    std::vector<std::string> changes;  // Shift-JIS
    t.OnChange = [&](QObject*, const std::string& f) { changes.push_back(f); };
    const QString made = QString::fromUtf8("新しいフォルダー");
    Choose(t, "box", 1 + verbNewFolder);
    QVERIFY(fs::is_directory(root_ + "/data/box/" + made.toStdString()));
    QTreeWidgetItem* box = Child(t.topLevelItem(0), "box");
    QVERIFY(box && box->isExpanded());
    QTreeWidgetItem* node = Child(box, made);
    QVERIFY(node);
    QCOMPARE(t.currentItem(), node);
    QVERIFY(!changes.empty());
    QCOMPARE(changes.back(), S("/data/box/" + made.toStdString()));
    QLineEdit* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor);
    QCOMPARE(editor->text(), made);
    editor->selectAll();
    QTest::keyClicks(QApplication::focusWidget(), "week1");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(fs::is_directory(root_ + "/data/box/week1"), 10000);
    t.FinishRefresh();
    // The second one.
    Choose(t, "box", 1 + verbNewFolder);
    box = Child(t.topLevelItem(0), "box");
    QVERIFY(Child(box, made));
    QVERIFY(!Child(box, made + " (2)"));  // the first one was renamed: the name was free again
    QVERIFY(Child(box, "week1"));
    QCOMPARE(t.currentItem(), Child(box, made));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
}

// Past the size up to which the tree is re-read after a command, a new
// folder is still shown, chosen and named, and a paste shows what came;
// what was open stays open.
void FolderTreeShellTest::aNewFolderAndAPasteShowInALargeTree() {
    fs::create_directories(root_ + "/data/big");
    for (int i = 0; i < 10300; ++i) fs::create_directory(root_ + "/data/big/d" + std::to_string(100000 + i));
    TFolderTreeViewEx t;
    Prepare(t);
    QTreeWidgetItem* big = Child(t.topLevelItem(0), "big");
    QVERIFY(big);
    big->setExpanded(true);
    QTreeWidgetItem* box = Child(t.topLevelItem(0), "box");
    box->setExpanded(true);
    QCOMPARE(Texts(box), QStringList{"inner"});
    int nodes = 0;
    for (QTreeWidgetItemIterator it(&t); *it; ++it) ++nodes;
    QVERIFY(nodes > 10300);
    const QString made = QString::fromUtf8("新しいフォルダー");
    Choose(t, "box", 1 + verbNewFolder);
    box = Child(t.topLevelItem(0), "box");
    QTreeWidgetItem* node = Child(box, made);
    QVERIFY(node);
    QCOMPARE(Texts(box), (QStringList{"inner", made}));
    QCOMPARE(t.currentItem(), node);
    QLineEdit* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor);
    QCOMPARE(editor->text(), made);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    // A second one is shown too, beside the first.
    Choose(t, "box", 1 + verbNewFolder);
    QCOMPARE(Texts(box), (QStringList{"inner", made, made + " (2)"}));
    QCOMPARE(t.currentItem(), Child(box, made + " (2)"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    // A paste into the open folder.
    SetClipItems({{root_ + "/in/one.txt"}, false});
    Choose(t, "box", 1 + verbPaste);
    QCOMPARE(Slurp(root_ + "/data/box/one.txt"), std::string("one"));
    QCOMPARE(Texts(box), (QStringList{"inner", made, made + " (2)", "one.txt"}));
    QVERIFY(big->isExpanded() && box->isExpanded());
    QCOMPARE(big->childCount(), 10300);
    // Into a folder not opened yet: its plus sign, and it shows once opened.
    Choose(t, "dir", 1 + verbPaste);
    QTreeWidgetItem* dir = Child(t.topLevelItem(0), "dir");
    QCOMPARE(dir->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    dir->setExpanded(true);
    QCOMPARE(Texts(dir), QStringList{"one.txt"});
    // A folder cut and pasted elsewhere leaves its old place in the tree.
    SetClipItems({{root_ + "/data/box/inner"}, true});
    Choose(t, "dir", 1 + verbPaste);
    QVERIFY(fs::is_directory(root_ + "/data/dir/inner"));
    QCOMPARE(Texts(box), (QStringList{made, made + " (2)", "one.txt"}));
    QCOMPARE(Texts(dir), (QStringList{"inner", "one.txt"}));
    // And one dragged onto another folder.
    QVERIFY(Drop(t, dir, {root_ + "/data/box/" + made.toStdString()}));
    QVERIFY(fs::is_directory(root_ + "/data/dir/" + made.toStdString()));
    QCOMPARE(Texts(box), (QStringList{made + " (2)", "one.txt"}));
    QVERIFY(Child(dir, made));
    // A copy keeps its source's node.
    QVERIFY(Drop(t, dir, {root_ + "/data/box/" + (made + " (2)").toStdString()}, Qt::ControlModifier));
    QCOMPARE(Texts(box), (QStringList{made + " (2)", "one.txt"}));
    QCOMPARE(big->childCount(), 10300);
}

// Send To a folder the tree shows: it shows what came; a Send To entry's
// "&" is shown as itself.
void FolderTreeShellTest::sendToAShownFolderShowsWhatCame() {
    fs::create_directory_symlink(root_ + "/data/box", root_ + "/sendto/A & B");
    TFolderTreeViewEx t;
    Prepare(t);
    QTreeWidgetItem* box = Child(t.topLevelItem(0), "box");
    box->setExpanded(true);
    QVERIFY(!Child(box, "note.txt"));
    QString shown;
    t.TrackMenu = [&](QWidget*, const TMenu& menu, const QPoint&) -> unsigned {
        std::unique_ptr<QMenu> q(BuildQMenu(menu, nullptr));
        for (QAction* a : q->actions())
            if (a->menu() && !a->menu()->actions().isEmpty()) shown = a->menu()->actions().first()->iconText();
        return 1 + verbSendTo;  // the first entry: "A & B"
    };
    RightClick(t, Child(t.topLevelItem(0), "note.txt"));
    QCOMPARE(shown, QStringLiteral("A & B"));
    QVERIFY(fs::exists(root_ + "/data/box/note.txt"));
    QTRY_VERIFY_WITH_TIMEOUT(!t.RefreshPending(), 10000);
    box = Child(t.topLevelItem(0), "box");
    QVERIFY(box && box->isExpanded());
    QVERIFY(Child(box, "note.txt"));
}

// A refresh waits before it reads the tree again; a folder chosen during
// that wait stays chosen, and is what OnChange last reported.
void FolderTreeShellTest::theDelayedRefreshKeepsTheChoiceMadeMeanwhile() {
    TFolderTreeViewEx t;
    Prepare(t);
    t.SetRefreshDelay(300);
    QStringList changes;
    t.OnChange = [&](QObject*, const std::string& f) { changes << QString::fromStdString(f); };
    QTest::mouseClick(t.viewport(), Qt::LeftButton, {}, PosOf(t, Child(t.topLevelItem(0), "box")));
    t.Refresh();
    QVERIFY(t.RefreshPending());
    QTest::mouseClick(t.viewport(), Qt::LeftButton, {}, PosOf(t, Child(t.topLevelItem(0), "dir")));
    QCOMPARE(changes.last(), QString::fromStdString(root_ + "/data/dir"));
    QTRY_VERIFY_WITH_TIMEOUT(!t.RefreshPending(), 10000);
    QVERIFY(t.currentItem());
    QCOMPARE(t.currentItem()->text(0), QStringLiteral("dir"));
    QCOMPARE(t.GetFolderName(), S("/data/dir"));
    QCOMPARE(changes.last(), QString::fromStdString(root_ + "/data/dir"));
}

void FolderTreeShellTest::failedCommandShowsTheMessage() {
    TFolderTreeViewEx t;
    Prepare(t);
    Choose(t, "box", 27);  // nothing to paste
    QCOMPARE(messages_, QStringList{"InvokeCommand failed!| FolderTreeViewEx component version 2.11"});
    QVERIFY(!t.RefreshPending());
    // Pasting what was copied refreshes the tree.
    SetClipItems(TClipItems{{root_ + "/in/one.txt"}, false});
    RightClick(t, Child(t.topLevelItem(0), "box"));
    QCOMPARE(messages_.size(), 1);
    QVERIFY(fs::exists(root_ + "/data/box/one.txt"));
    QVERIFY(t.RefreshPending());
    t.FinishRefresh();
}

void FolderTreeShellTest::renameThroughTheLabelEdit() {
    TFolderTreeViewEx t;
    Prepare(t);
    Rename(t, "dir", QString::fromUtf8("名前"));
    QVERIFY(messages_.isEmpty());
    QVERIFY(fs::is_directory(root_ + "/data/名前"));
    QVERIFY(!fs::exists(root_ + "/data/dir"));
    QVERIFY(t.RefreshPending());
    t.FinishRefresh();
    QTreeWidgetItem* node = Child(t.topLevelItem(0), QString::fromUtf8("名前"));
    QVERIFY(node);
    QCOMPARE(t.currentItem(), node);
    QCOMPARE(QString::fromStdString(sjis::ToUtf8(t.GetFolderName())), QString::fromStdString(root_ + "/data/名前"));
}

// The message is the real box, shown once the edit has ended: it runs an
// event loop of its own, in which Qt closes and frees the editor.
void FolderTreeShellTest::renameRefusalsKeepTheOldNameAndSayWhy() {
    TFolderTreeViewEx t;
    Prepare(t);
    t.setWindowTitle(QString::fromUtf8("フォルダー選択"));
    keyboard_return::Install(&t);  // the program's keyboard rule, the tree its window
    const struct {
        const char* typed;
        const char* why;
    } cases[] = {
        {"box", "同じ名前のフォルダーかファイルがすでにあります。"},  // never replaces
        {"", "名前が入力されていません。"},
        {"   ", "空白だけの名前は付けられません。"},
        {"\xE3\x80\x80 ", "空白だけの名前は付けられません。"},  // full-width and half-width blanks
        {"..", "「.」「..」や「/」を含む名前は付けられません。"},
        {"a/b", "「.」「..」や「/」を含む名前は付けられません。"},
        {"\xF0\x9F\x98\x80", "この名前には使えない文字が含まれています。"},  // no Shift-JIS form
        {"x\r\ny", "改行やタブなどの制御文字を含む名前は付けられません。"},  // from a paste
        {"a\tb", "改行やタブなどの制御文字を含む名前は付けられません。"},
        {"a\x7F", "改行やタブなどの制御文字を含む名前は付けられません。"},
    };
    for (const auto& c : cases) {
        messages_.clear();
        Rename(t, "dir", QString::fromUtf8(c.typed));
        QTRY_COMPARE_WITH_TIMEOUT(messages_.size(), 1, 10000);
        QCOMPARE(messages_, QStringList{QString::fromUtf8(c.why) + QString::fromUtf8("|フォルダー選択")});
        QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 10000);
        // The keyboard is back with the tree for the next name.
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), static_cast<QWidget*>(&t), 10000);
        QTreeWidgetItem* dir = Child(t.topLevelItem(0), "dir");
        QVERIFY2(dir, c.typed);
        QCOMPARE(dir->text(0), QString("dir"));  // the label shows the name on disk again
        QVERIFY(fs::is_directory(root_ + "/data/dir"));
        QVERIFY(fs::is_directory(root_ + "/data/box/inner"));
        QVERIFY(!t.RefreshPending());
    }
    QCOMPARE(boxes_->Count, int(std::size(cases)));
    QCOMPARE(Texts(t.topLevelItem(0)), (QStringList{"box", "dir", "note.txt"}));
}

void FolderTreeShellTest::withoutAutoUpDateTheLabelKeepsItsText() {
    TFolderTreeViewEx t;
    Prepare(t);
    QTreeWidgetItem* dir = Child(t.topLevelItem(0), "dir");
    Rename(t, "dir", "other", false);  // switched off once the edit has started
    QCOMPARE(dir->text(0), QString("dir"));
    QVERIFY(fs::is_directory(root_ + "/data/dir"));
    QVERIFY(!fs::exists(root_ + "/data/other"));
}

void FolderTreeShellTest::dragOffersTheNodesItem() {
    TTestTree t;
    Prepare(t);
    QList<QUrl> urls;
    Qt::DropActions allowed;
    int drags = 0;
    t.ExecDrag = [&](QDrag& d, Qt::DropActions a) {
        ++drags;
        urls = d.mimeData()->urls();
        allowed = a;
        return Qt::MoveAction;  // taken by another program
    };
    t.setCurrentItem(Child(t.topLevelItem(0), "note.txt"));
    t.SetDragAndDrop(false);
    t.startDrag(Qt::MoveAction);
    QCOMPARE(drags, 0);
    t.SetDragAndDrop(true);
    t.startDrag(Qt::MoveAction);
    QCOMPARE(urls, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(root_ + "/data/note.txt"))});
    QCOMPARE(allowed, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
    QVERIFY(t.RefreshPending());
    t.FinishRefresh();
    // A cancelled drag leaves the tree alone.
    t.ExecDrag = [&](QDrag&, Qt::DropActions) { return Qt::IgnoreAction; };
    t.startDrag(Qt::MoveAction);
    QVERIFY(!t.RefreshPending());
}

void FolderTreeShellTest::oneFileDroppedOnAFolderMovesOrCopies() {
    std::ofstream(root_ + "/data/box/one.txt") << "old";
    TFolderTreeViewEx t;
    Prepare(t);
    // Ctrl copies and keeps both names.
    QVERIFY(Drop(t, Child(t.topLevelItem(0), "box"), {root_ + "/in/one.txt"}, Qt::ControlModifier));
    QVERIFY(fs::exists(root_ + "/in/one.txt"));
    QCOMPARE(Slurp(root_ + "/data/box/one.txt"), std::string("old"));
    QCOMPARE(Slurp(root_ + "/data/box/one (2).txt"), std::string("one"));
    t.FinishRefresh();
    bool shown = false;
    QVERIFY(Drop(t, Child(t.topLevelItem(0), "box"), {root_ + "/in/two.txt"}, {}, &shown));
    QVERIFY(shown);
    QVERIFY(!fs::exists(root_ + "/in/two.txt"));
    QCOMPARE(Slurp(root_ + "/data/box/two.txt"), std::string("two"));
    QVERIFY(t.RefreshPending());
    QVERIFY(!t.DropTargetNode());
    t.FinishRefresh();
}

void FolderTreeShellTest::dropsThatAreRefused() {
    TFolderTreeViewEx t;
    Prepare(t);
    QTreeWidgetItem* box = Child(t.topLevelItem(0), "box");
    bool shown = true;
    QVERIFY(!Drop(t, box, {root_ + "/in/one.txt", root_ + "/in/two.txt"}, {}, &shown));  // two files
    QVERIFY(!shown);
    QVERIFY(!Drop(t, Child(t.topLevelItem(0), "note.txt"), {root_ + "/in/one.txt"}));  // onto a file
    QCOMPARE(Slurp(root_ + "/data/note.txt"), std::string("note"));
    t.SetDragAndDrop(false);
    shown = true;
    QVERIFY(!Drop(t, box, {root_ + "/in/one.txt"}, {}, &shown));
    QVERIFY(!shown);
    QVERIFY(fs::exists(root_ + "/in/one.txt"));
    QVERIFY(!fs::exists(root_ + "/data/box/one.txt"));
    QVERIFY(!t.RefreshPending());
    QVERIFY(messages_.isEmpty());
}

void FolderTreeShellTest::restingOverAFolderOpensIt() {
    TFolderTreeViewEx t;
    Prepare(t);
    t.SetHoverExpandDelay(50);
    QTreeWidgetItem* box = Child(t.topLevelItem(0), "box");
    QVERIFY(!box->isExpanded());
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(root_ + "/in/one.txt"))});
    DragOver(t, box, data);
    QCOMPARE(t.DropTargetNode(), box);
    QTRY_VERIFY(box->isExpanded());
    QVERIFY(Child(box, "inner"));
    QDragLeaveEvent leave;
    QApplication::sendEvent(t.viewport(), &leave);
    QVERIFY(!t.DropTargetNode());
    QVERIFY(fs::exists(root_ + "/in/one.txt"));
}

// A drive may have no medium: resting over it does not open it.
void FolderTreeShellTest::restingOverARemovableDriveLeavesItClosed() {
    TFolderTreeViewEx t;  // the computer with its drives
    t.resize(300, 400);
    t.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t, 20000));
    t.SetHoverExpandDelay(30);
    QTreeWidgetItem* drive = Child(t.topLevelItem(0), QString::fromStdString(root_));
    QVERIFY(drive && !drive->isExpanded());
    QCOMPARE(drive->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    // Seen as a removable drive (the volume of the temporary folder is not
    // mounted under /media).
    TFolderTreeViewEx::NodeData(drive)->Attributes |= SFGAO_REMOVABLE;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(root_ + "/in/one.txt"))});
    DragOver(t, drive, data);
    QCOMPARE(t.DropTargetNode(), drive);
    QVERIFY(t.HoverPending());
    QTRY_VERIFY_WITH_TIMEOUT(!t.HoverPending(), 10000);  // the rest has run its time
    QCoreApplication::processEvents();
    QVERIFY(!drive->isExpanded());
    // Another drive opens.
    TFolderTreeViewEx::NodeData(drive)->Attributes &= ~SFGAO_REMOVABLE;
    QDragLeaveEvent leave;
    QApplication::sendEvent(t.viewport(), &leave);
    DragOver(t, drive, data);
    QTRY_VERIFY(drive->isExpanded());
    QApplication::sendEvent(t.viewport(), &leave);
}

// A rename leaves a refresh due; the right click that follows at once
// opens the menu, whose event loop runs the refresh's timer.  The nodes
// stay until the chosen command has been carried out.
void FolderTreeShellTest::refreshDueInsideTheMenuWaitsForTheCommand() {
    TFolderTreeViewEx t;
    Prepare(t);
    Rename(t, "dir", "renamed");
    QVERIFY(t.RefreshPending());
    QTreeWidgetItem* root = t.topLevelItem(0);
    QTreeWidgetItem* box = Child(root, "box");
    bool keptInside = false;
    t.TrackMenu = [&](QWidget*, const TMenu&, const QPoint&) -> unsigned {
        fs::create_directories(root_ + "/data/made");
        // The menu is open: the timer fires.
        keptInside = QTest::qWaitFor([&] { return !t.RefreshPending(); }, 20000) &&
                     Child(t.topLevelItem(0), "box") == box;
        return 18;  // delete
    };
    RightClick(t, box);
    QVERIFY(keptInside);
    QVERIFY(!fs::exists(root_ + "/data/box"));
    QVERIFY(!Child(t.topLevelItem(0), "box"));
    // The refresh runs once the command is over, and finds the new name.
    QTRY_VERIFY(Child(t.topLevelItem(0), "made"));
    QVERIFY(!t.RefreshPending());
    QCOMPARE(Texts(t.topLevelItem(0)), (QStringList{"made", "renamed", "note.txt"}));
}

void FolderTreeShellTest::refreshDueDuringADragWaitsForIt() {
    TTestTree t;
    Prepare(t);
    QTreeWidgetItem* dir = Child(t.topLevelItem(0), "dir");
    bool keptInside = false;
    t.ExecDrag = [&](QDrag&, Qt::DropActions) {
        fs::create_directories(root_ + "/data/made");
        t.Refresh();
        keptInside = QTest::qWaitFor([&] { return !t.RefreshPending(); }, 20000) &&
                     Child(t.topLevelItem(0), "dir") == dir && !Child(t.topLevelItem(0), "made");
        return Qt::MoveAction;  // taken by another program
    };
    t.setCurrentItem(dir);
    t.startDrag(Qt::CopyAction);
    QVERIFY(keptInside);
    QTRY_VERIFY(Child(t.topLevelItem(0), "made"));
    QCOMPARE(t.currentItem(), Child(t.topLevelItem(0), "dir"));
}

// The refresh that comes due while a label is being edited waits until
// the edit has ended: the editor stays, and the name typed renames the
// folder it was opened on.
void FolderTreeShellTest::refreshDueDuringALabelEditWaitsForIt() {
    TFolderTreeViewEx t;
    Prepare(t);
    Choose(t, "dir", 19);
    QLineEdit* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor);
    fs::create_directories(root_ + "/data/made");
    t.Refresh();
    QVERIFY(QTest::qWaitFor([&] { return !t.RefreshPending(); }, 20000));  // the timer has fired
    QCOMPARE(qobject_cast<QLineEdit*>(QApplication::focusWidget()), editor);
    QVERIFY(!Child(t.topLevelItem(0), "made"));
    editor->selectAll();
    QTest::keyClicks(editor, "edited");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the editor commits on a queued call
    QVERIFY(fs::is_directory(root_ + "/data/edited"));
    QVERIFY(!fs::exists(root_ + "/data/dir"));
    QTRY_VERIFY(Child(t.topLevelItem(0), "made"));
    QTRY_VERIFY(!t.RefreshPending());
    QCOMPARE(Texts(t.topLevelItem(0)), (QStringList{"box", "edited", "made", "note.txt"}));
    QVERIFY(messages_.isEmpty());
}

QTEST_MAIN(FolderTreeShellTest)
#include "foldertree_shell_test.moc"
#include "qtry_bounds.h"
