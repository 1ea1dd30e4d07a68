// Reading the drill computers' results files from the score folder.
#pragma once

#include "input_limits.h"

#include <array>
#include <ctime>
#include <string>
#include <vector>

// One results file, as read.
struct TScoreRecord {
    std::string Computer;
    std::string UserID;
    std::string UserName;
    bool Test = false;
    bool Random = false;
    std::string Problem;
    int Maximum = 0;
    int Correct = 0;
    int Wrong = 0;
    int Done = 0;
    bool Normal = true;
    bool Marked = false;  // a ".stp" marker stood beside it: not read
};

// The files in folder (ending in "/") whose names end in ext (".dat"),
// as full paths, in the order the file system gives them.  An empty folder
// value lists nothing.
std::vector<std::string> GetFileList(const std::string& folder, const std::string& ext);

// Deletes the files of folder ending in ext that were last written 12 hours
// or more before now.  Failures are ignored.
void DeleteOldFiles(const std::string& folder, const std::string& ext, std::time_t now);

// A results file is read no further than its first kMaxResultsHeadBytes
// bytes, and a longer field is cut at kMaxResultsFieldBytes.
inline constexpr size_t kMaxResultsHeadBytes = input_limits::kMaxResultsHeadBytes;
inline constexpr size_t kMaxResultsFieldBytes = input_limits::kMaxResultsFieldBytes;

// Reads one results file.  Each call starts from an empty record, so a
// file that cannot be read whole shows only the fields before the first
// one missing.  A file with a
// ".stp" marker beside it is not read (Marked is set).
TScoreRecord ReadScoreFile(const std::string& path);

// A results file's computer: its name without folder and last extension.
std::string ComputerName(const std::string& path);

// Every results file (".dat") of the score folder, read, in file-name order
// (the order of TextOrder, gridsort.h); what both the client list and the score table
// show.  A file with a marker beside it is listed unread (Marked), with
// only its Computer.  An empty folder value lists nothing.
std::vector<TScoreRecord> ReadScoreFolder(const std::string& scoreFolder);

// The value of a decimal integer text; 0 for any other text.
int DecimalValue(const std::string& text);

// Trunc(correct x 100 / maximum + 0.5); "0" for no questions.
std::string Percentage(int correct, int maximum);

// The rows of the client list, one per record: Computer, User Name, 問題,
// Normal, Test, Random, 実施No., 最大数, %.  A marked file's row shows
// only its computer.
std::vector<std::array<std::string, 9>> ClientListRows(const std::vector<TScoreRecord>& records);
