#include "sjis.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <vector>

namespace sjis {

namespace {

// Runs iconv over the whole input.  With strict set, any unconvertible
// input fails; otherwise each bad input byte becomes `replacement`.
bool Convert(const char* to, const char* from, const std::string& in, std::string& out,
             bool strict, const std::string& replacement, size_t* failedAt = nullptr) {
    // ASCII reads the same in Shift-JIS (code page 932) and UTF-8: most
    // names and numbers need no converter at all.
    if (std::all_of(in.begin(), in.end(), [](char c) { return (c & 0x80) == 0; })) {
        out = in;
        return true;
    }
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.clear();
    // A bounded buffer: a huge input is converted block by block.
    std::vector<char> buf(std::min<size_t>(in.size() * 4 + 16, 65536));
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
            if (strict) {
                if (failedAt) *failedAt = static_cast<size_t>(src - in.data());
                ok = false;
                break;
            }
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

namespace {

// One double-byte code through Unicode and back; 0 when either way fails
// or the way back is not one double-byte character.
uint16_t RoundTrip(iconv_t toUtf8, iconv_t toSjis, uint16_t code) {
    char in[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    char mid[8], back[8];
    char* src = in;
    char* dst = mid;
    size_t srcLeft = 2, dstLeft = sizeof mid;
    iconv(toUtf8, nullptr, nullptr, nullptr, nullptr);
    if (iconv(toUtf8, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0) return 0;
    size_t midLen = sizeof mid - dstLeft;
    src = mid;
    srcLeft = midLen;
    dst = back;
    dstLeft = sizeof back;
    iconv(toSjis, nullptr, nullptr, nullptr, nullptr);
    if (iconv(toSjis, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0) return 0;
    if (sizeof back - dstLeft != 2) return 0;
    return static_cast<uint16_t>(static_cast<unsigned char>(back[0]) << 8 | static_cast<unsigned char>(back[1]));
}

// For every double-byte code, the code its character comes back as from
// Unicode (the code itself when it has no other).  Built once.
const std::vector<uint16_t>& UnifiedCodes() {
    static const std::vector<uint16_t> table = [] {
        std::vector<uint16_t> t(0x10000);
        for (uint32_t c = 0; c < t.size(); ++c) t[c] = static_cast<uint16_t>(c);
        iconv_t toUtf8 = iconv_open("UTF-8", "CP932");
        iconv_t toSjis = iconv_open("CP932", "UTF-8");
        if (toUtf8 != reinterpret_cast<iconv_t>(-1) && toSjis != reinterpret_cast<iconv_t>(-1)) {
            for (uint32_t lead = 0x81; lead <= 0xFC; ++lead) {
                if (!IsLeadByte(static_cast<unsigned char>(lead))) continue;
                for (uint32_t trail = 0x40; trail <= 0xFC; ++trail) {
                    const uint16_t code = static_cast<uint16_t>(lead << 8 | trail);
                    if (uint16_t back = RoundTrip(toUtf8, toSjis, code)) t[code] = back;
                }
            }
        }
        if (toUtf8 != reinterpret_cast<iconv_t>(-1)) iconv_close(toUtf8);
        if (toSjis != reinterpret_cast<iconv_t>(-1)) iconv_close(toSjis);
        return t;
    }();
    return table;
}

}  // namespace

std::string UnifyDuplicateCodes(const std::string& s) {
    const std::vector<uint16_t>& table = UnifiedCodes();
    std::string r = s;
    for (size_t i = 0; i + 1 < r.size(); ++i) {
        const unsigned char lead = static_cast<unsigned char>(r[i]);
        if (!IsLeadByte(lead)) continue;
        const uint16_t code = table[lead << 8 | static_cast<unsigned char>(r[i + 1])];
        r[i] = static_cast<char>(code >> 8);
        r[i + 1] = static_cast<char>(code & 0xFF);
        ++i;
    }
    return r;
}

bool IsUtf8BeyondAscii(const std::string& text) {
    // Two-byte sequences alone are no evidence: pairs of half-width kana in
    // Shift-JIS look just like them.
    bool wide = false;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t n = 0;
        unsigned int cp = 0, least = 0;
        if (c >= 0xC2 && c <= 0xDF) n = 1, cp = c & 0x1F, least = 0x80;
        else if (c >= 0xE0 && c <= 0xEF) n = 2, cp = c & 0x0F, least = 0x800;
        else if (c >= 0xF0 && c <= 0xF4) n = 3, cp = c & 0x07, least = 0x10000;
        else return false;
        if (i + n >= text.size()) return false;
        for (size_t k = 1; k <= n; ++k) {
            const unsigned char t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (n >= 2) wide = true;
        i += n + 1;
    }
    return wide;
}

bool IsShiftJis(const std::string& text) {
    bool wide = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80 || (c >= 0xA1 && c <= 0xDF)) continue;
        if (!IsLeadByte(c) || i + 1 == text.size()) return false;
        const unsigned char t = static_cast<unsigned char>(text[++i]);
        if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
        wide = true;
    }
    // The shape holds; every double-byte code must also name a character.
    std::string ignored;
    return !wide || Convert("UTF-8", "CP932", text, ignored, true, std::string());
}

bool LooksUtf16(const std::string& bytes) {
    const auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    return bytes.size() >= 2 && ((at(0) == 0xFF && at(1) == 0xFE) || (at(0) == 0xFE && at(1) == 0xFF) ||
                                 ((at(0) == 0) != (at(1) == 0)));
}

TOutsideText DecodeOutsideText(std::string& bytes, const std::function<bool(const std::string&)>& looksUtf8) {
    TOutsideText r;
    if (LooksUtf16(bytes)) {
        r.Status = TOutsideText::Utf16;
        return r;
    }
    const bool mark = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    if (mark) bytes.erase(0, 3);
    if (!mark && (!(looksUtf8 ? looksUtf8(bytes) : IsUtf8BeyondAscii(bytes)) || IsShiftJis(bytes))) return r;
    r.WasUtf8 = true;
    std::string out;
    size_t failedAt = 0;
    if (Convert("CP932", "UTF-8", bytes, out, true, std::string(), &failedAt)) {
        bytes.swap(out);
        return r;
    }
    // The line that holds the character: line ends are CR LF, CR or LF.
    size_t line = 1;
    for (size_t i = 0; i < failedAt && i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            ++line;
            if (i + 1 < failedAt && bytes[i + 1] == '\n') ++i;
        } else if (bytes[i] == '\n') {
            ++line;
        }
    }
    r.Status = TOutsideText::NoShiftJis;
    r.Line = line;
    bytes.clear();
    bytes.shrink_to_fit();
    return r;
}

std::string OutsideTextMessage(const TOutsideText& r, const std::string& file) {
    if (r.Status == TOutsideText::Utf16)
        return file + "\r\r" + L("このファイルは UTF-16 で保存されているため、読めません。") + "\r" +
               L("Shift-JIS か UTF-8 で保存し直してください。");
    if (r.Status == TOutsideText::NoShiftJis)
        return file + "\r\r" + L("このファイルの ") + std::to_string(r.Line) +
               L(" 行目に、Shift-JIS にない文字があります。") + "\r" + L("ファイルは読み込みませんでした。");
    return std::string();
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
