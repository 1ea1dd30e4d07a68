#include "options.h"

#include <algorithm>

TModeBoxes TModeBoxes::FromChosenMode(int mode) {
    TModeBoxes b;
    if (mode == 0) return b;
    b.NormalClicked(false);
    if (mode == 1) {
        b.TestClicked(true);
    } else if (mode == 2) {
        b.RandomClicked(true);
    } else {
        b.TestClicked(true);
        b.RandomClicked(true);
    }
    return b;
}

void TModeBoxes::NormalClicked(bool checked) {
    Normal = checked;
    if (checked) Test = Random = false;
}

void TModeBoxes::TestClicked(bool checked) {
    Test = checked;
    if (checked) Normal = false;
    else if (!Random) Normal = true;
}

void TModeBoxes::RandomClicked(bool checked) {
    Random = checked;
    if (checked) Normal = false;
    else if (!Test) Normal = true;
}

int TModeBoxes::ChosenMode() const {
    if (Test && Random) return 3;
    if (Test) return 1;
    if (Random) return 2;
    return 0;
}

TKankyoModel::TKankyoModel(const std::array<std::string, 5>& history) {
    for (const auto& h : history)
        if (!h.empty()) List.push_back(h);
}

void TKankyoModel::AddFolder(const std::string& folder) {
    if (std::find(List.begin(), List.end(), folder) == List.end()) List.push_back(folder);
}

std::array<std::string, 5> TKankyoModel::History() const {
    std::array<std::string, 5> h;
    size_t first = List.size() > 5 ? List.size() - 5 : 0;
    for (size_t i = first; i < List.size(); ++i) h[i - first] = List[i];
    return h;
}

bool TKankyoModel::Accept(const std::string& folder, bool (*exists)(const std::string&)) {
    if (!FolderTyped) return true;
    if (!exists(folder)) return false;
    AddFolder(folder);
    return true;
}
