// The controller's folder view over temporary folder trees, under Qt's
// offscreen platform.
#include "ShView.h"

#include "sjis.h"
#include "linked_folders.h"
#include "tempdir.h"

#include <QtTest>

#include <filesystem>
#include <fstream>

using namespace shell;
namespace fs = std::filesystem;

class ShViewTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startsAtTheDesktopSelectedAndOpen();
    void setSelectedPathOpensTheWay();
    void setSelectedPathRefusals();
    void foldersAreReadOnceAndLazily();
    void hiddenFoldersIncludedNeverFiles();
    void nodePidlIsTheFullList();
    void renameInPlace();
    void renameNeverReplaces();
    void rootCannotBeRenamed();
    void selectChildAndRenameChild();
    void changeAndDeletingEvents();
    void linkedFoldersOpenAndSelect();
    void foldersOfLinksOpenWithRight();

private:
    std::string S(const std::string& rel) const {
        std::string s;
        sjis::FromUtf8(root_ + rel, s);
        return s;
    }
    static QTreeWidgetItem* Child(QTreeWidgetItem* parent, const QString& text) {
        for (int i = 0; parent && i < parent->childCount(); ++i)
            if (parent->child(i)->text(0) == text) return parent->child(i);
        return nullptr;
    }
    static QStringList Texts(QTreeWidgetItem* parent) {
        QStringList out;
        for (int i = 0; parent && i < parent->childCount(); ++i) out << parent->child(i)->text(0);
        return out;
    }
    // Renames a node as the in-place editor does when the user types.
    static void TypeName(QTreeWidgetItem* node, const QString& text) { node->setText(0, text); }

    std::unique_ptr<TempDir> tmp_;
    std::string root_;
};

void ShViewTest::init() {
    tmp_ = std::make_unique<TempDir>();
    root_ = tmp_->path().substr(0, tmp_->path().size() - 1);
    for (const char* d : {"/home/Desktop/onDesk", "/work/x/y/z", "/work/.hid/in", "/work/other", "/work/leaf"})
        fs::create_directories(root_ + d);
    std::ofstream(root_ + "/work/file.txt") << "x";
    TNamespaceConfig c;
    c.home = root_ + "/home";
    c.desktop = root_ + "/home/Desktop";
    c.volumes = {"/", root_};
    SetNamespaceConfig(c);
}

void ShViewTest::cleanup() {
    SetNamespaceConfig(DefaultNamespaceConfig());
    tmp_.reset();
}

void ShViewTest::startsAtTheDesktopSelectedAndOpen() {
    TFolderView v;
    QCOMPARE(v.topLevelItemCount(), 1);
    QTreeWidgetItem* desktop = v.topLevelItem(0);
    QCOMPARE(desktop->text(0), QString::fromUtf8("デスクトップ"));
    QVERIFY(desktop->isExpanded());
    QCOMPARE(v.currentItem(), desktop);
    QCOMPARE(Texts(desktop), (QStringList{QString::fromUtf8("コンピューター"), QString::fromUtf8("ホーム"), "onDesk"}));
    QCOMPARE(v.GetSelectedPath(), S("/home/Desktop"));
    QVERIFY(!v.rootIsDecorated());
}

void ShViewTest::setSelectedPathOpensTheWay() {
    TFolderView v;
    v.SetSelectedPath(S("/work/x/y"));
    QTreeWidgetItem* sel = v.currentItem();
    QVERIFY(sel && sel->isSelected());
    QCOMPARE(sel->text(0), QStringLiteral("y"));
    QCOMPARE(v.GetSelectedPath(), S("/work/x/y"));
    QVERIFY(sel->parent()->isExpanded());  // x
    QTreeWidgetItem* computer = Child(v.topLevelItem(0), QString::fromUtf8("コンピューター"));
    QVERIFY(computer->isExpanded());
    QVERIFY(Child(computer, QString::fromStdString(root_))->isExpanded());
    // The home folder's own path goes through the computer as well.
    v.SetSelectedPath(S("/home"));
    QCOMPARE(v.GetSelectedPath(), S("/home"));
    v.SetSelectedPath("/");
    QCOMPARE(v.GetSelectedPath(), std::string("/"));
}

void ShViewTest::setSelectedPathRefusals() {
    TFolderView v;
    v.SetSelectedPath(S("/work/x"));
    QTreeWidgetItem* before = v.currentItem();
    v.SetSelectedPath(S("/work/missing"));  // does not parse: nothing changes
    QCOMPARE(v.currentItem(), before);
    v.SetSelectedPath("");
    QCOMPARE(v.currentItem(), before);
    QCOMPARE(v.GetSelectedPath(), S("/work/x"));
    v.SetSelectedPath(S("/work/file.txt"));  // parses, but no folder node
    QVERIFY(!v.currentItem() || !v.currentItem()->isSelected());
    QCOMPARE(v.GetSelectedPath(), std::string());
    v.SetSelectedPath(S("/work/x/y"));  // reads x
    QCOMPARE(v.GetSelectedPath(), S("/work/x/y"));
    fs::create_directories(root_ + "/work/x/late");
    v.SetSelectedPath(S("/work/x/late"));  // x was read before it existed
    QCOMPARE(v.GetSelectedPath(), std::string());
}

void ShViewTest::foldersAreReadOnceAndLazily() {
    TFolderView v;
    v.SetSelectedPath(S("/work"));
    QTreeWidgetItem* work = v.currentItem();
    QCOMPARE(work->childCount(), 0);
    QCOMPARE(work->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    work->setExpanded(true);
    QCOMPARE(Texts(work), (QStringList{".hid", "leaf", "other", "x"}));
    QTreeWidgetItem* leaf = Child(work, "leaf");
    QCOMPARE(leaf->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
    fs::create_directories(root_ + "/work/new");
    work->setExpanded(false);
    work->setExpanded(true);
    QCOMPARE(work->childCount(), 4);  // no refresh
}

void ShViewTest::hiddenFoldersIncludedNeverFiles() {
    TFolderView v;
    v.SetSelectedPath(S("/work/.hid/in"));
    QCOMPARE(v.GetSelectedPath(), S("/work/.hid/in"));
    QTreeWidgetItem* work = v.currentItem()->parent()->parent();
    QVERIFY(!Child(work, "file.txt"));
}

void ShViewTest::nodePidlIsTheFullList() {
    TFolderView v;
    v.SetSelectedPath(S("/work/x/y/z"));
    TPidl full(v.NodePidl(v.currentItem()));
    TPidl parsed(PathToPidl(S("/work/x/y/z")));
    QVERIFY(full && parsed);
    QVERIFY(SameItemID(SHGetDesktopFolder(), full.get(), parsed.get()));
    QCOMPARE(PidlItemCount(full.get()), PidlItemCount(parsed.get()));
    TPidl rootList(v.NodePidl(v.topLevelItem(0)));
    QCOMPARE(PidlItemCount(rootList.get()), 0u);
    QCOMPARE(PidlSize(rootList.get()), size_t(2));
}

void ShViewTest::renameInPlace() {
    TFolderView v;
    v.SetSelectedPath(S("/work/x/y"));
    QTreeWidgetItem* x = v.currentItem()->parent();
    TypeName(x, QString::fromUtf8("名前"));
    QVERIFY(fs::is_directory(root_ + "/work/名前/y/z"));
    QVERIFY(!fs::exists(root_ + "/work/x"));
    QCOMPARE(x->text(0), QString::fromUtf8("名前"));
    // The nodes below follow the new name.
    QCOMPARE(v.GetSelectedPath(), S("/work/名前/y"));
    v.SetSelectedPath(S("/work/名前/y/z"));
    QCOMPARE(v.currentItem()->text(0), QStringLiteral("z"));
    // A folder directly under the desktop is renamed in the desktop folder.
    QTreeWidgetItem* onDesk = Child(v.topLevelItem(0), "onDesk");
    TypeName(onDesk, "moved");
    QVERIFY(fs::is_directory(root_ + "/home/Desktop/moved"));
}

void ShViewTest::renameNeverReplaces() {
    TFolderView v;
    v.setWindowTitle(QString::fromUtf8("フォルダー"));
    QStringList messages;
    v.ShowMessage = [&](QWidget*, const QString& text, const QString& caption) { messages << caption + "|" + text; };
    v.SetSelectedPath(S("/work/x"));
    QTreeWidgetItem* x = v.currentItem();
    const struct {
        const char* typed;
        const char* why;
    } cases[] = {
        {"other", "同じ名前のフォルダーかファイルがすでにあります。"},
        {"", "名前が入力されていません。"},
        {"  ", "空白だけの名前は付けられません。"},
        {"\xE3\x80\x80", "空白だけの名前は付けられません。"},
        {".", "「.」「..」や「/」を含む名前は付けられません。"},
        {"..", "「.」「..」や「/」を含む名前は付けられません。"},
        {"a/b", "「.」「..」や「/」を含む名前は付けられません。"},
        {"\xF0\x9F\x98\x80", "この名前には使えない文字が含まれています。"},  // no Shift-JIS form
    };
    for (const auto& c : cases) {
        messages.clear();
        TypeName(x, QString::fromUtf8(c.typed));
        QCOMPARE(x->text(0), QStringLiteral("x"));
        QVERIFY(messages.isEmpty());  // told once the edit is over
        QTRY_COMPARE(messages, QStringList{QString::fromUtf8("フォルダー|") + QString::fromUtf8(c.why)});
    }
    QVERIFY(fs::is_directory(root_ + "/work/x/y"));
    QVERIFY(fs::is_directory(root_ + "/work/other"));
    QVERIFY(fs::is_empty(root_ + "/work/other"));
    // Volumes and the computer keep their names.
    QTreeWidgetItem* computer = Child(v.topLevelItem(0), QString::fromUtf8("コンピューター"));
    messages.clear();
    TypeName(computer, "pc");
    QCOMPARE(computer->text(0), QString::fromUtf8("コンピューター"));
    QTRY_COMPARE(messages, QStringList{QString::fromUtf8("フォルダー|名前を変更できませんでした。")});
}

void ShViewTest::rootCannotBeRenamed() {
    TFolderView v;
    QVERIFY(!(v.topLevelItem(0)->flags() & Qt::ItemIsEditable));
    QVERIFY(Child(v.topLevelItem(0), "onDesk")->flags() & Qt::ItemIsEditable);
}

void ShViewTest::selectChildAndRenameChild() {
    TFolderView v;
    v.SetSelectedPath(S("/work"));
    TPidl work(PathToPidl(S("/work")));
    ShellFolderPtr folder = BindAbsolute(work.get());
    LPITEMIDLIST raw = nullptr;
    QVERIFY(SUCCEEDED(folder->ParseDisplayName("other", raw)));
    TPidl other(raw);
    QVERIFY(SUCCEEDED(folder->SetNameOf(other.get(), "renamed", 0, &raw)));
    TPidl renamed(raw);
    v.RenameChild(other.get(), renamed.get());
    QVERIFY(Child(v.currentItem(), "renamed"));
    v.SelectChild(renamed.get());
    QCOMPARE(v.GetSelectedPath(), S("/work/renamed"));
    v.SelectPidl(work.get());
    QCOMPARE(v.GetSelectedPath(), S("/work"));
}

void ShViewTest::changeAndDeletingEvents() {
    int deleted = 0;
    QList<QTreeWidgetItem*> changed;
    {
        TFolderView v;
        v.OnChange = [&](QObject* s, QTreeWidgetItem* n) {
            QCOMPARE(s, &v);
            changed << n;
        };
        v.OnDeleting = [&](QObject*, QTreeWidgetItem*) { ++deleted; };
        QTreeWidgetItem* desktop = v.currentItem();
        v.SetSelectedPath(S("/work/x"));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.last(), v.currentItem());
        QCOMPARE(v.CurrentNode(), v.currentItem());
        QCOMPARE(v.PreviousNode(), desktop);
        v.OnChange = nullptr;
    }
    QVERIFY(deleted > 5);
}

void ShViewTest::linkedFoldersOpenAndSelect() {
    fs::create_directories(root_ + "/srv/class/week1");
    fs::create_directories(root_ + "/work/shared");
    fs::create_directory_symlink(root_ + "/srv/class", root_ + "/work/shared/teacher");
    fs::create_directory_symlink(root_ + "/work", root_ + "/work/shared/loop");
    TFolderView v;
    v.SetSelectedPath(S("/work/shared/teacher/week1"));
    QTreeWidgetItem* sel = v.currentItem();
    QVERIFY(sel && sel->isSelected());
    QCOMPARE(sel->text(0), QStringLiteral("week1"));
    QCOMPARE(v.GetSelectedPath(), S("/work/shared/teacher/week1"));
    QTreeWidgetItem* shared = sel->parent()->parent();
    QCOMPARE(Texts(shared), (QStringList{"loop", "teacher"}));
    QCOMPARE(Child(shared, "loop")->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
    QCOMPARE(Child(shared, "teacher")->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
}

// A folder holding only links to folders (link count 2 on ext4 here and on
// tmpfs in /dev/shm), and one with links and folders mixed: each shows
// its plus sign, and Right opens it.
void ShViewTest::foldersOfLinksOpenWithRight() {
    TLinkedFolderPlaces linked(root_);
    for (const std::string& place : linked.places) {
        TFolderView v;
        v.show();
        v.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&v, 20000));
        for (const char* name : {"classes", "mixed"}) {
            std::string sj;
            QVERIFY(sjis::FromUtf8(place + "/" + name, sj));
            v.SetSelectedPath(sj);
            QTreeWidgetItem* node = v.currentItem();
            QVERIFY(node);
            QCOMPARE(node->text(0), QString(name));
            QCOMPARE(node->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
            node->setExpanded(false);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(&v));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
            QVERIFY(node->isExpanded());
            QCOMPARE(Texts(node), std::string(name) == "classes" ? (QStringList{"class1", "class2"})
                                                                  : (QStringList{"linked", "real"}));
        }
    }
}

QTEST_MAIN(ShViewTest)
#include "shview_test.moc"
