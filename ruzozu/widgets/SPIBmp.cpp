#include "SPIBmp.h"

#include "metafile.h"
#include "picture_budget.h"
#include "sjis.h"
#include "textfile.h"

#include <QBuffer>
#include <QImageReader>

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

// The largest picture file read: room for an uncompressed 32-bit bitmap
// of the whole picture budget, and then some.
const uint64_t kMaxPictureFileBytes = picture_budget::kMaxPixels * 4 + (uint64_t(16) << 20);

// Reads a picture file whole, unless it is no plain file or beyond the
// size any picture within the budget needs.
bool ReadPictureBytes(const std::string& fileName, std::string& bytes) {
    return textfile::ReadFileBytes(fileName, bytes, kMaxPictureFileBytes);
}

// Reads a picture through Qt's own reader of the format, refused from its
// header when it claims more than the picture budget.
bool ReadWithQt(const std::string& bytes, const char* format, QImage& out) {
    if (bytes.size() > kMaxPictureFileBytes) return false;
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<int>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAllocationLimit(static_cast<int>(picture_budget::kMaxPixels * 4 >> 20));  // in megabytes
    const QSize size = reader.size();
    if (size.isValid() && !picture_budget::Fits(size.width(), size.height())) return false;
    QImage img;
    if (!reader.read(&img) || img.isNull()) return false;
    out = img;
    return true;
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
        ~Blocks() {
            for (void* h : List) {
                SpiLocalUnlock(h);
                SpiLocalFree(h);
            }
        }
    } blocks;
    try {
        if (!spi->IsSupported(fileName, data)) return false;
        // The picture's size first: one beyond the budget is not asked for.
        SpiPictureInfo info{};
        if (spi->GetPictureInfo(data, length, 1, &info) != 0) return false;
        blocks.Add(info.hInfo);
        if (!picture_budget::Fits(info.width, info.height < 0 ? -int64_t(info.height) : int64_t(info.height)))
            return false;
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
        const void* pBits = SpiLocalLock(hBits);
        if (!pInfo || !pBits) throw EInvalidGraphic(Unknown());
        SetDIB(pInfo, SpiLocalSize(hInfo), pBits, SpiLocalSize(hBits));
        return true;
    } catch (const ESPIPluginFault&) {
        return false;  // the plug-in failed; another may read the picture
    }
}

void TSPIBitmap::SetDIB(const void* info, uint64_t infoSize, const void* bits, uint64_t bitsSize) {
    // Nothing a plug-in returns is trusted: every size is checked against
    // the blocks in 64-bit arithmetic before a byte is read.
    if (!info || infoSize < sizeof(SpiBitmapInfoHeader)) throw EInvalidGraphic(Unknown());
    SpiBitmapInfoHeader h;
    std::memcpy(&h, info, sizeof h);
    const int64_t width = h.biWidth, height = h.biHeight < 0 ? -int64_t(h.biHeight) : int64_t(h.biHeight);
    const int bpp = h.biBitCount;
    if (h.biSize < 40 || !picture_budget::Fits(width, height) ||
        (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32))
        throw EInvalidGraphic(Unknown());
    uint64_t colors = h.biClrUsed;
    if (colors == 0) colors = bpp == 1 ? 2 : bpp == 4 ? 16 : bpp == 8 ? 256 : 0;
    if (colors > 256 || 40 + 4 * colors > infoSize) throw EInvalidGraphic(Unknown());
    const uint64_t imageSize = (uint64_t(bpp) * uint64_t(width) + 31) / 32 * 4 * uint64_t(height);
    if (imageSize > bitsSize) throw EInvalidGraphic(Unknown());
    // A bitmap file in memory: file header, the information block, the bits.
    std::string bmp(14, '\0');
    const uint64_t offBits = 54 + 4 * colors;
    const uint64_t fileSize = offBits + imageSize;
    auto put32 = [&bmp](size_t at, uint32_t v) { std::memcpy(&bmp[at], &v, 4); };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, static_cast<uint32_t>(fileSize));
    put32(10, static_cast<uint32_t>(offBits));
    std::string header(static_cast<const char*>(info), 40 + 4 * colors);
    reinterpret_cast<SpiBitmapInfoHeader*>(&header[0])->biSize = 40;
    bmp += header;
    bmp.append(static_cast<const char*>(bits), imageSize);
    QImage img;
    if (!img.loadFromData(reinterpret_cast<const uchar*>(bmp.data()), static_cast<int>(bmp.size()), "BMP"))
        throw EInvalidGraphic(Unknown());
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
    info.out_color_space = JCS_RGB;  // 24-bit colour
    jpeg_start_decompress(&info);
    if ((img = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                      QImage::Format_RGB888))
            .isNull()) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = img.scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
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
    std::string bytes;
    if (!entry || !ReadPictureBytes(fileName, bytes)) return false;
    switch (entry->K) {
        case Kind::Jpeg:
            return DecodeJpeg(bytes, out);
        case Kind::Builtin:
            return ReadWithQt(bytes, ext == "ico" ? "ICO" : "BMP", out);
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
