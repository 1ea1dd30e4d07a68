// Metafiles (".wmf" and ".emf") as the drill program draws a picture.
#include "fuzz_support.h"
#include "picture_support.h"

#include "metafile.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    StartQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QImage out;
    DecodeMetafileHere(data, size, out);  // the drawing itself, without the helper process
    return 0;
}
