#include "roster.h"

#include "commatext.h"
#include "scramble.h"
#include "textfile.h"

std::vector<RosterEntry> ParseRoster(const std::string& bytes) {
    std::vector<RosterEntry> entries;
    std::vector<std::string> lines = textfile::SplitRecordLines(bytes);
    if (lines.empty()) lines.emplace_back();
    for (const auto& line : lines) {
        std::vector<std::string> f = commatext::Split(line);
        f.resize(3);
        entries.push_back({f[0], f[1], Scramble(f[2], "decode")});
    }
    return entries;
}

bool ReadRoster(const std::string& path, std::vector<RosterEntry>& entries) {
    std::string bytes;
    entries.clear();
    if (!textfile::ReadFileBytes(path, bytes)) return false;
    entries = ParseRoster(bytes);
    return true;
}

std::string FormatRosterLine(const RosterEntry& e) {
    return commatext::JoinQuoted({e.id, e.name, Scramble(e.password, "encode")});
}

std::string FormatRoster(const std::vector<RosterEntry>& entries) {
    std::string out;
    for (const auto& e : entries) {
        out += FormatRosterLine(e);
        out += "\r\n";
    }
    return out;
}
