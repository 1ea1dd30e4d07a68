#include "IniFile.h"

#include "ini_text.h"
#include "sjis.h"
#include "tempdir.h"
#include "textfile.h"

#include <gtest/gtest.h>

namespace {

// A drill program folder with its executable.
std::string DrillFolder(const TempDir& dir) {
    textfile::CreateDir(dir / "drill");
    textfile::WriteFileAtomic(dir / "drill/ruzozu", "");
    return dir / "drill/";
}

}  // namespace

TEST(ControllerSettings, DefaultsWithoutAnyFile) {
    TempDir dir;
    TControllerSettings s;
    EXPECT_EQ(ReadIniFile(s, dir / "vaduvov.ini", dir.path()), TDrillFolder::NoProgram);
    EXPECT_EQ(s.ExeDir, dir.path());
    EXPECT_EQ(s.Top, 0);
    EXPECT_EQ(s.MeiboHeight, 340);
    EXPECT_EQ(s.ListInterval, 5);
    EXPECT_TRUE(s.NormalMode);
    EXPECT_FALSE(s.TestMode);
    EXPECT_EQ(s.MeiboDirIndex, 0);
    EXPECT_FALSE(s.FullScreen);  // drill keys not read from a folder without the program
    EXPECT_EQ(sjis::ToUtf8(DrillFolderMessage(TDrillFolder::NoProgram, false)),
              "現在指定しているフォルダー内に、Ruzozu実行ファイルが存在しません。\r\r  "
              "Ruzozu実行ファイルの存在するフォルダーを指定してください。");
}

TEST(ControllerSettings, FolderChecks) {
    TempDir dir;
    EXPECT_EQ(CheckDrillFolder(""), TDrillFolder::NotSet);
    EXPECT_EQ(CheckDrillFolder(dir / "none/"), TDrillFolder::Missing);
    EXPECT_EQ(CheckDrillFolder(dir.path()), TDrillFolder::NoProgram);
    EXPECT_EQ(CheckDrillFolder(DrillFolder(dir)), TDrillFolder::Valid);
    EXPECT_EQ(sjis::ToUtf8(DrillFolderMessage(TDrillFolder::NotSet, true)),
              "                  次回、実行時には、\r\rRuzozu実行ファイルの存在するフォルダーを指定してください。");
}

TEST(ControllerSettings, WriteThenReadTheDrillFiles) {
    TempDir dir;
    std::string drill = DrillFolder(dir);
    textfile::CreateDir(dir / "score");
    textfile::CreateDir(dir / "q");
    // The drill program's own history must survive the controller's writes.
    textfile::WriteFileAtomic(drill + "ruzozu.ini", "[Option]\r\nFolder1=/x/\r\n");
    TControllerSettings s;
    TSettingsControls c;
    c.ExeDirEdit = drill.substr(0, drill.size() - 1);  // without the final "/"
    c.QuestionEdit = dir / "q";
    c.ScoreEdit = dir / "score";
    c.AutoRunEdit = "/p/a.qzb";
    c.FullCheck = true;
    c.CompulsionCheck = false;
    c.NormalCheck = false;
    c.TestCheck = true;
    c.RandomCheck = true;
    c.MeiboDirBtn = 1;
    EXPECT_TRUE(GetSettings(s, c));
    EXPECT_EQ(s.ExeDir, drill);
    EXPECT_EQ(s.QuestionMode, 3);
    EXPECT_EQ(s.MeiboDir, dir / "score/");
    EXPECT_EQ(WriteIniFile(s, dir / "vaduvov.ini"), TDrillFolder::Valid);

    TIniFile dvk(drill + "ruzozu.dvk");  // created: the drill program is in network mode
    EXPECT_EQ(dvk.ReadString("Data", "Folder", "?"), dir / "score/");
    EXPECT_EQ(dvk.ReadInteger("Auto", sjis::L("出題モード"), -1), 3);
    EXPECT_EQ(dvk.ReadString("Auto", sjis::L("問題"), "?"), "");  // forced mode off
    TIniFile ini(drill + "ruzozu.ini");
    EXPECT_EQ(ini.ReadString("Option", "Folder1", ""), "/x/");
    EXPECT_TRUE(ini.ReadBool("Option", sjis::L("フルスクリーン"), false));

    TControllerSettings back;
    EXPECT_EQ(ReadIniFile(back, dir / "vaduvov.ini", "/elsewhere/"), TDrillFolder::Valid);
    EXPECT_EQ(back.ExeDir, drill);
    EXPECT_EQ(back.QuestionDir, dir / "q/");
    EXPECT_EQ(back.MeiboDir, dir / "score/");
    EXPECT_TRUE(back.TestMode && back.RandomMode);
    EXPECT_EQ(back.MeiboDirIndex, 1);
}

TEST(ControllerSettings, CollectingRules) {
    TempDir dir;
    TControllerSettings s;
    TSettingsControls c;
    c.ExeDirEdit = dir / "missing";
    c.NormalCheck = c.TestCheck = c.RandomCheck = false;
    EXPECT_FALSE(GetSettings(s, c));  // the roster button is disabled
    EXPECT_EQ(s.ExeDir, "");
    EXPECT_EQ(s.QuestionMode, 0);
    EXPECT_TRUE(s.NormalMode);
    // A missing folder is written empty and reported as not set next time.
    EXPECT_EQ(WriteIniFile(s, dir / "vaduvov.ini"), TDrillFolder::NotSet);
    TControllerSettings back;
    EXPECT_EQ(ReadIniFile(back, dir / "vaduvov.ini", dir.path()), TDrillFolder::NotSet);
    EXPECT_EQ(back.ExeDir, "");
    // A roster place other than 0 or 1 falls back to the drill folder.
    TIniFile(dir / "vaduvov.ini").WriteInteger("Data", sjis::L("名簿Dir"), 7);
    ReadIniFile(back, dir / "vaduvov.ini", dir.path());
    EXPECT_EQ(back.MeiboDirIndex, 0);
    // Showing applies the box rule as the boxes are set one by one.
    TControllerSettings shown;
    shown.NormalMode = true;
    shown.TestMode = true;
    TSettingsControls sc = ShowSettings(shown);
    EXPECT_FALSE(sc.NormalCheck);
    EXPECT_TRUE(sc.TestCheck);
}
