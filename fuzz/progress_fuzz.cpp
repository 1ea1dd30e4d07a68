// The progress file: resuming the sample problem from it.
#include "fuzz_support.h"
#include "null_view.h"

#include "textfile.h"

namespace {
std::string g_problem;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string bytes;
    if (!textfile::ReadFileBytes(RUZOZU_SAMPLE_PROBLEM, bytes)) std::abort();
    g_problem = fuzz::Folder() + "sample.qzb";
    fuzz::WriteFile(g_problem, bytes.data(), bytes.size());
    textfile::CreateDir(fuzz::Folder() + "score");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string score = fuzz::Folder() + "score/";
    fuzz::WriteFile(score + "sample.sc", data, size);
    NullView view;
    TDrillEngine e(view);
    e.SetRandomSeed(1);
    e.Settings.ScoreFolder = score;
    e.UserScoreFolder = score;
    e.ComputerName = "PC01";
    e.LoadProblemFile(g_problem);
    DriveEngine(e, view, 20);
    return 0;
}
