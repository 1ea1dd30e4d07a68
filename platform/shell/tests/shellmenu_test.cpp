#include "shellmenu.h"

#include "sjis.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

using namespace shell;
namespace fs = std::filesystem;

namespace {

// A temporary volume with a work folder, a Send To folder and a trash of
// its own; no hook is set, so the clipboard lives in this process.
class ShellMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        live_ = SHGetMalloc()->LiveBlocks();
        root_ = tmp_.path().substr(0, tmp_.path().size() - 1);
        fs::create_directories(root_ + "/home");
        fs::create_directories(root_ + "/work/dir/sub");
        fs::create_directories(root_ + "/dest");
        fs::create_directories(root_ + "/sendto");
        Write("/work/a.txt", "alpha");
        Write("/work/dir/sub/deep.txt", "deep");
        SetNamespaceConfig({root_ + "/home", root_ + "/home/Desktop", {"/", root_}});
        SetShellMenuConfig({root_ + "/sendto", root_ + "/trash"});
        SetShellMenuHooks(TShellMenuHooks());
        ClearClipItems();
    }
    void TearDown() override {
        menu_.reset();
        SetShellMenuHooks(TShellMenuHooks());  // before the hooks' captures go
        ClearClipItems();
        SetShellMenuConfig(DefaultShellMenuConfig());
        SetNamespaceConfig(DefaultNamespaceConfig());
        EXPECT_EQ(live_, SHGetMalloc()->LiveBlocks()) << "a list was not freed";
    }
    void Write(const std::string& rel, const std::string& text) { std::ofstream(root_ + rel) << text; }
    std::string P(const std::string& rel) const {
        std::string s;
        EXPECT_TRUE(sjis::FromUtf8(root_ + rel, s));
        return s;
    }
    // The context menu of items (names in folder rel), filled from id 1.
    void MenuOf(const std::string& rel, const std::vector<std::string>& names) {
        TPidl abs(PathToPidl(P(rel)));
        folder_ = BindAbsolute(abs.get());
        ASSERT_TRUE(folder_);
        std::vector<TPidl> items;
        std::vector<LPCITEMIDLIST> raw;
        for (const std::string& n : names) {
            LPITEMIDLIST item = nullptr;
            ASSERT_TRUE(SUCCEEDED(folder_->ParseDisplayName(sjis::L(n.c_str()), item))) << n;
            items.emplace_back(item);
            raw.push_back(item);
        }
        ASSERT_TRUE(SUCCEEDED(GetContextMenuOf(folder_, static_cast<unsigned>(raw.size()), raw.data(), menu_)));
        menu = TMenu();
        ASSERT_TRUE(SUCCEEDED(menu_->QueryContextMenu(menu, 0, 1, 0x7FFF, CMF_EXPLORE)));
    }
    HRESULT Invoke(unsigned verb) {
        TInvokeInfo info;
        info.verb = verb;
        return menu_->InvokeCommand(info);
    }
    // Texts of the top level in UTF-8 ("-" for separators).
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const TMenu::TEntry& e : menu.Entries) out.push_back(e.separator ? "-" : sjis::ToUtf8(e.text));
        return out;
    }

    TempDir tmp_;
    std::string root_;
    size_t live_ = 0;
    ShellFolderPtr folder_;
    std::unique_ptr<IContextMenu> menu_;
    TMenu menu;
};

TEST_F(ShellMenuTest, FreeNameNumbersBeforeTheExtension) {
    std::string w = root_ + "/work";
    EXPECT_EQ("new.txt", FreeName(w, "new.txt"));
    EXPECT_EQ("a (2).txt", FreeName(w, "a.txt"));
    Write("/work/a (2).txt", "");
    EXPECT_EQ("a (3).txt", FreeName(w, "a.txt"));
    // Folders keep their dots; a leading dot is no extension.
    fs::create_directories(w + "/my.dir");
    EXPECT_EQ("my.dir (2)", FreeName(w, "my.dir"));
    Write("/work/.rc", "");
    EXPECT_EQ(".rc (2)", FreeName(w, ".rc"));
}

TEST_F(ShellMenuTest, CopyAndMoveNeverReplace) {
    Write("/dest/a.txt", "old");
    std::string made;
    ASSERT_EQ(S_OK, CopyInto(root_ + "/work/a.txt", root_ + "/dest", false, &made));
    EXPECT_EQ(root_ + "/dest/a (2).txt", made);
    EXPECT_EQ("alpha", Slurp(made));
    // Into its own folder a copy is numbered, a move stays put.
    ASSERT_EQ(S_OK, CopyInto(root_ + "/work/a.txt", root_ + "/work", false, &made));
    EXPECT_EQ(root_ + "/work/a (2).txt", made);
    ASSERT_EQ(S_OK, CopyInto(root_ + "/work/a (2).txt", root_ + "/work", true, &made));
    EXPECT_EQ(root_ + "/work/a (2).txt", made);
    EXPECT_FALSE(fs::exists(root_ + "/work/a (3).txt"));
    ASSERT_EQ(S_OK, CopyInto(root_ + "/work/a.txt", root_ + "/dest", true, &made));
    EXPECT_EQ(root_ + "/dest/a (3).txt", made);
    EXPECT_FALSE(fs::exists(root_ + "/work/a.txt"));
    EXPECT_EQ("old", Slurp(root_ + "/dest/a.txt"));
}

TEST_F(ShellMenuTest, FoldersAreCopiedWholeButNeverIntoThemselves) {
    std::string made;
    ASSERT_EQ(S_OK, CopyInto(root_ + "/work/dir", root_ + "/dest", false, &made));
    EXPECT_EQ("deep", Slurp(root_ + "/dest/dir/sub/deep.txt"));
    EXPECT_NE(S_OK, CopyInto(root_ + "/work/dir", root_ + "/work/dir/sub", false));
    EXPECT_NE(S_OK, CopyInto(root_ + "/work/dir", root_ + "/work/dir/sub", true));
    EXPECT_FALSE(fs::exists(root_ + "/work/dir/sub/dir"));
    EXPECT_TRUE(fs::exists(root_ + "/work/dir/sub/deep.txt"));
}

TEST_F(ShellMenuTest, MissingItemsAndVolumesAreRefused) {
    EXPECT_EQ(E_NOTFOUND, CopyInto(root_ + "/work/none.txt", root_ + "/dest", false));
    EXPECT_EQ(E_INVALIDARG, CopyInto(root_ + "/work/a.txt", root_ + "/nowhere", false));
    EXPECT_NE(S_OK, MoveToTrash("/"));
    EXPECT_EQ(E_NOTFOUND, MoveToTrash(root_ + "/work/none"));
}

TEST_F(ShellMenuTest, TrashKeepsTheFileAndWhereItCameFrom) {
    Write("/work/b c.txt", "bee");
    ASSERT_EQ(S_OK, MoveToTrash(root_ + "/work/b c.txt"));
    EXPECT_FALSE(fs::exists(root_ + "/work/b c.txt"));
    EXPECT_EQ("bee", Slurp(root_ + "/trash/files/b c.txt"));
    std::string info = Slurp(root_ + "/trash/info/b c.txt.trashinfo");
    EXPECT_EQ(0u, info.find("[Trash Info]\nPath=" + root_ + "/work/b%20c.txt\nDeletionDate="));
    // A second file of the same name does not replace the first.
    Write("/work/b c.txt", "second");
    ASSERT_EQ(S_OK, MoveToTrash(root_ + "/work/b c.txt"));
    EXPECT_EQ("bee", Slurp(root_ + "/trash/files/b c.txt"));
    EXPECT_EQ("second", Slurp(root_ + "/trash/files/b c (2).txt"));
    EXPECT_TRUE(fs::exists(root_ + "/trash/info/b c (2).txt.trashinfo"));
    // Delete in the menu trashes every item, folders whole.
    MenuOf("/work", {"a.txt", "dir"});
    ASSERT_EQ(S_OK, Invoke(verbDelete));
    EXPECT_EQ("alpha", Slurp(root_ + "/trash/files/a.txt"));
    EXPECT_EQ("deep", Slurp(root_ + "/trash/files/dir/sub/deep.txt"));
}

TEST_F(ShellMenuTest, DeleteForGoodOnlyWhenTheUserAgrees) {
    // No trash for these items: the user is asked before they go for good.
    SetShellMenuConfig({root_ + "/sendto", ""});
    std::vector<std::string> asked;
    bool agree = false;
    TShellMenuHooks h;
    h.ConfirmDelete = [&](const std::vector<std::string>& paths) {
        asked = paths;
        return agree;
    };
    SetShellMenuHooks(h);
    MenuOf("/work", {"a.txt"});
    // "No" is a cancel, which callers do not report as a failure.
    EXPECT_EQ(S_FALSE, Invoke(verbDelete));
    EXPECT_EQ(std::vector<std::string>{root_ + "/work/a.txt"}, asked);
    EXPECT_TRUE(fs::exists(root_ + "/work/a.txt"));
    agree = true;
    EXPECT_EQ(S_OK, Invoke(verbDelete));
    EXPECT_FALSE(fs::exists(root_ + "/work/a.txt"));
    // Without anyone to ask nothing is deleted, and that is a failure.
    SetShellMenuHooks(TShellMenuHooks());
    Write("/work/b.txt", "bee");
    MenuOf("/work", {"b.txt"});
    EXPECT_EQ(E_ACCESSDENIED, Invoke(verbDelete));
    EXPECT_TRUE(fs::exists(root_ + "/work/b.txt"));
}

// Mounts for a test, in a mount namespace of the test's own where it can
// have one; each is taken away again at the end.
class TMounts {
public:
    TMounts() {
        if (::unshare(CLONE_NEWNS) == 0) ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    }
    ~TMounts() {
        for (auto it = points_.rbegin(); it != points_.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
    }
    bool Tmpfs(const std::string& at) { return Add(::mount("none", at.c_str(), "tmpfs", 0, nullptr), at); }
    bool Bind(const std::string& from, const std::string& at) {
        return Add(::mount(from.c_str(), at.c_str(), nullptr, MS_BIND, nullptr), at);
    }

private:
    bool Add(int r, const std::string& at) {
        if (r != 0) return false;
        points_.push_back(at);
        return true;
    }
    std::vector<std::string> points_;
};

TEST_F(ShellMenuTest, DeleteForGoodStopsAtMountsAndLinks) {
    SetShellMenuConfig({root_ + "/sendto", ""});  // no trash: for good
    fs::create_directories(root_ + "/work/gone/sub/tmp");
    fs::create_directories(root_ + "/work/gone/bound");
    fs::create_directories(root_ + "/outside/dir");
    fs::create_directories(root_ + "/shared");
    Write("/work/gone/file.txt", "f");
    Write("/work/gone/sub/deep.txt", "d");
    Write("/outside/keep.txt", "k");
    Write("/outside/dir/inner.txt", "i");
    Write("/shared/b.txt", "b");
    Write("/shared/f.txt", "sf");
    Write("/work/gone/boundfile", "x");
    fs::create_symlink(root_ + "/outside/keep.txt", root_ + "/work/gone/tofile");
    fs::create_directory_symlink(root_ + "/outside/dir", root_ + "/work/gone/todir");
    TMounts mounts;
    if (!mounts.Tmpfs(root_ + "/work/gone/sub/tmp") || !mounts.Bind(root_ + "/shared", root_ + "/work/gone/bound") ||
        !mounts.Bind(root_ + "/shared/f.txt", root_ + "/work/gone/boundfile"))
        GTEST_SKIP() << "mounting needs root";
    Write("/work/gone/sub/tmp/t.txt", "t");
    std::vector<std::string> kept;
    TShellMenuHooks h;
    h.ConfirmDelete = [](const std::vector<std::string>&) { return true; };
    h.ReportKept = [&](const std::vector<std::string>& k) { kept = k; };
    SetShellMenuHooks(h);
    MenuOf("/work", {"gone"});
    EXPECT_EQ(S_OK, Invoke(verbDelete));
    // The mounted files and what the links lead to survive; the user hears
    // of every mount point, a file's too; everything else of the folder is
    // gone.
    EXPECT_EQ((std::set<std::string>{root_ + "/work/gone/bound", root_ + "/work/gone/sub/tmp",
                                     root_ + "/work/gone/boundfile"}),
              std::set<std::string>(kept.begin(), kept.end()));
    EXPECT_EQ("sf", Slurp(root_ + "/shared/f.txt"));
    EXPECT_EQ("sf", Slurp(root_ + "/work/gone/boundfile"));
    EXPECT_EQ("b", Slurp(root_ + "/shared/b.txt"));
    EXPECT_EQ("b", Slurp(root_ + "/work/gone/bound/b.txt"));
    EXPECT_EQ("t", Slurp(root_ + "/work/gone/sub/tmp/t.txt"));
    EXPECT_EQ("k", Slurp(root_ + "/outside/keep.txt"));
    EXPECT_EQ("i", Slurp(root_ + "/outside/dir/inner.txt"));
    EXPECT_FALSE(fs::exists(root_ + "/work/gone/file.txt"));
    EXPECT_FALSE(fs::exists(root_ + "/work/gone/sub/deep.txt"));
    EXPECT_FALSE(fs::is_symlink(root_ + "/work/gone/tofile"));
    EXPECT_FALSE(fs::is_symlink(root_ + "/work/gone/todir"));
    // Without anyone to tell, what stayed is a failure.
    h.ReportKept = nullptr;
    SetShellMenuHooks(h);
    EXPECT_EQ(E_FAIL, Invoke(verbDelete));
    // A bind mount point is no item to cut or trash either.
    MenuOf("/work/gone", {"bound"});
    EXPECT_EQ(E_ACCESSDENIED, Invoke(verbCut));
    // A mount point itself is not removed, nor entered.
    EXPECT_EQ(S_FALSE, RemoveForGood(root_ + "/work/gone/bound", &kept));
    EXPECT_EQ(std::vector<std::string>{root_ + "/work/gone/bound"}, kept);
    EXPECT_EQ("b", Slurp(root_ + "/shared/b.txt"));
    // A file mounted on another is kept the same way.
    EXPECT_EQ(S_FALSE, RemoveForGood(root_ + "/work/gone/boundfile", &kept));
    EXPECT_EQ(std::vector<std::string>{root_ + "/work/gone/boundfile"}, kept);
    EXPECT_EQ("sf", Slurp(root_ + "/shared/f.txt"));
    // A link to a folder goes alone.
    fs::create_directory_symlink(root_ + "/outside", root_ + "/work/link");
    EXPECT_EQ(S_OK, RemoveForGood(root_ + "/work/link/", &kept));
    EXPECT_FALSE(fs::is_symlink(root_ + "/work/link"));
    EXPECT_EQ("i", Slurp(root_ + "/outside/dir/inner.txt"));
}

TEST_F(ShellMenuTest, NewFolderTakesAFreeName) {
    std::string made;
    ASSERT_EQ(S_OK, NewFolderIn(root_ + "/work", &made));
    EXPECT_EQ(root_ + "/work/新しいフォルダー", made);
    ASSERT_EQ(S_OK, NewFolderIn(root_ + "/work", &made));
    EXPECT_EQ(root_ + "/work/新しいフォルダー (2)", made);
    // From the menu of a folder: inside it.
    MenuOf("/work", {"dir"});
    ASSERT_EQ(S_OK, Invoke(verbNewFolder));
    EXPECT_TRUE(fs::is_directory(root_ + "/work/dir/新しいフォルダー"));
}

TEST_F(ShellMenuTest, FolderMenuHasTheDesktopCommandsInJapanese) {
    MenuOf("/work", {"dir"});
    std::vector<std::string> want = {"開く(&O)", "-", "送る(&N)", "-", "切り取り(&T)", "コピー(&C)",
                                     "貼り付け(&P)", "-", "削除(&D)", "名前の変更(&M)", "-",
                                     "新しいフォルダー(&W)"};
    EXPECT_EQ(want, Texts());
    // Ids are the first id plus the verb number.
    EXPECT_EQ(1u + verbPaste, menu.Entries[6].id);
    EXPECT_EQ(1u + verbRename, menu.Entries[9].id);
    // Nothing on the clipboard: paste is offered but greyed.
    EXPECT_FALSE(menu.Entries[6].enabled);
    EXPECT_TRUE(menu.Entries[8].enabled);
}

TEST_F(ShellMenuTest, FileMenuHasNoPasteAndSeveralItemsNoRename) {
    MenuOf("/work", {"a.txt"});
    EXPECT_EQ(nullptr, menu.FindId(1 + verbPaste));
    EXPECT_EQ(nullptr, menu.FindId(1 + verbNewFolder));
    EXPECT_NE(nullptr, menu.FindId(1 + verbRename));
    MenuOf("/work", {"a.txt", "dir"});
    EXPECT_EQ(nullptr, menu.FindId(1 + verbRename));
    EXPECT_NE(nullptr, menu.FindId(1 + verbCopy));
}

TEST_F(ShellMenuTest, MenuIsInsertedAtTheGivenPosition) {
    MenuOf("/work", {"a.txt"});
    TMenu m;
    m.AppendString(9000, "x");
    m.AppendString(9001, "y");
    ASSERT_TRUE(SUCCEEDED(menu_->QueryContextMenu(m, 1, 100, 0x7FFF, CMF_EXPLORE)));
    EXPECT_EQ(9000u, m.Entries.front().id);
    EXPECT_EQ(9001u, m.Entries.back().id);
    EXPECT_EQ(100u + verbOpen, m.Entries[1].id);
    // Ids beyond the last one are left out.
    TMenu small;
    ASSERT_TRUE(SUCCEEDED(menu_->QueryContextMenu(small, 0, 1, 20, CMF_EXPLORE)));
    EXPECT_NE(nullptr, small.FindId(1 + verbDelete));
    EXPECT_EQ(nullptr, small.FindId(1 + verbCopy));
}

TEST_F(ShellMenuTest, CopyThenPasteIntoAFolder) {
    MenuOf("/", {"dest"});
    EXPECT_TRUE(FAILED(Invoke(verbPaste)));  // nothing on the clipboard
    MenuOf("/work", {"a.txt"});
    ASSERT_EQ(S_OK, Invoke(verbCopy));
    EXPECT_FALSE(GetClipItems().cut);
    MenuOf("/", {"dest"});
    ASSERT_TRUE(menu.FindId(1 + verbPaste)->enabled);
    ASSERT_EQ(S_OK, Invoke(verbPaste));
    EXPECT_EQ("alpha", Slurp(root_ + "/dest/a.txt"));
    EXPECT_TRUE(fs::exists(root_ + "/work/a.txt"));
    // A second paste keeps both.
    ASSERT_EQ(S_OK, Invoke(verbPaste));
    EXPECT_EQ("alpha", Slurp(root_ + "/dest/a (2).txt"));
}

TEST_F(ShellMenuTest, CutThenPasteMovesAndEmptiesTheClipboard) {
    MenuOf("/work", {"a.txt", "dir"});
    ASSERT_EQ(S_OK, Invoke(verbCut));
    EXPECT_TRUE(GetClipItems().cut);
    MenuOf("/", {"dest"});
    ASSERT_EQ(S_OK, Invoke(verbPaste));
    EXPECT_FALSE(fs::exists(root_ + "/work/a.txt"));
    EXPECT_FALSE(fs::exists(root_ + "/work/dir"));
    EXPECT_EQ("deep", Slurp(root_ + "/dest/dir/sub/deep.txt"));
    EXPECT_TRUE(GetClipItems().paths.empty());
    EXPECT_NE(S_OK, Invoke(verbPaste));
}

TEST_F(ShellMenuTest, ClipboardAndOpenGoThroughTheHooks) {
    MenuOf("/work", {"a.txt", "dir"});
    EXPECT_EQ(E_NOTIMPL, Invoke(verbOpen));  // no desktop to open with
    TClipItems store;
    std::vector<std::string> opened;
    TShellMenuHooks h;
    h.OpenDocument = [&](const std::string& p) {
        opened.push_back(p);
        return true;
    };
    h.SetClipboard = [&](const TClipItems& c) { store = c; };
    h.GetClipboard = [&](TClipItems& c) {
        c = store;
        return true;
    };
    SetShellMenuHooks(h);
    EXPECT_EQ(S_OK, Invoke(verbOpen));
    EXPECT_EQ((std::vector<std::string>{root_ + "/work/a.txt", root_ + "/work/dir"}), opened);
    MenuOf("/work", {"a.txt"});
    ASSERT_EQ(S_OK, Invoke(verbCut));
    EXPECT_EQ(std::vector<std::string>{root_ + "/work/a.txt"}, store.paths);
    EXPECT_TRUE(store.cut);
    // Another program put something else there.
    store.paths = {root_ + "/work/dir"};
    store.cut = false;
    MenuOf("/", {"dest"});
    ASSERT_EQ(S_OK, Invoke(verbPaste));
    EXPECT_TRUE(fs::exists(root_ + "/dest/dir/sub"));
    EXPECT_TRUE(fs::exists(root_ + "/work/a.txt"));
}

TEST_F(ShellMenuTest, RenameAsksAndNeverReplaces) {
    Write("/work/b.txt", "bee");
    MenuOf("/work", {"a.txt"});
    EXPECT_EQ(E_NOTIMPL, Invoke(verbRename));  // nobody to ask: the caller edits
    TInvokeInfo info;
    info.verb = verbRename;
    std::string asked;
    info.AskNewName = [&](const std::string& old, std::string& name) {
        asked = sjis::ToUtf8(old);
        name = "b.txt";
        return true;
    };
    EXPECT_TRUE(FAILED(menu_->InvokeCommand(info)));
    EXPECT_EQ("a.txt", asked);
    EXPECT_EQ("bee", Slurp(root_ + "/work/b.txt"));
    info.AskNewName = [&](const std::string&, std::string& name) {
        name = sjis::L("名前.txt");
        return true;
    };
    EXPECT_EQ(S_OK, menu_->InvokeCommand(info));
    EXPECT_EQ("alpha", Slurp(root_ + "/work/名前.txt"));
    info.AskNewName = [&](const std::string&, std::string&) { return false; };
    EXPECT_EQ(S_FALSE, menu_->InvokeCommand(info));
}

TEST_F(ShellMenuTest, ItemsOutsideTheFileSystemHaveNoMenu) {
    ShellFolderPtr desk = SHGetDesktopFolder();
    LPITEMIDLIST computer = nullptr;
    ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(CSIDL_DRIVES, computer));
    TPidl keep(computer);
    LPCITEMIDLIST items[] = {computer};
    std::unique_ptr<IContextMenu> m;
    EXPECT_TRUE(FAILED(GetContextMenuOf(desk, 1, items, m)));
    EXPECT_FALSE(m);
    std::vector<std::string> paths;
    EXPECT_TRUE(FAILED(GetItemPaths(desk, 1, items, paths)));
}

TEST_F(ShellMenuTest, AttributesOfItems) {
    TPidl abs(PathToPidl(P("/work")));
    ShellFolderPtr f = BindAbsolute(abs.get());
    LPITEMIDLIST a = nullptr, d = nullptr;
    ASSERT_EQ(S_OK, f->ParseDisplayName("a.txt", a));
    ASSERT_EQ(S_OK, f->ParseDisplayName("dir", d));
    TPidl ka(a), kd(d);
    uint32_t attrs = 0;
    ASSERT_EQ(S_OK, GetItemAttributes(f, a, 0xFFFFFFFFu, attrs));
    EXPECT_EQ(SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANDELETE,
              attrs & (SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANDELETE | SFGAO_DROPTARGET));
    ASSERT_EQ(S_OK, GetItemAttributes(f, d, SFGAO_DROPTARGET | SFGAO_FOLDER | SFGAO_CANLINK, attrs));
    EXPECT_EQ(SFGAO_DROPTARGET | SFGAO_FOLDER, attrs);
}

TEST_F(ShellMenuTest, SplitItemsNeedsAsManyItemsAsCounted) {
    TPidl abs(PathToPidl(P("/work/dir/sub")));
    std::vector<TPidl> out;
    ASSERT_TRUE(SplitItems(abs.get(), PidlItemCount(abs.get()), out));
    ASSERT_EQ(PidlItemCount(abs.get()), out.size());
    for (const TPidl& p : out) EXPECT_EQ(1u, PidlItemCount(p.get()));
    EXPECT_FALSE(SplitItems(abs.get(), PidlItemCount(abs.get()) + 1, out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(SplitItems(nullptr, 1, out));
}

// A program entry that writes its arguments, one a line, to a file.
std::string MakeRecorder(const std::string& path, const std::string& out) {
    std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << out << ".tmp'\nmv '"
                        << out << ".tmp' '" << out << "'\n";
    ::chmod(path.c_str(), 0755);
    return path;
}

bool WaitFor(const std::string& path) {
    // A bound on a hang only: ten seconds.
    for (int i = 0; i < 500 && !fs::exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return fs::exists(path);
}

TEST_F(ShellMenuTest, SendToListsPlacesAndProgramsInNameOrder) {
    fs::create_directories(root_ + "/sendto/B folder");
    fs::create_directories(root_ + "/sendto/.hidden");
    fs::create_symlink(root_ + "/dest", root_ + "/sendto/A link");
    Write("/sendto/notes.txt", "not a program");
    MakeRecorder(root_ + "/sendto/C program", root_ + "/args");
    std::vector<TSendToEntry> e = SendToEntries();
    ASSERT_EQ(3u, e.size());
    EXPECT_EQ("A link", sjis::ToUtf8(e[0].name));
    EXPECT_TRUE(e[0].folder);
    EXPECT_EQ("B folder", sjis::ToUtf8(e[1].name));
    EXPECT_EQ("C program", sjis::ToUtf8(e[2].name));
    EXPECT_FALSE(e[2].folder);
}

TEST_F(ShellMenuTest, SendToKeepsTheFirstHundred) {
    for (int i = 0; i < 105; ++i) {
        char n[16];
        std::snprintf(n, sizeof n, "/sendto/%03d", i);
        fs::create_directories(root_ + n);
    }
    std::vector<TSendToEntry> e = SendToEntries();
    ASSERT_EQ(100u, e.size());
    EXPECT_EQ("099", e.back().name);
}

TEST_F(ShellMenuTest, SendToFolderCopiesAndProgramGetsSeparateArguments) {
    fs::create_directories(root_ + "/sendto/Box");
    MakeRecorder(root_ + "/sendto/Rec", root_ + "/args");
    Write("/work/odd $(name) 'q'.txt", "odd");
    MenuOf("/work", {"a.txt", "odd $(name) 'q'.txt"});
    const TMenu::TEntry& sub = menu.Entries[2];
    ASSERT_TRUE(sub.sub);
    ASSERT_EQ(1u, sub.sub->Count());
    EXPECT_FALSE(sub.sub->Entries[0].enabled);
    ASSERT_EQ(S_OK, menu_->InitMenuPopup(*sub.sub));
    ASSERT_EQ(2u, sub.sub->Count());
    EXPECT_EQ(1u + verbSendTo, sub.sub->Entries[0].id);
    EXPECT_EQ("Box", sjis::ToUtf8(sub.sub->Entries[0].text));
    ASSERT_EQ(S_OK, Invoke(verbSendTo));
    EXPECT_EQ("alpha", Slurp(root_ + "/sendto/Box/a.txt"));
    EXPECT_EQ("odd", Slurp(root_ + "/sendto/Box/odd $(name) 'q'.txt"));
    EXPECT_TRUE(fs::exists(root_ + "/work/a.txt"));
    ASSERT_EQ(S_OK, Invoke(verbSendTo + 1));
    ASSERT_TRUE(WaitFor(root_ + "/args"));
    EXPECT_EQ(root_ + "/work/a.txt\n" + root_ + "/work/odd $(name) 'q'.txt\n", Slurp(root_ + "/args"));
    EXPECT_TRUE(FAILED(Invoke(verbSendTo + 2)));
}

TEST_F(ShellMenuTest, DropOnAPlainFileFails) {
    EXPECT_EQ(E_INVALIDARG, DropPathsOn(root_ + "/work/a.txt", {root_ + "/work/dir"}, false));
    EXPECT_EQ(E_INVALIDARG, DropPathsOn(root_ + "/dest", {}, false));
    EXPECT_EQ(S_OK, DropPathsOn(root_ + "/dest", {root_ + "/work/a.txt"}, true));
    EXPECT_EQ("alpha", Slurp(root_ + "/dest/a.txt"));
    EXPECT_FALSE(fs::exists(root_ + "/work/a.txt"));
}

TEST_F(ShellMenuTest, PasteAndDropNeverStartAProgram) {
    MakeRecorder(root_ + "/work/Rec", root_ + "/args");
    MenuOf("/work", {"Rec"});
    EXPECT_EQ(nullptr, menu.FindId(1 + verbPaste));
    TClipItems c;
    c.paths = {root_ + "/work/a.txt"};
    SetClipItems(c);
    MenuOf("/work", {"Rec"});
    EXPECT_EQ(nullptr, menu.FindId(1 + verbPaste));
    EXPECT_TRUE(FAILED(Invoke(verbPaste)));
    EXPECT_EQ(E_INVALIDARG, DropPathsOn(root_ + "/work/Rec", {root_ + "/work/a.txt"}, false));
    TPidl abs(PathToPidl(P("/work")));
    ShellFolderPtr f = BindAbsolute(abs.get());
    LPITEMIDLIST r = nullptr;
    ASSERT_EQ(S_OK, f->ParseDisplayName("Rec", r));
    TPidl kr(r);
    uint32_t attrs = 0;
    ASSERT_EQ(S_OK, GetItemAttributes(f, r, SFGAO_DROPTARGET, attrs));
    EXPECT_EQ(0u, attrs);
    // A program started by any of those would have run by the time one
    // started after them has: the same way of starting, then a look.
    MakeRecorder(root_ + "/work/Later", root_ + "/later");
    ASSERT_TRUE(StartProgram(root_ + "/work/Later", {"after"}));
    ASSERT_TRUE(WaitFor(root_ + "/later"));
    EXPECT_EQ("after\n", Slurp(root_ + "/later"));
    EXPECT_FALSE(fs::exists(root_ + "/args"));
}

TEST(ShellMenuModel, DeleteAndFind) {
    TMenu m;
    m.AppendString(5, "a");
    TMenu& sub = m.AppendSubMenu("s");
    sub.AppendString(7, "b");
    m.AppendSeparator();
    ASSERT_NE(nullptr, m.FindId(7));
    EXPECT_EQ("b", m.FindId(7)->text);
    EXPECT_EQ(nullptr, m.FindId(0));
    EXPECT_TRUE(m.Delete(0));
    EXPECT_EQ(nullptr, m.FindId(5));
    EXPECT_FALSE(m.Delete(2));
    EXPECT_EQ(2u, m.Count());
}

TEST(ShellMenuConfigTest, DefaultsFollowTheDataHome) {
    const char* old = std::getenv("XDG_DATA_HOME");
    std::string keep = old ? old : "";
    ::setenv("XDG_DATA_HOME", "/x/data", 1);
    TShellMenuConfig c = DefaultShellMenuConfig();
    EXPECT_EQ("/x/data/ruzozu/SendTo", c.sendTo);
    EXPECT_EQ("/x/data/Trash", c.trash);
    if (old) ::setenv("XDG_DATA_HOME", keep.c_str(), 1);
    else ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
