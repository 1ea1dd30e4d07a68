#include "IniFile.h"

#include "commatext.h"
#include "ini_text.h"
#include "messages.h"
#include "sjis.h"
#include "textfile.h"

void ReadSettings(TDrillSettings& s, const std::string& exeFolder, const std::string& exeName) {
    TIniFile ini(exeFolder + exeName + ".ini");
    s.ReadErrors.clear();
    if (!ini.Error().empty()) s.ReadErrors.push_back(ini.Error());
    s.ProblemFolder = ini.ReadString(msg::SectionProblemFolder(), "Folder", "");
    s.FullScreen = ini.ReadBool("Option", msg::KeyFullScreen(), true);
    s.AllowModeChange = ini.ReadBool("Option", msg::KeyModeChange(), false);
    for (int i = 0; i < 5; ++i)
        s.FolderHistory[i] = ini.ReadString("Option", "Folder" + std::to_string(i + 1), "");

    const std::string dvk = exeFolder + exeName + ".dvk";
    s.NetworkMode = textfile::FileExists(dvk);
    if (s.NetworkMode) {
        TIniFile shared(dvk);
        if (!shared.Error().empty()) s.ReadErrors.push_back(shared.Error());
        s.ScoreFolder = shared.ReadString("Data", "Folder", "");
        s.RosterFolder = shared.ReadString("Data", msg::KeyRosterDir(), exeFolder);
        s.AutoMode = shared.ReadInteger("Auto", msg::KeyAutoMode(), 0);
        s.AutoProblem = shared.ReadString("Auto", msg::KeyAutoProblem(), "");
        // -1 is "nothing forced" here as everywhere; any other mode outside
        // 0..3 forces nothing sensible, so it is taken as normal.
        if (s.AutoMode < -1 || s.AutoMode > 3) s.AutoMode = 0;
        if (s.AutoProblem.empty()) s.AutoMode = -1;
    } else {
        s.ScoreFolder = exeFolder + msg::YourScore() + "/";
        s.RosterFolder = exeFolder;
        s.AutoMode = -1;
        s.AutoProblem.clear();
    }
}

std::vector<std::string> WriteSettings(const TDrillSettings& s, const std::string& exeFolder,
                                       const std::string& exeName) {
    std::vector<std::string> failed;
    {
        // A failed write ends this file's writing; the shared file follows.
        const std::string path = exeFolder + exeName + ".ini";
        TIniFile ini(path);
        bool ok = ini.WriteString(msg::SectionProblemFolder(), "Folder", s.ProblemFolder) &&
                  ini.WriteBool("Option", msg::KeyFullScreen(), s.FullScreen) &&
                  ini.WriteBool("Option", msg::KeyModeChange(), s.AllowModeChange);
        for (int i = 0; ok && i < 5; ++i)
            ok = ini.WriteString("Option", "Folder" + std::to_string(i + 1), s.FolderHistory[i]);
        if (!ok) failed.push_back(path);
    }
    if (s.NetworkMode) {
        const std::string path = exeFolder + exeName + ".dvk";
        TIniFile shared(path);
        if (!shared.WriteString("Data", "Folder", s.ScoreFolder)) failed.push_back(path);
    }
    return failed;
}


std::string ResultFilePath(const std::string& scoreFolder, const std::string& computerName) {
    return scoreFolder + computerName + ".dat";
}

std::string ResultMarkerPath(const std::string& scoreFolder, const std::string& computerName) {
    return scoreFolder + computerName + ".stp";
}

std::string FormatResultLines(const TResultHeader& h, bool withStep, int questionIndex,
                              int correctCount, int mistakeCount) {
    std::string out;
    auto line = [&out](std::initializer_list<std::string> fields) {
        out += commatext::JoinQuoted(fields);
        out += "\r\n";
    };
    line({h.UserID, h.UserName});
    line({h.IsTest ? msg::Maru() : msg::Batu(), h.IsRandom ? msg::Maru() : msg::Batu()});
    line({h.BaseName, std::to_string(h.QuestionCount)});
    if (withStep)
        line({std::to_string(questionIndex), std::to_string(correctCount), std::to_string(mistakeCount)});
    return out;
}

void WriteResultHeader(const TResultHeader& h, const std::string& ComputerName) {
    // The results file is rewritten at every step and only ever shows the
    // latest one: it is not worth a flush to the disk.
    textfile::WriteFileAtomic(ResultFilePath(h.ScoreFolder, ComputerName),
                              FormatResultLines(h, false, 0, 0, 0), textfile::TFlush::NoSync);
}

bool WriteResult(const TResultHeader& h, const std::string& ComputerName, int QuestionIndex,
                 int CorrectCount, int MistakeCount) {
    const std::string marker = ResultMarkerPath(h.ScoreFolder, ComputerName);
    bool ok = textfile::WriteFileAtomic(ResultFilePath(h.ScoreFolder, ComputerName),
                                        FormatResultLines(h, true, QuestionIndex, CorrectCount,
                                                          MistakeCount),
                                        textfile::TFlush::NoSync);
    if (ok) ok = textfile::DeleteFile(marker);
    if (!ok) textfile::WriteFileAtomic(marker, "", textfile::TFlush::NoSync);
    return ok;
}

void DeleteResultFiles(const std::string& scoreFolder, const std::string& ComputerName) {
    textfile::DeleteFile(ResultFilePath(scoreFolder, ComputerName));
    textfile::DeleteFile(ResultMarkerPath(scoreFolder, ComputerName));
}
