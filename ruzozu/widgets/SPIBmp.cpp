#include "SPIBmp.h"

#include "sjis.h"
#include "textfile.h"

#include <QBuffer>
#include <QImageReader>

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

// The plug-in reports progress through this; user is the bitmap.
extern "C" int32_t SPIProgressCallback(int32_t numerator, int32_t denominator, intptr_t user) {
    if (!user) return 0;
    auto* bmp = reinterpret_cast<TSPIBitmap*>(user);
    int percent = denominator != 0 ? static_cast<int>((int64_t(numerator) * 98 + denominator / 2) / denominator) + 1 : 1;
    bmp->Progress.push_back(percent);
    return 0;
}

}  // namespace

void TSPIBitmap::LoadFromFile(const std::string& fileName) {
    std::string bytes;
    if (!textfile::ReadFileBytes(fileName, bytes)) throw EInvalidGraphic(Unknown());
    LoadFromBytes(bytes, fileName);
}

void TSPIBitmap::LoadFromBytes(const std::string& bytes, const std::string& fileName) {
    const std::string ext = ExtOf(fileName);
    const bool bitmapFirst = ext.empty() || sjis::EqualsIgnoreCase(ext, ".BMP");
    bool ok = bitmapFirst ? (LoadWithBitmapReader(bytes) || LoadWithPlugins(bytes, fileName))
                          : (LoadWithPlugins(bytes, fileName) || LoadWithBitmapReader(bytes));
    if (!ok) throw EInvalidGraphic(Unknown());
}

bool TSPIBitmap::LoadWithBitmapReader(const std::string& bytes) {
    QImage img;
    if (!img.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()), "BMP"))
        return false;
    Image = img;
    return true;
}

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
    if (!spi->IsSupported(fileName, data)) return false;
    SpiPictureInfo info{};
    if (spi->GetPictureInfo(data, length, 1, &info) == 0 && info.hInfo) SpiLocalFree(info.hInfo);
    void* hInfo = nullptr;
    void* hBits = nullptr;
    if (spi->GetPicture(data, length, 1, &hInfo, &hBits, SPIProgressCallback, reinterpret_cast<intptr_t>(this)) !=
        0) {
        SpiLocalFree(hInfo);
        SpiLocalFree(hBits);
        return false;
    }
    struct Release {
        void *a, *b;
        ~Release() {
            SpiLocalUnlock(a);
            SpiLocalUnlock(b);
            SpiLocalFree(a);
            SpiLocalFree(b);
        }
    } release{hInfo, hBits};
    const void* pInfo = SpiLocalLock(hInfo);
    const void* pBits = SpiLocalLock(hBits);
    if (!pInfo || !pBits) throw EInvalidGraphic(Unknown());
    SetDIB(pInfo, SpiLocalSize(hInfo), pBits, SpiLocalSize(hBits));
    return true;
}

void TSPIBitmap::SetDIB(const void* info, uint64_t infoSize, const void* bits, uint64_t bitsSize) {
    // Nothing a plug-in returns is trusted: every size is checked against
    // the blocks in 64-bit arithmetic before a byte is read.
    if (!info || infoSize < sizeof(SpiBitmapInfoHeader)) throw EInvalidGraphic(Unknown());
    SpiBitmapInfoHeader h;
    std::memcpy(&h, info, sizeof h);
    const int64_t width = h.biWidth, height = h.biHeight < 0 ? -int64_t(h.biHeight) : int64_t(h.biHeight);
    const int bpp = h.biBitCount;
    if (h.biSize < 40 || width <= 0 || height <= 0 || width > 65535 || height > 65535 ||
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
const uint64_t kMaxJpegPixels = uint64_t(1) << 26;  // 8192 x 8192
}  // namespace

bool DecodeJpeg(const std::string& bytes, QImage& out) {
    jpeg_decompress_struct info;
    JpegError err;
    info.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegFail;
    err.mgr.output_message = JpegQuiet;
    QImage img;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    // A progressive picture is read whole when decompression starts: its
    // size is checked against the limit below before that, too.
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK ||
        uint64_t(info.image_width) * info.image_height > kMaxJpegPixels) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;  // 24-bit colour
    jpeg_start_decompress(&info);
    // A header may claim any size: a picture larger than any screen needs,
    // or one whose memory cannot be had, is refused before a row is read.
    const uint64_t pixels = uint64_t(info.output_width) * info.output_height;
    if (pixels > kMaxJpegPixels ||
        (img = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
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
    Register("emf", "Enhanced Metafiles", Kind::CannotDecode);
    Register("wmf", "Metafiles", Kind::CannotDecode);
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
    if (!entry || !textfile::ReadFileBytes(fileName, bytes)) return false;
    switch (entry->K) {
        case Kind::Jpeg:
            return DecodeJpeg(bytes, out);
        case Kind::Builtin: {
            QImage img;
            if (!img.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()),
                                  ext == "ico" ? "ICO" : "BMP"))
                return false;
            out = img;
            return true;
        }
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
