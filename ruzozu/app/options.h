// The rules of the question-mode and settings dialogs, without widgets.
#pragma once

#include <array>
#include <string>
#include <vector>

// The three check boxes of the question-mode dialog.
struct TModeBoxes {
    bool Normal = true;
    bool Test = false;
    bool Random = false;

    // The boxes for a question mode (0 normal, 1 test, 2 random, 3 both).
    static TModeBoxes FromChosenMode(int mode);
    // A box was checked or cleared by the learner; the others follow.
    void NormalClicked(bool checked);
    void TestClicked(bool checked);
    void RandomClicked(bool checked);
    int ChosenMode() const;
};

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
