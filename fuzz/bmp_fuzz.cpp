// Bitmap files as the drill program loads a picture.
#include "fuzz_support.h"
#include "picture_support.h"

#include "SPIBmp.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    StartQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TSPIBitmap bmp;
    try {
        bmp.LoadFromBytes(fuzz::Bytes(data, size), "picture.bmp");
    } catch (const EInvalidGraphic&) {
    }
    return 0;
}
