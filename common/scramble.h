// The reversible byte shift that hides roster passwords.
#pragma once

#include <string>

// Mode "encode" or "decode" (exact words); any other mode word returns the
// text unchanged.  decode(encode(x)) == x for every byte string.
std::string Scramble(const std::string& text, const std::string& mode);
