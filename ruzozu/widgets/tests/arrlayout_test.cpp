#include "ArrLayout.h"

#include "sjis.h"

#include <gtest/gtest.h>
#include <set>

TEST(ArrayLayout, CascadeFromTheDesignPosition) {
    // An array at (21, 48) without elements starts 15 right of and 30 above it.
    auto p = CascadePositions(21 + 15, 48 - 30, 3, 75, 25, 631, 429);
    EXPECT_EQ(p, (std::vector<TArrPoint>{{51, 48}, {66, 78}, {81, 108}}));
    // Past the client height the next one restarts at top 30; past the width, at left 15.
    auto q = CascadePositions(100, 380, 2, 75, 25, 200, 429);
    EXPECT_EQ(q[0], (TArrPoint{115, 30}));
    auto r = CascadePositions(120, 0, 1, 75, 25, 200, 429);
    EXPECT_EQ(r[0], (TArrPoint{15, 30}));
}

TEST(ArrayLayout, NamesSkipTakenOnesAndRefusalText) {
    std::set<std::string> taken = {"AnsBtn_1"};
    auto isTaken = [&](const std::string& n) { return taken.count(n) > 0; };
    std::string first = ElementName("AnsBtn", 1, isTaken);
    EXPECT_EQ(first, "AnsBtn_2");
    taken.insert(first);
    EXPECT_EQ(ElementName("AnsBtn", 2, isTaken), "AnsBtn_3");
    EXPECT_EQ(sjis::ToUtf8(RefusalMessage("QPushButton")), "QPushButton オブジェクトは受け入れられません");
}
