// The progress file: resuming a problem from it, the sample problem or one
// with sections, feedback and sub-blocks (chosen by the input's length).
#include "fuzz_support.h"
#include "null_view.h"

#include "textfile.h"

namespace {
const char kSections[] =
    "~T1\r\ntitle\r\n/\r\na\r\nq1\r\n@hint\r\nh\r\n@/\r\n@mess\r\nm\r\n@/\r\n/\r\nb\r\nq2\r\n/fb\r\n"
    "&e\r\nexplain\r\n/\r\n~T2\r\nt2\r\n/\r\nbtns 2 x;y;z\r\nq3\r\npng pic 1 2 3\r\n/fb\r\n"
    "*c\r\n/\r\nc;d\r\nq4\r\n/\r\n";
std::string g_problems[2];
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string bytes;
    if (!textfile::ReadFileBytes(RUZOZU_SAMPLE_PROBLEM, bytes)) std::abort();
    g_problems[0] = fuzz::Folder() + "sample.qzb";
    fuzz::WriteFile(g_problems[0], bytes.data(), bytes.size());
    g_problems[1] = fuzz::Folder() + "sections.qzb";
    fuzz::WriteFile(g_problems[1], kSections, sizeof kSections - 1);
    textfile::CreateDir(fuzz::Folder() + "score");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string score = fuzz::Folder() + "score/";
    const std::string& problem = g_problems[size % 2];
    const std::string base = textfile::ExtractFileName(problem);
    fuzz::WriteFile(score + base.substr(0, base.size() - 4) + ".sc", data, size);
    NullView view;
    TDrillEngine e(view);
    e.SetRandomSeed(1);
    e.Settings.ScoreFolder = score;
    e.UserScoreFolder = score;
    e.ComputerName = "PC01";
    e.LoadProblemFile(problem);
    DriveEngine(e, view, 20);
    return 0;
}
