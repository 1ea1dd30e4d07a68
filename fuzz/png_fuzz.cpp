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
}

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
    TSPIBitmap bmp;
    bmp.SPI = g_plugin.get();
    try {
        bmp.LoadFromBytes(fuzz::Bytes(data, size), "picture.png");
    } catch (const EInvalidGraphic&) {
    }
    return 0;
}
