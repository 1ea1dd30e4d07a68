#include "options.h"

#include <gtest/gtest.h>

TEST(ModeDialog, CheckBoxRulesAndChosenMode) {
    TModeBoxes b = TModeBoxes::FromChosenMode(2);
    EXPECT_FALSE(b.Normal);
    EXPECT_FALSE(b.Test);
    EXPECT_TRUE(b.Random);
    b.RandomClicked(false);  // clearing random with test clear checks normal
    EXPECT_TRUE(b.Normal);
    EXPECT_EQ(b.ChosenMode(), 0);

    b = TModeBoxes::FromChosenMode(2);
    b.TestClicked(true);
    EXPECT_EQ(b.ChosenMode(), 3);
    b.NormalClicked(true);
    EXPECT_EQ(b.ChosenMode(), 0);
    EXPECT_FALSE(b.Test || b.Random);
    b.NormalClicked(false);  // all three may be clear
    EXPECT_FALSE(b.Normal || b.Test || b.Random);
    EXPECT_EQ(TModeBoxes::FromChosenMode(7).ChosenMode(), 3);
    EXPECT_EQ(TModeBoxes::FromChosenMode(1).ChosenMode(), 1);
}

namespace {
bool Exists(const std::string& f) { return f == "/srv/Problems/"; }
}  // namespace

TEST(SettingsDialog, HistoryAndTypedFolders) {
    TKankyoModel m({"a", "", "b", "c", "d"});
    EXPECT_EQ(m.List.size(), 4u);
    m.AddFolder("e");
    m.AddFolder("f");
    m.AddFolder("e");
    EXPECT_EQ(m.History(), (std::array<std::string, 5>{"b", "c", "d", "e", "f"}));
    // A folder not typed is not tested; a typed one must exist and keeps its case.
    EXPECT_TRUE(m.Accept("/nowhere/", Exists));
    m.FolderTyped = true;
    EXPECT_FALSE(m.Accept("/nowhere/", Exists));
    EXPECT_FALSE(m.Accept("/srv/problems/", Exists));
    EXPECT_TRUE(m.Accept("/srv/Problems/", Exists));
    EXPECT_EQ(m.List.back(), "/srv/Problems/");
}
