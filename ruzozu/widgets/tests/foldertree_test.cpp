// The drill program's folder tree over temporary folder trees, under Qt's
// offscreen platform.
#include "FolderTree.h"

#include "sjis.h"
#include "linked_folders.h"
#include "tempdir.h"

#include <QApplication>
#include <QtTest>

#include <filesystem>
#include <fstream>

using namespace shell;
namespace fs = std::filesystem;

class FolderTreeTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void defaultsShowTheComputerExpanded();
    void manualRootIsReadLazily();
    void selectFolderOpensADeepPath();
    void selectFolderRefuses();
    void hiddenFoldersOnRequest();
    void onChangeCarriesTheFolderName();
    void folderNameWithNothingSelected();
    void namesWithoutShiftJisAreLeftOut();
    void withoutRootNodeTheChildrenAreTheTopLevel();
    void unusableManualRootFallsBackToTheComputer();
    void virtualRootsAreRefused();
    void filesWithMaskAndFilesFirst();
    void refreshKeepsOpenFoldersAndSelection();
    void refreshWaitsOnATimerAndRebuildCancelsIt();
    void emptyFolderLosesItsPlus();
    void linkedFoldersOpenAndSelect();
    void linksToEachOthersFoldersEndAfterOneStep();
    void aFolderThatIsGoneHasNoName();
    void foldersOfLinksOpenWithRight();

private:
    // A tree rooted at the temporary folder, as the folder chooser sets it.
    void MakeChooserTree(TFolderTreeViewEx& t) {
        t.SetShowIncludeHidden(false);
        t.SetRootFolderName(S(""));
        t.SetRootFolder(TFolderTreeViewEx::rfManual);
    }
    // Shift-JIS path of a folder of the temporary tree.
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

    std::unique_ptr<TempDir> tmp_;
    std::string root_;
};

void FolderTreeTest::init() {
    tmp_ = std::make_unique<TempDir>();
    root_ = tmp_->path().substr(0, tmp_->path().size() - 1);
    for (const char* d : {"/home", "/data/one/two/three", "/data/Empty", "/data/.secret/inner", "/data/zeta"})
        fs::create_directories(root_ + d);
    std::ofstream(root_ + "/data/b.txt") << "x";
    std::ofstream(root_ + "/data/a.TXT") << "x";
    std::ofstream(root_ + "/data/c.doc") << "x";
    TNamespaceConfig c;
    c.home = root_ + "/home";
    c.desktop = root_ + "/home/Desktop";
    c.volumes = {"/", root_};
    SetNamespaceConfig(c);
}

void FolderTreeTest::cleanup() {
    SetNamespaceConfig(DefaultNamespaceConfig());
    tmp_.reset();
}

void FolderTreeTest::defaultsShowTheComputerExpanded() {
    TFolderTreeViewEx t;
    QCOMPARE(t.RootFolder(), TFolderTreeViewEx::rfDrives);
    QVERIFY(t.ShowRootFolder());
    QVERIFY(t.ShowIncludeHidden());
    QVERIFY(!t.ShowFile());
    QVERIFY(t.AutoUpDate() && t.ContextMenu() && t.DragAndDrop());
    QCOMPARE(t.topLevelItemCount(), 1);
    QTreeWidgetItem* computer = t.topLevelItem(0);
    QCOMPARE(computer->text(0), QString::fromUtf8("コンピューター"));
    QVERIFY(computer->isExpanded());
    QCOMPARE(Texts(computer), (QStringList{"/", QString::fromStdString(root_)}));
}

void FolderTreeTest::manualRootIsReadLazily() {
    TFolderTreeViewEx t;
    MakeChooserTree(t);
    QCOMPARE(t.topLevelItemCount(), 1);
    QTreeWidgetItem* root = t.topLevelItem(0);
    QVERIFY(root->isExpanded());
    QCOMPARE(Texts(root), (QStringList{"data", "home"}));
    QTreeWidgetItem* data = Child(root, "data");
    QVERIFY(!data->isExpanded());
    QCOMPARE(data->childCount(), 0);  // not read before it is opened
    QVERIFY(!TFolderTreeViewEx::NodeFilled(data));
    QCOMPARE(data->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    data->setExpanded(true);  // as a click on the plus sign does
    QCOMPARE(Texts(data), (QStringList{"Empty", "one", "zeta"}));
    QVERIFY(Child(data, "one")->childCount() == 0);
    // Opening it again reads nothing twice.
    data->setExpanded(false);
    data->setExpanded(true);
    QCOMPARE(data->childCount(), 3);
}

void FolderTreeTest::selectFolderOpensADeepPath() {
    TFolderTreeViewEx t;
    MakeChooserTree(t);
    QVERIFY(t.SelectFolder(S("/data/one/two/three")));
    QTreeWidgetItem* sel = t.currentItem();
    QVERIFY(sel && sel->isSelected());
    QCOMPARE(sel->text(0), QStringLiteral("three"));
    QVERIFY(sel->parent()->isExpanded());                       // two
    QVERIFY(sel->parent()->parent()->isExpanded());             // one
    QVERIFY(!sel->isExpanded());                                // not the folder itself
    QCOMPARE(t.GetFolderName(), S("/data/one/two/three"));
    // A spelling with dots and doubled slashes leads to the same node.
    QVERIFY(t.SelectFolder(S("/data//one/./two/../two")));
    QCOMPARE(t.currentItem()->text(0), QStringLiteral("two"));
    // A folder value with its trailing "/" as the settings hold it.
    QVERIFY(t.SelectFolder(S("/data/zeta/")));
    QCOMPARE(t.GetFolderName(), S("/data/zeta"));
    // The root itself.
    QVERIFY(t.SelectFolder(S("")));
    QCOMPARE(t.currentItem(), t.topLevelItem(0));
    QTreeWidgetItem* node = nullptr;
    QVERIFY(t.OpenFolder(S("/data/zeta"), true, false, &node));
    QVERIFY(node);
    QCOMPARE(node->text(0), QStringLiteral("zeta"));
    QCOMPARE(t.currentItem(), t.topLevelItem(0));  // not selected
}

void FolderTreeTest::selectFolderRefuses() {
    TFolderTreeViewEx t;
    MakeChooserTree(t);
    QVERIFY(t.SelectFolder(S("/data/one/two")));
    QTreeWidgetItem* before = t.currentItem();
    int changes = 0;
    t.OnChange = [&](QObject*, const std::string&) { ++changes; };
    QVERIFY(!t.SelectFolder(S("/data/missing")));        // does not parse
    QVERIFY(!t.SelectFolder("relative/path"));
    QVERIFY(!t.SelectFolder(S("/data/.secret/inner")));  // hidden while hidden is off
    QVERIFY(!t.SelectFolder(S("/data/b.txt")));          // a file while files are off
    QVERIFY(!t.SelectFolder("/"));                       // above the root
    fs::create_directories(root_ + "/data/one/late");     // not read when one was opened
    QVERIFY(!t.SelectFolder(S("/data/one/late")));
    QCOMPARE(t.currentItem(), before);
    QCOMPARE(changes, 0);
}

void FolderTreeTest::hiddenFoldersOnRequest() {
    TFolderTreeViewEx t;
    t.SetRootFolderName(S("/data"));
    t.SetRootFolder(TFolderTreeViewEx::rfManual);
    QCOMPARE(Texts(t.topLevelItem(0)), (QStringList{".secret", "Empty", "one", "zeta"}));
    QVERIFY(t.SelectFolder(S("/data/.secret/inner")));
    t.SetShowIncludeHidden(false);
    QCOMPARE(Texts(t.topLevelItem(0)), (QStringList{"Empty", "one", "zeta"}));
    QVERIFY(!t.SelectFolder(S("/data/.secret/inner")));
}

void FolderTreeTest::onChangeCarriesTheFolderName() {
    TFolderTreeViewEx t;
    MakeChooserTree(t);
    QObject* sender = nullptr;
    std::vector<std::string> names;
    t.OnChange = [&](QObject* s, const std::string& name) {
        sender = s;
        names.push_back(name);
    };
    QVERIFY(t.SelectFolder(S("/data/one/two")));
    QCOMPARE(sender, &t);
    QCOMPARE(names, (std::vector<std::string>{S("/data/one/two")}));
    // A user's choice reports the same way.
    t.setCurrentItem(Child(t.currentItem(), "three") ? Child(t.currentItem(), "three") : t.topLevelItem(0));
    QCOMPARE(names.size(), size_t(2));
}

void FolderTreeTest::folderNameWithNothingSelected() {
    TFolderTreeViewEx t;
    MakeChooserTree(t);
    QCOMPARE(t.GetFolderName(), std::string());
    QVERIFY(t.SelectFolder(S("/data/zeta")));
    QCOMPARE(t.GetFolderName(), S("/data/zeta"));
    t.clearSelection();
    QCOMPARE(t.GetFolderName(), S("/data/zeta"));
}

void FolderTreeTest::namesWithoutShiftJisAreLeftOut() {
    fs::create_directories(root_ + "/data/\xF0\x9F\x98\x80");  // an emoji
    fs::create_directories(root_ + "/data/\xE5\x95\x8F\xE9\xA1\x8C/sub");  // 問題
    TFolderTreeViewEx t;
    t.SetRootFolderName(S("/data"));
    t.SetRootFolder(TFolderTreeViewEx::rfManual);
    t.SetShowIncludeHidden(false);
    QCOMPARE(Texts(t.topLevelItem(0)), (QStringList{"Empty", "one", "zeta", QString::fromUtf8("問題")}));
    std::string reported;
    t.OnChange = [&](QObject*, const std::string& name) { reported = name; };
    QVERIFY(t.SelectFolder(S("/data/問題/sub")));
    QCOMPARE(reported, S("/data/問題/sub"));
    QCOMPARE(sjis::ToUtf8(reported), root_ + "/data/問題/sub");
}

void FolderTreeTest::withoutRootNodeTheChildrenAreTheTopLevel() {
    TFolderTreeViewEx t;
    t.SetRootFolderName(S("/data"));
    t.SetRootFolder(TFolderTreeViewEx::rfManual);
    t.SetShowIncludeHidden(false);
    t.SetShowRootFolder(false);
    QCOMPARE(t.topLevelItemCount(), 3);
    QCOMPARE(t.topLevelItem(0)->text(0), QStringLiteral("Empty"));
    QVERIFY(t.SelectFolder(S("/data/zeta")));
    QVERIFY(t.SelectFolder(S("/data/one/two/three")));
    QCOMPARE(t.currentItem()->text(0), QStringLiteral("three"));
    QVERIFY(!t.SelectFolder(S("/data")));  // the root has no node
    // With files shown, the root node cannot be switched off.
    TFolderTreeViewEx f;
    f.SetRootFolderName(S("/data"));
    f.SetRootFolder(TFolderTreeViewEx::rfManual);
    f.SetShowFile(true);
    f.SetShowRootFolder(false);
    QVERIFY(f.ShowRootFolder());
}

void FolderTreeTest::unusableManualRootFallsBackToTheComputer() {
    TFolderTreeViewEx t;
    t.SetRootFolderName(S("/nowhere"));
    t.SetRootFolder(TFolderTreeViewEx::rfManual);
    QCOMPARE(t.topLevelItem(0)->text(0), QString::fromUtf8("コンピューター"));
    // A folder without subfolders is no root while neither the root node
    // nor files are shown.
    TFolderTreeViewEx u;
    u.SetShowRootFolder(false);
    u.SetRootFolderName(S("/data/zeta"));
    u.SetRootFolder(TFolderTreeViewEx::rfManual);
    QCOMPARE(u.topLevelItem(0)->text(0), QStringLiteral("/"));
}

void FolderTreeTest::virtualRootsAreRefused() {
    TFolderTreeViewEx t;
    t.SetShowRootFolder(false);
    t.SetRootFolder(TFolderTreeViewEx::rf_Controls);
    QVERIFY(t.ShowRootFolder());
    t.SetShowRootFolder(false);
    QVERIFY(t.ShowRootFolder());
    t.SetShowFile(true);
    t.SetShowFile(false);
    QVERIFY(t.ShowFile());
    QVERIFY(!t.SelectFolder(S("/data")));
    QVERIFY(t.topLevelItemCount() > 0);  // no control panel here: the tree keeps what it showed
}

void FolderTreeTest::filesWithMaskAndFilesFirst() {
    TFolderTreeViewEx t;
    t.SetRootFolderName(S("/data"));
    t.SetRootFolder(TFolderTreeViewEx::rfManual);
    t.SetShowIncludeHidden(false);
    t.SetShowFile(true);
    QCOMPARE(Texts(t.topLevelItem(0)),
             (QStringList{"Empty", "one", "zeta", "a.TXT", "b.txt", "c.doc"}));
    t.SetFileMask({".txt"});
    QCOMPARE(Texts(t.topLevelItem(0)), (QStringList{"Empty", "one", "zeta", "a.TXT", "b.txt"}));
    // A folder holding no such file and no subfolder shows no plus sign.
    QTreeWidgetItem* empty = Child(t.topLevelItem(0), "Empty");
    QCOMPARE(empty->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
    t.SetFileMask({"*.txt"});
    QCOMPARE(Texts(t.topLevelItem(0)), (QStringList{"Empty", "one", "zeta"}));
    t.SetFileMask({".TXT"});
    t.SetInfoViewSort(true);
    QCOMPARE(Texts(t.topLevelItem(0)), (QStringList{"a.TXT", "b.txt", "Empty", "one", "zeta"}));
    QVERIFY(t.SelectFolder(S("/data/b.txt")));
}

void FolderTreeTest::refreshKeepsOpenFoldersAndSelection() {
    TFolderTreeViewEx t;
    MakeChooserTree(t);
    QVERIFY(t.SelectFolder(S("/data/one/two")));
    QVERIFY(t.OpenFolder(S("/data/zeta"), false, false));
    fs::create_directories(root_ + "/data/new");
    fs::create_directories(root_ + "/data/one/two/four");
    std::vector<std::string> names;
    t.OnChange = [&](QObject*, const std::string& name) { names.push_back(name); };
    t.Refresh();
    QVERIFY(t.RefreshPending());
    t.FinishRefresh();
    QVERIFY(!t.RefreshPending());
    QTreeWidgetItem* data = Child(t.topLevelItem(0), "data");
    QVERIFY(data->isExpanded());
    QCOMPARE(Texts(data), (QStringList{"Empty", "new", "one", "zeta"}));
    QTreeWidgetItem* one = Child(data, "one");
    QVERIFY(one->isExpanded());
    QCOMPARE(t.currentItem()->text(0), QStringLiteral("two"));
    QVERIFY(t.currentItem()->isSelected());
    QCOMPARE(t.GetFolderName(), S("/data/one/two"));
    QCOMPARE(names, (std::vector<std::string>{S("/data/one/two")}));
    QVERIFY(t.SelectFolder(S("/data/one/two/four")));
}

void FolderTreeTest::refreshWaitsOnATimerAndRebuildCancelsIt() {
    TFolderTreeViewEx t;
    MakeChooserTree(t);
    QCOMPARE(t.RefreshDelay(), 1000);
    t.Refresh();
    QVERIFY(t.RefreshPending());
    // The window keeps working while the refresh waits.
    QVERIFY(t.SelectFolder(S("/data/zeta")));
    t.SetShowIncludeHidden(true);  // rebuilds: the waiting refresh is dropped
    QVERIFY(!t.RefreshPending());
    TFolderTreeViewEx empty;
    empty.clear();
    empty.Refresh();
    QVERIFY(!empty.RefreshPending());
}

void FolderTreeTest::emptyFolderLosesItsPlus() {
    fs::create_directories(root_ + "/data/one/gone/sub");
    TFolderTreeViewEx t;
    MakeChooserTree(t);
    QVERIFY(t.OpenFolder(S("/data/one/gone"), false, false));
    QTreeWidgetItem* one = Child(Child(t.topLevelItem(0), "data"), "one");
    QTreeWidgetItem* gone = Child(one, "gone");
    QVERIFY(gone);
    QCOMPARE(gone->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    fs::remove(root_ + "/data/one/gone/sub");  // emptied after its plus sign was drawn
    gone->setExpanded(true);
    QCOMPARE(gone->childCount(), 0);
    QCOMPARE(gone->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

// Two links that lead to each other's folders: the tree shows the way
// through the first one, and the second one there leads no deeper.
void FolderTreeTest::linksToEachOthersFoldersEndAfterOneStep() {
    fs::create_directories(root_ + "/data/x/sub");
    fs::create_directories(root_ + "/data/y/sub");
    fs::create_directory_symlink(root_ + "/data/y", root_ + "/data/x/toy");
    fs::create_directory_symlink(root_ + "/data/x", root_ + "/data/y/tox");
    TFolderTreeViewEx t;
    MakeChooserTree(t);
    QVERIFY(t.SelectFolder(S("/data/x/toy")));
    QTreeWidgetItem* toy = t.currentItem();
    QCOMPARE(toy->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    toy->setExpanded(true);
    QCOMPARE(Texts(toy), (QStringList{"sub", "tox"}));
    QTreeWidgetItem* tox = Child(toy, "tox");
    QCOMPARE(tox->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
    QVERIFY(t.SelectFolder(S("/data/x/toy/tox")));
    QVERIFY(!t.SelectFolder(S("/data/x/toy/tox/toy")));
    QCOMPARE(t.GetFolderName(), S("/data/x/toy/tox"));
}

// A shared folder that holds only links to folders elsewhere (a link count
// of 2): it opens, and the folders behind the links are chosen by path.
void FolderTreeTest::linkedFoldersOpenAndSelect() {
    fs::create_directories(root_ + "/srv/class/week1");
    fs::create_directories(root_ + "/data/shared");
    fs::create_directory_symlink(root_ + "/srv/class", root_ + "/data/shared/teacher");
    fs::create_directory_symlink(root_ + "/data", root_ + "/data/shared/loop");  // back up the tree
    TFolderTreeViewEx t;
    MakeChooserTree(t);
    QVERIFY(t.SelectFolder(S("/data/shared/teacher/week1")));
    QCOMPARE(t.currentItem()->text(0), QString("week1"));
    QCOMPARE(t.GetFolderName(), S("/data/shared/teacher/week1"));
    QTreeWidgetItem* shared = t.currentItem()->parent()->parent();
    QCOMPARE(shared->text(0), QString("shared"));
    QCOMPARE(Texts(shared), (QStringList{"loop", "teacher"}));
    // The loop is shown, but leads no deeper.
    QTreeWidgetItem* loop = Child(shared, "loop");
    QVERIFY(TFolderTreeViewEx::NodeFilled(loop));
    QCOMPARE(loop->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
    QVERIFY(t.SelectFolder(S("/data/shared/loop")));
    QVERIFY(!t.SelectFolder(S("/data/shared/loop/shared")));
}

void FolderTreeTest::aFolderThatIsGoneHasNoName() {
    TFolderTreeViewEx t;
    MakeChooserTree(t);
    QVERIFY(t.SelectFolder(S("/data/zeta")));
    QCOMPARE(t.GetFolderName(), S("/data/zeta"));
    fs::remove(root_ + "/data/zeta");
    // Neither its shown name nor the last path stands in for it.
    QCOMPARE(t.GetFolderName(), std::string());
}

// A folder whose subfolders are all links (its link count is 2 where the
// file system counts subfolders: ext4 here, tmpfs in /dev/shm) and one
// with links and folders mixed show a plus sign, and Right opens them.
void FolderTreeTest::foldersOfLinksOpenWithRight() {
    TLinkedFolderPlaces linked(root_);
    for (const std::string& place : linked.places) {
        fs::create_directories(place + "/store/class1/week1");
        fs::create_directories(place + "/empty");
        fs::create_directories(place + "/filesonly");
        std::ofstream(place + "/filesonly/a.txt") << "a";
        fs::create_symlink(place + "/filesonly/a.txt", place + "/filesonly/tofile");
        TFolderTreeViewEx t;
        t.SetShowIncludeHidden(false);
        std::string sj;
        QVERIFY(sjis::FromUtf8(place, sj));
        t.SetRootFolderName(sj);
        t.SetRootFolder(TFolderTreeViewEx::rfManual);
        t.show();
        t.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&t, 20000));
        QTreeWidgetItem* root = t.topLevelItem(0);
        QVERIFY(root);
        for (const char* name : {"classes", "mixed"}) {
            QVERIFY(t.SelectFolder(sj + "/" + name));
            QTreeWidgetItem* node = t.currentItem();
            QCOMPARE(node->text(0), QString(name));
            QCOMPARE(node->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
            QVERIFY(!node->isExpanded());
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(&t));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
            QVERIFY(node->isExpanded());
            QCOMPARE(Texts(node), std::string(name) == "classes" ? (QStringList{"class1", "class2"})
                                                                  : (QStringList{"linked", "real"}));
        }
        // Folders with nothing to open keep showing no plus sign.
        for (const char* leaf : {"empty", "filesonly"})
            QCOMPARE(Child(root, leaf)->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
        // Through a link, the folder behind it opens as well.
        QTreeWidgetItem* class1 = Child(Child(root, "classes"), "class1");
        QCOMPARE(class1->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        class1->setExpanded(true);
        QCOMPARE(Texts(class1), QStringList{"week1"});
    }
}

QTEST_MAIN(FolderTreeTest)
#include "foldertree_test.moc"
