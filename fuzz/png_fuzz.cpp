// PNG pictures through the import plug-in "ifpng.spi", as the drill
// program loads them: the plug-in decodes, the host checks what it hands
// back and builds the picture.
#include "fuzz_support.h"
#include "picture_support.h"

#include "SPIBmp.h"
#include "SPIs.h"

#include <memory>

namespace {
std::unique_ptr<TSPI> g_plugin;

uint32_t Crc32(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

// Gives every whole chunk its right check sum, so that changed sizes and
// fields reach the decoder instead of failing the check.
void MendChecksums(std::string& png) {
    size_t at = 8;
    while (at + 12 <= png.size()) {
        const auto* p = reinterpret_cast<const uint8_t*>(png.data()) + at;
        const uint64_t len = uint64_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
        if (len > png.size() - at - 12) break;
        const uint32_t crc = Crc32(p + 4, static_cast<size_t>(len) + 4);
        for (int k = 0; k < 4; ++k) png[at + 8 + len + k] = static_cast<char>(crc >> (24 - 8 * k));
        at += 12 + len;
    }
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    StartQt(argc, argv);
    g_plugin = CreateSPI(RUZOZU_PNG_PLUGIN);
    if (!g_plugin || g_plugin->Kind() != TSPIKind::In) {
        std::fprintf(stderr, "cannot load %s\n", RUZOZU_PNG_PLUGIN);
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string png = fuzz::Bytes(data, size);
    MendChecksums(png);
    TSPIBitmap bmp;
    bmp.SPI = g_plugin.get();
    try {
        bmp.LoadFromBytes(png, "picture.png");
    } catch (const EInvalidGraphic&) {
    }
    return 0;
}
