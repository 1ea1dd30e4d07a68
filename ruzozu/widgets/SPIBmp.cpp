#include "SPIBmp.h"

#include "metafile.h"
#include "picture_budget.h"
#include "png_reader.h"
#include "sjis.h"
#include "textfile.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>

namespace {

const std::string& Unknown() {
    static const std::string s = sjis::L("認識できない画像形式です");
    return s;
}

std::string ExtOf(const std::string& name) {
    size_t dot = name.rfind('.');
    size_t slash = name.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return name.substr(dot);
}

const uint64_t kMaxPictureFileBytes = picture_budget::kMaxPictureFileBytes;

// Reads a picture file whole, unless it is no plain file or beyond the
// size any picture within the budget needs.
bool ReadPictureBytes(const std::string& fileName, std::string& bytes) {
    return textfile::ReadFileBytes(fileName, bytes, kMaxPictureFileBytes);
}

// The plug-in reports progress through this; user is the bitmap.
extern "C" int32_t SPIProgressCallback(int32_t numerator, int32_t denominator, intptr_t user) {
    if (!user) return 0;
    auto* bmp = reinterpret_cast<TSPIBitmap*>(user);
    // However often and with whatever numbers a plug-in calls, the record
    // stays small and within 1 to 99.
    const size_t kMaxProgressEntries = 4096;
    if (bmp->Progress.size() >= kMaxProgressEntries) return 0;
    int64_t percent = denominator != 0 ? (int64_t(numerator) * 98 + denominator / 2) / denominator + 1 : 1;
    bmp->Progress.push_back(static_cast<int>(std::clamp<int64_t>(percent, 1, 99)));
    return 0;
}

}  // namespace

void TSPIBitmap::LoadFromFile(const std::string& fileName) {
    std::string bytes;
    if (!ReadPictureBytes(fileName, bytes)) throw EInvalidGraphic(Unknown());
    LoadFromBytes(bytes, fileName);
}

void TSPIBitmap::LoadFromBytes(const std::string& bytes, const std::string& fileName) {
    const std::string ext = ExtOf(fileName);
    const bool bitmapFirst = ext.empty() || sjis::EqualsIgnoreCase(ext, ".BMP");
    bool ok = bitmapFirst ? (LoadWithBitmapReader(bytes) || LoadWithPlugins(bytes, fileName))
                          : (LoadWithPlugins(bytes, fileName) || LoadWithBitmapReader(bytes));
    if (!ok) throw EInvalidGraphic(Unknown());
}

bool TSPIBitmap::LoadWithBitmapReader(const std::string& bytes) { return DecodeBmp(bytes, Image); }

bool TSPIBitmap::LoadWithPlugins(const std::string& bytes, const std::string& fileName) {
    if (SPI) return DecodeStream(SPI, bytes, fileName);
    TSPIs* host = TSPIs::Current();
    if (!host) return false;
    for (TSPI* spi : host->GetSPIs(fileName))
        if (DecodeStream(spi, bytes, fileName)) return true;
    return false;
}

bool TSPIBitmap::DecodeStream(TSPI* spi, const std::string& bytes, const std::string& fileName) {
    Progress.push_back(0);
    // The end is reported whatever happens, also when building the picture raises.
    struct End {
        std::vector<int>& progress;
        ~End() { progress.push_back(100); }
    } end{Progress};
    bool ok = DecodeBuffer(spi, bytes.data(), static_cast<int64_t>(bytes.size()), fileName);
    if (!ok && SkipMacHeader && bytes.size() > 128)
        ok = DecodeBuffer(spi, bytes.data() + 128, static_cast<int64_t>(bytes.size()) - 128, fileName);
    return ok;
}

bool TSPIBitmap::DecodeBuffer(TSPI* spi, const char* data, int64_t length, const std::string& fileName) {
    // Plug-ins may look at the first 2048 bytes whatever the length.
    std::vector<char> padded;
    if (length < 2048) {
        padded.assign(2048, 0);
        std::memcpy(padded.data(), data, static_cast<size_t>(length));
        data = padded.data();
    }
    // Every block the plug-in hands back is freed once, however it names
    // them (the same block twice, or the information block again).
    struct Blocks {
        std::vector<void*> List;
        void Add(void* h) {
            if (h && std::find(List.begin(), List.end(), h) == List.end()) List.push_back(h);
        }
        void Release(void* h) { List.erase(std::remove(List.begin(), List.end(), h), List.end()); }
        ~Blocks() {
            for (void* h : List) {
                SpiLocalUnlock(h);
                SpiLocalFree(h);
            }
        }
    } blocks;
    try {
        if (!spi->IsSupported(fileName, data)) return false;
        // The picture's information is only advice: a plug-in that cannot
        // give it may still give the picture, whose own header is checked
        // against the budget.  A size it does give beyond the budget is
        // not asked for.
        SpiPictureInfo info{};
        if (spi->GetPictureInfo(data, length, 1, &info) == 0) {
            blocks.Add(info.hInfo);
            if (!picture_budget::Fits(info.width, info.height < 0 ? -int64_t(info.height) : int64_t(info.height)))
                return false;
        } else {
            info.hInfo = nullptr;  // whatever a failed call left there is no block
        }
        void* hInfo = nullptr;
        void* hBits = nullptr;
        const int32_t result =
            spi->GetPicture(data, length, 1, &hInfo, &hBits, SPIProgressCallback, reinterpret_cast<intptr_t>(this));
        blocks.Add(hInfo);
        blocks.Add(hBits);
        if (result != 0) return false;
        if (!hInfo || !hBits || hInfo == hBits || hInfo == info.hInfo || hBits == info.hInfo)
            throw EInvalidGraphic(Unknown());
        const void* pInfo = SpiLocalLock(hInfo);
        void* pBits = SpiLocalLock(hBits);
        if (!pInfo || !pBits) throw EInvalidGraphic(Unknown());
        void* adopt = hBits;
        MakeImage(pInfo, SpiLocalSize(hInfo), pBits, SpiLocalSize(hBits), &adopt);
        if (!adopt) blocks.Release(hBits);  // the picture holds it now
        return true;
    } catch (const ESPIPluginFault&) {
        return false;  // the plug-in failed; another may read the picture
    }
}

namespace {

// A bitmap information block read and checked against its blocks: every
// size in 64-bit arithmetic before a byte of the bits is read, the
// picture budget from the header alone.
struct TDibLayout {
    int Width = 0, Height = 0;
    bool TopDown = false;
    int Bpp = 0;
    uint64_t Stride = 0;
    uint32_t Palette[256];         // 0xFFRRGGBB; black beyond the table
    bool Bgrx = false;             // 32 bits laid out as the image's own pixels
    uint8_t Lut[3][256];           // 16 and 32 bits: channel value to 8 bits
    uint32_t Mask[3] = {0, 0, 0};  // red, green, blue
    int Shift[3] = {0, 0, 0};
    int Bits[3] = {0, 0, 0};
    uint32_t AlphaMask = 0;  // 16 and 32 bits: transparency, laid on white
    int AlphaShift = 0, AlphaBits = 0;
};

const uint32_t kBiRgb = 0, kBiBitfields = 3;

bool ReadMask(uint32_t mask, int& shift, int& bits) {
    shift = bits = 0;
    if (mask == 0) return true;
    while (!(mask & 1)) mask >>= 1, ++shift;
    while (mask & 1) mask >>= 1, ++bits;
    return mask == 0;  // one run of bits only
}

bool ReadDibLayout(const void* info, uint64_t infoSize, uint64_t bitsSize, TDibLayout& out) {
    if (!info || infoSize < sizeof(SpiBitmapInfoHeader)) return false;
    SpiBitmapInfoHeader h;
    std::memcpy(&h, info, sizeof h);
    const int64_t width = h.biWidth, height = h.biHeight < 0 ? -int64_t(h.biHeight) : int64_t(h.biHeight);
    const int bpp = h.biBitCount;
    if (h.biSize < 40 || h.biSize > infoSize || !picture_budget::Fits(width, height)) return false;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    const bool masks = h.biCompression == kBiBitfields && (bpp == 16 || bpp == 32);
    if (h.biCompression != kBiRgb && !masks) return false;  // compressed bits are not taken
    out.Width = static_cast<int>(width);
    out.Height = static_cast<int>(height);
    out.TopDown = h.biHeight < 0;
    out.Bpp = bpp;
    out.Stride = (uint64_t(bpp) * uint64_t(width) + 31) / 32 * 4;
    if (out.Stride * uint64_t(height) > bitsSize) return false;
    // The colour table follows the header (the header's own size).
    uint64_t colors = h.biClrUsed;
    if (bpp <= 8 && colors == 0) colors = uint64_t(1) << bpp;
    if (bpp > 8) colors = 0;  // a table beside true colours only advises a palette
    if (colors > 256 || h.biSize + 4 * colors > infoSize) return false;
    const auto* table = static_cast<const uint8_t*>(info) + h.biSize;
    for (uint64_t i = 0; i < 256; ++i)
        out.Palette[i] = i < colors ? 0xFF000000u | uint32_t(table[4 * i + 2]) << 16 | uint32_t(table[4 * i + 1]) << 8 |
                                          table[4 * i]
                                    : 0xFF000000u;
    if (bpp == 16 || bpp == 32) {
        if (masks) {
            // Three masks right after a 40-byte header, or inside a longer one.
            if (infoSize < 52) return false;
            std::memcpy(out.Mask, static_cast<const uint8_t*>(info) + 40, sizeof out.Mask);
        } else if (bpp == 16) {
            out.Mask[0] = 0x7C00, out.Mask[1] = 0x03E0, out.Mask[2] = 0x001F;
        } else {
            out.Mask[0] = 0xFF0000, out.Mask[1] = 0xFF00, out.Mask[2] = 0xFF;
        }
        // A header from version 3 on (56 bytes and more) carries a mask of
        // transparency after the three colours.
        if (masks && h.biSize >= 56) std::memcpy(&out.AlphaMask, static_cast<const uint8_t*>(info) + 52, 4);
        if (!ReadMask(out.AlphaMask, out.AlphaShift, out.AlphaBits) || out.AlphaShift + out.AlphaBits > bpp)
            return false;
        for (int c = 0; c < 3; ++c) {
            if (!ReadMask(out.Mask[c], out.Shift[c], out.Bits[c]) || out.Shift[c] + out.Bits[c] > bpp) return false;
            // Values of fewer than eight bits are stretched to the full
            // range once, here; wider ones keep their top eight bits.
            const int bits = std::min(out.Bits[c], 8);
            const uint32_t top = (uint32_t(1) << bits) - 1;
            for (uint32_t v = 0; v < 256; ++v)
                out.Lut[c][v] = top == 0 ? 0 : static_cast<uint8_t>((std::min(v, top) * 255 + top / 2) / top);
        }
        out.Bgrx = bpp == 32 && out.AlphaMask == 0 && out.Mask[0] == 0xFF0000 && out.Mask[1] == 0xFF00 && out.Mask[2] == 0xFF;
    }
    return true;
}

// A pixel (0xFFRRGGBB) of alpha a laid on white.
uint32_t OnWhite(uint32_t px, uint32_t a) {
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t x = ((px >> shift) & 0xFF) * a + 255 * (255 - a);
        out |= ((x + 1 + (x >> 8)) >> 8) << shift;
    }
    return out;
}

// One row of the bits as the image's pixels.
void ConvertRow(const TDibLayout& d, const uint8_t* src, uint32_t* dst) {
    const int w = d.Width;
    switch (d.Bpp) {
        case 1:
            for (int x = 0; x < w; ++x) dst[x] = d.Palette[(src[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        case 4:
            for (int x = 0; x < w; ++x) dst[x] = d.Palette[(src[x >> 1] >> (x & 1 ? 0 : 4)) & 15];
            break;
        case 8:
            for (int x = 0; x < w; ++x) dst[x] = d.Palette[src[x]];
            break;
        case 24:
            for (int x = 0; x < w; ++x, src += 3)
                dst[x] = 0xFF000000u | uint32_t(src[2]) << 16 | uint32_t(src[1]) << 8 | src[0];
            break;
        default: {  // 16 and 32 bits through their masks
            if (d.Bgrx) {
                for (int x = 0; x < w; ++x, src += 4)
                    dst[x] = 0xFF000000u | uint32_t(src[2]) << 16 | uint32_t(src[1]) << 8 | src[0];
                break;
            }
            const int bytes = d.Bpp / 8;
            for (int x = 0; x < w; ++x, src += bytes) {
                uint32_t v = src[0] | uint32_t(src[1]) << 8;
                if (bytes == 4) v |= uint32_t(src[2]) << 16 | uint32_t(src[3]) << 24;
                uint32_t px = 0xFF000000u;
                for (int c = 0; c < 3; ++c) {
                    uint32_t part = (v & d.Mask[c]) >> d.Shift[c];
                    if (d.Bits[c] > 8) part >>= d.Bits[c] - 8;
                    px |= uint32_t(d.Lut[c][part]) << (16 - 8 * c);
                }
                if (d.AlphaBits) {
                    const uint64_t top = (uint64_t(1) << d.AlphaBits) - 1;  // a mask may hold all 32 bits
                    const uint32_t a = uint32_t((uint64_t((v & d.AlphaMask) >> d.AlphaShift) * 255 + top / 2) / top);
                    px = OnWhite(px, a);
                }
                dst[x] = px;
            }
        }
    }
}

void FreeSpiBlock(void* block) {
    SpiLocalUnlock(block);
    SpiLocalFree(block);
}

}  // namespace

void TSPIBitmap::SetDIB(const void* info, uint64_t infoSize, const void* bits, uint64_t bitsSize) {
    MakeImage(info, infoSize, const_cast<void*>(bits), bitsSize, nullptr);
}

void TSPIBitmap::MakeImage(const void* info, uint64_t infoSize, void* bits, uint64_t bitsSize, void** adopt) {
    // Nothing a plug-in returns is trusted: the header is checked against
    // the blocks (and the budget) before a byte of the bits is read.
    TDibLayout d;
    if (!bits || !ReadDibLayout(info, infoSize, bitsSize, d)) throw EInvalidGraphic(Unknown());
    auto* base = static_cast<uint8_t*>(bits);
    if (adopt && *adopt && d.Bgrx) {
        // The plug-in's own block becomes the picture: its rows put in
        // order and made opaque where they lie, no second buffer.
        const size_t rowBytes = d.Stride;
        for (int y = 0; y < d.Height; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(base + uint64_t(y) * d.Stride);
            if (!d.TopDown && y < d.Height - 1 - y) {
                auto* other = reinterpret_cast<uint32_t*>(base + uint64_t(d.Height - 1 - y) * d.Stride);
                for (size_t x = 0; x < rowBytes / 4; ++x) {
                    const uint32_t a = row[x];
                    row[x] = other[x] | 0xFF000000u;
                    other[x] = a | 0xFF000000u;
                }
            } else if (d.TopDown || y == d.Height - 1 - y) {
                for (size_t x = 0; x < rowBytes / 4; ++x) row[x] |= 0xFF000000u;
            }
        }
        QImage img(base, d.Width, d.Height, static_cast<qsizetype>(d.Stride), QImage::Format_RGB32, FreeSpiBlock,
                   *adopt);
        if (img.isNull()) throw EInvalidGraphic(Unknown());
        *adopt = nullptr;  // the image frees it now
        Image = img;
        return;
    }
    QImage img(d.Width, d.Height, QImage::Format_RGB32);
    if (img.isNull()) throw EInvalidGraphic(Unknown());
    for (int y = 0; y < d.Height; ++y)
        ConvertRow(d, base + uint64_t(d.TopDown ? y : d.Height - 1 - y) * d.Stride,
                   reinterpret_cast<uint32_t*>(img.scanLine(y)));
    Image = img;
}

namespace {

// ------------------------------------------------------------ bitmap and icon files
//
// Every bitmap file and every bitmap inside an icon is read here and drawn
// by the one conversion above, whatever its header: OS/2 (12 bytes, and
// the longer OS/2 2 header), version 3 (40), its extensions with masks
// (52, 56), version 4 (108) and 5 (124).

uint32_t Le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

const uint32_t kBiRle8 = 1, kBiRle4 = 2, kBiAlphaBitfields = 6;

// Unpacks run-length coded bits (8 or 4 bits a pixel) into one byte a
// pixel, bottom row first, rows of stride bytes; set marks (one byte a
// pixel, same order) the pixels the code gives: those it skips or never
// reaches are transparent.  The output is bounded by the picture, the
// work by the input.
void UnpackRle(const uint8_t* p, uint64_t n, bool four, int width, int height, uint64_t stride, std::string& out,
               std::string& set) {
    out.assign(stride * uint64_t(height), '\0');
    set.assign(uint64_t(width) * uint64_t(height), '\0');
    int x = 0, y = 0;
    auto put = [&](uint8_t v) {
        if (x < width && y < height) {
            out[uint64_t(y) * stride + uint64_t(x)] = char(v);
            set[uint64_t(y) * uint64_t(width) + uint64_t(x)] = 1;
        }
        ++x;
    };
    for (uint64_t i = 0; i + 1 < n && y < height;) {
        const uint8_t count = p[i], value = p[i + 1];
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count && x < width; ++k) put(four ? (k & 1 ? value & 15 : value >> 4) : value);
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of picture
            break;
        } else if (value == 2) {  // move right and up
            if (i + 1 >= n) break;
            x += p[i];
            y += p[i + 1];
            i += 2;
        } else {  // value pixels as they are, padded to 16 bits
            const uint64_t bytes = four ? (uint64_t(value) + 1) / 2 : value;
            if (bytes > n - i) break;
            for (int k = 0; k < value && x < width; ++k) put(four ? (k & 1 ? p[i + k / 2] & 15 : p[i + k / 2] >> 4) : p[i + k]);
            i += (bytes + 1) & ~uint64_t(1);
        }
    }
}

// The pixels a run-length code skipped, laid on white.
void LayGapsOnWhite(const TDibLayout& d, const std::string& given, QImage& img) {
    for (int y = 0; y < d.Height; ++y) {
        auto* dst = reinterpret_cast<uint32_t*>(img.scanLine(y));
        const char* row = given.data() + uint64_t(d.Height - 1 - y) * uint64_t(d.Width);
        for (int x = 0; x < d.Width; ++x)
            if (!row[x]) dst[x] = 0xFFFFFFFFu;
    }
}

// An icon's mask, which follows its bits at bits: the pixels it marks are
// laid on white.  alpha32 is a 32-bit icon, drawn by its transparency
// unless that is all zero.
void ApplyIconMask(const uint8_t* p, uint64_t size, uint64_t bits, bool alpha32, uint64_t width,
                   const uint8_t* pixels, TDibLayout& d, QImage& img) {
    // The mask follows the bits: one bit a pixel, bottom row first.
    // A 32-bit icon whose transparency is all zero is drawn by it too.
    bool useMask = true;
    if (alpha32) {
        for (int y = 0; y < d.Height && useMask; ++y)
            for (int x = 0; x < d.Width; ++x)
                if (pixels[uint64_t(y) * d.Stride + 4 * uint64_t(x) + 3] != 0) {
                    useMask = false;
                    break;
                }
        if (useMask) {
            d.AlphaMask = 0, d.AlphaBits = 0;
            for (int y = 0; y < d.Height; ++y)
                ConvertRow(d, pixels + uint64_t(d.Height - 1 - y) * d.Stride,
                           reinterpret_cast<uint32_t*>(img.scanLine(y)));
        }
    }
    const uint64_t maskStride = (uint64_t(width) + 31) / 32 * 4;
    const uint64_t maskAt = bits + d.Stride * uint64_t(d.Height);
    if (useMask && maskAt + maskStride * uint64_t(d.Height) <= size) {
        for (int y = 0; y < d.Height; ++y) {
            const uint8_t* row = p + maskAt + uint64_t(d.Height - 1 - y) * maskStride;
            auto* dst = reinterpret_cast<uint32_t*>(img.scanLine(y));
            for (int x = 0; x < d.Width; ++x)
                if ((row[x >> 3] >> (7 - (x & 7))) & 1) dst[x] = 0xFFFFFFFFu;
        }
    }
}

// The colour masks of a bitmap with count of them (0 for none): in the
// header from 52 bytes on, or after a 40-byte one, and then at moves past
// them.  A 32-bit icon without masks takes the usual ones.  False when the
// file ends first.
bool ReadColorMasks(const uint8_t* p, uint64_t size, const uint8_t* h, uint32_t headerSize, int count, bool icon32,
                    uint64_t& at, uint32_t mask[4]) {
    if (count > 0) {
        if (headerSize >= 52) {
            for (int i = 0; i < count && 40 + 4 * i + 4 <= int(headerSize); ++i) mask[i] = Le32(h + 40 + 4 * i);
            if (headerSize >= 56) mask[3] = Le32(h + 52);
        } else {
            if (at + 4 * count > size) return false;
            for (int i = 0; i < count; ++i) mask[i] = Le32(p + at + 4 * i);
            at += 4 * count;
        }
    } else if (icon32) {
        mask[0] = 0xFF0000, mask[1] = 0xFF00, mask[2] = 0xFF, mask[3] = 0xFF000000u;
    }
    return true;
}

// A bitmap (header, colour table, bits) as a picture.  bitsAt is where the
// bits start counting from the header, 0 when right after the table.  For
// an icon the header's height counts the picture and its mask, which
// follows the bits: pixels the mask marks are laid on white, unless a
// 32-bit icon's own transparency says more.
// Writers that leave out the last row's padding: the rows are all there,
// so the padding is made up (in padded) rather than the file refused.
void PadLastRow(uint32_t depth, uint64_t width, uint64_t height, uint64_t stride, std::string& padded,
                const uint8_t*& pixels, uint64_t& pixelBytes) {
    const uint64_t rowBytes = (uint64_t(depth) * width + 7) / 8;
    const uint64_t whole = stride * height;
    if (height == 0 || pixelBytes >= whole || pixelBytes < whole - stride + rowBytes) return;
    padded.assign(reinterpret_cast<const char*>(pixels), size_t(pixelBytes));
    padded.resize(size_t(whole), '\0');
    pixels = reinterpret_cast<const uint8_t*>(padded.data());
    pixelBytes = whole;
}

bool DecodeDib(const uint8_t* p, uint64_t size, uint64_t bitsAt, bool icon, QImage& out) {
    if (size < 12) return false;
    const uint32_t headerSize = Le32(p);
    if (headerSize < 12 || headerSize > size) return false;
    uint8_t h[124] = {};
    std::memcpy(h, p, std::min<uint32_t>(headerSize, sizeof h));
    const bool core = headerSize == 12;
    int64_t width, height;
    uint32_t bpp, compression = kBiRgb, used = 0;
    if (core) {
        width = Le16(h + 4);
        height = Le16(h + 6);
        bpp = Le16(h + 10);
    } else {
        if (headerSize < 16) return false;
        width = int32_t(Le32(h + 4));
        height = int32_t(Le32(h + 8));
        bpp = Le16(h + 14);
        compression = Le32(h + 16);
        used = Le32(h + 32);
    }
    const bool os2 = !core && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 &&
                     headerSize != 124;
    if (os2 && compression > kBiRle4) return false;  // OS/2's own codes (Huffman, 24-bit runs) are not read
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (icon) height /= 2;
    if (!picture_budget::Fits(width, height)) return false;
    const bool rle = compression == kBiRle8 || compression == kBiRle4;
    if (rle && (topDown || bpp != (compression == kBiRle8 ? 8u : 4u))) return false;
    const bool masks = compression == kBiBitfields || compression == kBiAlphaBitfields;
    if (masks && bpp != 16 && bpp != 32) return false;
    if (compression != kBiRgb && !rle && !masks) return false;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;

    uint64_t at = headerSize;
    uint32_t mask[4] = {0, 0, 0, 0};
    const int maskCount = !masks ? 0 : compression == kBiAlphaBitfields ? 4 : 3;
    if (!ReadColorMasks(p, size, h, headerSize, maskCount, icon && bpp == 32, at, mask)) return false;
    // The colour table: as many entries as the header says (all the depth
    // allows when it says none or more), black where the file holds fewer.
    const uint64_t entry = core ? 3 : 4;
    uint64_t colors = 0;
    if (bpp <= 8) colors = used == 0 || used > (1u << bpp) ? (1u << bpp) : used;
    const uint64_t tableAt = at;
    uint64_t bits = bitsAt != 0 && bitsAt >= tableAt && bitsAt < size ? bitsAt : tableAt + colors * entry;
    if (bits > size) return false;

    // A header of our own for the conversion.
    std::string info(bpp <= 8 ? 40 + 4 * 256 : 56, '\0');
    auto put32 = [&](size_t where, uint32_t v) {
        for (int i = 0; i < 4; ++i) info[where + size_t(i)] = char((v >> (8 * i)) & 0xFF);
    };
    put32(0, bpp <= 8 ? 40 : 56);
    put32(4, uint32_t(width));
    put32(8, uint32_t(topDown ? -height : height));
    info[12] = 1;
    const uint32_t depth = rle ? 8 : bpp;
    info[14] = char(depth);
    const bool anyMask = mask[0] | mask[1] | mask[2] | mask[3];
    put32(16, anyMask ? kBiBitfields : kBiRgb);
    if (bpp <= 8) {
        put32(32, 256);
        for (uint64_t i = 0; i < colors && tableAt + (i + 1) * entry <= std::min(bits, size); ++i)
            for (int c = 0; c < 3; ++c) info[40 + 4 * i + uint64_t(c)] = char(p[tableAt + i * entry + uint64_t(c)]);
    } else if (anyMask) {
        for (int i = 0; i < 4; ++i) put32(40 + 4 * size_t(i), mask[i]);
    }
    TDibLayout d;
    const uint64_t stride = (uint64_t(depth) * uint64_t(width) + 31) / 32 * 4;
    std::string unpacked, given;
    const uint8_t* pixels = p + bits;
    uint64_t pixelBytes = size - bits;
    if (rle) {
        UnpackRle(p + bits, size - bits, bpp == 4, int(width), int(height), stride, unpacked, given);
        pixels = reinterpret_cast<const uint8_t*>(unpacked.data());
        pixelBytes = unpacked.size();
    } else {
        PadLastRow(depth, uint64_t(width), uint64_t(height), stride, unpacked, pixels, pixelBytes);
    }
    if (!ReadDibLayout(info.data(), info.size(), pixelBytes, d)) return false;
    QImage img(d.Width, d.Height, QImage::Format_RGB32);
    if (img.isNull()) return false;
    for (int y = 0; y < d.Height; ++y)
        ConvertRow(d, pixels + uint64_t(d.TopDown ? y : d.Height - 1 - y) * d.Stride,
                   reinterpret_cast<uint32_t*>(img.scanLine(y)));
    if (rle) LayGapsOnWhite(d, given, img);
    if (icon) ApplyIconMask(p, size, bits, bpp == 32, uint64_t(width), pixels, d, img);
    out = img;
    return true;
}

}  // namespace

bool DecodeBmp(const std::string& bytes, QImage& out) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    if (bytes.size() < 14 + 12 || p[0] != 'B' || p[1] != 'M') return false;
    const uint32_t offBits = Le32(p + 10);
    return DecodeDib(p + 14, bytes.size() - 14, offBits > 14 ? offBits - 14 : 0, false, out);
}

namespace {

// An entry's depth: the directory's word, or where that says nothing (0,
// as some writers leave it, and always in a cursor) the picture's own.
int64_t IcoEntryDepth(const uint8_t* data, uint64_t length, int64_t given) {
    if (given != 0) return given;
    if (length >= 26 && data[0] == 0x89 && data[1] == 'P') {  // a PNG: bit depth times channels
        static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
        return data[25] < 7 ? int64_t(data[24]) * kChannels[data[25]] : 0;
    }
    return length >= 16 ? Le16(data + 14) : 0;  // the bitmap header's bit count
}

}  // namespace

bool DecodeIco(const std::string& bytes, QImage& out) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint64_t size = bytes.size();
    if (size < 6 || Le16(p) != 0 || (Le16(p + 2) != 1 && Le16(p + 2) != 2)) return false;
    const uint64_t count = Le16(p + 4);
    if (count == 0 || 6 + 16 * count > size) return false;  // a directory beyond the file is no icon
    // The largest picture, and of those the deepest: one entry is decoded.
    int64_t best = -1, bestArea = 0, bestDepth = -1;
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* e = p + 6 + 16 * i;
        const uint64_t length = Le32(e + 8), offset = Le32(e + 12);
        if (offset < 6 + 16 * count || offset > size || length > size - offset || length < 12) continue;
        const int64_t area = int64_t(e[0] ? e[0] : 256) * (e[1] ? e[1] : 256);
        const int64_t depth = IcoEntryDepth(p + offset, length, Le16(p + 2) == 1 ? Le16(e + 6) : 0);
        if (area > bestArea || (area == bestArea && depth > bestDepth)) best = int64_t(i), bestArea = area, bestDepth = depth;
    }
    if (best < 0) return false;
    const uint8_t* e = p + 6 + 16 * uint64_t(best);
    const uint8_t* data = p + Le32(e + 12);
    const uint64_t length = Le32(e + 8);
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (length >= 8 && std::memcmp(data, kPng, 8) == 0) {
        png_reader::TPngReader reader(data, length);
        if (!reader.Begin()) return false;
        QImage img(int(reader.Width()), int(reader.Height()), QImage::Format_RGB32);
        if (img.isNull()) return false;
        std::vector<unsigned char*> rows(size_t(img.height()));
        for (int y = 0; y < img.height(); ++y) rows[size_t(y)] = img.scanLine(y);
        if (reader.Read(rows.data(), nullptr, 0) != 0) return false;
        for (int y = 0; y < img.height(); ++y) png_reader::OnWhite(img.scanLine(y), uint64_t(img.width()));
        out = img;
        return true;
    }
    return DecodeDib(data, length, 0, true, out);
}

namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
};

void JpegFail(j_common_ptr info) { longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void JpegQuiet(j_common_ptr) {}

}  // namespace

namespace {

const long kMaxJpegMemory = picture_budget::kMaxJpegMemory;
const int kMaxJpegScans = picture_budget::kMaxJpegScans;

void JpegProgress(j_common_ptr common) {
    auto* info = reinterpret_cast<j_decompress_ptr>(common);
    if (info->input_scan_number > kMaxJpegScans) longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// One row of inks (cyan, magenta, yellow, black) turned, in place, into
// the picture's pixels: each colour is what its ink and the black leave
// of white, as common viewers show files without a colour profile.
void CmykToRgb(unsigned char* row, JDIMENSION width, bool inverted) {
    auto* px = reinterpret_cast<uint32_t*>(row);
    for (JDIMENSION x = 0; x < width; ++x, row += 4) {
        unsigned c = row[0], m = row[1], y = row[2], k = row[3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        auto mul = [](unsigned a, unsigned b) {
            const unsigned t = a * b + 128;
            return (t + (t >> 8)) >> 8;
        };
        px[x] = 0xFF000000u | mul(c, k) << 16 | mul(m, k) << 8 | mul(y, k);
    }
}

}  // namespace

bool DecodeJpeg(const std::string& bytes, QImage& out) {
    jpeg_decompress_struct info;
    JpegError err;
    info.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegFail;
    err.mgr.output_message = JpegQuiet;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = JpegProgress;
    QImage img;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    info.progress = &progress;
    info.mem->max_memory_to_use = kMaxJpegMemory;
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    // A header may claim any size: a picture beyond the budget is refused
    // from the header, before the decoder makes a buffer for it.
    if (!picture_budget::Fits(info.image_width, info.image_height)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    // Decoded straight into the pixels the picture is shown with: 32-bit
    // RGB as it lies in memory (blue, green, red, 255 on this machine).
    // CMYK and YCCK (print and scanner files) come out as the inks, four
    // bytes a pixel, turned into red, green and blue in place below.
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    // Adobe's files (all those with its marker) store the inks inverted.
    const bool inverted = info.saw_Adobe_marker;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
#else
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_XRGB;
#endif
    jpeg_start_decompress(&info);
    if (info.output_components != 4 ||
        (img = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                      QImage::Format_RGB32))
            .isNull()) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        // As many rows at a time as the decoder makes at once.
        JSAMPROW rows[16];
        const int first = static_cast<int>(info.output_scanline);
        const int count = std::min<int>(16, static_cast<int>(info.output_height) - first);
        for (int i = 0; i < count; ++i) rows[i] = img.scanLine(first + i);
        const JDIMENSION got = jpeg_read_scanlines(&info, rows, static_cast<JDIMENSION>(count));
        if (got == 0) {
            jpeg_destroy_decompress(&info);
            return false;
        }
        for (JDIMENSION i = 0; cmyk && i < got; ++i) CmykToRgb(rows[i], info.output_width, inverted);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    out = img;
    return true;
}

TPictureRegistry& TPictureRegistry::Instance() {
    static TPictureRegistry r;
    return r;
}

TPictureRegistry::TPictureRegistry() {
    Register("bmp", "Bitmaps", Kind::Builtin);
    Register("ico", "Icons", Kind::Builtin);
    Register("emf", "Enhanced Metafiles", Kind::Metafile);
    Register("wmf", "Metafiles", Kind::Metafile);
    Register("jpg", "JPEG Image File", Kind::Jpeg);
    Register("jpeg", "JPEG Image File", Kind::Jpeg);
}

void TPictureRegistry::Register(const std::string& ext, const std::string& description, Kind kind) {
    const std::string e = sjis::LowerAscii(ext);
    for (auto& entry : Entries)
        if (entry.Ext == e) {
            entry = {e, description, kind};
            return;
        }
    Entries.push_back({e, description, kind});
}

std::vector<std::string> TPictureRegistry::Extensions() const {
    std::vector<std::string> out;
    for (const auto& e : Entries) out.push_back(e.Ext);
    return out;
}

bool TPictureRegistry::Has(const std::string& ext) const {
    const std::string e = sjis::LowerAscii(ext);
    for (const auto& entry : Entries)
        if (entry.Ext == e) return true;
    return false;
}

bool TPictureRegistry::LoadPictureFile(const std::string& fileName, QImage& out) const {
    std::string ext = ExtOf(fileName);
    if (ext.empty()) return false;
    ext = sjis::LowerAscii(ext.substr(1));
    const Entry* entry = nullptr;
    for (const auto& e : Entries)
        if (e.Ext == ext) entry = &e;
    if (!entry) return false;
    std::string bytes;
    // A metafile beyond its own limit is refused by its size, unread.
    if (!textfile::ReadFileBytes(fileName, bytes, entry->K == Kind::Metafile ? kMaxMetafileBytes : kMaxPictureFileBytes))
        return false;
    switch (entry->K) {
        case Kind::Jpeg:
            return DecodeJpeg(bytes, out);
        case Kind::Builtin:
            return ext == "ico" ? DecodeIco(bytes, out) : DecodeBmp(bytes, out);
        case Kind::Metafile:
            return DecodeMetafile(bytes.data(), bytes.size(), out);
        case Kind::Plugin:
            try {
                TSPIBitmap bmp;
                bmp.LoadFromBytes(bytes, fileName);
                out = bmp.Image;
                return true;
            } catch (const std::exception&) {
                return false;
            }
        case Kind::CannotDecode:
            return false;
    }
    return false;
}
