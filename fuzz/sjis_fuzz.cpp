// The Shift-JIS routines over any bytes.
#include "fuzz_support.h"

#include "sjis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string s = fuzz::Bytes(data, size);
    const std::string utf8 = sjis::ToUtf8(s);
    std::string back;
    if (sjis::FromUtf8(utf8, back)) sjis::ToUtf8(back);
    // The input taken as UTF-8 too.
    std::string out;
    if (sjis::FromUtf8(s, out)) FUZZ_CHECK(!out.empty() || s.empty());

    const std::string lower = sjis::LowerAscii(s);
    FUZZ_CHECK(lower.size() == s.size());
    FUZZ_CHECK(sjis::EqualsIgnoreCase(s, lower));
    const std::string trimmed = sjis::Trim(s);
    FUZZ_CHECK(s.find(trimmed) != std::string::npos);
    const size_t n = size ? data[0] % (size + 1) : 0;
    for (bool whole : {false, true}) {
        const std::string cut = sjis::CutBytes(s, n, whole);
        FUZZ_CHECK(cut.size() <= n && s.compare(0, cut.size(), cut) == 0);
    }
    return 0;
}
