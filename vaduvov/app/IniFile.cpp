#include "IniFile.h"

#include "ini_text.h"
#include "modeboxes.h"
#include "sjis.h"
#include "textfile.h"

#include <utility>

namespace {

// Section and key names, in Shift-JIS.
struct Names {
    std::string MeiboTop = sjis::L("名簿Top"), MeiboLeft = sjis::L("名簿Left"),
                MeiboHeight = sjis::L("名簿Height"), ListTop = sjis::L("リストTop"),
                ListLeft = sjis::L("リストLeft"), ScoreTop = sjis::L("成績Top"),
                ScoreLeft = sjis::L("成績Left"), ExeDir = sjis::L("Ruzozu実行Dir"),
                AutoRun = sjis::L("自動実行File"), Compulsion = sjis::L("強制設定"),
                MeiboDir = sjis::L("名簿Dir"), ListInterval = sjis::L("一覧更新秒数"),
                ScoreInterval = sjis::L("成績更新秒数"), FullScreen = sjis::L("フルスクリーン"),
                ModeChange = sjis::L("出題モード変更"), ProblemFolder = sjis::L("問題フォルダー"),
                AutoMode = sjis::L("出題モード"), AutoProblem = sjis::L("問題");
};

const Names& N() {
    static const Names n;
    return n;
}

// The drill program's executable, beside its settings files.
const char* const kDrillProgram = "ruzozu";

}  // namespace

TDrillFolder CheckDrillFolder(const std::string& exeDir) {
    if (exeDir.empty()) return TDrillFolder::NotSet;
    if (!textfile::DirectoryExists(exeDir)) return TDrillFolder::Missing;
    if (!textfile::FileExists(exeDir + kDrillProgram)) return TDrillFolder::NoProgram;
    return TDrillFolder::Valid;
}

const std::string& DrillFolderMessage(TDrillFolder state, bool writing) {
    static const std::string r1 = sjis::L("まず、Ruzozu実行ファイルの存在するフォルダーを指定してください。");
    static const std::string r2 = sjis::L(
        "        現在指定しているフォルダーは存在しません。\r\rRuzozu実行ファイルの存在するフォルダーを指定してください。");
    static const std::string r3 = sjis::L(
        "現在指定しているフォルダー内に、Ruzozu実行ファイルが存在しません。\r\r  "
        "Ruzozu実行ファイルの存在するフォルダーを指定してください。");
    static const std::string w1 =
        sjis::L("                  次回、実行時には、\r\rRuzozu実行ファイルの存在するフォルダーを指定してください。");
    static const std::string w2 = sjis::L(
        "      現在指定しているフォルダーは存在しません。\r\r                 次回、実行時には、\r\r"
        "Ruzozu実行ファイルの存在するフォルダーを指定してください。");
    static const std::string w3 = sjis::L(
        "現在しているフォルダー内に、Ruzozu実行ファイルが存在しません。\r\r                  次回、実行時には、\r\r  "
        "Ruzozu実行ファイルの存在するフォルダーを指定してください。");
    static const std::string none;
    switch (state) {
        case TDrillFolder::NotSet: return writing ? w1 : r1;
        case TDrillFolder::Missing: return writing ? w2 : r2;
        case TDrillFolder::NoProgram: return writing ? w3 : r3;
        default: return none;
    }
}

TDrillFolder ReadIniFile(TControllerSettings& s, const std::string& ownIniPath, const std::string& ownFolder) {
    const Names& n = N();
    TIniFile ini(ownIniPath);
    s.ReadErrors.clear();
    if (!ini.Error().empty()) s.ReadErrors.push_back(ini.Error());
    s.Top = ini.ReadInteger("Window", "Top", 0);
    s.Left = ini.ReadInteger("Window", "Left", 0);
    s.MeiboTop = ini.ReadInteger("Window", n.MeiboTop, 0);
    s.MeiboLeft = ini.ReadInteger("Window", n.MeiboLeft, 0);
    s.MeiboHeight = ini.ReadInteger("Window", n.MeiboHeight, 340);
    s.ListTop = ini.ReadInteger("Window", n.ListTop, 0);
    s.ListLeft = ini.ReadInteger("Window", n.ListLeft, 0);
    s.ScoreTop = ini.ReadInteger("Window", n.ScoreTop, 0);
    s.ScoreLeft = ini.ReadInteger("Window", n.ScoreLeft, 0);
    s.ExeDir = ini.ReadString("Data", n.ExeDir, ownFolder);
    s.AutoRunFile = ini.ReadString("Data", n.AutoRun, "");
    s.Compulsion = ini.ReadBool("Data", n.Compulsion, false);
    s.NormalMode = ini.ReadBool("Data", "NormalMode", true);
    s.TestMode = ini.ReadBool("Data", "TestMode", false);
    s.RandomMode = ini.ReadBool("Data", "RandomMode", false);
    s.MeiboDirIndex = ini.ReadInteger("Data", n.MeiboDir, 0);
    // Only the two places exist; anything else falls back to the first.
    if (s.MeiboDirIndex != 0 && s.MeiboDirIndex != 1) s.MeiboDirIndex = 0;
    s.ListInterval = ini.ReadInteger("Data", n.ListInterval, 5);
    s.ScoreInterval = ini.ReadInteger("Data", n.ScoreInterval, 5);
    return ReadDrillSettings(s);
}

TDrillFolder ReadDrillSettings(TControllerSettings& s) {
    TDrillFolder state = CheckDrillFolder(s.ExeDir);
    if (state != TDrillFolder::Valid) return state;
    const Names& n = N();
    TIniFile ini(s.ExeDir + "ruzozu.ini");
    if (!ini.Error().empty()) s.ReadErrors.push_back(ini.Error());
    s.FullScreen = ini.ReadBool("Option", n.FullScreen, true);
    s.ModeChange = ini.ReadBool("Option", n.ModeChange, false);
    s.QuestionDir = ini.ReadString(n.ProblemFolder, "Folder", "");
    TIniFile dvk(s.ExeDir + "ruzozu.dvk");
    if (!dvk.Error().empty()) s.ReadErrors.push_back(dvk.Error());
    s.ScoreDir = dvk.ReadString("Data", "Folder", "");
    s.MeiboDir = dvk.ReadString("Data", n.MeiboDir, s.ExeDir);
    return state;
}

TDrillFolder WriteIniFile(const TControllerSettings& s, const std::string& ownIniPath,
                          std::vector<std::string>* failedFiles) {
    const Names& n = N();
    auto note = [failedFiles](bool written, const std::string& path) {
        if (!written && failedFiles) failedFiles->push_back(path);
    };
    {
        // A failed write ends this file's writing; the drill files follow.
        TIniFile ini(ownIniPath);
        note(ini.WriteInteger("Window", "Top", s.Top) && ini.WriteInteger("Window", "Left", s.Left) &&
               ini.WriteInteger("Window", n.MeiboTop, s.MeiboTop) &&
               ini.WriteInteger("Window", n.MeiboLeft, s.MeiboLeft) &&
               ini.WriteInteger("Window", n.MeiboHeight, s.MeiboHeight) &&
               ini.WriteInteger("Window", n.ListTop, s.ListTop) &&
               ini.WriteInteger("Window", n.ListLeft, s.ListLeft) &&
               ini.WriteInteger("Window", n.ScoreTop, s.ScoreTop) &&
               ini.WriteInteger("Window", n.ScoreLeft, s.ScoreLeft) &&
               ini.WriteString("Data", n.ExeDir, s.ExeDir) && ini.WriteString("Data", n.AutoRun, s.AutoRunFile) &&
               ini.WriteBool("Data", n.Compulsion, s.Compulsion) &&
               ini.WriteBool("Data", "NormalMode", s.NormalMode) && ini.WriteBool("Data", "TestMode", s.TestMode) &&
               ini.WriteBool("Data", "RandomMode", s.RandomMode) &&
               ini.WriteInteger("Data", n.MeiboDir, s.MeiboDirIndex) &&
               ini.WriteInteger("Data", n.ListInterval, s.ListInterval) &&
               ini.WriteInteger("Data", n.ScoreInterval, s.ScoreInterval), ownIniPath);
    }
    TDrillFolder state = CheckDrillFolder(s.ExeDir);
    if (state != TDrillFolder::Valid) return state;
    {
        TIniFile ini(s.ExeDir + "ruzozu.ini");
        note(ini.WriteBool("Option", n.FullScreen, s.FullScreen) &&
                 ini.WriteBool("Option", n.ModeChange, s.ModeChange) &&
                 ini.WriteString(n.ProblemFolder, "Folder", s.QuestionDir),
             s.ExeDir + "ruzozu.ini");
    }
    {
        TIniFile dvk(s.ExeDir + "ruzozu.dvk");
        note(dvk.WriteString("Data", "Folder", s.ScoreDir) && dvk.WriteString("Data", n.MeiboDir, s.MeiboDir) &&
                 dvk.WriteInteger("Auto", n.AutoMode, s.QuestionMode) &&
                 dvk.WriteString("Auto", n.AutoProblem, s.Compulsion ? s.AutoRunFile : std::string()),
             s.ExeDir + "ruzozu.dvk");
    }
    return state;
}


namespace {

// The folder boxes and the checks that show a setting as it is.
const std::pair<std::string TControllerSettings::*, std::string TSettingsControls::*> kFolderBoxes[] = {
    {&TControllerSettings::ExeDir, &TSettingsControls::ExeDirEdit},
    {&TControllerSettings::QuestionDir, &TSettingsControls::QuestionEdit},
    {&TControllerSettings::ScoreDir, &TSettingsControls::ScoreEdit},
};
const std::pair<bool TControllerSettings::*, bool TSettingsControls::*> kChecks[] = {
    {&TControllerSettings::FullScreen, &TSettingsControls::FullCheck},
    {&TControllerSettings::ModeChange, &TSettingsControls::ModeCheck},
    {&TControllerSettings::Compulsion, &TSettingsControls::CompulsionCheck},
};

std::string CollectFolder(const std::string& text) {
    if (!textfile::DirectoryExists(text)) return std::string();
    return text.back() == '/' ? text : text + "/";
}

}  // namespace

TSettingsControls ShowSettings(const TControllerSettings& s) {
    TSettingsControls c;
    for (const auto& [setting, box] : kFolderBoxes) c.*box = s.*setting;
    c.AutoRunEdit = s.AutoRunFile;
    for (const auto& [setting, check] : kChecks) c.*check = s.*setting;
    // The boxes are set one after the other, each as a click: the mode
    // rule applies on the way.
    TModeBoxes b;
    b.NormalClicked(s.NormalMode);
    b.TestClicked(s.TestMode);
    b.RandomClicked(s.RandomMode);
    c.NormalCheck = b.Normal;
    c.TestCheck = b.Test;
    c.RandomCheck = b.Random;
    c.MeiboDirBtn = s.MeiboDirIndex;
    return c;
}

bool GetSettings(TControllerSettings& s, const TSettingsControls& c) {
    for (const auto& [setting, box] : kFolderBoxes) s.*setting = CollectFolder(c.*box);
    s.AutoRunFile = c.AutoRunEdit;
    for (const auto& [setting, check] : kChecks) s.*setting = c.*check;
    TModeBoxes b;
    s.NormalMode = b.Normal = c.NormalCheck;
    s.TestMode = b.Test = c.TestCheck;
    s.RandomMode = b.Random = c.RandomCheck;
    s.QuestionMode = b.ChosenMode();
    if (s.QuestionMode == 0) s.NormalMode = true;
    s.MeiboDirIndex = c.MeiboDirBtn == 1 ? 1 : 0;
    s.MeiboDir = s.MeiboDirIndex == 0 ? s.ExeDir : s.ScoreDir;
    return textfile::DirectoryExists(s.ExeDir);
}
