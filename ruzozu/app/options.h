// The rules of the question-mode and settings dialogs, without widgets.
#pragma once

#include "modeboxes.h"

#include <array>
#include <string>
#include <vector>

// The settings dialog's folder list and its OK.
struct TKankyoModel {
    std::vector<std::string> List;  // the combo box's list
    bool FolderTyped = false;

    explicit TKankyoModel(const std::array<std::string, 5>& history);
    // Adds a folder to the list unless it is there.
    void AddFolder(const std::string& folder);
    // The last five folders of the list, oldest first, padded with empty ones.
    std::array<std::string, 5> History() const;
    // OK with the folder box's text: false when a typed folder does not
    // exist (the dialog then stays open).  Folder names keep their case.
    bool Accept(const std::string& folder, bool (*exists)(const std::string&));
};
