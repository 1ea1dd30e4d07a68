// The controller's file list and location box over temporary folder trees,
// alone and linked to the folder tree, under Qt's offscreen platform.
#include "ShView.h"

#include "shellicons.h"
#include "sjis.h"
#include "tempdir.h"

#include <QDesktopServices>
#include <QDrag>
#include <QMimeData>
#include <QHeaderView>
#include <QtTest>

#include <sys/stat.h>
#include <utime.h>

#include <ctime>
#include <filesystem>
#include <fstream>

using namespace shell;
namespace fs = std::filesystem;

// Receives the documents the list opens instead of the desktop.
class TOpened : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class FileViewTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void columnsAndDefaults();
    void listsEveryItemOnce();
    void sizeTextsCountBegunKilobytes();
    void dateAndTypeTexts();
    void maskListsFoldersAndMatchingExtensions();
    void columnClicksSortBothWays();
    void refillResetsTheSortDirections();
    void renameInTheList();
    void renameNeverReplaces();
    void renameFolderRenamesTreeNode();
    void listFollowsTheTree();
    void doubleClickOnFolderMovesTheTree();
    void doubleClickOnDocumentOpensIt();
    void folderThatCannotBeListedSendsTheTreeBack();
    void linksAreShown();
    void linksClearWhenAViewGoes();
    void comboHoldsDesktopFoldersAndVolumes();
    void comboShowsThePathLevels();
    void comboChoiceMovesTheTree();
    void rightReleaseShowsTheMenuOfTheSelectedRows();
    void pressAndMoveDragsTheSelectedRows();
    void treeMenuAndDragTakeTheSelectedFolder();
    void noListIsLeaked();

private:
    std::string S(const std::string& rel) const {
        std::string s;
        sjis::FromUtf8(root_ + rel, s);
        return s;
    }
    std::string D(const std::string& rel) const { return root_ + rel; }
    static void Write(const std::string& path, size_t bytes) {
        std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
    }
    static QTreeWidgetItem* Row(TFileView& v, const QString& name) {
        for (int i = 0; i < v.topLevelItemCount(); ++i)
            if (v.topLevelItem(i)->text(0) == name) return v.topLevelItem(i);
        return nullptr;
    }
    static QStringList Names(TFileView& v) {
        QStringList out;
        for (int i = 0; i < v.topLevelItemCount(); ++i) out << v.topLevelItem(i)->text(0);
        return out;
    }
    static QStringList Column(TFileView& v, int column) {
        QStringList out;
        for (int i = 0; i < v.topLevelItemCount(); ++i) out << v.topLevelItem(i)->text(column);
        return out;
    }
    // Lists a folder given by its path below the temporary root.
    void List(TFileView& v, const std::string& rel) {
        TPidl list(PathToPidl(S(rel)));
        QVERIFY(list);
        v.SetFolder(list.get());
    }
    static void TypeName(QTreeWidgetItem* row, const QString& text) { row->setText(0, text); }
    static QStringList Entries(TComboView& c) {
        QStringList out;
        for (int i = 0; i < c.count(); ++i)
            out << QString::number(c.EntryIndent(i)) + ":" + ShellText(c.EntryName(i));
        return out;
    }
    // Selects a row alone, as a click does.
    static void Pick(TFileView& v, QTreeWidgetItem* row) {
        v.clearSelection();
        v.setCurrentItem(row);
        row->setSelected(true);
    }

    std::unique_ptr<TempDir> tmp_;
    std::string root_;
};

void FileViewTest::init() {
    tmp_ = std::make_unique<TempDir>();
    root_ = tmp_->path().substr(0, tmp_->path().size() - 1);
    for (const char* d : {"/home/Desktop/onDesk", "/home/Desktop/.hidDesk", "/work/x/y/z", "/work/sub", "/other/deep"})
        fs::create_directories(root_ + d);
    Write(D("/work/empty.txt"), 0);
    Write(D("/work/k1023.dat"), 1023);
    Write(D("/work/k1024.qzb"), 1024);
    Write(D("/work/big.QZB"), 5 * 1024 * 1024 + 1);
    Write(D("/work/.hidden"), 3);
    Write(D("/work/x/inside.txt"), 1);
    TNamespaceConfig c;
    c.home = root_ + "/home";
    c.desktop = root_ + "/home/Desktop";
    c.volumes = {"/", root_};
    SetNamespaceConfig(c);
}

void FileViewTest::cleanup() {
    SetNamespaceConfig(DefaultNamespaceConfig());
    tmp_.reset();
}

void FileViewTest::columnsAndDefaults() {
    TFileView v;
    QCOMPARE(v.columnCount(), 4);
    QTreeWidgetItem* h = v.headerItem();
    QCOMPARE(h->text(0), QString::fromUtf8("名前"));
    QCOMPARE(h->text(1), QString::fromUtf8("ｻｲｽﾞ"));
    QCOMPARE(h->text(2), QString::fromUtf8("ﾌｧｲﾙの種類"));
    QCOMPARE(h->text(3), QString::fromUtf8("更新日時"));
    QCOMPARE(v.columnWidth(0), 120);
    QCOMPARE(v.columnWidth(1), 60);
    QCOMPARE(v.columnWidth(2), 120);
    QCOMPARE(v.columnWidth(3), 120);
    QVERIFY(h->textAlignment(1) & Qt::AlignRight);
    QVERIFY(v.FileExecute());
    QVERIFY(v.Mask().empty());
    QCOMPARE(v.selectionMode(), QAbstractItemView::ExtendedSelection);
    QVERIFY(!v.Folder());
    QCOMPARE(v.topLevelItemCount(), 0);
    v.SetFolder(nullptr);  // ignored
    QVERIFY(!v.Folder());
}

void FileViewTest::listsEveryItemOnce() {
    TFileView v;
    List(v, "/work");
    // Folders first, then files, each in name order; hidden items too.
    QCOMPARE(Names(v), (QStringList{"sub", "x", ".hidden", "big.QZB", "empty.txt", "k1023.dat", "k1024.qzb"}));
    for (int i = 0; i < v.topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = v.topLevelItem(i);
        QVERIFY(TFileView::ItemID(row));
        QCOMPARE(PidlItemCount(TFileView::ItemID(row)), 1u);
        QVERIFY(row->flags() & Qt::ItemIsEditable);
    }
    // The desktop lists the computer, the home folder and its own items.
    TPidl desktop(AllocPidl(2));
    v.SetFolder(desktop.get());
    QVERIFY(v.Folder());
    QCOMPARE(Names(v), (QStringList{QString::fromUtf8("コンピューター"), QString::fromUtf8("ホーム"), ".hidDesk", "onDesk"}));
    // The computer has no size or date; the home folder has.
    QCOMPARE(v.topLevelItem(0)->text(1), QString());
    QCOMPARE(v.topLevelItem(0)->text(3), QString());
    QCOMPARE(v.topLevelItem(1)->text(1), QStringLiteral("       1KB"));
}

void FileViewTest::sizeTextsCountBegunKilobytes() {
    TFileView v;
    List(v, "/work");
    QCOMPARE(Row(v, "empty.txt")->text(1), QStringLiteral("       1KB"));
    QCOMPARE(Row(v, "k1023.dat")->text(1), QStringLiteral("       1KB"));
    QCOMPARE(Row(v, "k1024.qzb")->text(1), QStringLiteral("       2KB"));
    QCOMPARE(Row(v, "big.QZB")->text(1), QStringLiteral("    5121KB"));
    QCOMPARE(Row(v, "sub")->text(1), QStringLiteral("       1KB"));  // a folder has no size of its own
    QVERIFY(Row(v, "big.QZB")->textAlignment(1) & Qt::AlignRight);
}

void FileViewTest::dateAndTypeTexts() {
    struct tm when = {};
    when.tm_year = 2021 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 4;
    when.tm_hour = 17;
    when.tm_min = 6;
    when.tm_sec = 59;
    when.tm_isdst = -1;
    time_t t = std::mktime(&when);
    struct utimbuf times = {t, t};
    QCOMPARE(::utime(D("/work/k1024.qzb").c_str(), &times), 0);
    QCOMPARE(::utime(D("/work/sub").c_str(), &times), 0);
    TFileView v;
    List(v, "/work");
    QCOMPARE(Row(v, "k1024.qzb")->text(3), QStringLiteral("21/03/04 17:06"));
    QCOMPARE(Row(v, "sub")->text(3), QStringLiteral("21/03/04 17:06"));
    // A kind without a known description is named after its extension.
    QCOMPARE(Row(v, "k1024.qzb")->text(2), QString::fromUtf8("QZB ファイル"));
    QCOMPARE(Row(v, "big.QZB")->text(2), QString::fromUtf8("QZB ファイル"));
    QVERIFY(!Row(v, "empty.txt")->text(2).isEmpty());
    QVERIFY(Row(v, "empty.txt")->text(2) != Row(v, "k1024.qzb")->text(2));
    QVERIFY(!Row(v, "sub")->text(2).isEmpty());
    std::string sjisType;
    QVERIFY(ShellTextToSjis(Row(v, "empty.txt")->text(2), sjisType));
    QVERIFY(sjisType.size() <= 80);
}

void FileViewTest::maskListsFoldersAndMatchingExtensions() {
    Write(D("/work/noext"), 1);
    Write(D("/work/qzb"), 1);
    Write(D("/work/a.qzb.txt"), 1);
    fs::create_directories(D("/work/dir.txt"));
    Write(D("/work/dir.txt/plain"), 1);
    TFileView v;
    v.SetMask({".qzb"});
    List(v, "/work");
    QCOMPARE(Names(v), (QStringList{"dir.txt", "sub", "x", "big.QZB", "k1024.qzb"}));
    // A file without extension in a folder whose name has a dot never matches.
    v.SetMask({".txt"});
    List(v, "/work/dir.txt");
    QCOMPARE(Names(v), QStringList());
    v.SetMask({".TXT", ".dat"});
    List(v, "/work");
    QCOMPARE(Names(v), (QStringList{"dir.txt", "sub", "x", "a.qzb.txt", "empty.txt", "k1023.dat"}));
    v.SetMask({});
    List(v, "/work");
    QCOMPARE(v.topLevelItemCount(), 11);
}

void FileViewTest::columnClicksSortBothWays() {
    TFileView v;
    List(v, "/work");
    QCOMPARE(TFileView::SortDirection(1), 1);
    v.ColClick(1);
    QCOMPARE(TFileView::SortDirection(1), -1);
    QCOMPARE(v.topLevelItem(0)->text(0), QStringLiteral("big.QZB"));
    QCOMPARE(v.topLevelItem(1)->text(0), QStringLiteral("k1024.qzb"));
    QCOMPARE(v.header()->sortIndicatorOrder(), Qt::DescendingOrder);
    v.ColClick(1);
    QCOMPARE(TFileView::SortDirection(1), 1);
    QStringList sizes = Column(v, 1);
    QCOMPARE(sizes.last(), QStringLiteral("    5121KB"));
    QStringList sorted = sizes;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(sizes, sorted);
    // The name column goes back to the shell's order, then the other way.
    v.ColClick(0);
    QCOMPARE(Names(v), (QStringList{"k1024.qzb", "k1023.dat", "empty.txt", "big.QZB", ".hidden", "x", "sub"}));
    v.ColClick(0);
    QCOMPARE(Names(v).first(), QStringLiteral("sub"));
    // Columns outside the four change nothing.
    QStringList before = Names(v);
    v.ColClick(4);
    v.ColClick(-1);
    QCOMPARE(Names(v), before);
    QCOMPARE(TFileView::SortDirection(4), 0);
}

void FileViewTest::refillResetsTheSortDirections() {
    TFileView v, other;
    List(v, "/work");
    v.ColClick(2);
    v.ColClick(3);
    QCOMPARE(TFileView::SortDirection(2), -1);
    // The directions are shared by every list, and every fill resets them.
    List(other, "/work/x");
    QCOMPARE(TFileView::SortDirection(2), 1);
    QCOMPARE(TFileView::SortDirection(3), 1);
    v.ColClick(2);
    QCOMPARE(TFileView::SortDirection(2), -1);
    List(v, "/work");
    for (int i = 0; i < 4; ++i) QCOMPARE(TFileView::SortDirection(i), 1);
    QCOMPARE(Names(v).first(), QStringLiteral("sub"));
    // Clicking a column through the header sorts as well.
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    QTest::mouseClick(v.header()->viewport(), Qt::LeftButton, {},
                      QPoint(v.header()->sectionViewportPosition(1) + 5, 5));
    QCOMPARE(TFileView::SortDirection(1), -1);
}

void FileViewTest::renameInTheList() {
    TFileView v;
    List(v, "/work");
    QTreeWidgetItem* row = Row(v, "empty.txt");
    TypeName(row, QString::fromUtf8("名前.qzb"));
    QVERIFY(fs::exists(D("/work/名前.qzb")));
    QVERIFY(!fs::exists(D("/work/empty.txt")));
    QCOMPARE(row->text(0), QString::fromUtf8("名前.qzb"));
    // The row carries the new item, and its kind follows the extension.
    std::string name;
    QVERIFY(GetDisplayName(v.Folder(), TFileView::ItemID(row), SHGDN_INFOLDER, name));
    QCOMPARE(ShellText(name), QString::fromUtf8("名前.qzb"));
    QCOMPARE(row->text(2), QString::fromUtf8("QZB ファイル"));
    // Renaming again works from the new item.
    TypeName(row, "again.txt");
    QVERIFY(fs::exists(D("/work/again.txt")));
    QCOMPARE(row->text(0), QStringLiteral("again.txt"));
}

void FileViewTest::renameNeverReplaces() {
    TFileView v;
    List(v, "/work");
    QTreeWidgetItem* row = Row(v, "k1023.dat");
    for (const char* bad : {"k1024.qzb", "sub", "", "..", "a/b"}) {
        TypeName(row, QString::fromUtf8(bad));
        QCOMPARE(row->text(0), QStringLiteral("k1023.dat"));
    }
    TypeName(row, QString::fromUtf8("\xF0\x9F\x98\x80"));  // no Shift-JIS form
    QCOMPARE(row->text(0), QStringLiteral("k1023.dat"));
    QCOMPARE(fs::file_size(D("/work/k1023.dat")), std::uintmax_t(1023));
    QCOMPARE(fs::file_size(D("/work/k1024.qzb")), std::uintmax_t(1024));
    QVERIFY(fs::is_directory(D("/work/sub")));
    QCOMPARE(v.topLevelItemCount(), 7);
    // The computer keeps its name.
    TPidl desktop(AllocPidl(2));
    v.SetFolder(desktop.get());
    QTreeWidgetItem* computer = v.topLevelItem(0);
    TypeName(computer, "pc");
    QCOMPARE(computer->text(0), QString::fromUtf8("コンピューター"));
}

void FileViewTest::renameFolderRenamesTreeNode() {
    TFolderView tree;
    TFileView v;
    tree.SetFileView(&v);
    tree.SetSelectedPath(S("/work"));
    QTreeWidgetItem* work = tree.currentItem();
    work->setExpanded(true);
    QTreeWidgetItem* row = Row(v, "sub");
    QVERIFY(row);
    TypeName(row, "renamed");
    QVERIFY(fs::is_directory(D("/work/renamed")));
    QStringList children;
    for (int i = 0; i < work->childCount(); ++i) children << work->child(i)->text(0);
    QVERIFY(children.contains("renamed"));
    QVERIFY(!children.contains("sub"));
    // The tree's node carries the new item: selecting it lists the folder.
    Pick(v, Row(v, "renamed"));
    v.DblClick();
    QCOMPARE(tree.GetSelectedPath(), S("/work/renamed"));
    // Renaming the listed folder in the tree: the list and the box follow.
    TComboView combo;
    combo.SetFolderView(&tree);
    Write(D("/work/renamed/f.txt"), 1);
    tree.currentItem()->setText(0, "again");
    QVERIFY(fs::is_directory(D("/work/again")));
    QVERIFY(SameItemID(SHGetDesktopFolder(), v.FolderPidl(), TPidl(PathToPidl(S("/work/again"))).get()));
    QCOMPARE(Names(v), QStringList{"f.txt"});
    QCOMPARE(ShellText(combo.EntryName(combo.currentIndex())), QStringLiteral("again"));
}

void FileViewTest::listFollowsTheTree() {
    TFolderView tree;
    TFileView v;
    tree.SetFileView(&v);
    QCOMPARE(tree.FileView(), &v);
    QCOMPARE(v.FolderView(), &tree);
    // Linking lists the selected folder (the desktop) at once.
    QVERIFY(Row(v, "onDesk"));
    tree.SetSelectedPath(S("/work/x"));
    QCOMPARE(Names(v), (QStringList{"y", "inside.txt"}));
    TPidl x(PathToPidl(S("/work/x")));
    QVERIFY(SameItemID(SHGetDesktopFolder(), v.FolderPidl(), x.get()));
    // A path that is no folder of the tree leaves the list as it was.
    tree.SetSelectedPath(S("/work/x/inside.txt"));
    QCOMPARE(Names(v), (QStringList{"y", "inside.txt"}));
    // Unlinking stops the following.
    tree.SetFileView(nullptr);
    QVERIFY(!v.FolderView());
    tree.SetSelectedPath(S("/work"));
    QCOMPARE(Names(v), (QStringList{"y", "inside.txt"}));
}

void FileViewTest::doubleClickOnFolderMovesTheTree() {
    TFolderView tree;
    TFileView v;
    TComboView combo;
    tree.SetFileView(&v);
    combo.SetFolderView(&tree);
    int dbl = 0;
    v.OnDblClick = [&](QObject* s) {
        QCOMPARE(s, &v);
        ++dbl;
    };
    tree.SetSelectedPath(S("/work"));
    v.DblClick();  // nothing selected: only the event
    QCOMPARE(dbl, 1);
    QCOMPARE(tree.GetSelectedPath(), S("/work"));
    Pick(v, Row(v, "x"));
    v.DblClick();
    QCOMPARE(dbl, 2);
    QCOMPARE(tree.GetSelectedPath(), S("/work/x"));
    QCOMPARE(Names(v), (QStringList{"y", "inside.txt"}));
    QCOMPARE(ShellText(combo.EntryName(combo.currentIndex())), QStringLiteral("x"));
    // Through the mouse as well.
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    QTreeWidgetItem* y = Row(v, "y");
    QPoint at(20, v.visualItemRect(y).center().y());
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(v.viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(tree.GetSelectedPath(), S("/work/x/y"));
    QCOMPARE(Names(v), QStringList{"z"});
}

void FileViewTest::doubleClickOnDocumentOpensIt() {
    TOpened opened;
    QDesktopServices::setUrlHandler("file", &opened, "open");
    TFolderView tree;
    TFileView v;
    tree.SetFileView(&v);
    tree.SetSelectedPath(S("/work"));
    Pick(v, Row(v, "k1024.qzb"));
    v.DblClick();
    QCOMPARE(opened.urls.size(), 1);
    QCOMPARE(opened.urls[0], QUrl::fromLocalFile(QString::fromStdString(D("/work/k1024.qzb"))));
    QCOMPARE(tree.GetSelectedPath(), S("/work"));
    v.SetFileExecute(false);
    v.DblClick();
    QCOMPARE(opened.urls.size(), 1);
    // Without a tree a folder is opened as a document too.
    TFileView alone;
    List(alone, "/work");
    Pick(alone, Row(alone, "sub"));
    alone.DblClick();
    QCOMPARE(opened.urls.size(), 2);
    QCOMPARE(opened.urls[1], QUrl::fromLocalFile(QString::fromStdString(D("/work/sub"))));
    // The computer is no document.
    TPidl desktop(AllocPidl(2));
    alone.SetFolder(desktop.get());
    Pick(alone, alone.topLevelItem(0));
    alone.DblClick();
    QCOMPARE(opened.urls.size(), 2);
    QDesktopServices::unsetUrlHandler("file");
}

void FileViewTest::folderThatCannotBeListedSendsTheTreeBack() {
    TFolderView tree;
    TFileView v;
    tree.SetFileView(&v);
    tree.SetSelectedPath(S("/work/x"));
    tree.SetSelectedPath(S("/other"));
    tree.currentItem()->setExpanded(true);  // reads deep
    tree.SetSelectedPath(S("/work"));
    QCOMPARE(Names(v).first(), QStringLiteral("sub"));
    fs::remove_all(D("/other/deep"));
    tree.SetSelectedPath(S("/other"));
    QTreeWidgetItem* other = tree.currentItem();
    QTreeWidgetItem* deep = other->child(0);
    QCOMPARE(deep->text(0), QStringLiteral("deep"));
    tree.setCurrentItem(deep);  // gone from disk since the tree read it
    QCOMPARE(v.topLevelItemCount(), 0);
    QTRY_COMPARE(tree.currentItem(), other);
    QCOMPARE(tree.GetSelectedPath(), S("/other"));
    QCOMPARE(v.topLevelItemCount(), 0);  // /other is empty now
    QVERIFY(SameItemID(SHGetDesktopFolder(), v.FolderPidl(), TPidl(PathToPidl(S("/other"))).get()));
    // A way back that cannot be listed either ends there.
    fs::remove_all(D("/other"));
    tree.setCurrentItem(deep);
    QTest::qWait(50);
    QVERIFY(tree.currentItem() == deep || tree.currentItem() == other);
    QCOMPARE(v.topLevelItemCount(), 0);
}

void FileViewTest::linksAreShown() {
    fs::create_symlink(D("/work/k1024.qzb"), D("/work/link.qzb"));
    fs::create_symlink(D("/work/x"), D("/work/xlink"));
    TFileView v;
    List(v, "/work");
    QCOMPARE(Row(v, "link.qzb")->data(0, TFileView::OverlayRole).toInt(), 1);
    QCOMPARE(Row(v, "link.qzb")->text(1), QStringLiteral("       2KB"));  // what it leads to
    QCOMPARE(Row(v, "xlink")->data(0, TFileView::OverlayRole).toInt(), 1);
    QCOMPARE(Row(v, "k1024.qzb")->data(0, TFileView::OverlayRole).toInt(), 0);
    QVERIFY(!Row(v, "k1024.qzb")->icon(0).isNull());
    // A link whose target is gone is still listed, with its own date.
    fs::create_symlink(D("/work/gone"), D("/work/dangling"));
    List(v, "/work");
    QVERIFY(Row(v, "dangling"));
    QVERIFY(!Row(v, "dangling")->text(3).isEmpty());
}

void FileViewTest::linksClearWhenAViewGoes() {
    TFolderView tree;
    auto* v = new TFileView;
    auto* combo = new TComboView;
    tree.SetFileView(v);
    combo->SetFolderView(&tree);
    QCOMPARE(tree.ComboView(), combo);
    delete v;
    delete combo;
    QVERIFY(!tree.FileView());
    QVERIFY(!tree.ComboView());
    tree.SetSelectedPath(S("/work/x"));  // nothing left to tell
    QCOMPARE(tree.GetSelectedPath(), S("/work/x"));
    TFileView list;
    TComboView box;
    {
        TFolderView gone;
        gone.SetFileView(&list);
        box.SetFolderView(&gone);
    }
    QVERIFY(!list.FolderView());
    QVERIFY(!box.FolderView());
    // Linking one list to another tree moves it.
    TFolderView second;
    tree.SetFileView(&list);
    second.SetFileView(&list);
    QVERIFY(!tree.FileView());
    QCOMPARE(list.FolderView(), &second);
}

void FileViewTest::comboHoldsDesktopFoldersAndVolumes() {
    TComboView c;
    QCOMPARE(c.maxVisibleItems(), 8);
    QCOMPARE(c.PathCount(), 0);
    QCOMPARE(Entries(c), (QStringList{"0:" + QString::fromUtf8("デスクトップ"),
                                      "10:" + QString::fromUtf8("コンピューター"), "20:/",
                                      "20:" + QString::fromStdString(root_),
                                      "10:" + QString::fromUtf8("ホーム"), "10:.hidDesk", "10:onDesk"}));
    QCOMPARE(c.FixedCount(), 7);
    QCOMPARE(c.currentIndex(), 0);
    for (int i = 0; i < c.count(); ++i) QVERIFY(c.itemText(i).isEmpty());
    QCOMPARE(c.Entry(0)->Level, 0);
    QVERIFY(PidlIsEmpty(c.Entry(0)->Pidl.get()));
    QCOMPARE(PidlItemCount(c.Entry(3)->Pidl.get()), 2u);
    QVERIFY(!c.Entry(7));
    QVERIFY(!c.Entry(-1));
    // Building again gives the same entries, none twice.
    c.BuildList();
    QCOMPARE(c.count(), 7);
}

void FileViewTest::comboShowsThePathLevels() {
    TFolderView tree;
    TComboView c;
    c.SetFolderView(&tree);
    QCOMPARE(tree.ComboView(), &c);
    QCOMPARE(c.currentIndex(), 0);
    tree.SetSelectedPath(S("/work/x/y/z"));
    QString rootName = QString::fromStdString(root_);
    QStringList expected{"0:" + QString::fromUtf8("デスクトップ"), "10:" + QString::fromUtf8("コンピューター"),
                         "20:/", "20:" + rootName, "30:work", "40:x", "50:y", "60:z",
                         "10:" + QString::fromUtf8("ホーム"), "10:.hidDesk", "10:onDesk"};
    QCOMPARE(Entries(c), expected);
    QCOMPARE(c.PathCount(), 4);
    QCOMPARE(c.currentIndex(), 7);
    // Another folder: the old levels go, the new path's missing ones come.
    tree.SetSelectedPath(S("/other/deep"));
    QCOMPARE(Entries(c), (QStringList{expected.mid(0, 4)} << "30:other" << "40:deep" << expected.mid(8)));
    QCOMPARE(c.currentIndex(), 5);
    // A fixed entry adds no level.
    tree.SetSelectedPath(S("/home/Desktop/onDesk"));
    QCOMPARE(c.PathCount(), 3);  // through the computer: home, Desktop, onDesk below the volume
    tree.SelectPidl(TPidl(PathToPidl(S("/work"))).get());
    QCOMPARE(c.PathCount(), 1);
    QCOMPARE(c.currentIndex(), 4);
    tree.setCurrentItem(tree.topLevelItem(0));
    QCOMPARE(c.PathCount(), 0);
    QCOMPARE(c.currentIndex(), 0);
    QCOMPARE(c.count(), 7);
    // A folder directly on the desktop is a fixed entry.
    QTreeWidgetItem* onDesk = nullptr;
    for (int i = 0; i < tree.topLevelItem(0)->childCount(); ++i)
        if (tree.topLevelItem(0)->child(i)->text(0) == "onDesk") onDesk = tree.topLevelItem(0)->child(i);
    QVERIFY(onDesk);
    tree.setCurrentItem(onDesk);
    QCOMPARE(c.PathCount(), 0);
    QCOMPARE(c.currentIndex(), 6);
    c.SyncToPidl(nullptr);  // ignored
    QCOMPARE(c.currentIndex(), 6);
}

void FileViewTest::comboChoiceMovesTheTree() {
    TFolderView tree;
    TFileView v;
    TComboView c;
    tree.SetFileView(&v);
    c.SetFolderView(&tree);
    int changes = 0;
    c.OnChange = [&](QObject* s) {
        QCOMPARE(s, &c);
        ++changes;
    };
    tree.SetSelectedPath(S("/work/x/y"));
    QCOMPARE(changes, 0);  // following the tree is no change
    c.Change(5);           // "x", a level of the path
    QCOMPARE(changes, 1);
    QCOMPARE(tree.GetSelectedPath(), S("/work/x"));
    QCOMPARE(Names(v), (QStringList{"y", "inside.txt"}));
    QCOMPARE(ShellText(c.EntryName(c.currentIndex())), QStringLiteral("x"));
    QCOMPARE(c.PathCount(), 2);
    c.Change(3);  // the volume of the temporary root
    QCOMPARE(tree.GetSelectedPath(), S(""));
    QCOMPARE(c.PathCount(), 0);
    QVERIFY(Row(v, "work"));
    c.Change(0);
    QCOMPARE(tree.currentItem(), tree.topLevelItem(0));
    QVERIFY(Row(v, "onDesk"));
    c.Change(99);  // no entry: only the event
    QCOMPARE(changes, 4);
    QCOMPARE(tree.currentItem(), tree.topLevelItem(0));
    // Without a tree a choice is only the event.
    c.SetFolderView(nullptr);
    QVERIFY(!tree.ComboView());
    c.Change(1);
    QCOMPARE(changes, 5);
    QCOMPARE(tree.currentItem(), tree.topLevelItem(0));
}

void FileViewTest::rightReleaseShowsTheMenuOfTheSelectedRows() {
    TFileView v;
    TContextMenuEx menu;
    QList<QWidget*> shownFor;
    menu.TrackMenu = [&](QWidget* w, const TMenu&, const QPoint&) -> unsigned {
        shownFor << w;
        return 0;  // dismissed
    };
    List(v, "/work");
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    QPoint on(20, v.visualItemRect(Row(v, "k1023.dat")).center().y());
    QTest::mouseClick(v.viewport(), Qt::RightButton, {}, on);
    QCOMPARE(shownFor.size(), 0);  // no menu linked yet
    v.SetContextMenu(&menu);
    QCOMPARE(v.ContextMenu(), &menu);
    QTest::mouseClick(v.viewport(), Qt::RightButton, {}, on);
    QCOMPARE(shownFor.size(), 1);
    QCOMPARE(shownFor[0], static_cast<QWidget*>(&v));
    QVERIFY(fs::exists(D("/work/k1023.dat")));
    // The left button, or nothing selected, shows nothing.
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, on);
    QCOMPARE(shownFor.size(), 1);
    v.clearSelection();
    QTest::mouseClick(v.viewport(), Qt::RightButton, {}, QPoint(20, v.viewport()->height() - 3));
    QCOMPARE(shownFor.size(), 1);
    {
        TContextMenuEx gone;
        v.SetContextMenu(&gone);
    }
    QVERIFY(!v.ContextMenu());
    QTest::mouseClick(v.viewport(), Qt::RightButton, {}, on);
    QCOMPARE(shownFor.size(), 1);
}

void FileViewTest::pressAndMoveDragsTheSelectedRows() {
    TFileView v;
    TDropSourceEx source;
    QList<QList<QUrl>> dragged;
    source.ExecDrag = [&](QDrag& drag, Qt::DropActions) {
        dragged << drag.mimeData()->urls();
        return Qt::IgnoreAction;
    };
    List(v, "/work");
    v.SetDropSource(&source);
    QVERIFY(!v.dragEnabled());
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    Row(v, "k1023.dat")->setSelected(true);
    Row(v, "sub")->setSelected(true);
    QPoint on(20, v.visualItemRect(Row(v, "k1023.dat")).center().y());
    // A click is no drag.
    QTest::mouseClick(v.viewport(), Qt::LeftButton, Qt::ControlModifier, on);
    QCOMPARE(dragged.size(), 0);
    Row(v, "k1023.dat")->setSelected(true);
    QTest::mousePress(v.viewport(), Qt::LeftButton, Qt::ControlModifier, on);
    Row(v, "k1023.dat")->setSelected(true);  // the press toggled it
    QTest::mouseMove(v.viewport(), on + QPoint(QApplication::startDragDistance() + 5, 0));
    QTest::mouseRelease(v.viewport(), Qt::LeftButton, Qt::ControlModifier, on);
    QCOMPARE(dragged.size(), 1);
    QList<QUrl> urls = dragged[0];
    std::sort(urls.begin(), urls.end());
    QList<QUrl> expected{QUrl::fromLocalFile(QString::fromStdString(D("/work/k1023.dat"))),
                         QUrl::fromLocalFile(QString::fromStdString(D("/work/sub")))};
    std::sort(expected.begin(), expected.end());
    QCOMPARE(urls, expected);
}

void FileViewTest::treeMenuAndDragTakeTheSelectedFolder() {
    TFolderView tree;
    TContextMenuEx menu;
    TDropSourceEx source;
    int menus = 0;
    QWidget* shownFor = nullptr;
    QList<QUrl> dragged;
    menu.TrackMenu = [&](QWidget* w, const TMenu&, const QPoint&) -> unsigned {
        shownFor = w;
        ++menus;
        return 0;
    };
    source.ExecDrag = [&](QDrag& drag, Qt::DropActions) {
        dragged << drag.mimeData()->urls();
        return Qt::IgnoreAction;
    };
    tree.SetContextMenu(&menu);
    tree.SetDropSource(&source);
    QVERIFY(!tree.dragEnabled());
    tree.resize(300, 400);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    tree.SetSelectedPath(S("/work/x"));
    QTreeWidgetItem* x = tree.currentItem();
    tree.scrollToItem(x);
    QPoint onX = tree.visualItemRect(x).center();
    QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, onX);
    QCOMPARE(menus, 1);
    QCOMPARE(shownFor, static_cast<QWidget*>(&tree));
    QCOMPARE(tree.currentItem(), x);
    QTest::mousePress(tree.viewport(), Qt::LeftButton, {}, onX);
    QTest::mouseMove(tree.viewport(), onX + QPoint(0, QApplication::startDragDistance() + 5));
    QTest::mouseRelease(tree.viewport(), Qt::LeftButton, {}, onX);
    QCOMPARE(dragged, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(D("/work/x")))});
    // The desktop has no menu and is not dragged.
    tree.scrollToItem(tree.topLevelItem(0));
    QPoint onDesktop = tree.visualItemRect(tree.topLevelItem(0)).center();
    QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, onDesktop);
    QCOMPARE(tree.currentItem(), tree.topLevelItem(0));
    QCOMPARE(menus, 1);
    QTest::mousePress(tree.viewport(), Qt::LeftButton, {}, onDesktop);
    QTest::mouseMove(tree.viewport(), onDesktop + QPoint(0, QApplication::startDragDistance() + 5));
    QTest::mouseRelease(tree.viewport(), Qt::LeftButton, {}, onDesktop);
    QCOMPARE(dragged.size(), 1);
}

void FileViewTest::noListIsLeaked() {
    size_t before = SHGetMalloc()->LiveBlocks();
    {
        TFolderView tree;
        TFileView v;
        TComboView c;
        tree.SetFileView(&v);
        c.SetFolderView(&tree);
        tree.SetSelectedPath(S("/work/x/y"));
        Pick(v, Row(v, "z"));
        v.DblClick();
        c.Change(4);
        TypeName(Row(v, "sub"), "sub2");
        v.ColClick(0);
        v.ColClick(2);
    }
    QCOMPARE(SHGetMalloc()->LiveBlocks(), before);
}

QTEST_MAIN(FileViewTest)
#include "fileview_test.moc"
