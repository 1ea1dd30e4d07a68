#include "gridsort.h"

#include "func.h"
#include "sjis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

std::vector<size_t> ByteOrder(const std::vector<std::string>& texts) {
    // Each text lowered once, not at every comparison.
    std::vector<std::string> lowered;
    lowered.reserve(texts.size());
    for (const std::string& t : texts) lowered.push_back(sjis::LowerAscii(t));
    std::vector<size_t> order(texts.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return lowered[a] < lowered[b]; });
    return order;
}

TTextOrder& CurrentOrder() {
    static TTextOrder order = ByteOrder;
    return order;
}

// The data rows [first, last) that take part in a sort.
bool DataRange(const TGridRows& rows, int fixedRows, size_t& first, size_t& last) {
    first = static_cast<size_t>(std::max(fixedRows, 0));
    last = rows.size();
    if (last > first && (rows.back().empty() || rows.back()[0].empty())) --last;
    return last > first;
}

template <typename Order>
void SortRows(TGridRows& rows, int fixedRows, int dir, Order order) {
    size_t first, last;
    if (dir == 0 || !DataRange(rows, fixedRows, first, last)) return;
    TGridRows data(rows.begin() + first, rows.begin() + last);
    order(data);
    if (dir == 2) std::reverse(data.begin(), data.end());
    std::copy(data.begin(), data.end(), rows.begin() + first);
}

std::string Cell(const std::vector<std::string>& row, int col) {
    return col >= 0 && static_cast<size_t>(col) < row.size() ? row[col] : std::string();
}

}  // namespace

void SetTextOrder(TTextOrder order) { CurrentOrder() = order ? std::move(order) : TTextOrder(ByteOrder); }

std::vector<size_t> TextOrder(const std::vector<std::string>& texts) {
    std::vector<size_t> order = CurrentOrder()(texts);
    // An order that is not a permutation of the positions is not trusted.
    std::vector<bool> seen(texts.size());
    bool whole = order.size() == texts.size();
    for (size_t i = 0; whole && i < order.size(); ++i) {
        whole = order[i] < texts.size() && !seen[order[i]];
        if (whole) seen[order[i]] = true;
    }
    return whole ? order : ByteOrder(texts);
}

void SortGridStr(TGridRows& rows, int fixedRows, int col, int dir) {
    SortRows(rows, fixedRows, dir, [col](TGridRows& data) {
        std::vector<std::string> keys;
        keys.reserve(data.size());
        for (const auto& row : data) keys.push_back(Cell(row, col));
        TGridRows sorted;
        sorted.reserve(data.size());
        for (size_t i : TextOrder(keys)) sorted.push_back(std::move(data[i]));
        data = std::move(sorted);
    });
}

void SortGridNum(TGridRows& rows, int fixedRows, int col, int dir) {
    SortRows(rows, fixedRows, dir, [col](TGridRows& data) {
        const int n = static_cast<int>(data.size());
        for (int gap = n / 2; gap > 0; gap /= 2)
            for (int i = 0; i <= n - gap - 1; ++i)
                for (int j = i; j >= 0 && DecimalValue(Cell(data[j + gap], col)) < DecimalValue(Cell(data[j], col)); j -= gap)
                    std::swap(data[j], data[j + gap]);
    });
}

TGridRows ScoreTableRows(const std::vector<TScoreRecord>& records) {
    TGridRows rows;
    rows.reserve(records.size());
    for (const TScoreRecord& r : records) {
        if (r.Marked) {
            rows.push_back({r.Computer, "", "", "", "", ""});
            continue;
        }
        rows.push_back({r.Computer, r.UserID, r.UserName, r.Problem,
                        std::to_string(r.Done) + "/" + std::to_string(r.Maximum),
                        Percentage(r.Correct, r.Maximum)});
    }
    return rows;
}

int TScoreSort::Click(int col) {
    if (col < 0 || col >= 6) {
        State.fill(0);
        return -1;
    }
    for (int c = 0; c < 6; ++c) State[c] = c == col ? (State[c] == 1 ? 2 : 1) : 0;
    return col;
}

void TScoreSort::SortColumn(TGridRows& rows, int col, int dir) {
    if (col == 5)
        SortGridNum(rows, 1, col, dir);
    else
        SortGridStr(rows, 1, col, dir);
}

void TScoreSort::Apply(TGridRows& rows) const {
    for (int c = 0; c < 6; ++c)
        if (State[c]) SortColumn(rows, c, State[c]);
}

int BarLength(const std::string& percentText, int avail) {
    // Trunc(p x avail / 100 + 0.5) in 64 bits, where any int percentage
    // times any int width fits, kept within 0..avail.
    const int64_t p = DecimalValue(percentText);
    if (p <= 0 || avail <= 0) return 0;
    const int64_t len = (p * avail + 50) / 100;
    return static_cast<int>(std::min<int64_t>(len, avail));
}
