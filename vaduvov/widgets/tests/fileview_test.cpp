// The controller's file list and location box over temporary folder trees,
// alone and linked to the folder tree, under Qt's offscreen platform.
#include "ShView.h"

#include "shellicons.h"
#include "shown_texts.h"
#include "sjis.h"
#include "tempdir.h"

#include <QDesktopServices>
#include <QDrag>
#include <QMimeData>
#include <QHeaderView>
#include <QMessageBox>
#include <QRegularExpression>
#include <QMimeDatabase>
#include <QtTest>

#include <cstring>

#include <sys/stat.h>
#include <utime.h>

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
    void listsEveryItemOnce();
    void sizeTextsCountBegunKilobytes();
    void dateAndTypeTexts();
    void kindsGoByTheExtensionAlone();
    void maskListsFoldersAndMatchingExtensions();
    void columnClicksSortBothWays();
    void listingAgainKeepsUnchangedRows_data();
    void listingAgainKeepsUnchangedRows();
    void anotherFolderReplacesEveryRow();
    void renameInTheList();
    void renameNeverReplaces();
    void renameFolderRenamesTreeNode();
    void listFollowsTheTreeAndMovesIt();
    void doubleClickOnDocumentOpensIt();
    void folderThatCannotBeListedSendsTheTreeBack();
    void linksAreShown();
    void linksClearWhenAViewGoes();
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
    static QStringList Column(TFileView& v, int column) {
        QStringList out;
        for (int i = 0; i < v.topLevelItemCount(); ++i) out << v.topLevelItem(i)->text(column);
        return out;
    }
    static QStringList Names(TFileView& v) { return Column(v, 0); }
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

// Records the menus and drags of a view instead of showing them.
struct THooks {
    TContextMenuEx menu;
    TDropSourceEx source;
    QList<QWidget*> menusFor;
    QList<QList<QUrl>> drags;
    THooks() {
        menu.TrackMenu = [this](QWidget* w, const TMenu&, const QPoint&) -> unsigned {
            menusFor << w;
            return 0;  // dismissed
        };
        source.ExecDrag = [this](QDrag& drag, Qt::DropActions) {
            drags << drag.mimeData()->urls();
            return Qt::IgnoreAction;
        };
    }
};

// Presses at a point and moves far enough to start a drag; a press with a
// modifier toggles the row, which is then selected again.
void DragFrom(QWidget* viewport, QPoint at, Qt::KeyboardModifiers mods = {}, QTreeWidgetItem* keep = nullptr) {
    QTest::mousePress(viewport, Qt::LeftButton, mods, at);
    if (keep) keep->setSelected(true);
    QTest::mouseMove(viewport, at + QPoint(QApplication::startDragDistance() + 5, 0));
    QTest::mouseRelease(viewport, Qt::LeftButton, mods, at);
}

// A folder tree with its file list and location box linked.
struct TLinked {
    TFolderView tree;
    TFileView v;
    TComboView combo;
    TLinked() {
        tree.SetFileView(&v);
        combo.SetFolderView(&tree);
    }
    QString Shown() const { return ShellText(combo.EntryName(combo.currentIndex())); }
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
    SetNamespaceConfig({root_ + "/home", root_ + "/home/Desktop", {"/", root_}});
}

void FileViewTest::cleanup() {
    SetNamespaceConfig(DefaultNamespaceConfig());
    tmp_.reset();
}

void FileViewTest::listsEveryItemOnce() {
    TFileView v;
    v.SetFolder(nullptr);  // ignored
    QVERIFY(!v.Folder());
    List(v, "/work");
    // Folders first, then files, each in name order; hidden items too.
    QCOMPARE(Names(v), (QStringList{"sub", "x", ".hidden", "big.QZB", "empty.txt", "k1023.dat", "k1024.qzb"}));
    for (int i = 0; i < v.topLevelItemCount(); ++i)
        QCOMPARE(PidlItemCount(TFileView::ItemID(v.topLevelItem(i))), 1u);
    // The desktop lists the computer, the home folder and its own items.
    TPidl desktop(AllocPidl(2));
    v.SetFolder(desktop.get());
    QCOMPARE(Names(v), (QStringList{QString::fromUtf8("コンピューター"), QString::fromUtf8("ホーム"), ".hidDesk", "onDesk"}));
    // The computer has no size or date; the home folder has.
    QCOMPARE(v.topLevelItem(0)->text(1) + v.topLevelItem(0)->text(3), QString());
    QCOMPARE(v.topLevelItem(1)->text(1), QStringLiteral("       1KB"));
}

void FileViewTest::sizeTextsCountBegunKilobytes() {
    TFileView v;
    List(v, "/work");
    const std::pair<const char*, const char*> sizes[] = {
        {"empty.txt", "       1KB"}, {"k1023.dat", "       1KB"}, {"k1024.qzb", "       2KB"},
        {"big.QZB", "    5121KB"}, {"sub", "       1KB"}};  // a folder has no size of its own
    for (const auto& [name, text] : sizes) QCOMPARE(Row(v, name)->text(1), QString(text));
}

void FileViewTest::dateAndTypeTexts() {
    const time_t t = QDateTime(QDate(2021, 3, 4), QTime(17, 6, 59)).toSecsSinceEpoch();
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
    QVERIFY(Row(v, "empty.txt")->text(2) != Row(v, "k1024.qzb")->text(2));
    std::string sjisType;
    QVERIFY(ShellTextToSjis(Row(v, "empty.txt")->text(2), sjisType));
    QVERIFY(sjisType.size() <= 80);
    // The kinds read Japanese whatever the system's language is.
    QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    fs::create_directories(D("/work/another"));
    Write(D("/work/notes.txt"), 1);
    List(v, "/work");  // kinds not seen before are made now
    QLocale::setDefault(before);
    for (const char* name : {"another", "notes.txt", "sub", "empty.txt"}) {
        QString type = Row(v, name)->text(2);
        QVERIFY2(!type.isEmpty(), name);
        QVERIFY2(!type.contains(QRegularExpression("[A-Za-z]{2,}")), qPrintable(type));
    }
    QCOMPARE(Row(v, "another")->text(2), QString::fromUtf8("フォルダー"));
}

void FileViewTest::kindsGoByTheExtensionAlone() {
    // Names without a usable extension, dated names with dots, numbered
    // extensions: one kind per extension, not one per name.
    fs::create_directories(D("/kinds"));
    for (int i = 0; i < 300; ++i) {
        const std::string n = std::to_string(1000 + i);
        Write(D("/kinds/r" + n), 1);
        Write(D("/kinds/2024.04." + n + " 授業.docx"), 1);
        Write(D("/kinds/2024.04." + n + " 授業.DOCX"), 1);
    }
    Write(D("/kinds/r.000123"), 1);
    Write(D("/kinds/r.000124"), 1);
    Write(D("/kinds/k." + std::string(40, 'x')), 1);  // too long to be an extension
    Write(D("/kinds/w.docx"), 1);
    auto v = std::make_unique<TFileView>();
    QCOMPARE(v->KindCount(), size_t(0));
    List(*v, "/kinds");
    QCOMPARE(v->topLevelItemCount(), 904);
    // "", ".docx", ".DOCX", ".000123", ".000124"; the long one is no
    // extension.
    QCOMPARE(v->KindCount(), size_t(5));
    const QString docx = Row(*v, "w.docx")->text(2);
    QVERIFY(!docx.isEmpty());
    QCOMPARE(Row(*v, QString::fromUtf8("2024.04.1000 授業.docx"))->text(2), docx);
    QCOMPARE(Row(*v, QString::fromUtf8("2024.04.1299 授業.docx"))->text(2), docx);
    QVERIFY(!docx.contains(QStringLiteral("1299")));
    QCOMPARE(Row(*v, "r1000")->text(2), QString::fromUtf8("ファイル"));
    QCOMPARE(Row(*v, QString::fromStdString("k." + std::string(40, 'x')))->text(2), QString::fromUtf8("ファイル"));
    QCOMPARE(Row(*v, "r.000123")->text(2), QString::fromUtf8("000123 ファイル"));
    // The types are the database's own for those extensions, also where
    // only a wildcard pattern names one ("*.[1-9]": a manual page).
    for (const char* name : {"m.3", "w.docx", "t.TXT", "r.000123"}) {
        QMimeDatabase db;
        const QMimeType type = db.mimeTypeForFile(QString::fromLatin1(name), QMimeDatabase::MatchExtension);
        const QString ext = QString::fromLatin1(std::strchr(name, '.') + 1).toUpper();
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
        const QString comment = type.comment();
        QLocale::setDefault(before);
        const QString expected = type.isDefault() || comment.isEmpty() ? ext + QString::fromUtf8(" ファイル") : comment;
        if (!Row(*v, name)) Write(D("/kinds/") + name, 1);
        List(*v, "/kinds");
        QCOMPARE(Row(*v, name)->text(2), expected);
    }
    QVERIFY(Row(*v, "m.3")->text(2) != QString::fromUtf8("3 ファイル"));
    // Kinds of one type share their pictures.
    QCOMPARE(Row(*v, "r.000123")->icon(0).cacheKey(), Row(*v, "r.000124")->icon(0).cacheKey());
    QCOMPARE(Row(*v, "r.000123")->icon(0).cacheKey(), Row(*v, "r1000")->icon(0).cacheKey());
    // The kinds belong to their view: another starts without any.
    const size_t kinds = v->KindCount();
    v.reset();
    TFileView other;
    QCOMPARE(other.KindCount(), size_t(0));
    List(other, "/kinds");
    QCOMPARE(other.KindCount(), kinds);
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
}

void FileViewTest::columnClicksSortBothWays() {
    TFileView v;
    List(v, "/work");
    v.ColClick(1);
    QCOMPARE(Names(v).mid(0, 2), (QStringList{"big.QZB", "k1024.qzb"}));
    QCOMPARE(v.header()->sortIndicatorOrder(), Qt::DescendingOrder);
    v.ColClick(1);
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
    // The directions are shared by every list, and every fill resets them.
    TFileView other;
    List(other, "/work/x");
    QCOMPARE(TFileView::SortDirection(0), 1);
    List(v, "/work");
    QCOMPARE(Names(v).first(), QStringLiteral("sub"));
    // Clicking a column through the header sorts as well.
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    QTest::mouseClick(v.header()->viewport(), Qt::LeftButton, {},
                      QPoint(v.header()->sectionViewportPosition(1) + 5, 5));
    QCOMPARE(TFileView::SortDirection(1), -1);
}

void FileViewTest::listingAgainKeepsUnchangedRows_data() {
    QTest::addColumn<bool>("bySize");
    QTest::addColumn<int>("added");
    QTest::newRow("in name order, few changes") << false << 0;
    QTest::newRow("sorted by size before") << true << 0;
    QTest::newRow("many new files") << false << 150;
}

// The rows of items that did not change stay, with their selection; rows
// of changed items are made anew and keep the selection; rows of gone
// items are freed and told; new items get rows; the order is by name.
void FileViewTest::listingAgainKeepsUnchangedRows() {
    QFETCH(bool, bySize);
    QFETCH(int, added);
    size_t blocks = SHGetMalloc()->LiveBlocks();
    {
        QStringList deleted;  // told by the list as long as it lives
        TFileView v;
        v.resize(400, 300);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        v.OnDeletion = [&](QObject* sender, QTreeWidgetItem* row) {
            QCOMPARE(sender, &v);
            deleted << row->text(0);
        };
        List(v, "/work");
        if (bySize) v.ColClick(1);
        QTreeWidgetItem* x = Row(v, "x");
        QTreeWidgetItem* big = Row(v, "big.QZB");
        QTreeWidgetItem* hidden = Row(v, ".hidden");
        Pick(v, Row(v, "k1023.dat"));
        x->setSelected(true);
        Row(v, "k1024.qzb")->setSelected(true);
        Row(v, "empty.txt")->setSelected(true);
        // One file goes, one is new, one grows, one only gets another time.
        QVERIFY(fs::remove(D("/work/empty.txt")));
        Write(D("/work/new.txt"), 1);
        Write(D("/work/k1024.qzb"), 3000);
        struct utimbuf times = {1000000000, 1000000000};
        QCOMPARE(::utime(D("/work/k1023.dat").c_str(), &times), 0);
        QStringList expected{"sub", "x", ".hidden", "big.QZB", "k1023.dat", "k1024.qzb", "new.txt"};
        for (int i = 0; i < added; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "new%03d.txt", i);
            Write(D("/work/") + name, 1);
            expected << name;
        }
        v.FillList();

        QCOMPARE(Names(v), expected);
        QCOMPARE(Row(v, "x"), x);
        QCOMPARE(Row(v, "big.QZB"), big);
        QCOMPARE(Row(v, ".hidden"), hidden);
        deleted.sort();
        QCOMPARE(deleted, (QStringList{"empty.txt", "k1023.dat", "k1024.qzb"}));
        QCOMPARE(Row(v, "k1024.qzb")->text(1), QStringLiteral("       3KB"));
        QVERIFY(Row(v, "k1023.dat")->text(3).startsWith(QDateTime::fromSecsSinceEpoch(1000000000).toString("yy/MM/dd")));
        QStringList selected;
        for (QTreeWidgetItem* row : v.selectedItems()) selected << row->text(0);
        selected.sort();
        QCOMPARE(selected, (QStringList{"k1023.dat", "k1024.qzb", "x"}));
        QCOMPARE(v.currentItem(), Row(v, "k1023.dat"));
        QCOMPARE(TFileView::SortDirection(1), 1);
        QCOMPARE(v.header()->sortIndicatorSection(), 0);
        for (int i = 0; i < v.topLevelItemCount(); ++i)
            QCOMPARE(PidlItemCount(TFileView::ItemID(v.topLevelItem(i))), 1u);
        // Nothing changed: every row stays, none is told to go.
        QList<QTreeWidgetItem*> rows;
        for (int i = 0; i < v.topLevelItemCount(); ++i) rows << v.topLevelItem(i);
        deleted.clear();
        v.FillList();
        QCOMPARE(deleted, QStringList());
        for (int i = 0; i < v.topLevelItemCount(); ++i) QCOMPARE(v.topLevelItem(i), rows[i]);
        QCOMPARE(v.selectedItems().size(), 3);
        // A narrower mask takes rows out, a wider one brings them back.
        v.SetMask({".qzb"});
        v.FillList();
        QCOMPARE(Names(v), (QStringList{"sub", "x", "big.QZB", "k1024.qzb"}));
        QCOMPARE(Row(v, "x"), x);
        v.SetMask({});
        v.FillList();
        QCOMPARE(Names(v), expected);
        // The list as it shows now is the one painted.
        QCOMPARE(v.visualItemRect(Row(v, "x")).top() < v.visualItemRect(Row(v, "big.QZB")).top(), true);
    }
    QCOMPARE(SHGetMalloc()->LiveBlocks(), blocks);
}

// Listing another folder, even one with items of the same names, makes
// every row anew.
void FileViewTest::anotherFolderReplacesEveryRow() {
    fs::create_directories(D("/other/sub"));
    fs::create_directories(D("/other/x"));
    int deleted = 0;
    TFileView v;
    v.OnDeletion = [&](QObject*, QTreeWidgetItem*) { ++deleted; };
    List(v, "/work");
    const int before = v.topLevelItemCount();
    Pick(v, Row(v, "x"));
    List(v, "/other");
    QCOMPARE(deleted, before);
    QCOMPARE(Names(v), (QStringList{"deep", "sub", "x"}));
    QCOMPARE(v.selectedItems().size(), 0);
    // The same folder given again keeps its rows.
    QTreeWidgetItem* x = Row(v, "x");
    List(v, "/other");
    QCOMPARE(Row(v, "x"), x);
    QCOMPARE(deleted, before);
}

void FileViewTest::renameInTheList() {
    TFileView v;
    List(v, "/work");
    QTreeWidgetItem* row = Row(v, "empty.txt");
    TypeName(row, QString::fromUtf8("名前.qzb"));
    QVERIFY(!fs::exists(D("/work/empty.txt")));
    QCOMPARE(row->text(2), QString::fromUtf8("QZB ファイル"));  // the kind follows the extension
    // The row carries the new item: renaming again works from it.
    TypeName(row, "again.txt");
    QVERIFY(fs::exists(D("/work/again.txt")));
    QVERIFY(!fs::exists(D("/work/名前.qzb")));
}

void FileViewTest::renameNeverReplaces() {
    TFileView v;
    v.setWindowTitle(QString::fromUtf8("ファイル"));
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    List(v, "/work");
    QTreeWidgetItem* row = Row(v, "k1023.dat");
    // Each refusal is told in the real box once the edit has ended.
    QStringList told;
    ModalCatcher boxes([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        told << (box ? box->text() : QString("?")) + "|" + w->windowTitle();
    });
    // Taken names, bad names, and one without a Shift-JIS form.
    const std::pair<const char*, const char*> refused[] = {
        {"k1024.qzb", "同じ名前のフォルダーかファイルがすでにあります。"},
        {"sub", "同じ名前のフォルダーかファイルがすでにあります。"},
        {"", "名前が入力されていません。"},
        {"..", "「.」「..」や「/」を含む名前は付けられません。"},
        {"a/b", "「.」「..」や「/」を含む名前は付けられません。"},
        {"\xF0\x9F\x98\x80", "この名前には使えない文字が含まれています。"},
    };
    for (const auto& [bad, why] : refused) {
        told.clear();
        TypeName(row, QString::fromUtf8(bad));
        QCOMPARE(row->text(0), QStringLiteral("k1023.dat"));
        QTRY_COMPARE_WITH_TIMEOUT(told.size(), 1, 10000);
        QCOMPARE(told.first(), QString::fromUtf8(why) + QString::fromUtf8("|ファイル"));
        QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 10000);
    }
    QCOMPARE(boxes.Count, int(std::size(refused)));
    QCOMPARE(fs::file_size(D("/work/k1024.qzb")), std::uintmax_t(1024));
    QCOMPARE(v.topLevelItemCount(), 7);
    // The computer keeps its name.
    TPidl desktop(AllocPidl(2));
    v.SetFolder(desktop.get());
    QTreeWidgetItem* computer = v.topLevelItem(0);
    TypeName(computer, "pc");
    QCOMPARE(computer->text(0), QString::fromUtf8("コンピューター"));
}

void FileViewTest::renameFolderRenamesTreeNode() {
    TLinked l;
    TFolderView& tree = l.tree;
    TFileView& v = l.v;
    tree.SetSelectedPath(S("/work"));
    QTreeWidgetItem* work = tree.currentItem();
    work->setExpanded(true);
    QTreeWidgetItem* row = Row(v, "sub");
    QVERIFY(row);
    TypeName(row, "renamed");
    QVERIFY(fs::is_directory(D("/work/renamed")));
    QStringList children;
    for (int i = 0; i < work->childCount(); ++i) children << work->child(i)->text(0);
    QCOMPARE(children, (QStringList{"renamed", "x"}));
    // The tree's node carries the new item: selecting it lists the folder.
    Pick(v, Row(v, "renamed"));
    v.DblClick();
    QCOMPARE(tree.GetSelectedPath(), S("/work/renamed"));
    // Renaming the listed folder in the tree: the list and the box follow.
    Write(D("/work/renamed/f.txt"), 1);
    tree.currentItem()->setText(0, "again");
    QVERIFY(fs::is_directory(D("/work/again")));
    QVERIFY(SameItemID(SHGetDesktopFolder(), v.FolderPidl(), TPidl(PathToPidl(S("/work/again"))).get()));
    QCOMPARE(Names(v), QStringList{"f.txt"});
    QCOMPARE(l.Shown(), QStringLiteral("again"));
}

void FileViewTest::listFollowsTheTreeAndMovesIt() {
    TLinked l;
    TFolderView& tree = l.tree;
    TFileView& v = l.v;
    QVERIFY(Row(v, "onDesk"));  // linking lists the selected folder (the desktop) at once
    // A path that is no folder of the tree leaves the list as it was.
    tree.SetSelectedPath(S("/work/x/inside.txt"));
    QVERIFY(Row(v, "onDesk"));
    tree.SetSelectedPath(S("/work"));
    int dbl = 0;
    v.OnDblClick = [&](QObject*) { ++dbl; };
    v.DblClick();  // nothing selected: only the event
    QCOMPARE(dbl, 1);
    Pick(v, Row(v, "x"));
    v.DblClick();
    QCOMPARE(tree.GetSelectedPath(), S("/work/x"));
    QCOMPARE(l.Shown(), QStringLiteral("x"));
    // Through the mouse as well.
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    QPoint at(20, v.visualItemRect(Row(v, "y")).center().y());
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(v.viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(tree.GetSelectedPath(), S("/work/x/y"));
    QCOMPARE(Names(v), QStringList{"z"});
    // With no node selected in the tree (a file path was asked for), the
    // list stays, and a folder opened in it still moves the tree.
    tree.SetSelectedPath(S("/work/x/inside.txt"));
    QCOMPARE(tree.GetSelectedPath(), std::string());
    Pick(v, Row(v, "z"));
    v.DblClick();
    QCOMPARE(tree.GetSelectedPath(), S("/work/x/y/z"));
    tree.SetSelectedPath(S("/work/x/y"));
    // Unlinking stops the following.
    tree.SetFileView(nullptr);
    tree.SetSelectedPath(S("/work"));
    QCOMPARE(Names(v), QStringList{"z"});
}

void FileViewTest::doubleClickOnDocumentOpensIt() {
    TOpened opened;
    QDesktopServices::setUrlHandler("file", &opened, "open");
    TLinked l;
    l.tree.SetSelectedPath(S("/work"));
    Pick(l.v, Row(l.v, "k1024.qzb"));
    l.v.DblClick();
    l.v.SetFileExecute(false);
    l.v.DblClick();
    QCOMPARE(l.tree.GetSelectedPath(), S("/work"));
    // Without a tree a folder is opened as a document too; the computer never.
    TFileView alone;
    List(alone, "/work");
    Pick(alone, Row(alone, "sub"));
    alone.DblClick();
    TPidl desktop(AllocPidl(2));
    alone.SetFolder(desktop.get());
    Pick(alone, alone.topLevelItem(0));
    alone.DblClick();
    QCOMPARE(opened.urls, (QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(D("/work/k1024.qzb"))),
                                       QUrl::fromLocalFile(QString::fromStdString(D("/work/sub")))}));
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
    // A way back that cannot be listed either ends there: the tree goes
    // back once, and no further once that going back has been handled.
    fs::remove_all(D("/other"));
    tree.setCurrentItem(deep);
    QTRY_COMPARE_WITH_TIMEOUT(tree.currentItem(), other, 10000);
    bool handled = false;
    QTimer::singleShot(0, [&handled] { handled = true; });  // after any going back queued meanwhile
    QTRY_VERIFY_WITH_TIMEOUT(handled, 10000);
    QCOMPARE(tree.currentItem(), other);
    QCOMPARE(tree.PreviousNode(), deep);
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
    delete v;
    delete combo;
    QVERIFY(!tree.FileView() && !tree.ComboView());
    tree.SetSelectedPath(S("/work/x"));  // nothing left to tell
    QCOMPARE(tree.GetSelectedPath(), S("/work/x"));
    TFileView list;
    TComboView box;
    {
        TFolderView gone;
        gone.SetFileView(&list);
        box.SetFolderView(&gone);
    }
    QVERIFY(!list.FolderView() && !box.FolderView());
    // Linking one list to another tree moves it.
    TFolderView second;
    tree.SetFileView(&list);
    second.SetFileView(&list);
    QVERIFY(!tree.FileView());
    QCOMPARE(list.FolderView(), &second);
}

void FileViewTest::comboShowsThePathLevels() {
    TFolderView tree;
    TComboView c;
    // Alone it holds the desktop, the computer with its volumes and the desktop's folders.
    const QStringList fixed{"0:" + QString::fromUtf8("デスクトップ"), "10:" + QString::fromUtf8("コンピューター"),
                            "20:/", "20:" + QString::fromStdString(root_), "10:" + QString::fromUtf8("ホーム"),
                            "10:.hidDesk", "10:onDesk"};
    QCOMPARE(Entries(c), fixed);
    QVERIFY(PidlIsEmpty(c.Entry(0)->Pidl.get()));
    QCOMPARE(PidlItemCount(c.Entry(3)->Pidl.get()), 2u);
    QVERIFY(!c.Entry(7) && !c.Entry(-1));
    c.BuildList();  // building again gives the same entries, none twice
    QCOMPARE(c.count(), 7);
    c.SetFolderView(&tree);
    tree.SetSelectedPath(S("/work/x/y/z"));
    QCOMPARE(Entries(c), (fixed.mid(0, 4) + QStringList{"30:work", "40:x", "50:y", "60:z"} + fixed.mid(4)));
    QCOMPARE(c.currentIndex(), 7);
    // Another folder: the old levels go, the new path's missing ones come.
    tree.SetSelectedPath(S("/other/deep"));
    QCOMPARE(Entries(c), (fixed.mid(0, 4) + QStringList{"30:other", "40:deep"} + fixed.mid(4)));
    QCOMPARE(c.currentIndex(), 5);
    tree.SetSelectedPath(S("/home/Desktop/onDesk"));
    QCOMPARE(c.PathCount(), 3);  // through the computer: home, Desktop, onDesk below the volume
    tree.setCurrentItem(tree.topLevelItem(0));
    QCOMPARE(c.PathCount(), 0);
    QCOMPARE(c.currentIndex(), 0);
    // A folder directly on the desktop is a fixed entry and adds no level.
    tree.setCurrentItem(tree.topLevelItem(0)->child(tree.topLevelItem(0)->childCount() - 1));  // onDesk
    QCOMPARE(c.PathCount(), 0);
    c.SyncToPidl(nullptr);  // ignored
    QCOMPARE(c.currentIndex(), 6);
}

void FileViewTest::comboChoiceMovesTheTree() {
    TLinked l;
    TFolderView& tree = l.tree;
    TFileView& v = l.v;
    TComboView& c = l.combo;
    int changes = 0;
    c.OnChange = [&](QObject*) { ++changes; };
    tree.SetSelectedPath(S("/work/x/y"));
    QCOMPARE(changes, 0);  // following the tree is no change
    c.Change(5);           // "x", a level of the path
    QCOMPARE(changes, 1);
    QCOMPARE(tree.GetSelectedPath(), S("/work/x"));
    QCOMPARE(l.Shown(), QStringLiteral("x"));
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
    c.Change(1);
    QCOMPARE(changes, 5);
    QCOMPARE(tree.currentItem(), tree.topLevelItem(0));
}

void FileViewTest::rightReleaseShowsTheMenuOfTheSelectedRows() {
    TFileView v;
    THooks h;
    List(v, "/work");
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    QPoint on(20, v.visualItemRect(Row(v, "k1023.dat")).center().y());
    QTest::mouseClick(v.viewport(), Qt::RightButton, {}, on);
    QVERIFY(h.menusFor.isEmpty());  // no menu linked yet
    v.SetContextMenu(&h.menu);
    QTest::mouseClick(v.viewport(), Qt::RightButton, {}, on);
    QCOMPARE(h.menusFor, QList<QWidget*>{&v});
    // The left button, or nothing selected, shows nothing.
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, on);
    v.clearSelection();
    QTest::mouseClick(v.viewport(), Qt::RightButton, {}, QPoint(20, v.viewport()->height() - 3));
    // A menu that is gone is unlinked.
    {
        TContextMenuEx gone;
        v.SetContextMenu(&gone);
    }
    QTest::mouseClick(v.viewport(), Qt::RightButton, {}, on);
    QCOMPARE(h.menusFor.size(), 1);
}

void FileViewTest::pressAndMoveDragsTheSelectedRows() {
    TFileView v;
    THooks h;
    List(v, "/work");
    v.SetDropSource(&h.source);
    QVERIFY(!v.dragEnabled());
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    QTreeWidgetItem* row = Row(v, "k1023.dat");
    row->setSelected(true);
    Row(v, "sub")->setSelected(true);
    QPoint on(20, v.visualItemRect(row).center().y());
    QTest::mouseClick(v.viewport(), Qt::LeftButton, Qt::ControlModifier, on);  // a click is no drag
    QVERIFY(h.drags.isEmpty());
    row->setSelected(true);
    DragFrom(v.viewport(), on, Qt::ControlModifier, row);
    QCOMPARE(h.drags.size(), 1);
    QList<QUrl> urls = h.drags[0];
    std::sort(urls.begin(), urls.end());
    QCOMPARE(urls, (QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(D("/work/k1023.dat"))),
                                QUrl::fromLocalFile(QString::fromStdString(D("/work/sub")))}));
}

void FileViewTest::treeMenuAndDragTakeTheSelectedFolder() {
    TFolderView tree;
    THooks h;
    tree.SetContextMenu(&h.menu);
    tree.SetDropSource(&h.source);
    QVERIFY(!tree.dragEnabled());
    tree.resize(300, 400);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    tree.SetSelectedPath(S("/work/x"));
    QTreeWidgetItem* x = tree.currentItem();
    tree.scrollToItem(x);
    QPoint onX = tree.visualItemRect(x).center();
    QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, onX);
    QCOMPARE(h.menusFor, QList<QWidget*>{&tree});
    QCOMPARE(tree.currentItem(), x);
    DragFrom(tree.viewport(), onX);
    QCOMPARE(h.drags, QList<QList<QUrl>>{{QUrl::fromLocalFile(QString::fromStdString(D("/work/x")))}});
    // The desktop has no menu and is not dragged.
    tree.scrollToItem(tree.topLevelItem(0));
    QPoint onDesktop = tree.visualItemRect(tree.topLevelItem(0)).center();
    QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, onDesktop);
    QCOMPARE(tree.currentItem(), tree.topLevelItem(0));
    DragFrom(tree.viewport(), onDesktop);
    QCOMPARE(h.menusFor.size(), 1);
    QCOMPARE(h.drags.size(), 1);
}

void FileViewTest::noListIsLeaked() {
    size_t before = SHGetMalloc()->LiveBlocks();
    {
        TLinked l;
        l.tree.SetSelectedPath(S("/work/x/y"));
        Pick(l.v, Row(l.v, "z"));
        l.v.DblClick();
        l.combo.Change(4);
        TypeName(Row(l.v, "sub"), "sub2");
        l.v.ColClick(0);
        l.v.ColClick(2);
    }
    QCOMPARE(SHGetMalloc()->LiveBlocks(), before);
}

QTEST_MAIN(FileViewTest)
#include "fileview_test.moc"
