#include "scramble.h"

std::string Scramble(const std::string& text, const std::string& mode) {
    unsigned k;
    if (mode == "encode")
        k = 0xA7;
    else if (mode == "decode")
        k = 0x59;
    else
        return text;
    std::string out = text;
    for (char& c : out) c = static_cast<char>((static_cast<unsigned char>(c) + 256u - k) & 0xFFu);
    return out;
}
