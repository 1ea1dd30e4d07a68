#include "metafile.h"

#include "picture_budget.h"

#include <QByteArray>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

namespace {

// The largest metafile read, the largest SVG drawn, and the memory libwmf
// may take for one picture: far beyond any drawing a drill shows, and a
// bound on the time and memory a hostile file can ask for.
const size_t kMaxMetafileBytes = size_t(8) << 20;
const size_t kMaxSvgBytes = size_t(32) << 20;
const size_t kMaxWmfMemory = size_t(96) << 20;

uint32_t Get16(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
int32_t GetS16(const unsigned char* p) { return int16_t(Get16(p)); }
uint32_t Get32(const unsigned char* p) { return Get16(p) | Get16(p + 2) << 16; }
int32_t GetS32(const unsigned char* p) { return int32_t(Get32(p)); }

// The size in pixels that the header gives, where it gives one.
bool HeaderSize(const unsigned char* p, size_t size, TMetafileKind kind, int64_t& w, int64_t& h) {
    if (kind == TMetafileKind::PlaceableWmf) {
        const int64_t inch = Get16(p + 14);
        if (inch == 0) return false;
        w = std::llabs(int64_t(GetS16(p + 10)) - GetS16(p + 6)) * 96 / inch;
        h = std::llabs(int64_t(GetS16(p + 12)) - GetS16(p + 8)) * 96 / inch;
        return true;
    }
    if (kind == TMetafileKind::Emf && size >= 40) {
        // The frame, in hundredths of a millimetre; else the bounds in pixels.
        const int64_t fw = int64_t(GetS32(p + 32)) - GetS32(p + 24), fh = int64_t(GetS32(p + 36)) - GetS32(p + 28);
        if (fw > 0 && fh > 0) {
            w = std::llround(double(fw) * 96 / 2540);
            h = std::llround(double(fh) * 96 / 2540);
        } else {
            w = int64_t(GetS32(p + 16)) - GetS32(p + 8) + 1;
            h = int64_t(GetS32(p + 20)) - GetS32(p + 12) + 1;
        }
        return true;
    }
    return false;
}

bool Draw(const QByteArray& svg, int64_t w, int64_t h, QImage& out) {
    if (svg.isEmpty() || size_t(svg.size()) > kMaxSvgBytes || !picture_budget::Fits(w, h)) return false;
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) return false;
    QImage img(int(w), int(h), QImage::Format_ARGB32_Premultiplied);
    if (img.isNull()) return false;
    img.fill(Qt::transparent);
    QPainter painter(&img);
    renderer.render(&painter, QRectF(0, 0, double(w), double(h)));
    painter.end();
    out = img;
    return true;
}

// libwmf's memory, counted: beyond the limit an allocation fails, and
// whatever is left when the library is done is freed here.
struct WmfMemory {
    size_t Used = 0;
    std::set<void*> Live;

    static void* Malloc(void* context, size_t size) { return static_cast<WmfMemory*>(context)->Take(nullptr, size); }
    static void* Realloc(void* context, void* mem, size_t size) {
        return static_cast<WmfMemory*>(context)->Take(mem, size);
    }
    static void Free(void* context, void* mem) { static_cast<WmfMemory*>(context)->Give(mem); }

    void* Take(void* old, size_t size) {
        const size_t before = old ? SizeOf(old) : 0;
        if (size > kMaxWmfMemory || Used - before + size > kMaxWmfMemory) return nullptr;
        auto* base = old ? static_cast<unsigned char*>(old) - 16 : nullptr;
        auto* block = static_cast<unsigned char*>(std::realloc(base, size + 16));
        if (!block) return nullptr;
        if (old) Live.erase(old);
        std::memcpy(block, &size, sizeof size);
        Used = Used - before + size;
        Live.insert(block + 16);
        return block + 16;
    }
    void Give(void* mem) {
        if (!mem || !Live.erase(mem)) return;
        Used -= SizeOf(mem);
        std::free(static_cast<unsigned char*>(mem) - 16);
    }
    static size_t SizeOf(void* mem) {
        size_t size;
        std::memcpy(&size, static_cast<unsigned char*>(mem) - 16, sizeof size);
        return size;
    }
    ~WmfMemory() {
        while (!Live.empty()) Give(*Live.begin());
    }
};

void Put16(std::vector<unsigned char>& v, uint32_t x) {
    v.push_back(static_cast<unsigned char>(x & 0xFF));
    v.push_back(static_cast<unsigned char>((x >> 8) & 0xFF));
}

// libwmf makes the picture of what is drawn, not of the frame that a
// placeable file's header gives.  An invisible rectangle over the frame,
// drawn where the file has set up its window (after its first window
// extent, before anything is drawn), makes the two the same.
std::vector<unsigned char> WithFrame(const unsigned char* data, size_t size) {
    std::vector<unsigned char> copy(data, data + size);
    const size_t start = 22 + 18;
    size_t at = start;
    for (size_t pos = start; pos + 6 <= size;) {
        const uint64_t bytes = uint64_t(Get32(data + pos)) * 2;
        const uint32_t function = Get16(data + pos + 4);
        if (bytes < 6 || pos + bytes > size || function == 0) break;
        if (function == 0x020C) {  // SETWINDOWEXT
            at = pos + size_t(bytes);
            break;
        }
        if ((function & 0xFF) >= 0x13 && (function & 0xFF) <= 0x25) break;  // a drawing record comes first
        pos += size_t(bytes);
    }
    std::vector<unsigned char> frame;
    auto rec = [&frame](uint32_t function, std::initializer_list<uint32_t> words) {
        const uint32_t n = 3 + uint32_t(words.size());
        Put16(frame, n & 0xFFFF);
        Put16(frame, n >> 16);
        Put16(frame, function);
        for (uint32_t w : words) Put16(frame, w);
    };
    const uint32_t left = Get16(data + 6), top = Get16(data + 8), right = Get16(data + 10), bottom = Get16(data + 12);
    rec(0x001E, {});               // SAVEDC
    rec(0x02FA, {5, 0, 0, 0, 0});  // CREATEPENINDIRECT: no pen
    rec(0x02FC, {1, 0, 0, 0});     // CREATEBRUSHINDIRECT: no brush
    rec(0x012D, {0});              // SELECTOBJECT both (the lowest free
    rec(0x012D, {1});              // slots: nothing is made before)
    rec(0x041B, {bottom, right, top, left});
    rec(0x0127, {0xFFFF});         // RESTOREDC
    rec(0x01F0, {0});              // DELETEOBJECT both
    rec(0x01F0, {1});
    copy.insert(copy.begin() + std::ptrdiff_t(at), frame.begin(), frame.end());
    // The metafile's size in words grows by the frame's.
    const uint32_t words = Get32(data + 22 + 6) + uint32_t(frame.size() / 2);
    for (int i = 0; i < 4; ++i) copy[22 + 6 + size_t(i)] = static_cast<unsigned char>(words >> (8 * i));
    return copy;
}

// The fonts libwmf measures text with: the standard PostScript names all
// mapped onto one font that is there.
struct WmfFonts {
    std::vector<wmfMapping> Map;
    std::string File;
    char* Dirs[2] = {nullptr, nullptr};
    std::string Dir;
    WmfFonts() {
        for (const char* f : {"/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
                              "/usr/share/fonts/truetype/fonts-japanese-gothic.ttf",
                              "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"})
            if (FILE* in = std::fopen(f, "rb")) {
                std::fclose(in);
                const std::string path = f;
                Dir = path.substr(0, path.rfind('/'));
                File = path.substr(path.rfind('/') + 1);
                break;
            }
        Dirs[0] = Dir.empty() ? nullptr : const_cast<char*>(Dir.c_str());
        static const char* const kNames[] = {
            "Times-Roman", "Times-Italic",      "Times-Bold",          "Times-BoldItalic",
            "Helvetica",   "Helvetica-Oblique", "Helvetica-Bold",      "Helvetica-BoldOblique",
            "Courier",     "Courier-Oblique",   "Courier-Bold",        "Courier-BoldOblique",
            "Symbol"};
        for (const char* n : kNames)
            Map.push_back({const_cast<char*>(n), const_cast<char*>(File.c_str()), FT_ENCODING_NONE});
        Map.push_back({nullptr, nullptr, FT_ENCODING_NONE});
    }
};

bool DecodeWmf(const unsigned char* data, size_t size, QImage& out) {
    int64_t w = 0, h = 0;
    if (!HeaderSize(data, size, TMetafileKind::PlaceableWmf, w, h) || !picture_budget::Fits(w, h)) return false;
    static const WmfFonts fonts;
    if (fonts.File.empty()) return false;
    WmfMemory memory;
    wmfAPI_Options options;
    std::memset(&options, 0, sizeof options);
    options.function = wmf_svg_function;
    options.context = &memory;
    options.malloc = WmfMemory::Malloc;
    options.realloc = WmfMemory::Realloc;
    options.free = WmfMemory::Free;
    options.fontdirs = const_cast<char**>(fonts.Dirs);
    options.font.ps = const_cast<wmfMapping*>(fonts.Map.data());
    wmfAPI* api = nullptr;
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_ALLOC | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR |
                                WMF_OPT_NO_DEBUG | WMF_OPT_FONTDIRS | WMF_OPT_FONTMAP;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None) {
        if (api) wmf_api_destroy(api);
        return false;
    }
    // The library reads from a buffer of its own.
    std::vector<unsigned char> copy = WithFrame(data, size);
    QByteArray svg;
    bool ok = false;
    wmfD_Rect bbox;
    if (wmf_mem_open(api, copy.data(), long(copy.size())) == wmf_E_None && wmf_scan(api, 0, &bbox) == wmf_E_None) {
        wmf_svg_t* svgData = WMF_SVG_GetData(api);
        svgData->out = wmf_stream_create(api, nullptr);
        svgData->Description = const_cast<char*>("");
        svgData->bbox = bbox;
        svgData->width = static_cast<unsigned int>(w);
        svgData->height = static_cast<unsigned int>(h);
        if (svgData->out && wmf_play(api, 0, &bbox) == wmf_E_None) {
            char* text = nullptr;
            unsigned long length = 0;
            wmf_stream_destroy(api, svgData->out, &text, &length);
            svgData->out = nullptr;
            if (text && length <= kMaxSvgBytes) svg = QByteArray(text, int(length));
            ok = !svg.isEmpty();
        }
    }
    wmf_api_destroy(api);
    return ok && Draw(svg, w, h, out);
}

bool DecodeEmf(const unsigned char* data, size_t size, QImage& out) {
    int64_t w = 0, h = 0;
    if (!HeaderSize(data, size, TMetafileKind::Emf, w, h) || !picture_budget::Fits(w, h)) return false;
    generatorOptions options;
    std::memset(&options, 0, sizeof options);
    options.nameSpace = const_cast<char*>("");
    options.svgDelimiter = true;
    options.emfplus = true;
    options.imgWidth = double(w);
    options.imgHeight = double(h);
    std::vector<char> copy(data, data + size);
    char* text = nullptr;
    size_t length = 0;
    const int ok = emf2svg(copy.data(), copy.size(), &text, &length, &options);
    QByteArray svg;
    if (ok && text && length <= kMaxSvgBytes) svg = QByteArray(text, int(length));
    std::free(text);
    return Draw(svg, w, h, out);
}

}  // namespace

TMetafileKind MetafileKindOf(const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    if (!p) return TMetafileKind::None;
    if (size >= 22 + 18 && Get32(p) == 0x9AC6CDD7u) return TMetafileKind::PlaceableWmf;
    if (size >= 88 && Get32(p) == 1 && Get32(p + 40) == 0x464D4520u) return TMetafileKind::Emf;
    // A plain metafile: in memory or on disk, a header of nine words, version 1 or 3.
    if (size >= 18 && (Get16(p) == 1 || Get16(p) == 2) && Get16(p + 2) == 9 &&
        (Get16(p + 4) == 0x0100 || Get16(p + 4) == 0x0300))
        return TMetafileKind::Wmf;
    return TMetafileKind::None;
}

bool DecodeMetafile(const void* data, size_t size, QImage& out) {
    if (size > kMaxMetafileBytes) return false;
    const auto* p = static_cast<const unsigned char*>(data);
    switch (MetafileKindOf(data, size)) {
        case TMetafileKind::Emf:
            return DecodeEmf(p, size, out);
        case TMetafileKind::PlaceableWmf:
            return DecodeWmf(p, size, out);
        case TMetafileKind::Wmf:
        case TMetafileKind::None:
            break;
    }
    return false;
}
