// An import plug-in for PNG pictures, decoded with libpng.  Built several
// times from this source: the real plug-in, and plug-ins for the tests
// that fail in the ways a foreign plug-in may fail.
#include "picture_budget.h"
#include "spi_abi.h"

#include <png.h>

#include <cstring>

namespace {

const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
int32_t Info(char* buf, int32_t len, const char* text) {
    if (!buf || len <= 0) return 0;
    std::strncpy(buf, text, static_cast<size_t>(len));
    buf[len - 1] = 0;
    return static_cast<int32_t>(std::strlen(buf));
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
// Lays a partly transparent pixel (blue, green, red, alpha) on white, in
// place: c * a / 255 + (255 - a), by the exact integer quotient without a
// division.
inline void OnWhite(unsigned char* p) {
    const unsigned a = p[3];
    if (a == 255) return;
    for (int c = 0; c < 3; ++c) {
        const unsigned x = p[c] * a + 255 * (255 - a);  // at most 65025
        p[c] = static_cast<unsigned char>((x + 1 + (x >> 8)) >> 8);
    }
    p[3] = 255;
}
#endif

}  // namespace

extern "C" {

SPI_EXPORT int32_t GetPluginInfo(int32_t infoNo, char* buffer, int32_t bufferLength) {
#ifdef SPI_ENDLESS_INFO
    if (infoNo >= 2) return Info(buffer, bufferLength, infoNo % 2 ? "PNG" : "*.png");  // answers every number
#endif
#ifdef SPI_THROW_INFO
    if (infoNo >= 2) throw 42;  // no std::exception
#endif
    switch (infoNo) {
#ifdef SPI_LOWER_VERSION
        case 0: return Info(buffer, bufferLength, "00in");
#else
        case 0: return Info(buffer, bufferLength, "00IN");
#endif
        case 1: return Info(buffer, bufferLength, "PNG import plug-in (libpng)");
        case 2: return Info(buffer, bufferLength, "*.png");
        case 3: return Info(buffer, bufferLength, "PNG");
        default: return 0;
    }
}

SPI_EXPORT int32_t IsSupported(const char*, const void* data) {
    return data && std::memcmp(data, kSignature, sizeof kSignature) == 0 ? 1 : 0;
}

SPI_EXPORT int32_t GetPictureInfo(const void* data, int64_t length, uint32_t, SpiPictureInfo* info) {
#ifdef SPI_FAIL_INFO
    if (info) info->hInfo = reinterpret_cast<void*>(uintptr_t(0x10));  // and leaves junk behind
    return 2;  // cannot tell, though the picture decodes
#endif
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
// The picture as a 32-bit top-down bitmap (blue, green, red, 255), decoded
// by libpng straight into the block handed back: no other buffer of the
// picture's size.  Transparent pixels are laid on white.
SPI_EXPORT int32_t GetPicture(const void* data, int64_t length, uint32_t, void** bitmapInfo, void** bits,
                              SpiProgressCallback progress, intptr_t user) {
#ifdef SPI_THROW_PICTURE
    if (bitmapInfo) throw "no picture";  // no std::exception
#endif
    png_image image;
    if (!bitmapInfo || !bits || !ReadHeader(data, length, image)) return 2;
    const png_uint_32 w = image.width, h = image.height;
    const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    if (progress && progress(0, static_cast<int32_t>(h), user)) {
        png_image_free(&image);
        return 1;
    }
#ifdef SPI_PROGRESS_FLOOD
    // A million reports with odd numbers before the picture.
    for (int32_t i = 0; progress && i < 1000000; ++i)
        progress(static_cast<int32_t>(uint32_t(i) * 7919u), i % 3 - 1, user);
#endif
    const uint64_t stride = 4 * static_cast<uint64_t>(w);
    // Large blocks come fresh from the system, already zero: nothing is
    // cleared that the decoder then writes whole.
    void* hInfo = SpiLocalAlloc(sizeof(SpiBitmapInfoHeader));
    void* hBits = SpiLocalAlloc(stride * h);
    auto fail = [&](int32_t code) {
        png_image_free(&image);
        SpiLocalFree(hInfo);
        SpiLocalFree(hBits);
        return code;
    };
    if (!hInfo || !hBits) return fail(4);
    auto* out = static_cast<unsigned char*>(SpiLocalLock(hBits));
    image.format = PNG_FORMAT_BGRA;
#ifdef SPI_BOTTOM_UP
    const png_int_32 rowStep = -static_cast<png_int_32>(stride);  // the last row first, as bitmap files lie
#else
    const png_int_32 rowStep = static_cast<png_int_32>(stride);
#endif
    if (!png_image_finish_read(&image, nullptr, out, rowStep, nullptr)) return fail(2);
    for (png_uint_32 y = 0; y < h; ++y) {
        if (alpha) {
            unsigned char* row = out + y * stride;
            for (png_uint_32 x = 0; x < w; ++x) OnWhite(row + 4 * x);
        }
        if (progress && progress(static_cast<int32_t>(y + 1), static_cast<int32_t>(h), user)) {
            SpiLocalUnlock(hBits);
            return fail(1);
        }
    }
    SpiLocalUnlock(hBits);
    auto* bih = static_cast<SpiBitmapInfoHeader*>(SpiLocalLock(hInfo));
    bih->biSize = 40;
    bih->biWidth = static_cast<int32_t>(w);
#ifdef SPI_BOTTOM_UP
    bih->biHeight = static_cast<int32_t>(h);
#else
    bih->biHeight = -static_cast<int32_t>(h);  // top-down
#endif
#ifdef SPI_BAD_HEADER
    bih->biWidth = 1 << 30;  // claims far more pixels than it hands back
#endif
    bih->biPlanes = 1;
    bih->biBitCount = 32;
    SpiLocalUnlock(hInfo);
    *bitmapInfo = hInfo;
    *bits = hBits;
#ifdef SPI_SAME_BLOCK
    // One block holding the header and the bits, handed back as both.
    void* both = SpiLocalAlloc(sizeof(SpiBitmapInfoHeader) + stride * h);
    if (!both) return fail(4);
    std::memcpy(SpiLocalLock(both), SpiLocalLock(hInfo), sizeof(SpiBitmapInfoHeader));
    std::memcpy(static_cast<char*>(SpiLocalLock(both)) + sizeof(SpiBitmapInfoHeader), SpiLocalLock(hBits), stride * h);
    SpiLocalFree(hInfo);
    SpiLocalFree(hBits);
    *bitmapInfo = *bits = both;
#endif
    return 0;
}
#endif

#ifdef SPI_EXTRA_EXPORTS
SPI_EXPORT int32_t GetPreview() { return -1; }
#endif
}
