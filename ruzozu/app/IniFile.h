// The drill program's settings ("ruzozu.ini", "ruzozu.dvk") and the
// per-computer results file that the controller reads.
#pragma once

#include <array>
#include <string>
#include <vector>

struct TDrillSettings {
    // "ruzozu.ini"
    std::string ProblemFolder;
    bool FullScreen = true;
    bool AllowModeChange = false;
    std::array<std::string, 5> FolderHistory;
    // "ruzozu.dvk"
    bool NetworkMode = false;
    std::string ScoreFolder;
    std::string RosterFolder;
    int AutoMode = -1;
    std::string AutoProblem;
    // Why a settings file was refused on reading (see TIniFile::Error);
    // its values are the defaults then.
    std::vector<std::string> ReadErrors;
};

// Reads both settings files from the program folder exeFolder (ending in
// "/"); exeName is the program file's name ("ruzozu").  Every call replaces
// all values.  Without the shared file the program is stand-alone: the
// score folder is "Your Score" beside the program and no problem is forced.
void ReadSettings(TDrillSettings& s, const std::string& exeFolder,
                  const std::string& exeName = "ruzozu");

// Writes the local settings and, in network mode, the score folder into the
// shared file.  Each file is written on its own; returns the files that
// could not be written (empty when all were), for the learner to be told.
std::vector<std::string> WriteSettings(const TDrillSettings& s, const std::string& exeFolder,
                                       const std::string& exeName = "ruzozu");

// What lines 1 to 3 of the results file say.
struct TResultHeader {
    std::string ScoreFolder;
    std::string UserID;
    std::string UserName;
    bool IsTest = false;
    bool IsRandom = false;
    std::string BaseName;
    int QuestionCount = 0;
};

std::string ResultFilePath(const std::string& scoreFolder, const std::string& computerName);
std::string ResultMarkerPath(const std::string& scoreFolder, const std::string& computerName);

// The bytes of the results file: three lines, or four with the step line.
std::string FormatResultLines(const TResultHeader& h, bool withStep, int questionIndex,
                              int correctCount, int mistakeCount);

// Rewrites the results file with lines 1 to 3; failures are swallowed and
// the marker is left as it is.
void WriteResultHeader(const TResultHeader& h, const std::string& ComputerName);

// Rewrites the results file with all four lines.  On success the ".stp"
// marker is removed; on any failure the marker is created (and the old
// results file stays whole).  Returns whether the write succeeded.
bool WriteResult(const TResultHeader& h, const std::string& ComputerName, int QuestionIndex,
                 int CorrectCount, int MistakeCount);

// Deletes the results file and its marker.
void DeleteResultFiles(const std::string& scoreFolder, const std::string& ComputerName);
