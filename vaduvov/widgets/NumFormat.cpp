#include "NumFormat.h"

#include "sjis.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace {

// A non-negative number as decimal digits: value = 0.digits * 10^intLen.
struct TDecimal {
    std::string Digits;  // no leading zeros; empty for zero
    int IntLen = 0;
};

TDecimal ToDecimal(double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific);
    std::string s(buf, res.ptr);
    // d.ddddde[+-]xx
    TDecimal d;
    size_t e = s.find('e');
    int exp = std::atoi(s.c_str() + e + 1);
    for (size_t i = 0; i < e; ++i)
        if (s[i] != '.') d.Digits += s[i];
    while (!d.Digits.empty() && d.Digits.back() == '0') d.Digits.pop_back();
    if (d.Digits.empty()) return {};
    d.IntLen = exp + 1;
    return d;
}

// Rounds to keep digits (half away from zero).
void RoundDigits(TDecimal& d, int keep) {
    if (keep < 0) {
        d = {};
        return;
    }
    if (static_cast<int>(d.Digits.size()) <= keep) return;
    bool up = d.Digits[keep] >= '5';
    d.Digits.resize(keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.Digits[i] == '9') d.Digits[i--] = '0';
        if (i < 0) {
            d.Digits.insert(d.Digits.begin(), '1');
            ++d.IntLen;
        } else {
            ++d.Digits[i];
        }
    }
    while (!d.Digits.empty() && d.Digits.back() == '0') d.Digits.pop_back();
    if (d.Digits.empty()) d.IntLen = 0;
}

// Splits a pattern into sections, keeping quotes; false on an open quote.
bool SplitSections(const std::string& pattern, std::vector<std::string>& out) {
    out.assign(1, std::string());
    char quote = 0;
    for (char c : pattern) {
        if (quote) {
            if (c == quote) quote = 0;
            out.back() += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            out.back() += c;
        } else if (c == ';') {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return quote == 0;
}

struct TSectionInfo {
    int IntPlaces = 0;    // placeholders before the point
    int IntForced = 0;    // from the first "0" before the point
    int DecPlaces = 0;    // placeholders after the point
    int DecForced = 0;    // up to the last "0" after the point
    bool Thousands = false;
    bool Scientific = false;
    int ExpDigits = 0;
};

TSectionInfo Analyse(const std::string& sec) {
    TSectionInfo info;
    bool afterPoint = false, seenZero = false;
    int intBeforeZero = 0;
    for (size_t i = 0; i < sec.size(); ++i) {
        char c = sec[i];
        if (c == '"' || c == '\'') {
            size_t j = sec.find(c, i + 1);
            i = j == std::string::npos ? sec.size() : j;
            continue;
        }
        if ((c == 'E' || c == 'e') && i + 1 < sec.size() && (sec[i + 1] == '+' || sec[i + 1] == '-')) {
            if (!info.Scientific) {
                info.Scientific = true;
                size_t j = i + 2;
                while (j < sec.size() && sec[j] == '0') ++j;
                info.ExpDigits = static_cast<int>(j - i - 2);
                i = j - 1;
            }
            continue;
        }
        if (c == '.') {
            afterPoint = true;
        } else if (c == ',') {
            if (!afterPoint) info.Thousands = true;
        } else if (c == '0' || c == '#') {
            if (afterPoint) {
                ++info.DecPlaces;
                if (c == '0') info.DecForced = info.DecPlaces;
            } else {
                ++info.IntPlaces;
                if (c == '0') seenZero = true;
                if (!seenZero) ++intBeforeZero;
            }
        }
    }
    info.IntForced = seenZero ? info.IntPlaces - intBeforeZero : 0;
    return info;
}

}  // namespace

bool FormatFloatPattern(const std::string& pattern, double value, std::string& out) {
    std::vector<std::string> secs;
    if (!SplitSections(pattern, secs) || std::isnan(value) || std::isinf(value)) return false;
    auto pick = [&](size_t i) -> size_t { return i < secs.size() && !secs[i].empty() ? i : 0; };
    size_t si = value < 0 ? pick(1) : value == 0 ? pick(2) : 0;
    TSectionInfo info = Analyse(secs[si]);
    TDecimal d = ToDecimal(value);
    int exponent = 0;
    if (info.Scientific) {
        int lead = std::max(1, info.IntPlaces);
        if (!d.Digits.empty()) {
            RoundDigits(d, lead + info.DecPlaces);
            exponent = d.IntLen - lead;
            d.IntLen = lead;
        }
    } else {
        RoundDigits(d, d.IntLen + info.DecPlaces);
    }
    if (d.Digits.empty() && value != 0 && si != 2 && secs.size() >= 3 && !secs[2].empty()) {
        si = 2;  // rounds to zero: the zero section
        info = Analyse(secs[si]);
    }
    // The integer and decimal digits.
    std::string intDigits, decDigits;
    for (int i = 0; i < d.IntLen; ++i) intDigits += i < static_cast<int>(d.Digits.size()) ? d.Digits[i] : '0';
    if (d.IntLen < 0)
        decDigits = std::string(-d.IntLen, '0') + d.Digits;
    else if (d.IntLen < static_cast<int>(d.Digits.size()))
        decDigits = d.Digits.substr(d.IntLen);
    if (static_cast<int>(decDigits.size()) > info.DecPlaces) decDigits.resize(info.DecPlaces);
    while (static_cast<int>(decDigits.size()) < info.DecForced) decDigits += '0';
    while (static_cast<int>(intDigits.size()) < info.IntForced) intDigits.insert(intDigits.begin(), '0');

    const std::string& sec = secs[si];
    std::string res;
    if (value < 0 && si == 0 && !d.Digits.empty()) res += '-';
    int n = static_cast<int>(intDigits.size());
    int intSeen = 0, decSeen = 0;
    bool afterPoint = false;
    auto emitInt = [&](int pos) {  // pos: digit position counted from the right, 1-based
        if (pos > n) return;
        res += intDigits[n - pos];
        if (info.Thousands && pos > 1 && (pos - 1) % 3 == 0) res += ',';
    };
    for (size_t i = 0; i < sec.size(); ++i) {
        char c = sec[i];
        if (c == '"' || c == '\'') {
            size_t j = sec.find(c, i + 1);
            res += sec.substr(i + 1, j - i - 1);
            i = j;
            continue;
        }
        if ((c == 'E' || c == 'e') && i + 1 < sec.size() && (sec[i + 1] == '+' || sec[i + 1] == '-') &&
            info.Scientific) {
            size_t j = i + 2;
            while (j < sec.size() && sec[j] == '0') ++j;
            res += c;
            if (exponent < 0)
                res += '-';
            else if (sec[i + 1] == '+')
                res += '+';
            std::string e = std::to_string(std::abs(exponent));
            while (static_cast<int>(e.size()) < static_cast<int>(j - i - 2)) e.insert(e.begin(), '0');
            res += e;
            i = j - 1;
            continue;
        }
        if (c == '0' || c == '#') {
            if (!afterPoint) {
                int pos = info.IntPlaces - intSeen;
                if (intSeen == 0)
                    for (int q = n; q > pos; --q) emitInt(q);  // digits beyond the placeholders
                emitInt(pos);
                ++intSeen;
            } else {
                if (decSeen < static_cast<int>(decDigits.size())) res += decDigits[decSeen];
                ++decSeen;
            }
        } else if (c == '.') {
            if (!afterPoint && !decDigits.empty()) res += '.';
            afterPoint = true;
        } else if (c == ',') {
            // thousands flag only
        } else {
            res += c;
        }
    }
    out = res;
    return true;
}

bool FormatNumeric(const std::string& pattern, const std::string& text, std::string& out) {
    std::string t = sjis::Trim(text);
    if (t.empty()) return false;
    // Sign, digits, point, digits, exponent: nothing else.
    size_t i = 0;
    if (t[i] == '+' || t[i] == '-') ++i;
    size_t digits = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        size_t ed = 0;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++ed;
        if (ed == 0) return false;
    }
    if (i != t.size()) return false;
    const char* b = t.c_str();
    if (*b == '+') ++b;
    double v = 0;
    auto res = std::from_chars(b, t.c_str() + t.size(), v);
    if (res.ec != std::errc() || res.ptr != t.c_str() + t.size()) return false;
    return FormatFloatPattern(pattern, v, out);
}
