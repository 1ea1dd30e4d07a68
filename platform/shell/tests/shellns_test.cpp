#include "shellns.h"

#include "sjis.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

using namespace shell;
namespace fs = std::filesystem;

namespace {

// A temporary tree that the namespace sees as a volume of its own, with a
// home folder and a desktop folder inside.
class ShellNsTest : public ::testing::Test {
protected:
    void SetUp() override {
        live_ = SHGetMalloc()->LiveBlocks();
        root_ = tmp_.path().substr(0, tmp_.path().size() - 1);
        fs::create_directories(root_ + "/home/Desktop/notes");
        fs::create_directories(root_ + "/a/b/c");
        fs::create_directories(root_ + "/a/Empty");
        fs::create_directories(root_ + "/a/.hidden");
        std::ofstream(root_ + "/a/file.txt") << "x";
        TNamespaceConfig c;
        c.home = root_ + "/home";
        c.desktop = root_ + "/home/Desktop";
        c.volumes = {"/", root_};
        SetNamespaceConfig(c);
    }
    void TearDown() override {
        SetNamespaceConfig(DefaultNamespaceConfig());
        EXPECT_EQ(live_, SHGetMalloc()->LiveBlocks()) << "a list was not freed";
    }
    // Shift-JIS form of a path of the tree.
    std::string P(const std::string& rel) const {
        std::string s;
        EXPECT_TRUE(sjis::FromUtf8(root_ + rel, s));
        return s;
    }
    // Shown names of a folder's items.
    std::vector<std::string> Names(const std::string& rel, unsigned flags) {
        TPidl abs(PathToPidl(P(rel)));
        ShellFolderPtr f = BindAbsolute(abs.get());
        std::vector<std::string> out;
        if (!f) return out;
        std::unique_ptr<IEnumIDList> e;
        if (FAILED(f->EnumObjects(flags, e))) return out;
        LPITEMIDLIST item = nullptr;
        while (e->Next(item) == S_OK) {
            std::string s;
            EXPECT_TRUE(GetDisplayName(f, item, SHGDN_INFOLDER, s));
            out.push_back(sjis::ToUtf8(s));
            FreePidl(item);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    uint32_t Attrs(const std::string& rel, uint32_t mask = 0xFFFFFFFFu) {
        TPidl abs(PathToPidl(P(rel)));
        return PidlAttributes(abs.get(), mask);
    }

    TempDir tmp_;
    std::string root_;
    size_t live_ = 0;
};

}  // namespace

TEST_F(ShellNsTest, ParseGoesThroughTheComputerAndTheVolume) {
    TPidl abs(PathToPidl(P("/a/b")));
    ASSERT_TRUE(abs);
    EXPECT_EQ(4u, PidlItemCount(abs.get()));  // computer, volume, a, b
    EXPECT_EQ(P("/a/b"), PidlToPath(abs.get()));
    EXPECT_EQ("b", PidlDisplayName(abs.get()));
}

TEST_F(ShellNsTest, ParseIsCanonical) {
    TPidl a(PathToPidl(P("/a/b")));
    TPidl b(PathToPidl(P("//a/./b/c/../")));
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(SameItemID(SHGetDesktopFolder(), a.get(), b.get()));
    EXPECT_EQ(PidlSize(a.get()), PidlSize(b.get()));
    EXPECT_EQ(0, std::memcmp(a.get(), b.get(), PidlSize(a.get())));
}

TEST_F(ShellNsTest, TheLongestMountPointWins) {
    TNamespaceConfig c = GetNamespaceConfig();
    c.volumes.push_back(root_ + "/a");
    SetNamespaceConfig(c);
    TPidl abs(PathToPidl(P("/a/b")));
    ASSERT_TRUE(abs);
    EXPECT_EQ(3u, PidlItemCount(abs.get()));
    EXPECT_EQ(P("/a/b"), PidlToPath(abs.get()));
    TPidl vol(PathToPidl(P("/a")));
    EXPECT_EQ(2u, PidlItemCount(vol.get()));
    EXPECT_EQ(P("/a"), PidlToPath(vol.get()));
}

TEST_F(ShellNsTest, ParseRefusals) {
    EXPECT_FALSE(IsParsablePath(P("/a/missing")));
    EXPECT_FALSE(IsParsablePath("a/b"));
    EXPECT_FALSE(IsParsablePath(""));
    EXPECT_FALSE(IsParsablePath("\x82"));  // half a double-byte character
    EXPECT_TRUE(IsParsablePath("/"));
    EXPECT_TRUE(IsParsablePath(P("/a/file.txt")));
}

TEST_F(ShellNsTest, TheComputerHasAParsingNameButNoPath) {
    TPidl computer(PathToPidl("computer:///"));
    ASSERT_TRUE(computer);
    EXPECT_EQ(1u, PidlItemCount(computer.get()));
    EXPECT_EQ("", PidlToPath(computer.get()));
    EXPECT_EQ(sjis::L("コンピューター"), PidlDisplayName(computer.get()));
    TPidl drives;
    LPITEMIDLIST p = nullptr;
    ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(CSIDL_DRIVES, p));
    drives.reset(p);
    EXPECT_TRUE(SameItemID(SHGetDesktopFolder(), computer.get(), drives.get()));
}

TEST_F(ShellNsTest, ComputerListsTheVolumes) {
    TPidl computer(PathToPidl("computer:///"));
    ShellFolderPtr f = BindAbsolute(computer.get());
    ASSERT_TRUE(f);
    std::unique_ptr<IEnumIDList> e;
    ASSERT_EQ(S_OK, f->EnumObjects(SHCONTF_FOLDERS, e));
    std::vector<std::string> names;
    LPITEMIDLIST item = nullptr;
    while (e->Next(item) == S_OK) {
        names.push_back(ParsingNameOf(f, item));
        FreePidl(item);
    }
    EXPECT_EQ((std::vector<std::string>{"/", P("")}), names);
}

TEST_F(ShellNsTest, FoldersFilesAndHidden) {
    EXPECT_EQ((std::vector<std::string>{"Empty", "b"}), Names("/a", SHCONTF_FOLDERS));
    EXPECT_EQ((std::vector<std::string>{".hidden", "Empty", "b"}),
              Names("/a", SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN));
    EXPECT_EQ((std::vector<std::string>{"file.txt"}), Names("/a", SHCONTF_NONFOLDERS));
    EXPECT_EQ((std::vector<std::string>{"Empty", "b", "file.txt"}),
              Names("/a", SHCONTF_FOLDERS | SHCONTF_NONFOLDERS));
}

TEST_F(ShellNsTest, NamesWithoutShiftJisAreLeftOut) {
    fs::create_directories(root_ + "/a/\xF0\x9F\x98\x80");        // an emoji
    fs::create_directories(root_ + "/a/bad\xFF");                 // not UTF-8
    fs::create_directories(root_ + "/a/" "\xE5\x95\x8F\xE9\xA1\x8C");  // 問題
    EXPECT_EQ((std::vector<std::string>{"Empty", "b", "問題"}), Names("/a", SHCONTF_FOLDERS));
    TPidl jp(PathToPidl(P("/a/問題")));
    ASSERT_TRUE(jp);
    EXPECT_EQ(sjis::L("問題"), PidlDisplayName(jp.get()));
    EXPECT_EQ(P("/a/問題"), PidlToPath(jp.get()));
}

TEST_F(ShellNsTest, Attributes) {
    uint32_t a = Attrs("/a");
    EXPECT_TRUE(a & SFGAO_FOLDER);
    EXPECT_TRUE(a & SFGAO_FILESYSTEM);
    EXPECT_TRUE(a & SFGAO_HASSUBFOLDER);
    EXPECT_FALSE(a & SFGAO_HIDDEN);
    EXPECT_EQ(!LinkCountTellsSubfolders(root_), (Attrs("/a/Empty") & SFGAO_HASSUBFOLDER) != 0);
    EXPECT_TRUE(Attrs("/a/Empty") & SFGAO_FOLDER);
    uint32_t f = Attrs("/a/file.txt");
    EXPECT_FALSE(f & SFGAO_FOLDER);
    EXPECT_TRUE(f & SFGAO_FILESYSTEM);
    EXPECT_TRUE(f & SFGAO_CANRENAME);
    EXPECT_TRUE(Attrs("/a/.hidden") & SFGAO_HIDDEN);
    fs::create_directory_symlink(root_ + "/a/b", root_ + "/a/link");
    uint32_t l = Attrs("/a/link");
    EXPECT_TRUE(l & SFGAO_LINK);
    EXPECT_TRUE(l & SFGAO_FOLDER);
    // Only what was asked for is answered.
    EXPECT_EQ(SFGAO_FOLDER, Attrs("/a", SFGAO_FOLDER | SFGAO_LINK));
}

TEST_F(ShellNsTest, DisplayNames) {
    TPidl parent(PathToPidl(P("/a")));
    ShellFolderPtr f = BindAbsolute(parent.get());
    ASSERT_TRUE(f);
    LPITEMIDLIST item = nullptr;
    ASSERT_EQ(S_OK, f->ParseDisplayName("b", item));
    TPidl owned(item);
    std::string s = "unchanged";
    EXPECT_TRUE(GetDisplayName(f, item, SHGDN_INFOLDER, s));
    EXPECT_EQ("b", s);
    EXPECT_TRUE(GetDisplayName(f, item, SHGDN_FORPARSING, s));
    EXPECT_EQ(P("/a/b"), s);
    EXPECT_EQ(P("/a/b"), ParsingNameOf(f, item));
    // A failure leaves the text alone.
    const uint8_t junk[] = {5, 0, 'Z', 0, 0, 0, 0};
    s = "unchanged";
    EXPECT_FALSE(GetDisplayName(f, reinterpret_cast<LPCITEMIDLIST>(junk), SHGDN_NORMAL, s));
    EXPECT_EQ("unchanged", s);
}

TEST_F(ShellNsTest, CompareFoldersFirstThenNamesAndCaseMatters) {
    fs::create_directories(root_ + "/s/beta");
    fs::create_directories(root_ + "/s/Alpha");
    fs::create_directories(root_ + "/s/alpha");
    std::ofstream(root_ + "/s/aaa.txt") << "x";
    TPidl dir(PathToPidl(P("/s")));
    ShellFolderPtr f = BindAbsolute(dir.get());
    auto item = [&](const char* n) {
        LPITEMIDLIST p = nullptr;
        EXPECT_EQ(S_OK, f->ParseDisplayName(n, p));
        return TPidl(p);
    };
    TPidl beta = item("beta"), upper = item("Alpha"), lower = item("alpha"), file = item("aaa.txt");
    EXPECT_LT(ComparePidls(f, upper.get(), beta.get()), 0);
    EXPECT_GT(ComparePidls(f, beta.get(), upper.get()), 0);
    EXPECT_LT(ComparePidls(f, beta.get(), file.get()), 0);  // folders before files
    EXPECT_NE(0, ComparePidls(f, upper.get(), lower.get()));
    EXPECT_FALSE(SameItemID(f, upper.get(), lower.get()));
    TPidl again = item("Alpha");
    EXPECT_TRUE(SameItemID(f, upper.get(), again.get()));
    const uint8_t junk[] = {3, 0, 'Q', 0, 0};
    EXPECT_EQ(-1, ComparePidls(f, upper.get(), reinterpret_cast<LPCITEMIDLIST>(junk)));
}

TEST_F(ShellNsTest, CompareDeepListsFromTheDesktop) {
    TPidl ab(PathToPidl(P("/a/b")));
    TPidl abc(PathToPidl(P("/a/b/c")));
    TPidl ae(PathToPidl(P("/a/Empty")));
    ShellFolderPtr d = SHGetDesktopFolder();
    EXPECT_LT(ComparePidls(d, ab.get(), abc.get()), 0);
    EXPECT_NE(0, ComparePidls(d, ab.get(), ae.get()));
    EXPECT_EQ(0, ComparePidls(d, abc.get(), abc.get()));
}

TEST_F(ShellNsTest, TheDesktopHoldsComputerHomeAndItsItems) {
    ShellFolderPtr d = SHGetDesktopFolder();
    std::unique_ptr<IEnumIDList> e;
    ASSERT_EQ(S_OK, d->EnumObjects(SHCONTF_FOLDERS, e));
    std::vector<std::string> names;
    LPITEMIDLIST item = nullptr;
    while (e->Next(item) == S_OK) {
        std::string s;
        EXPECT_TRUE(GetDisplayName(d, item, SHGDN_INFOLDER, s));
        names.push_back(sjis::ToUtf8(s));
        EXPECT_TRUE(HasParsingName(d, item));
        FreePidl(item);
    }
    EXPECT_EQ((std::vector<std::string>{"コンピューター", "ホーム", "notes"}), names);
    TPidl empty;
    LPITEMIDLIST p = nullptr;
    ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(CSIDL_DESKTOP, p));
    empty.reset(p);
    EXPECT_EQ(0u, PidlItemCount(empty.get()));
    EXPECT_EQ(P("/home/Desktop"), PidlToPath(empty.get()));
    EXPECT_EQ(sjis::L("デスクトップ"), PidlDisplayName(empty.get()));
}

TEST_F(ShellNsTest, DesktopItemsLeadToTheirCanonicalPath) {
    ShellFolderPtr d = SHGetDesktopFolder();
    LPITEMIDLIST rel = nullptr;
    // "notes" as the desktop lists it (an item of the desktop itself).
    std::unique_ptr<IEnumIDList> e;
    ASSERT_EQ(S_OK, d->EnumObjects(SHCONTF_FOLDERS, e));
    TPidl notes;
    while (e->Next(rel) == S_OK) {
        if (PidlDisplayName(rel) == "notes") notes.reset(rel);
        else FreePidl(rel);
    }
    ASSERT_TRUE(notes);
    TPidl abs(AbsolutePidlOf(d, notes.get()));
    ASSERT_TRUE(abs);
    EXPECT_EQ(P("/home/Desktop/notes"), PidlToPath(abs.get()));
    EXPECT_EQ(P("/home/Desktop/notes"), PidlToPath(notes.get()));
}

TEST_F(ShellNsTest, MissingSpecialFoldersFail) {
    for (int csidl : {CSIDL_CONTROLS, CSIDL_PRINTERS, CSIDL_BITBUCKET, CSIDL_FAVORITES, CSIDL_STARTMENU}) {
        LPITEMIDLIST p = reinterpret_cast<LPITEMIDLIST>(1);
        EXPECT_TRUE(FAILED(SHGetSpecialFolderLocation(csidl, p))) << csidl;
        EXPECT_EQ(nullptr, p);
    }
    LPITEMIDLIST p = nullptr;
    ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(CSIDL_PERSONAL, p));
    EXPECT_EQ(P("/home"), PidlToPath(p));
    FreePidl(p);
}

TEST_F(ShellNsTest, BindWalksDownAndRefusesFiles) {
    TPidl abc(PathToPidl(P("/a/b/c")));
    EXPECT_TRUE(BindAbsolute(abc.get()));
    TPidl file(PathToPidl(P("/a/file.txt")));
    EXPECT_FALSE(BindAbsolute(file.get()));
    ShellFolderPtr folder;
    LPITEMIDLIST last = nullptr;
    ASSERT_TRUE(SplitPidl(abc.get(), folder, last));
    TPidl owned(last);
    EXPECT_EQ(P("/a/b/c"), ParsingNameOf(folder, last));
    TPidl computer(PathToPidl("computer:///"));
    EXPECT_FALSE(SplitPidl(computer.get(), folder, last));
}

TEST_F(ShellNsTest, RenameNeverReplaces) {
    TPidl dir(PathToPidl(P("/a")));
    ShellFolderPtr f = BindAbsolute(dir.get());
    LPITEMIDLIST p = nullptr;
    ASSERT_EQ(S_OK, f->ParseDisplayName("Empty", p));
    TPidl empty(p);
    EXPECT_TRUE(CanRenameItem(f, empty.get()));
    LPITEMIDLIST renamed = nullptr;
    EXPECT_TRUE(FAILED(f->SetNameOf(empty.get(), "b", 0, &renamed)));
    EXPECT_EQ(nullptr, renamed);
    EXPECT_TRUE(fs::exists(root_ + "/a/b/c"));
    EXPECT_TRUE(fs::exists(root_ + "/a/Empty"));
    for (const char* bad : {"", ".", "..", "x/y", "\x82", " ", "  \t", "\x81\x40", " \x81\x40 ", "x\r\ny", "a\tb",
                            "a\x7F", "\x1B[0m"}) {
        EXPECT_TRUE(FAILED(f->SetNameOf(empty.get(), bad, 0, nullptr))) << bad;
    }
    EXPECT_TRUE(fs::exists(root_ + "/a/Empty"));
    ASSERT_EQ(S_OK, f->SetNameOf(empty.get(), sjis::L("新規"), 0, &renamed));
    TPidl owned(renamed);
    EXPECT_TRUE(fs::is_directory(root_ + "/a/新規"));
    EXPECT_FALSE(fs::exists(root_ + "/a/Empty"));
    std::string s;
    EXPECT_TRUE(GetDisplayName(f, renamed, SHGDN_NORMAL, s));
    EXPECT_EQ(sjis::L("新規"), s);
    // Volumes and the computer are not renamed.
    TPidl computer(PathToPidl("computer:///"));
    EXPECT_FALSE(CanRenameItem(SHGetDesktopFolder(), computer.get()));
    EXPECT_TRUE(FAILED(SHGetDesktopFolder()->SetNameOf(computer.get(), "x", 0, nullptr)));
}

TEST_F(ShellNsTest, BrokenItemsAreRefused) {
    ShellFolderPtr d = SHGetDesktopFolder();
    const uint8_t noZero[] = {6, 0, 'F', 0, 'a', 'b', 0, 0};
    const uint8_t slash[] = {7, 0, 'F', 0, 'a', '/', 0, 0, 0};
    ShellFolderPtr out;
    EXPECT_TRUE(FAILED(d->BindToObject(reinterpret_cast<LPCITEMIDLIST>(noZero), out)));
    EXPECT_TRUE(FAILED(d->BindToObject(reinterpret_cast<LPCITEMIDLIST>(slash), out)));
    uint32_t attrs = SFGAO_FOLDER;
    LPCITEMIDLIST item = reinterpret_cast<LPCITEMIDLIST>(slash);
    EXPECT_TRUE(FAILED(d->GetAttributesOf(1, &item, attrs)));
}

// Folders that hold only links to folders have subfolders (their link
// count is 2); a link back up the tree leads no deeper.
TEST_F(ShellNsTest, LinkedSubfolders) {
    fs::create_directories(root_ + "/links");
    fs::create_directory_symlink(root_ + "/a/b", root_ + "/links/tob");
    // Its link count is 2 where the file system counts subfolders, and
    // says nothing of links: it has subfolders all the same, alone and
    // with a real one beside the link, asked alone or in a listing.
    EXPECT_TRUE(Attrs("/links") & SFGAO_HASSUBFOLDER);
    auto listed = [&](const std::string& dir, const std::string& name) {
        TPidl abs(PathToPidl(P(dir)));
        ShellFolderPtr f = BindAbsolute(abs.get());
        std::vector<TListedItem> items;
        if (!f || FAILED(f->ListItems(SHCONTF_FOLDERS, SFGAO_HASSUBFOLDER, false, items))) return 0u;
        for (const TListedItem& li : items)
            if (li.Utf8Name == name) return li.Attributes | 1u;
        return 0u;
    };
    EXPECT_EQ(1u | SFGAO_HASSUBFOLDER, listed("", "links"));
    fs::create_directories(root_ + "/mixed/real");
    fs::create_directory_symlink(root_ + "/a/b", root_ + "/mixed/tob");
    EXPECT_EQ(1u | SFGAO_HASSUBFOLDER, listed("", "mixed"));
    // A folder of more entries than are looked at may have some.
    fs::create_directories(root_ + "/many");
    for (int i = 0; i < 300; ++i) std::ofstream(root_ + "/many/f" + std::to_string(i));
    EXPECT_TRUE(Attrs("/many") & SFGAO_HASSUBFOLDER);
    EXPECT_EQ(1u | SFGAO_HASSUBFOLDER, listed("", "many"));
    EXPECT_TRUE(Attrs("/links/tob") & SFGAO_HASSUBFOLDER);  // b holds c
    fs::create_directory_symlink(root_ + "/links", root_ + "/links/self");
    fs::create_directory_symlink(root_, root_ + "/links/up");
    fs::create_directory_symlink("/", root_ + "/links/root");
    for (const char* loop : {"/links/self", "/links/up", "/links/root"}) {
        uint32_t a = Attrs(loop);
        EXPECT_TRUE(a & SFGAO_FOLDER) << loop;
        EXPECT_TRUE(a & SFGAO_LINK) << loop;
        EXPECT_FALSE(a & SFGAO_HASSUBFOLDER) << loop;
    }
    // A link to a file is no subfolder.
    fs::create_directories(root_ + "/files");
    fs::create_symlink(root_ + "/a/file.txt", root_ + "/files/f");
    EXPECT_EQ(!LinkCountTellsSubfolders(root_), (Attrs("/files") & SFGAO_HASSUBFOLDER) != 0);
    EXPECT_EQ(LinkCountTellsSubfolders(root_) ? 1u : 1u | SFGAO_HASSUBFOLDER, listed("", "files"));
}

// Two links that lead to each other's folders: the second one on the way
// is shown without subfolders, so the tree does not go on without end.
TEST_F(ShellNsTest, LinksLeadingToEachOtherEndAfterOneStep) {
    fs::create_directories(root_ + "/x/sub");
    fs::create_directories(root_ + "/y/sub");
    fs::create_directory_symlink(root_ + "/y", root_ + "/x/toy");
    fs::create_directory_symlink(root_ + "/x", root_ + "/y/tox");
    EXPECT_TRUE(Attrs("/x/toy") & SFGAO_HASSUBFOLDER);
    EXPECT_TRUE(Attrs("/y/tox") & SFGAO_HASSUBFOLDER);
    EXPECT_FALSE(Attrs("/x/toy/tox") & SFGAO_HASSUBFOLDER);
    EXPECT_TRUE(Attrs("/x/toy/tox") & SFGAO_FOLDER);
    // The listing of the folder behind the first link says the same.
    TPidl abs(PathToPidl(P("/x/toy")));
    ShellFolderPtr f = BindAbsolute(abs.get());
    ASSERT_TRUE(f);
    std::vector<TListedItem> items;
    ASSERT_EQ(S_OK, f->ListItems(SHCONTF_FOLDERS, SFGAO_HASSUBFOLDER | SFGAO_LINK, false, items));
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ("sub", items[0].Utf8Name);
    EXPECT_EQ("tox", items[1].Utf8Name);
    EXPECT_EQ(SFGAO_LINK, items[1].Attributes);
}

// One listing gives for every item what the single-item calls give, in
// the folder's own order, with the canonical list of each (a volume
// mounted inside included).
TEST_F(ShellNsTest, OneListingAnswersAsTheSingleItemCallsDo) {
    std::ofstream(root_ + "/a/Big.QZB") << std::string(1500, 'x');
    std::ofstream(root_ + "/a/.hidden.txt") << "h";
    fs::create_directory_symlink(root_ + "/a/b", root_ + "/a/tob");
    fs::create_symlink(root_ + "/a/file.txt", root_ + "/a/tofile");
    fs::create_symlink(root_ + "/a/gone", root_ + "/a/dangling");
    std::string sjisName;
    ASSERT_TRUE(sjis::FromUtf8("算数", sjisName));
    fs::create_directories(root_ + "/a/算数/x");
    TNamespaceConfig c = GetNamespaceConfig();
    c.volumes.push_back(root_ + "/a/b");
    SetNamespaceConfig(c);

    TPidl abs(PathToPidl(P("/a")));
    ShellFolderPtr f = BindAbsolute(abs.get());
    ASSERT_TRUE(f);
    const unsigned flags = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN;
    const uint32_t mask = 0xFFFFFFFFu;
    std::vector<TListedItem> items;
    ASSERT_EQ(S_OK, f->ListItems(flags, mask, true, items));

    std::vector<TPidl> expected;
    std::unique_ptr<IEnumIDList> e;
    ASSERT_EQ(S_OK, f->EnumObjects(flags, e));
    LPITEMIDLIST raw = nullptr;
    while (e->Next(raw) == S_OK) expected.emplace_back(raw);
    std::sort(expected.begin(), expected.end(),
              [&](const TPidl& x, const TPidl& y) { return ComparePidls(f, x.get(), y.get()) < 0; });
    ASSERT_EQ(expected.size(), items.size());
    bool sawVolume = false;
    for (size_t i = 0; i < items.size(); ++i) {
        const TListedItem& li = items[i];
        LPCITEMIDLIST item = expected[i].get();
        ASSERT_EQ(PidlSize(item), PidlSize(li.Item.get())) << i;
        EXPECT_EQ(0, std::memcmp(item, li.Item.get(), PidlSize(item))) << li.Utf8Name;
        uint32_t attrs = mask;
        ASSERT_EQ(S_OK, f->GetAttributesOf(1, &item, attrs));
        EXPECT_EQ(attrs, li.Attributes) << li.Utf8Name;
        std::string name, parsing, icon;
        EXPECT_TRUE(GetDisplayName(f, item, SHGDN_INFOLDER, name));
        EXPECT_EQ(name, li.Name);
        EXPECT_EQ(sjis::ToUtf8(name), li.Utf8Name);
        EXPECT_TRUE(GetDisplayName(f, item, SHGDN_FORPARSING, parsing));
        EXPECT_EQ(sjis::ToUtf8(parsing), li.Path);
        f->GetIconNameOf(item, false, icon);
        EXPECT_EQ(icon, li.IconName);
        TPidl canonical(PathToPidl(parsing));
        ASSERT_TRUE(canonical && li.Absolute) << li.Utf8Name;
        ASSERT_EQ(PidlSize(canonical.get()), PidlSize(li.Absolute.get())) << li.Utf8Name;
        EXPECT_EQ(0, std::memcmp(canonical.get(), li.Absolute.get(), PidlSize(canonical.get()))) << li.Utf8Name;
        struct stat st;
        ASSERT_EQ(0, ::stat(li.Path.c_str(), &st) == 0 ? 0 : ::lstat(li.Path.c_str(), &st)) << li.Utf8Name;
        EXPECT_TRUE(li.HasFindData);
        EXPECT_EQ(S_ISDIR(st.st_mode) ? 0 : st.st_size, li.Size) << li.Utf8Name;
        EXPECT_EQ(st.st_mtime, li.Written);
        if (li.Utf8Name == "b") {
            sawVolume = true;
            EXPECT_TRUE(li.MountPoint);
            EXPECT_EQ(2u, PidlItemCount(li.Absolute.get()));  // the computer and the volume b
        }
    }
    EXPECT_TRUE(sawVolume);
    // One item alone reads the same.
    for (const TListedItem& li : items) {
        TListedItem one;
        ASSERT_TRUE(ReadListedItem(f, li.Item.get(), mask, one)) << li.Utf8Name;
        EXPECT_EQ(li.Attributes, one.Attributes);
        EXPECT_EQ(li.Size, one.Size);
        EXPECT_EQ(li.IconName, one.IconName);
    }
    // A folder that cannot be listed says so.
    fs::permissions(root_ + "/a/Empty", fs::perms::none);
    TPidl closed(PathToPidl(P("/a/Empty")));
    ShellFolderPtr cf = BindAbsolute(closed.get());
    ASSERT_TRUE(cf);
    if (::geteuid() != 0) {
        EXPECT_TRUE(FAILED(cf->ListItems(flags, mask, false, items)));
    }
    fs::permissions(root_ + "/a/Empty", fs::perms::owner_all);
}

// While a snapshot lives the mount table is read once.
TEST(MountTable, ReadOncePerSnapshot) {
    TempDir t;
    fs::create_directories(t / "one");
    fs::create_directories(t / "two");
    std::ofstream(t / "mounts") << "/dev/sdb1 " << t / "one" << " ext4 rw 0 0\n";
    TNamespaceConfig c = GetNamespaceConfig();
    c.volumes.clear();
    c.mountTable = t / "mounts";
    SetNamespaceConfig(c);
    {
        TVolumeSnapshot snapshot;
        EXPECT_EQ((std::vector<std::string>{"/", t / "one"}), CurrentVolumes());
        std::ofstream(t / "mounts") << "/dev/sdb1 " << t / "two" << " ext4 rw 0 0\n";
        {
            TVolumeSnapshot inner;
            EXPECT_EQ((std::vector<std::string>{"/", t / "one"}), CurrentVolumes());
        }
        EXPECT_EQ((std::vector<std::string>{"/", t / "one"}), CurrentVolumes());
    }
    EXPECT_EQ((std::vector<std::string>{"/", t / "two"}), CurrentVolumes());
    SetNamespaceConfig(DefaultNamespaceConfig());
}

TEST(MountTable, RealDevicesOnlyRootFirst) {
    TempDir t;
    std::string mnt = t.path() + "usb drive";
    fs::create_directories(mnt);
    std::string escaped = t.path() + "usb\\040drive";
    std::ofstream(t / "mounts") << "overlay / overlay rw 0 0\n"
                                << "proc /proc proc rw 0 0\n"
                                << "/dev/sda1 /etc/hosts ext4 rw 0 0\n"
                                << "/dev/sdb1 " << escaped << " vfat rw 0 0\n"
                                << "/dev/sdb1 " << escaped << " vfat rw 0 0\n"
                                << "tmpfs /tmp tmpfs rw 0 0\n"
                                << "/dev/loop0 /snap/core squashfs ro 0 0\n";
    std::vector<std::string> v = ReadMountTable(t / "mounts");
    EXPECT_EQ((std::vector<std::string>{"/", mnt}), v);
}
