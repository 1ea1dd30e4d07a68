// The three question-mode check boxes (normal, test, random) of the drill
// program's mode dialog and of the controller's forced-settings group, and
// the question mode they stand for: 0 normal, 1 test, 2 random, 3 both.
#pragma once

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

