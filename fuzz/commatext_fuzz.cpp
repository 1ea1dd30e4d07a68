// Comma-text lines (roster, results and CSV files).
#include "fuzz_support.h"

#include "commatext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> fields = commatext::Split(fuzz::Bytes(data, size));
    // Joined again, fields without quotes, commas or blanks read back alike.
    commatext::JoinQuoted(fields);
    return 0;
}
