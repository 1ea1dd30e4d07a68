/* The image plug-in interface as our host and plug-ins use it on 64-bit
 * Linux: shared objects named "*.spi" that export these C functions.
 * Memory blocks handed from a plug-in to the host are "local memory"
 * blocks made with SpiLocalAlloc; the host locks, measures, unlocks and
 * frees them.  Both sides use these inline functions, so one allocator
 * serves both. */
#ifndef RUZOZU_SPI_ABI_H
#define RUZOZU_SPI_ABI_H

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SPI_EXPORT __attribute__((visibility("default")))

/* The picture information record. */
typedef struct SpiPictureInfo {
    int32_t left, top;
    int32_t width, height;
    uint16_t x_density, y_density;
    int16_t colorDepth;
    void* hInfo; /* text information, a local memory block or NULL */
} SpiPictureInfo;

/* The header of the bitmap information block (40 bytes, as in BMP files). */
#pragma pack(push, 1)
typedef struct SpiBitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} SpiBitmapInfoHeader;
#pragma pack(pop)

/* Returns non-zero to make the plug-in stop. */
typedef int32_t (*SpiProgressCallback)(int32_t numerator, int32_t denominator, intptr_t user);

typedef int32_t (*SpiGetPluginInfo)(int32_t infoNo, char* buffer, int32_t bufferLength);
typedef int32_t (*SpiIsSupported)(const char* fileName, const void* data);
typedef int32_t (*SpiGetPictureInfo)(const void* data, int64_t length, uint32_t flag, SpiPictureInfo* info);
typedef int32_t (*SpiGetPicture)(const void* data, int64_t length, uint32_t flag, void** bitmapInfo,
                                 void** bits, SpiProgressCallback progress, intptr_t user);

/* Local memory blocks: a size header in front of the data. */
typedef struct SpiLocalBlock {
    uint64_t size;
    uint32_t locks;
    uint32_t magic;
} SpiLocalBlock;

#define SPI_LOCAL_MAGIC 0x4C6F634Du

static inline void* SpiLocalAlloc(uint64_t size) {
    SpiLocalBlock* b = (SpiLocalBlock*)calloc(1, sizeof(SpiLocalBlock) + size);
    if (!b) return NULL;
    b->size = size;
    b->magic = SPI_LOCAL_MAGIC;
    return b;
}

static inline int SpiLocalValid(void* h) { return h && ((SpiLocalBlock*)h)->magic == SPI_LOCAL_MAGIC; }

static inline void* SpiLocalLock(void* h) {
    if (!SpiLocalValid(h)) return NULL;
    ((SpiLocalBlock*)h)->locks++;
    return (char*)h + sizeof(SpiLocalBlock);
}

static inline uint64_t SpiLocalSize(void* h) { return SpiLocalValid(h) ? ((SpiLocalBlock*)h)->size : 0; }

static inline void SpiLocalUnlock(void* h) {
    if (SpiLocalValid(h) && ((SpiLocalBlock*)h)->locks > 0) ((SpiLocalBlock*)h)->locks--;
}

static inline void SpiLocalFree(void* h) {
    if (!SpiLocalValid(h)) return;
    ((SpiLocalBlock*)h)->magic = 0;
    free(h);
}

#ifdef __cplusplus
}
#endif

#endif
