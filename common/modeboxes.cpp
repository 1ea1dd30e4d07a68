#include "modeboxes.h"

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
