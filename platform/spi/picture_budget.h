// The one size budget for every picture the drill program shows, whatever
// decodes it (the bitmap reader, libjpeg, an image plug-in, a metafile):
// a picture whose header claims more is refused from the header alone,
// before any pixel buffer is made.  16 megapixels (4096 x 4096, or any
// other shape of that area, no side above 32767) is far more than a
// 640 x 480 drill screen can show, and keeps the largest picture's
// buffers, decoded and copied on its way to the window, well under 300 MB.
#ifndef RUZOZU_PICTURE_BUDGET_H
#define RUZOZU_PICTURE_BUDGET_H

#ifdef __cplusplus
#include <cstdint>

namespace picture_budget {

inline constexpr uint64_t kMaxPixels = uint64_t(16) << 20;
inline constexpr int64_t kMaxSide = 32767;

// The largest picture file read: room for an uncompressed 32-bit bitmap
// of the whole budget, and then some.
inline constexpr uint64_t kMaxPictureFileBytes = kMaxPixels * 4 + (uint64_t(16) << 20);

// libjpeg's own memory for one picture (a progressive file keeps all its
// coefficients), and the scans a file may have: enough for any real file,
// and a bound on the work a hostile one asks for.
inline constexpr long kMaxJpegMemory = 160L << 20;
inline constexpr int kMaxJpegScans = 256;

// The largest ancillary PNG chunk libpng will hold at all, and how many.
inline constexpr uint64_t kMaxPngChunkBytes = uint64_t(1) << 20;
inline constexpr uint32_t kMaxPngChunkCount = 64;

// True when a picture of width x height pixels may be decoded.
inline bool Fits(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide &&
           uint64_t(width) * uint64_t(height) <= kMaxPixels;
}

}  // namespace picture_budget
#endif

#endif
