// The numeric display patterns of the grid's text columns.
#pragma once

#include <string>

// Formats a number with a numeric display pattern: digit placeholders "0"
// and "#", ".", "," (thousands), "E+"/"E-"/"e+"/"e-" exponents, quoted
// literals and up to three ";" sections (positive; negative; zero).
// False on a pattern that cannot be applied (unclosed quote).
bool FormatFloatPattern(const std::string& pattern, double value, std::string& out);
// Reads text as a number ("." decimal point, blanks around allowed) and
// formats it; false when the text is no number or the pattern fails.
bool FormatNumeric(const std::string& pattern, const std::string& text, std::string& out);
