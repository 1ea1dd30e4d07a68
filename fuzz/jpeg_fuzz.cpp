// The JPEG decoder.
#include "fuzz_support.h"
#include "picture_support.h"

#include "SPIBmp.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    StartQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QImage img;
    if (DecodeJpeg(fuzz::Bytes(data, size), img)) FUZZ_CHECK(!img.isNull());
    return 0;
}
