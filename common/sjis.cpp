#include "sjis.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <vector>

namespace sjis {

namespace {

// Runs iconv over the whole input.  With strict set, any unconvertible
// input fails; otherwise each bad input byte becomes `replacement`.
bool Convert(const char* to, const char* from, const std::string& in, std::string& out,
             bool strict, const std::string& replacement) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.clear();
    std::vector<char> buf(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    bool ok = true;
    while (srcLeft > 0) {
        char* dst = buf.data();
        size_t dstLeft = buf.size();
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf.data(), buf.size() - dstLeft);
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            if (strict) { ok = false; break; }
            // EILSEQ or EINVAL: skip one byte and mark it.
            out += replacement;
            ++src;
            --srcLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    if (!ok) out.clear();
    return ok;
}

}  // namespace

std::string ToUtf8(const std::string& sjisText) {
    std::string out;
    Convert("UTF-8", "CP932", sjisText, out, false, "\xEF\xBF\xBD");
    return out;
}

bool FromUtf8(const std::string& utf8Text, std::string& out) {
    return Convert("CP932", "UTF-8", utf8Text, out, true, std::string());
}

std::string L(const char* utf8Literal) {
    std::string out;
    if (!FromUtf8(utf8Literal, out)) {
        std::fprintf(stderr, "no Shift-JIS form for literal: %s\n", utf8Literal);
        std::abort();
    }
    return out;
}

std::string LowerAscii(const std::string& s) {
    std::string r = s;
    for (size_t i = 0; i < r.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(r[i]);
        if (IsLeadByte(c)) {
            ++i;  // the trail byte stays as it is
        } else if (c >= 'A' && c <= 'Z') {
            r[i] = static_cast<char>(c + ('a' - 'A'));
        }
    }
    return r;
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

std::string CutBytes(const std::string& s, size_t n, bool keepWhole) {
    if (s.size() <= n) return s;
    if (!keepWhole) return s.substr(0, n);
    size_t i = 0;
    while (i < n) {
        size_t w = IsLeadByte(static_cast<unsigned char>(s[i])) ? 2 : 1;
        if (i + w > n) break;
        i += w;
    }
    return s.substr(0, i);
}

}  // namespace sjis
