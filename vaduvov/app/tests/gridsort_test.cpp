#include "gridsort.h"

#include "func.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TGridRows Grid(std::vector<std::pair<std::string, std::string>> data) {
    TGridRows rows = {{"Name", "Value"}};
    for (auto& d : data) rows.push_back({d.first, d.second});
    return rows;
}

std::vector<std::string> Column(const TGridRows& rows, int col) {
    std::vector<std::string> out;
    for (size_t r = 1; r < rows.size(); ++r) out.push_back(rows[r][col]);
    return out;
}

using V = std::vector<std::string>;

}  // namespace

TEST(GridSort, TextIgnoresCaseAndKeepsTheBlankLastRow) {
    TGridRows g = Grid({{"bob", "1"}, {"Alice", "2"}, {"carol", "3"}, {"", ""}});
    SortGridStr(g, 1, 0, 1);
    EXPECT_EQ(Column(g, 0), (V{"Alice", "bob", "carol", ""}));
    SortGridStr(g, 1, 0, 2);
    EXPECT_EQ(Column(g, 0), (V{"carol", "bob", "Alice", ""}));
    EXPECT_EQ(g[0][0], "Name");  // the title row stays
    TGridRows text = Grid({{"a", "3/10"}, {"b", "10/10"}});
    SortGridStr(text, 1, 1, 1);
    EXPECT_EQ(Column(text, 1), (V{"10/10", "3/10"}));
    TGridRows blank = Grid({{"", "x"}});
    SortGridStr(blank, 1, 1, 2);
    EXPECT_EQ(Column(blank, 1), V{"x"});
}

TEST(GridSort, TextFollowsTheOrderSetAndDistrustsABrokenOne) {
    struct TBack {
        ~TBack() { SetTextOrder(nullptr); }  // whatever fails below
    } back;
    // An order of its own (here: by the second byte) is followed, for the
    // grid and for whatever else sorts by text.
    SetTextOrder([](const std::vector<std::string>& texts) {
        std::vector<size_t> order(texts.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return texts[a].substr(1) < texts[b].substr(1); });
        return order;
    });
    TGridRows g = Grid({{"xc", "1"}, {"ya", "2"}, {"zb", "3"}, {"", ""}});
    SortGridStr(g, 1, 0, 1);
    EXPECT_EQ(Column(g, 0), (V{"ya", "zb", "xc", ""}));
    EXPECT_EQ(Column(g, 1), (V{"2", "3", "1", ""}));  // the rows go with their keys
    SortGridStr(g, 1, 0, 2);
    EXPECT_EQ(Column(g, 0), (V{"xc", "zb", "ya", ""}));
    // An order that loses or repeats a position is not taken: no row is
    // lost or doubled, the bytes decide.
    SetTextOrder([](const std::vector<std::string>& texts) { return std::vector<size_t>(texts.size(), 0); });
    SortGridStr(g, 1, 0, 1);
    EXPECT_EQ(Column(g, 0), (V{"xc", "ya", "zb", ""}));
    SetTextOrder([](const std::vector<std::string>&) { return std::vector<size_t>{7}; });
    EXPECT_EQ(TextOrder({"B", "a"}), (std::vector<size_t>{1, 0}));
    SetTextOrder(nullptr);
    EXPECT_EQ(TextOrder({"b", "A", "a"}), (std::vector<size_t>{1, 2, 0}));
}

TEST(GridSort, NumbersWithShellSort) {
    TGridRows g = Grid({{"a", "50"}, {"b", "x"}, {"c", "100"}, {"d", "50"}, {"e", "7"}});
    SortGridNum(g, 1, 1, 1);
    EXPECT_EQ(Column(g, 1), (V{"x", "7", "50", "50", "100"}));
    EXPECT_EQ(Column(g, 0)[2], "a");  // equal values are never exchanged
    SortGridNum(g, 1, 1, 2);
    EXPECT_EQ(Column(g, 1), (V{"100", "50", "50", "7", "x"}));
    EXPECT_EQ(Column(g, 0)[1], "d");  // descending is the exact reverse
    TGridRows same = g;
    SortGridNum(same, 1, 1, 0);
    EXPECT_EQ(same, g);
}

TEST(ScoreTable, ClickCycleAndBars) {
    TScoreSort s;
    EXPECT_EQ(s.State[5], 2);
    EXPECT_EQ(s.Click(1), 1);
    EXPECT_EQ(s.State[1], 1);
    EXPECT_EQ(s.State[5], 0);
    s.Click(1);
    EXPECT_EQ(s.State[1], 2);
    s.Click(1);
    EXPECT_EQ(s.State[1], 1);
    EXPECT_EQ(s.Click(-1), -1);
    for (int st : s.State) EXPECT_EQ(st, 0);
    EXPECT_EQ(BarLength("100", 90), 90);
    EXPECT_EQ(BarLength("0", 90), 0);
    EXPECT_EQ(BarLength("50", 91), 46);
    EXPECT_EQ(BarLength("x", 90), 0);
    EXPECT_EQ(BarLength("250", 90), 90);  // a damaged value stays in its cell
    EXPECT_EQ(BarLength("-5", 90), 0);
    // A damaged file (Correct 21474836 of Maximum 1) gives a percentage
    // near the int limit: the bar fills its cell.
    TScoreRecord damaged;
    damaged.Correct = 21474836;
    damaged.Maximum = 1;
    const std::string p = ScoreTableRows({damaged})[0][5];
    EXPECT_EQ(p, "2147483600");
    EXPECT_EQ(BarLength(p, 90), 90);
    EXPECT_EQ(BarLength(p, 200), 200);  // p x avail / 100 beyond an int
    EXPECT_EQ(BarLength("2147483647", 2147483647), 2147483647);
    EXPECT_EQ(BarLength("-2147483647", 90), 0);
    EXPECT_EQ(BarLength("1", 49), 0);  // 0.49 rounds down, 0.5 up
    EXPECT_EQ(BarLength("1", 50), 1);
}

TEST(ScoreTable, RowsFromTheRecords) {
    TScoreRecord read;
    read.Computer = "PC1";
    read.UserID = "A1";
    read.UserName = "n";
    read.Problem = "p";
    read.Maximum = 8;
    read.Correct = 1;
    read.Done = 3;
    TScoreRecord marked;
    marked.Computer = "PC2";
    marked.Marked = true;
    marked.UserID = "stale";  // a marked file's data is never shown
    const TGridRows rows = ScoreTableRows({read, marked});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (V{"PC1", "A1", "n", "p", "3/8", "13"}));
    EXPECT_EQ(rows[1], (V{"PC2", "", "", "", "", ""}));
    EXPECT_TRUE(ScoreTableRows({}).empty());
}
