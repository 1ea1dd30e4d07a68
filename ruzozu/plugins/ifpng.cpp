// An import plug-in for PNG pictures, decoded with libpng.  Built several
// times from this source: the real plug-in, and plug-ins for the tests
// that fail in the ways a foreign plug-in may fail.
#include "picture_budget.h"
#include "spi_abi.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

namespace {

const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
int32_t Info(int32_t no, char* buf, int32_t len, const char* text) {
    if (!buf || len <= 0) return 0;
    std::strncpy(buf, text, static_cast<size_t>(len));
    buf[len - 1] = 0;
    return static_cast<int32_t>(std::strlen(buf)) + (no >= 0 ? 0 : 0);
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

#ifndef SPI_NO_GETPICTURE
// The chunks that are never read: text (plain and compressed), profiles,
// palettes suggested, metadata.  libpng skips them unread, so that no
// chunk makes it allocate what its length claims or inflate what it holds.
// What the picture needs stays: the palette, transparency, gamma, sRGB.
const png_byte kSkippedChunks[] = "bKGD\0cHRM\0eXIf\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0sPLT\0tEXt\0tIME\0zTXt";
const int kSkippedCount = 15;
// The largest ancillary chunk libpng will hold at all, and how many.
const png_alloc_size_t kMaxChunkBytes = png_alloc_size_t(1) << 20;
const png_uint_32 kMaxChunkCount = 64;

struct TSource {
    const unsigned char* Data;
    size_t Size, At;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t n) {
    auto* src = static_cast<TSource*>(png_get_io_ptr(png));
    if (n > src->Size - src->At) png_error(png, "truncated");
    std::memcpy(out, src->Data + src->At, n);
    src->At += n;
}

void Quiet(png_structp, png_const_charp) {}
void Fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// One decode: everything that must outlive a jump back from libpng lies
// here, outside the frame that calls setjmp.
struct TJob {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    TSource Source{};
    unsigned char* Out = nullptr;  // the bits block, locked
    std::vector<png_bytep> Rows;
    uint32_t Width = 0, Height = 0;
    bool Alpha = false;
    int Passes = 1;
    int32_t Code = 2;
    SpiProgressCallback Progress = nullptr;
    intptr_t User = 0;
    ~TJob() { png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr); }
};

// Reads the header and sets the transforms to 8-bit blue, green, red,
// alpha; false when libpng fails or the picture is beyond the budget.
bool Begin(TJob* job) {
    if (setjmp(png_jmpbuf(job->Png))) return false;
    png_structp png = job->Png;
    png_infop info = job->Info;
    png_set_user_limits(png, picture_budget::kMaxSide, picture_budget::kMaxSide);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_chunk_cache_max(png, kMaxChunkCount);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, kSkippedCount);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);  // and every chunk libpng does not know
    png_set_read_fn(png, &job->Source, ReadFromMemory);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, color = 0, interlace = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &color, &interlace, nullptr, nullptr);
    if (!picture_budget::Fits(w, h)) return false;
    job->Width = w;
    job->Height = h;
    if (color == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (color == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    const bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (trns) png_set_tRNS_to_alpha(png);
    if (depth == 16) png_set_scale_16(png);
    if (color == PNG_COLOR_TYPE_GRAY || color == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    // Gamma as the file states it; without a gAMA chunk (or with sRGB) the
    // values are shown as stored, as browsers show them.
    png_fixed_point gamma = 0;
    if (!png_get_valid(png, info, PNG_INFO_sRGB) && png_get_gAMA_fixed(png, info, &gamma) && gamma > 0)
        png_set_gamma_fixed(png, PNG_DEFAULT_sRGB, gamma);
    png_set_bgr(png);
    job->Alpha = trns || (color & PNG_COLOR_MASK_ALPHA) != 0;
    if (!job->Alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    job->Passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return png_get_rowbytes(png, info) == size_t(4) * w;
}

// Reads every row (each pass of an interlaced picture) into job->Out
// through job->Rows; false when libpng fails or the progress callback
// asks to stop (job->Code says which).
bool ReadRows(TJob* job) {
    if (setjmp(png_jmpbuf(job->Png))) return false;
    const int passes = job->Passes;
    const int64_t total = int64_t(passes) * job->Height;
    for (int pass = 0; pass < passes; ++pass)
        for (uint32_t y = 0; y < job->Height; ++y) {
            png_read_row(job->Png, job->Rows[y], nullptr);
            const int64_t done = int64_t(pass) * job->Height + y + 1;
            if (job->Progress && job->Progress(static_cast<int32_t>(done), static_cast<int32_t>(total), job->User)) {
                job->Code = 1;
                return false;
            }
        }
    return true;
}
#endif

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
// by libpng straight into the block handed back: no other buffer of the
// picture's size.  Transparent pixels are laid on white.
SPI_EXPORT int32_t GetPicture(const void* data, int64_t length, uint32_t, void** bitmapInfo, void** bits,
                              SpiProgressCallback progress, intptr_t user) {
#ifdef SPI_THROW_PICTURE
    if (bitmapInfo) throw "no picture";  // no std::exception
#endif
    uint32_t w = 0, h = 0;
    if (!bitmapInfo || !bits || length <= 0 || !ReadHeader(data, length, w, h)) return 2;
    TJob job;
    job.Source = {static_cast<const unsigned char*>(data), static_cast<size_t>(length), 0};
    job.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Quiet);
    if (!job.Png) return 4;
    job.Info = png_create_info_struct(job.Png);
    if (!job.Info || !Begin(&job)) return 2;
    if (job.Width != w || job.Height != h) return 2;
    const int32_t total = job.Passes * static_cast<int32_t>(h);
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
    job.Rows.resize(h);
    for (uint32_t y = 0; y < h; ++y)
#ifdef SPI_BOTTOM_UP
        job.Rows[y] = out + (h - 1 - y) * stride;  // the last row first, as bitmap files lie
#else
        job.Rows[y] = out + y * stride;
#endif
    job.Progress = progress;
    job.User = user;
    if (!ReadRows(&job)) {
        SpiLocalUnlock(hBits);
        return fail(job.Code);
    }
    if (job.Alpha)
        for (uint64_t i = 0; i < stride * h; i += 4) OnWhite(out + i);
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
