// Splitting text files into lines, and finding a file that a problem
// names with Windows folder separators.
#include "fuzz_support.h"

#include "textfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string s = fuzz::Bytes(data, size);
    const std::vector<std::string> lines = textfile::SplitLines(s);
    for (const auto& l : lines) FUZZ_CHECK(l.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
    const std::vector<std::string> records = textfile::SplitRecordLines(s);
    for (const auto& l : records) FUZZ_CHECK(l.find_first_of("\r\x1A") == std::string::npos);
    textfile::JoinLines(records);
    // A name of at most one line, looked up in the folder of this process.
    const std::string name = lines.empty() ? std::string() : lines.front();
    textfile::ResolveName(fuzz::Folder(), name);
    textfile::ExtractFilePath(name);
    textfile::ExtractFileName(name);
    return 0;
}
