// The controller's reader of the drill computers' results files.
#include "fuzz_support.h"

#include "func.h"
#include "gridsort.h"
#include "textfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string folder = fuzz::Folder() + "score/";
    textfile::CreateDir(folder);
    const std::string path = folder + "PC01.dat";
    fuzz::WriteFile(path, data, size);
    const TScoreRecord r = ReadScoreFile(path);
    FUZZ_CHECK(!r.Marked && r.Computer == "PC01");
    Percentage(r.Correct, r.Maximum);
    const std::vector<TScoreRecord> all = ReadScoreFolder(folder);
    ClientListRows(all);
    ScoreTableRows(all);
    return 0;
}
