// The roster: its parser, the roster editor's loading of it and the text
// pasted into the editor.  The pure parser is called, never the locked
// update with its pauses between tries.
#include "fuzz_support.h"

#include "meibo_model.h"
#include "roster.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes = fuzz::Bytes(data, size);
    std::vector<RosterEntry> entries;
    std::string message;
    const bool read = ParseRoster(bytes, entries, message);
    FUZZ_CHECK(read ? message.empty() : entries.empty() && !message.empty());
    FUZZ_CHECK(entries.size() <= kMaxRosterLearners);
    // What is written of what was read reads as the same number of learners
    // (or, should its names look like UTF-8 that Shift-JIS cannot hold, is
    // refused with a message: never read as fewer learners).
    const std::string again = FormatRoster(entries);
    std::vector<RosterEntry> back;
    FUZZ_CHECK(ParseRoster(again, back, message) ? back.size() == entries.size() : !message.empty());

    TMeiboGrid grid;
    grid.LoadMeibo(fuzz::WriteInput("ruzozu.mib", data, size));
    grid.Paste(PasteLines(bytes), 1, static_cast<int>(size % 3));
    grid.Compact();
    return 0;
}
