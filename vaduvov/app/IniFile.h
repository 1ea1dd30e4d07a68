// The controller's settings: its own settings file, and the keys of the
// drill program's "ruzozu.ini" and "ruzozu.dvk" that it reads and writes.
#pragma once

#include <string>
#include <vector>

struct TControllerSettings {
    // [Window]
    int Top = 0, Left = 0;
    int MeiboTop = 0, MeiboLeft = 0, MeiboHeight = 340;
    int ListTop = 0, ListLeft = 0;
    int ScoreTop = 0, ScoreLeft = 0;
    // [Data] and the drill program's files
    std::string ExeDir;       // the drill program's folder, ending in "/"; empty: not set
    std::string QuestionDir;  // the drill program's problem folder
    std::string ScoreDir;     // the score folder
    std::string AutoRunFile;  // the forced problem file
    bool FullScreen = false;
    bool ModeChange = false;
    bool Compulsion = false;  // forced-settings mode
    bool NormalMode = true, TestMode = false, RandomMode = false;
    int QuestionMode = 0;     // computed by GetSettings only
    int MeiboDirIndex = 0;    // 0 the drill program's folder, 1 the score folder
    std::string MeiboDir;     // the roster folder
    int ListInterval = 5, ScoreInterval = 5;
    // Why a settings file was refused on reading (see TIniFile::Error);
    // its values are the defaults then.
    std::vector<std::string> ReadErrors;
};

// The state of the drill program's folder.
enum class TDrillFolder { Valid, NotSet, Missing, NoProgram };

TDrillFolder CheckDrillFolder(const std::string& exeDir);
// The message for a bad folder, when reading (at start) or writing.
const std::string& DrillFolderMessage(TDrillFolder state, bool writing);

// Reads the own settings file; ownFolder (ending in "/") is the default
// drill program folder.  Then reads the drill keys; returns the folder's
// state (the caller reports a bad one).
TDrillFolder ReadIniFile(TControllerSettings& s, const std::string& ownIniPath, const std::string& ownFolder);
TDrillFolder ReadDrillSettings(TControllerSettings& s);
// Writes the own settings file, then, when the drill folder is valid, the
// drill keys ("ruzozu.dvk" is created when missing).  A failed write ends
// that file's writing and the next file follows; the files not written
// whole are added to failedFiles.  Returns the folder's state.
TDrillFolder WriteIniFile(const TControllerSettings& s, const std::string& ownIniPath,
                          std::vector<std::string>* failedFiles = nullptr);

// What the main window's setting controls hold.
struct TSettingsControls {
    std::string ExeDirEdit, QuestionEdit, ScoreEdit, AutoRunEdit;
    bool FullCheck = false, ModeCheck = false, CompulsionCheck = false;
    bool NormalCheck = true, TestCheck = false, RandomCheck = false;
    int MeiboDirBtn = 0;
};

TSettingsControls ShowSettings(const TControllerSettings& s);
// Collects the controls; returns whether the roster button is enabled.
bool GetSettings(TControllerSettings& s, const TSettingsControls& c);
