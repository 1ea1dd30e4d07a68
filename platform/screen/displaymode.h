// Display modes in the shape the drill program asks for them: numbered
// modes to enumerate and one to change to.  No mode of the real display is
// ever switched; the display offers its own size and every common smaller
// size at its own colour depth, and a change only records the mode that
// the window then lays itself out for (a smaller mode is shown centred on
// the real screen).
#pragma once

#include <vector>

struct TDevMode {
    int Width = 0;
    int Height = 0;
    int BitsPerPixel = 0;
    int Frequency = 60;
};

class TDisplay {
public:
    // The real screen: its size and colour depth.
    TDisplay(int width, int height, int bitsPerPixel);

    // Mode number n; false when there is no such mode (ends an enumeration).
    bool EnumDisplaySettings(int n, TDevMode& mode) const;
    // Makes mode the current one; false when the display does not offer it.
    bool ChangeDisplaySettings(const TDevMode& mode);
    const TDevMode& Current() const { return Current_; }
    // The real screen's mode.
    const TDevMode& Native() const { return Native_; }
    // Number of changes made, for tests.
    int Changes() const { return Changes_; }

private:
    TDevMode Native_;
    TDevMode Current_;
    std::vector<TDevMode> Modes;
    int Changes_ = 0;
};
