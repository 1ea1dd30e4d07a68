// The drill program's utility routines: the display mode and where the
// window goes in each screen mode, long paths, the computer's name, a
// registry default value and opening a document.  Plain C++: the window
// applies what these compute.
#pragma once

#include "displaymode.h"
#include "registry.h"

#include <functional>
#include <string>

// Shows a message to the learner; SetDisplayMode reports through it.
using TShowMessage = std::function<void(const std::string&)>;

// Makes the first display mode of this size and depth the current one;
// without one, reports that the machine does not support it and leaves
// the display as it was.
void SetDisplayMode(TDisplay& display, int width, int height, int bitsPerPixel, const TShowMessage& show);

struct TSavedScreen {
    int Width = 0;
    int Height = 0;
    int BitsPerPixel = 0;
};

// Where the main window goes for a screen mode.
struct TWindowPlacement {
    bool FullScreen = false;  // maximised over the whole screen, no border
    int Left = 0, Top = 0;    // normal mode: a single-bordered window
    int Width = 0, Height = 0;
};

// Applies the screen mode to the display and works out the window's
// place; the caller then places the window and the gauge.
TWindowPlacement ApplyScreenMode(bool fullScreen, TDisplay& display, const TSavedScreen& saved,
                                 const TShowMessage& show);

// Where a 640 x 480 display's picture goes on a bigger (or smaller) screen:
// scaled uniformly to the largest size that fits, centred, the rest black.
struct TFittedArea {
    double Scale = 1;
    int Left = 0, Top = 0;
    int Width = 0, Height = 0;
};
TFittedArea FitDisplayArea(int screenWidth, int screenHeight, int areaWidth = 640, int areaHeight = 480);

// The gauge panel's place over the status bar.
struct TPoint {
    int X = 0, Y = 0;
};
TPoint ProgressBarPlace(int statusBarTop);

// The path with every part spelt as stored on disk (the case of a name
// found without regard to case becomes that of the stored name); a folder
// part gets a closing "/", a part not found is kept and gets one too.  A
// path ending in "/" comes back without it; a relative path stays relative.
std::string ExpandLongPath(const std::string& path);

// This computer's short host name.
std::string GetComputerNameText();

// The default value of a registry key; false, with value unchanged, when
// the key does not exist.
bool ReadRegistryDefault(THKey root, const std::string& subKey, std::string& value);

// How a document is opened through the desktop, and how a program is
// started from a command line; both return whether it started.  The
// desktop's opener is xdg-open, waited for (kOpenerWaitMs at most) so that
// its exit status says whether the document really opened; one still at
// work when the wait ends has started it.
inline constexpr int kOpenerWaitMs = 3000;
extern std::function<bool(const std::string& path)> ShellOpenDocument;
extern std::function<bool(const std::vector<std::string>& argv)> StartProgram;

// Opens a document through the desktop; failing that, with the program the
// registry names for web pages, the path given as one argument.
bool OpenDocument(const std::string& path);

// A command line split into its arguments: blanks separate them, double
// quotes group blanks into one and are dropped.
std::vector<std::string> SplitCommandLine(const std::string& command);

// The folder for this user's private files of the session (the single-
// instance socket): runtimeDir (XDG_RUNTIME_DIR) when it is a folder of
// uid that no other account may enter, else "<tmp>/ruzozu-<uid>", made
// so; empty when neither is such a folder (a name another account took).
std::string PrivateRuntimeFolder(const std::string& runtimeDir, unsigned uid, const std::string& tmp = "/tmp");
// A real folder (not a link), owned by uid, closed to group and others.
bool IsPrivateFolder(const std::string& path, unsigned uid);

// What a program line's file is: an executable program (an ELF file or a
// script starting "#!", with the execute bit) is run; any other file is a
// document, opened through the desktop whatever its mode bits (shares and
// vfat mark every file executable).
bool IsExecutableProgram(const std::string& path);
