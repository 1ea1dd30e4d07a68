// The problem file: opening it (the block index), working through it and
// resuming it.
#include "fuzz_support.h"
#include "null_view.h"

#include "textfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string score = fuzz::Folder() + "score/";
    textfile::CreateDir(score);
    const std::string path = fuzz::WriteInput("p.qzb", data, size);
    NullView view;
    TDrillEngine e(view);
    e.SetRandomSeed(static_cast<uint32_t>(size));
    e.Settings.ScoreFolder = score;
    e.UserScoreFolder = score;
    e.ComputerName = "PC01";
    // Normal, test, random and both, as the shared settings may force.
    e.Settings.AutoMode = static_cast<int>(size % 5) - 1;
    e.LoadProblemFile(path);
    DriveEngine(e, view, 40);
    // Opened again, the problem resumes from the progress just saved.
    NullView view2;
    TDrillEngine again(view2);
    again.SetRandomSeed(1);
    again.Settings = e.Settings;
    again.UserScoreFolder = score;
    again.ComputerName = "PC01";
    again.LoadProblemFile(path);
    DriveEngine(again, view2, 12);
    // Each input starts without progress of an earlier one.
    textfile::DeleteFile(score + "p.sc");
    return 0;
}
