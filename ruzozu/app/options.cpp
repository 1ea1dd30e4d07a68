#include "options.h"

#include <algorithm>

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
