#include "shelltree.h"

#include "sjis.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace shell;
namespace fs = std::filesystem;

namespace {

class ShellTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = tmp_.path().substr(0, tmp_.path().size() - 1);
        for (const char* d : {"/home", "/f/Beta/x", "/f/alpha", "/f/.dot"}) fs::create_directories(root_ + d);
        std::ofstream(root_ + "/f/c.txt") << "c";
        std::ofstream(root_ + "/f/A.txt") << "a";
        TNamespaceConfig c;
        c.home = root_ + "/home";
        c.desktop = root_ + "/home/Desktop";
        c.volumes = {"/", root_};
        SetNamespaceConfig(c);
        abs_.reset(PathToPidl(root_ + "/f"));
        folder_ = BindAbsolute(abs_.get());
        ASSERT_TRUE(folder_);
    }
    void TearDown() override { SetNamespaceConfig(DefaultNamespaceConfig()); }
    static std::vector<std::string> Texts(const std::vector<TTreeChild>& v) {
        std::vector<std::string> out;
        for (const auto& c : v) out.push_back(c.Text);
        return out;
    }

    TempDir tmp_;
    std::string root_;
    TPidl abs_;
    ShellFolderPtr folder_;
};

TEST_F(ShellTreeTest, ListsInTheFoldersOrderWithWhatTheNodesNeed) {
    TTreeListing l;
    l.EnumFlags = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS;
    l.AttributeMask = SFGAO_FOLDER | SFGAO_HASSUBFOLDER;
    l.Parse = true;
    std::vector<TTreeChild> v = ListTreeChildren(folder_, abs_.get(), l);
    EXPECT_EQ((std::vector<std::string>{"alpha", "Beta", "A.txt", "c.txt"}), Texts(v));
    ASSERT_EQ(4u, v.size());
    EXPECT_TRUE(v[1].HasChildren());
    EXPECT_FALSE(v[0].HasChildren());
    EXPECT_TRUE(v[0].IsFolder());
    EXPECT_FALSE(v[2].IsFolder());
    EXPECT_TRUE(v[1].Parsable);
    EXPECT_EQ(root_ + "/f/Beta", PidlToPath(v[1].Absolute.get()));
    EXPECT_EQ("folder", v[1].IconName);
    EXPECT_EQ("folder-open", v[1].OpenIconName);
    EXPECT_EQ("text-x-generic", v[3].IconName);
    // Files first, hidden ones on request, and the caller's choice.
    l.FilesFirst = true;
    l.EnumFlags |= SHCONTF_INCLUDEHIDDEN;
    l.Keep = [](const TTreeChild& c) { return c.Text != "c.txt"; };
    EXPECT_EQ((std::vector<std::string>{"A.txt", ".dot", "alpha", "Beta"}), Texts(ListTreeChildren(folder_, abs_.get(), l)));
    bool listed = true;
    fs::remove_all(root_ + "/f");
    EXPECT_TRUE(ListTreeChildren(folder_, abs_.get(), l, &listed).empty());
    EXPECT_FALSE(listed);
}

TEST_F(ShellTreeTest, FindsAChildByItsItem) {
    TTreeListing l;
    std::vector<TTreeChild> v = ListTreeChildren(folder_, abs_.get(), l);
    auto itemOf = [&](int i) -> LPCITEMIDLIST { return v[i].Relative.get(); };
    LPITEMIDLIST raw = nullptr;
    ASSERT_EQ(S_OK, folder_->ParseDisplayName("Beta", raw));
    TPidl beta(raw);
    EXPECT_EQ(1, FindTreeChild(folder_, static_cast<int>(v.size()), itemOf, beta.get()));
    EXPECT_EQ(-1, FindTreeChild(folder_, 1, itemOf, beta.get()));  // only alpha searched
    EXPECT_EQ(-1, FindTreeChild(folder_, static_cast<int>(v.size()), itemOf, nullptr));
    EXPECT_TRUE(SamePidlBytes(beta.get(), v[1].Relative.get()));
    EXPECT_FALSE(SamePidlBytes(beta.get(), v[0].Relative.get()));
}

TEST(RenameRefusal, SaysWhy) {
    EXPECT_STREQ("名前が入力されていません。", RenameRefusalText("", E_INVALIDARG));
    EXPECT_STREQ("空白だけの名前は付けられません。", RenameRefusalText(" \xE3\x80\x80", E_INVALIDARG));
    EXPECT_STREQ("「.」「..」や「/」を含む名前は付けられません。", RenameRefusalText("..", E_INVALIDARG));
    EXPECT_STREQ("「.」「..」や「/」を含む名前は付けられません。", RenameRefusalText("a/b", E_INVALIDARG));
    EXPECT_STREQ("この名前には使えない文字が含まれています。", RenameRefusalText("\xF0\x9F\x98\x80", E_INVALIDARG));
    for (const char* control : {"x\r\ny", "a\tb", "\x1B[0m", "a\x7F", "a\xC2\x85"})
        EXPECT_STREQ("改行やタブなどの制御文字を含む名前は付けられません。", RenameRefusalText(control, E_INVALIDARG))
            << control;
    EXPECT_STREQ("同じ名前のフォルダーかファイルがすでにあります。", RenameRefusalText("box", E_FILEEXISTS));
    EXPECT_STREQ("名前を変更できませんでした。", RenameRefusalText("box", E_ACCESSDENIED));
}

}  // namespace
