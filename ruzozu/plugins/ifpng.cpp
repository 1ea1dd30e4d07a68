// An import plug-in for PNG pictures, decoded with libpng.  Built several
// times from this source: the real plug-in, and plug-ins for the tests
// that fail in the ways a foreign plug-in may fail.
#include "picture_budget.h"
#include "png_reader.h"
#include "spi_abi.h"

#include <cstring>
#include <vector>

namespace {

const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
int32_t Info(char* buf, int32_t len, const char* text) {
    if (!buf || len <= 0) return 0;
    std::strncpy(buf, text, static_cast<size_t>(len));
    buf[len - 1] = 0;
    return static_cast<int32_t>(std::strlen(buf));
}

// The size from the header chunk, which a PNG holds first; false for no
// PNG, or one whose size is beyond the picture budget.  Nothing else of
// the file is read.
bool ReadHeader(const void* data, int64_t length, uint32_t& width, uint32_t& height) {
    const auto* p = static_cast<const unsigned char*>(data);
    if (!p || length < 8 + 8 + 13 || std::memcmp(p, kSignature, sizeof kSignature) != 0) return false;
    auto be32 = [](const unsigned char* q) {
        return uint32_t(q[0]) << 24 | uint32_t(q[1]) << 16 | uint32_t(q[2]) << 8 | q[3];
    };
    if (be32(p + 8) != 13 || std::memcmp(p + 12, "IHDR", 4) != 0) return false;
    width = be32(p + 16);
    height = be32(p + 20);
    return picture_budget::Fits(width, height);
}

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
    uint32_t w = 0, h = 0;
    if (!info || !ReadHeader(data, length, w, h)) return 2;
    std::memset(info, 0, sizeof *info);
    info->width = static_cast<int32_t>(w);
    info->height = static_cast<int32_t>(h);
    info->colorDepth = 24;
    return 0;
}

#ifndef SPI_NO_GETPICTURE
// The picture as a 32-bit top-down bitmap (blue, green, red, 255), decoded
// by libpng straight into the block handed back (every pass of an
// interlaced picture): no other buffer of the picture's size.  The file is
// read once; its text and metadata chunks are passed over unread.
// Transparent pixels are laid on white.
SPI_EXPORT int32_t GetPicture(const void* data, int64_t length, uint32_t, void** bitmapInfo, void** bits,
                              SpiProgressCallback progress, intptr_t user) {
#ifdef SPI_THROW_PICTURE
    if (bitmapInfo) throw "no picture";  // no std::exception
#endif
    uint32_t w = 0, h = 0;
    if (!bitmapInfo || !bits || length <= 0 || !ReadHeader(data, length, w, h)) return 2;
    png_reader::TPngReader reader(data, static_cast<size_t>(length));
    if (!reader.Begin() || reader.Width() != w || reader.Height() != h) return 2;
    const int32_t total = reader.Passes() * static_cast<int32_t>(h);
    if (progress && progress(0, total, user)) return 1;
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
        SpiLocalFree(hInfo);
        SpiLocalFree(hBits);
        return code;
    };
    if (!hInfo || !hBits) return fail(4);
    auto* out = static_cast<unsigned char*>(SpiLocalLock(hBits));
    std::vector<unsigned char*> rows(h);
    for (uint32_t y = 0; y < h; ++y)
#ifdef SPI_BOTTOM_UP
        rows[y] = out + (h - 1 - y) * stride;  // the last row first, as bitmap files lie
#else
        rows[y] = out + y * stride;
#endif
    const int32_t code = reader.Read(rows.data(), progress, user);
    if (code != 0) {
        SpiLocalUnlock(hBits);
        return fail(code);
    }
    if (reader.Alpha()) png_reader::OnWhite(out, uint64_t(w) * h);
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
