#include "displaymode.h"

#include <cstddef>

namespace {
// Common sizes below the screen's own, smallest first.
const int kSizes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}, {1366, 768},
                         {1600, 900}, {1920, 1080}};
}

TDisplay::TDisplay(int width, int height, int bitsPerPixel) {
    Native_.Width = width;
    Native_.Height = height;
    Native_.BitsPerPixel = bitsPerPixel;
    Current_ = Native_;
    for (const auto& s : kSizes) {
        if (s[0] > width || s[1] > height || (s[0] == width && s[1] == height)) continue;
        TDevMode m = Native_;
        m.Width = s[0];
        m.Height = s[1];
        Modes.push_back(m);
    }
    Modes.push_back(Native_);
}

bool TDisplay::EnumDisplaySettings(int n, TDevMode& mode) const {
    if (n < 0 || n >= static_cast<int>(Modes.size())) return false;
    mode = Modes[static_cast<std::size_t>(n)];
    return true;
}

bool TDisplay::ChangeDisplaySettings(const TDevMode& mode) {
    for (const TDevMode& m : Modes) {
        if (m.Width == mode.Width && m.Height == mode.Height && m.BitsPerPixel == mode.BitsPerPixel) {
            Current_ = m;
            ++Changes_;
            return true;
        }
    }
    return false;
}
