#include "commatext.h"

namespace commatext {

namespace {

bool IsBlank(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 1 && u <= ' ';
}

// Reads a quoted field starting at the opening quote at i.  A doubled quote
// stands for one quote; the field ends at a lone quote or at the end of the
// text.  Double-byte characters are stepped over whole, so a trail byte
// never ends the field.
std::string ExtractQuoted(const std::string& s, size_t end, size_t& i) {
    std::string out;
    ++i;  // opening quote
    while (i < end) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '"') {
            if (i + 1 < end && s[i + 1] == '"') {
                out += '"';
                i += 2;
                continue;
            }
            ++i;  // closing quote
            return out;
        }
        out += static_cast<char>(c);
        ++i;
    }
    return out;
}

}  // namespace

std::vector<std::string> Split(const std::string& line, size_t maxFields) {
    std::vector<std::string> fields;
    size_t end = line.find('\0');
    if (end == std::string::npos) end = line.size();
    size_t i = 0;
    while (i < end && IsBlank(line[i])) ++i;
    while (i < end && fields.size() < maxFields) {
        if (line[i] == '"') {
            fields.push_back(ExtractQuoted(line, end, i));
        } else {
            size_t start = i;
            while (i < end && static_cast<unsigned char>(line[i]) > ' ' && line[i] != ',') ++i;
            fields.emplace_back(line, start, i - start);
        }
        while (i < end && IsBlank(line[i])) ++i;
        if (i < end && line[i] == ',') {
            do {
                ++i;
            } while (i < end && IsBlank(line[i]));
        }
    }
    return fields;
}

std::string JoinQuoted(const std::vector<std::string>& fields) {
    std::string out;
    for (size_t k = 0; k < fields.size(); ++k) {
        if (k) out += ',';
        out += '"';
        out += fields[k];
        out += '"';
    }
    return out;
}

}  // namespace commatext
