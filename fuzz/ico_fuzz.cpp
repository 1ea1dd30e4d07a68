// Icon files as the drill program loads a picture: the directory, the
// one entry chosen, its bitmap and mask or its PNG.
#include "fuzz_support.h"
#include "picture_support.h"

#include "SPIBmp.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    StartQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QImage img;
    DecodeIco(fuzz::Bytes(data, size), img);
    return 0;
}
