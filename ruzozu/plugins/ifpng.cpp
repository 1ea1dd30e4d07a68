// An import plug-in for PNG pictures, decoded with libpng.  Built several
// times from this source: the real plug-in, and plug-ins for the tests
// that fail in the ways a foreign plug-in may fail.
#include "picture_budget.h"
#include "spi_abi.h"

#include <png.h>

#include <cstring>
#include <new>
#include <vector>

namespace {

const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
int32_t Info(int32_t no, char* buf, int32_t len, const char* text) {
    if (!buf || len <= 0) return 0;
    std::strncpy(buf, text, static_cast<size_t>(len));
    buf[len - 1] = 0;
    return static_cast<int32_t>(std::strlen(buf)) + (no >= 0 ? 0 : 0);
}

// Reads the header only; false for no PNG, or one whose size is beyond the
// picture budget.  A true return leaves the image to be finished or freed.
bool ReadHeader(const void* data, int64_t length, png_image& image) {
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (length <= 0 || !png_image_begin_read_from_memory(&image, data, static_cast<size_t>(length))) return false;
    if (!picture_budget::Fits(image.width, image.height)) {
        png_image_free(&image);
        return false;
    }
    return true;
}

#ifndef SPI_NO_GETPICTURE
bool Decode(const void* data, int64_t length, std::vector<unsigned char>& bgra, png_uint_32& w, png_uint_32& h) {
    png_image image;
    if (!ReadHeader(data, length, image)) return false;
    image.format = PNG_FORMAT_BGRA;
    try {
        // Nothing may be thrown back to the host, which calls us as C.
        bgra.resize(PNG_IMAGE_SIZE(image));
    } catch (const std::bad_alloc&) {
        png_image_free(&image);
        return false;
    }
    if (!png_image_finish_read(&image, nullptr, bgra.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    w = image.width;
    h = image.height;
    return true;
}
#endif

}  // namespace

extern "C" {

SPI_EXPORT int32_t GetPluginInfo(int32_t infoNo, char* buffer, int32_t bufferLength) {
#ifdef SPI_ENDLESS_INFO
    if (infoNo >= 2) return Info(infoNo, buffer, bufferLength, infoNo % 2 ? "PNG" : "*.png");  // answers every number
#endif
#ifdef SPI_THROW_INFO
    if (infoNo >= 2) throw 42;  // no std::exception
#endif
    switch (infoNo) {
#ifdef SPI_LOWER_VERSION
        case 0: return Info(infoNo, buffer, bufferLength, "00in");
#else
        case 0: return Info(infoNo, buffer, bufferLength, "00IN");
#endif
        case 1: return Info(infoNo, buffer, bufferLength, "PNG import plug-in (libpng)");
        case 2: return Info(infoNo, buffer, bufferLength, "*.png");
        case 3: return Info(infoNo, buffer, bufferLength, "PNG");
        default: return 0;
    }
}

SPI_EXPORT int32_t IsSupported(const char*, const void* data) {
    return data && std::memcmp(data, kSignature, sizeof kSignature) == 0 ? 1 : 0;
}

SPI_EXPORT int32_t GetPictureInfo(const void* data, int64_t length, uint32_t, SpiPictureInfo* info) {
#ifdef SPI_HUGE_INFO
    if (info) {
        std::memset(info, 0, sizeof *info);
        info->width = info->height = 30000;  // claims a picture far beyond any budget
        return 0;
    }
#endif
    png_image image;
    if (!info || !ReadHeader(data, length, image)) return 2;
    std::memset(info, 0, sizeof *info);
    info->width = static_cast<int32_t>(image.width);
    info->height = static_cast<int32_t>(image.height);
    png_image_free(&image);
    info->colorDepth = 24;
    return 0;
}

#ifndef SPI_NO_GETPICTURE
SPI_EXPORT int32_t GetPicture(const void* data, int64_t length, uint32_t, void** bitmapInfo, void** bits,
                              SpiProgressCallback progress, intptr_t user) {
    std::vector<unsigned char> bgra;
    png_uint_32 w = 0, h = 0;
#ifdef SPI_THROW_PICTURE
    if (bitmapInfo) throw "no picture";  // no std::exception
#endif
    if (!bitmapInfo || !bits || !Decode(data, length, bgra, w, h)) return 2;
    if (progress && progress(0, static_cast<int32_t>(h), user)) return 1;
#ifdef SPI_PROGRESS_FLOOD
    // A million reports with odd numbers before the picture.
    for (int32_t i = 0; progress && i < 1000000; ++i)
        progress(static_cast<int32_t>(uint32_t(i) * 7919u), i % 3 - 1, user);
#endif
    const uint64_t stride = (24 * static_cast<uint64_t>(w) + 31) / 32 * 4;
#ifdef SPI_SAME_BLOCK
    // One block holding the header and the bits, handed back as both.
    void* hInfo = SpiLocalAlloc(sizeof(SpiBitmapInfoHeader) + stride * h);
#else
    void* hInfo = SpiLocalAlloc(sizeof(SpiBitmapInfoHeader));
#endif
    void* hBits = SpiLocalAlloc(stride * h);
    if (!hInfo || !hBits) {
        SpiLocalFree(hInfo);
        SpiLocalFree(hBits);
        return 4;
    }
    auto* bih = static_cast<SpiBitmapInfoHeader*>(SpiLocalLock(hInfo));
    bih->biSize = 40;
    bih->biWidth = static_cast<int32_t>(w);
    bih->biHeight = static_cast<int32_t>(h);
#ifdef SPI_BAD_HEADER
    bih->biWidth = 1 << 30;  // claims far more pixels than it hands back
#endif
    bih->biPlanes = 1;
    bih->biBitCount = 24;
    auto* out = static_cast<unsigned char*>(SpiLocalLock(hBits));
    for (png_uint_32 y = 0; y < h; ++y) {
        // Bottom-up rows; transparent pixels are laid on white.
        unsigned char* row = out + (h - 1 - y) * stride;
        for (png_uint_32 x = 0; x < w; ++x) {
            const unsigned char* p = &bgra[(static_cast<size_t>(y) * w + x) * 4];
            for (int c = 0; c < 3; ++c) row[x * 3 + c] = static_cast<unsigned char>((p[c] * p[3] + 255 * (255 - p[3])) / 255);
        }
        if (progress && progress(static_cast<int32_t>(y + 1), static_cast<int32_t>(h), user)) {
            SpiLocalUnlock(hInfo);
            SpiLocalUnlock(hBits);
            SpiLocalFree(hInfo);
            SpiLocalFree(hBits);
            return 1;
        }
    }
    SpiLocalUnlock(hInfo);
    SpiLocalUnlock(hBits);
    *bitmapInfo = hInfo;
    *bits = hBits;
#ifdef SPI_SAME_BLOCK
    std::memcpy(static_cast<char*>(SpiLocalLock(hInfo)) + sizeof(SpiBitmapInfoHeader), SpiLocalLock(hBits), stride * h);
    SpiLocalFree(hBits);
    *bits = hInfo;
#endif
    return 0;
}
#endif

#ifdef SPI_EXTRA_EXPORTS
SPI_EXPORT int32_t GetPreview() { return -1; }
#endif
}
