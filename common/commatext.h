// Comma-text records: the roster, results and CSV files.
#pragma once

#include <string>
#include <vector>

namespace commatext {

// Splits one line into fields.  A field ends at a comma or at any byte at
// or below the space outside quotes; a double-quoted field may hold ""
// for a quote; blanks around fields are skipped; a NUL byte ends the line.
// At most maxFields fields are made; the rest of the line is not looked at.
std::vector<std::string> Split(const std::string& line, size_t maxFields = size_t(-1));

// Joins fields, each in double quotes, with commas.  Nothing is escaped:
// this is the form every reader of our files expects.
std::string JoinQuoted(const std::vector<std::string>& fields);

}  // namespace commatext
