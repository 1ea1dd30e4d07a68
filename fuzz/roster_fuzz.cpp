// The roster: its parser, the roster editor's loading of it and the text
// pasted into the editor.  The pure parser is called, never the locked
// update with its pauses between tries.
#include "fuzz_support.h"

#include "meibo_model.h"
#include "roster.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes = fuzz::Bytes(data, size);
    const std::vector<RosterEntry> entries = ParseRoster(bytes);
    FUZZ_CHECK(!entries.empty());
    // What is written of what was read reads as the same number of learners.
    const std::string again = FormatRoster(entries);
    FUZZ_CHECK(ParseRoster(again).size() == entries.size());

    TMeiboGrid grid;
    grid.LoadMeibo(fuzz::WriteInput("ruzozu.mib", data, size));
    grid.Paste(PasteLines(bytes), 1, static_cast<int>(size % 3));
    grid.Compact();
    return 0;
}
