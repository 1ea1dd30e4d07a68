#include "SPIBmp.h"

#include "metafile.h"
#include "picture_budget.h"
#include "sjis.h"
#include "textfile.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <jpeglib.h>
#include <sys/stat.h>
#include <unistd.h>

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

// The largest picture file read: room for an uncompressed 32-bit bitmap
// of the whole picture budget, and then some.
const uint64_t kMaxPictureFileBytes = picture_budget::kMaxPixels * 4 + (uint64_t(16) << 20);

// Reads a picture file whole, unless it is no plain file or beyond the
// size any picture within the budget needs.
bool ReadPictureBytes(const std::string& fileName, std::string& bytes) {
    return textfile::ReadFileBytes(fileName, bytes, kMaxPictureFileBytes);
}

// Reads a picture from device through Qt's own reader of the format,
// refused from its header when it claims more than the picture budget.
bool ReadDeviceWithQt(QIODevice* device, const char* format, QImage& out) {
    QImageReader reader(device, format);
    reader.setAllocationLimit(static_cast<int>(picture_budget::kMaxPixels * 4 >> 20));  // in megabytes
    const QSize size = reader.size();
    if (size.isValid() && !picture_budget::Fits(size.width(), size.height())) return false;
    QImage img;
    if (!reader.read(&img) || img.isNull()) return false;
    out = img;
    return true;
}

// Reads a picture held in bytes through Qt's own reader of the format.
bool ReadWithQt(const std::string& bytes, const char* format, QImage& out) {
    if (bytes.size() > kMaxPictureFileBytes) return false;
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<int>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    return ReadDeviceWithQt(&buffer, format, out);
}

// Reads a picture file through Qt's own reader of the format, from the
// file as it goes (never the whole file first), refused from its header
// when it claims more than the picture budget.  Only plain files within
// the size of any picture file are read.
bool ReadFileWithQt(const std::string& fileName, const char* format, QImage& out) {
    struct stat st {};
    const int fd = textfile::OpenPlainFile(fileName, st);
    if (fd < 0) return false;
    QFile file;
    if (uint64_t(st.st_size) > kMaxPictureFileBytes ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return ReadDeviceWithQt(&file, format, out);
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

bool TSPIBitmap::LoadWithBitmapReader(const std::string& bytes) { return ReadWithQt(bytes, "BMP", Image); }

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
        for (int c = 0; c < 3; ++c) {
            if (!ReadMask(out.Mask[c], out.Shift[c], out.Bits[c]) || out.Shift[c] + out.Bits[c] > bpp) return false;
            // Values of fewer than eight bits are stretched to the full
            // range once, here; wider ones keep their top eight bits.
            const int bits = std::min(out.Bits[c], 8);
            const uint32_t top = (uint32_t(1) << bits) - 1;
            for (uint32_t v = 0; v < 256; ++v)
                out.Lut[c][v] = top == 0 ? 0 : static_cast<uint8_t>((std::min(v, top) * 255 + top / 2) / top);
        }
        out.Bgrx = bpp == 32 && out.Mask[0] == 0xFF0000 && out.Mask[1] == 0xFF00 && out.Mask[2] == 0xFF;
    }
    return true;
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

struct JpegError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
};

void JpegFail(j_common_ptr info) { longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void JpegQuiet(j_common_ptr) {}

}  // namespace

namespace {

// libjpeg's own memory for one picture (a progressive file keeps all its
// coefficients), and the scans a file may have: enough for any real file,
// and a bound on the work a hostile one asks for.
const long kMaxJpegMemory = 160L << 20;
const int kMaxJpegScans = 256;

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
    if (entry->K == Kind::Builtin) return ReadFileWithQt(fileName, ext == "ico" ? "ICO" : "BMP", out);
    std::string bytes;
    // A metafile beyond its own limit is refused by its size, unread.
    if (!textfile::ReadFileBytes(fileName, bytes, entry->K == Kind::Metafile ? kMaxMetafileBytes : kMaxPictureFileBytes))
        return false;
    switch (entry->K) {
        case Kind::Jpeg:
            return DecodeJpeg(bytes, out);
        case Kind::Builtin:
            return false;  // read above, from the file
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
