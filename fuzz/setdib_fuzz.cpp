// What an import plug-in hands back: a bitmap information block and its
// bits, each of any size.  The input is the information block's size (two
// bytes, little-endian), the block, then the bits.
#include "fuzz_support.h"
#include "picture_support.h"

#include "SPIBmp.h"

#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    StartQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    size_t infoSize = data[0] | (data[1] << 8);
    if (infoSize > size - 2) infoSize = size - 2;
    // Blocks of their own, so that reading past one is caught.
    const std::vector<uint8_t> info(data + 2, data + 2 + infoSize);
    const std::vector<uint8_t> bits(data + 2 + infoSize, data + size);
    TSPIBitmap bmp;
    try {
        bmp.SetDIB(info.empty() ? nullptr : info.data(), info.size(), bits.empty() ? nullptr : bits.data(),
                   bits.size());
        FUZZ_CHECK(!bmp.Image.isNull());
    } catch (const EInvalidGraphic&) {
    }
    return 0;
}
