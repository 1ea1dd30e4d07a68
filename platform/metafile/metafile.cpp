#include "metafile.h"

#include "picture_budget.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
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

const size_t kMaxSvgBytes = input_limits::kMaxSvgBytes;
const size_t kMaxWmfMemory = input_limits::kMaxWmfMemory;

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

// Whether a record makes an object, which takes the lowest free slot of
// the object table.
bool MakesObject(uint32_t function) {
    switch (function) {
        case 0x00F7:  // CREATEPALETTE
        case 0x01F9:  // CREATEPATTERNBRUSH
        case 0x0142:  // DIBCREATEPATTERNBRUSH
        case 0x02FA:  // CREATEPENINDIRECT
        case 0x02FB:  // CREATEFONTINDIRECT
        case 0x02FC:  // CREATEBRUSHINDIRECT
        case 0x06FF:  // CREATEREGION
            return true;
        default:
            return false;
    }
}

// libwmf makes the picture of what is drawn, not of the frame that a
// placeable file's header gives.  An invisible rectangle over the frame,
// drawn where the file has set up its window (after its first window
// extent, before anything is drawn), makes the two the same.  Its pen and
// brush take the two slots after the objects the file made before it,
// and the header's object count grows to hold them (a file that declares
// only the objects it makes itself leaves no room for them).
std::vector<unsigned char> WithFrame(const unsigned char* data, size_t size) {
    std::vector<unsigned char> copy(data, data + size);
    const size_t start = 22 + 18;
    size_t at = start;
    uint32_t made = 0, madeBefore = 0;
    for (size_t pos = start; pos + 6 <= size;) {
        const uint64_t bytes = uint64_t(Get32(data + pos)) * 2;
        const uint32_t function = Get16(data + pos + 4);
        if (bytes < 6 || pos + bytes > size || function == 0) break;
        if (function == 0x01F0) break;  // DELETEOBJECT: the slots are no longer simply counted
        if ((function & 0xFF) >= 0x13 && (function & 0xFF) <= 0x25) break;  // a drawing record comes first
        if (MakesObject(function)) ++made;
        if (function == 0x020C) {  // SETWINDOWEXT
            at = pos + size_t(bytes);
            madeBefore = made;
            break;
        }
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
    const uint32_t pen = madeBefore, brush = madeBefore + 1;
    rec(0x001E, {});               // SAVEDC
    rec(0x02FA, {5, 0, 0, 0, 0});  // CREATEPENINDIRECT: no pen
    rec(0x02FC, {1, 0, 0, 0});     // CREATEBRUSHINDIRECT: no brush
    rec(0x012D, {pen});            // SELECTOBJECT both
    rec(0x012D, {brush});
    rec(0x041B, {bottom, right, top, left});
    rec(0x0127, {0xFFFF});         // RESTOREDC
    rec(0x01F0, {pen});            // DELETEOBJECT both
    rec(0x01F0, {brush});
    copy.insert(copy.begin() + std::ptrdiff_t(at), frame.begin(), frame.end());
    // The metafile's size in words grows by the frame's, its object table
    // to hold the frame's two objects.
    const uint32_t words = Get32(data + 22 + 6) + uint32_t(frame.size() / 2);
    for (int i = 0; i < 4; ++i) copy[22 + 6 + size_t(i)] = static_cast<unsigned char>(words >> (8 * i));
    const uint32_t objects = std::min<uint32_t>(0xFFFF, std::max<uint32_t>(Get16(data + 22 + 10), brush + 1));
    copy[22 + 10] = static_cast<unsigned char>(objects & 0xFF);
    copy[22 + 11] = static_cast<unsigned char>(objects >> 8);
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

// Where a record that carries a device-independent bitmap holds its
// information header (bytes from the record's start), or 0 for a record
// without one.
size_t DibOffset(uint32_t function, uint64_t bytes) {
    switch (function) {
        case 0x0F43: return 28;                     // STRETCHDIB
        case 0x0D33: return 24;                     // SETDIBTODEV
        case 0x0142: return 10;                     // DIBCREATEPATTERNBRUSH
        case 0x0B41: return bytes > 28 ? 26 : 0;    // DIBSTRETCHBLT, with a bitmap
        case 0x0940: return bytes > 24 ? 22 : 0;    // DIBBITBLT, with a bitmap
        default: return 0;
    }
}

// libwmf loops for ever on a bitmap whose information header gives a size
// below the 40 bytes of a Windows bitmap header (but for the 12 of an OS/2
// one): such a file is refused before the library sees it.
bool BitmapHeadersReadable(const unsigned char* data, size_t size) {
    for (size_t pos = 22 + 18; pos + 6 <= size;) {
        const uint64_t bytes = uint64_t(Get32(data + pos)) * 2;
        const uint32_t function = Get16(data + pos + 4);
        if (bytes < 6 || pos + bytes > size || function == 0) break;
        const size_t at = DibOffset(function, bytes);
        if (at != 0) {
            if (at + 4 > bytes) return false;
            const uint32_t header = Get32(data + pos + at);
            if (header < 40 && header != 12) return false;
        }
        pos += size_t(bytes);
    }
    return true;
}

bool DecodeWmf(const unsigned char* data, size_t size, QImage& out) {
    int64_t w = 0, h = 0;
    if (!HeaderSize(data, size, TMetafileKind::PlaceableWmf, w, h) || !picture_budget::Fits(w, h)) return false;
    if (!BitmapHeadersReadable(data, size)) return false;
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

// Whether the records of an EMF lie within the file and the header's
// description and pixel format lie within the header: the converter reads
// them where they say they are, past the end of the bytes if need be.
bool EmfRecordsWithin(const unsigned char* p, size_t size) {
    const uint32_t headerSize = Get32(p + 4);
    if (headerSize < 88 || headerSize % 4 != 0 || headerSize > size) return false;
    const uint64_t count = Get32(p + 60), at = Get32(p + 64);
    if (count != 0 && (at < 88 || at + 2 * count > headerSize)) return false;
    if (headerSize >= 100) {
        const uint64_t formatSize = Get32(p + 88), formatAt = Get32(p + 92);
        if (formatSize != 0 && (formatAt < 100 || formatAt + formatSize > headerSize)) return false;
    }
    const uint32_t kEof = 14;
    for (size_t at = 0; at + 8 <= size;) {
        const uint32_t type = Get32(p + at), length = Get32(p + at + 4);
        if (length < 8 || length % 4 != 0 || length > size - at) return false;
        if (type == kEof) return true;
        at += length;
    }
    return false;  // no end record
}

bool DecodeEmf(const unsigned char* data, size_t size, QImage& out) {
    int64_t w = 0, h = 0;
    if (!HeaderSize(data, size, TMetafileKind::Emf, w, h) || !picture_budget::Fits(w, h)) return false;
    if (!EmfRecordsWithin(data, size)) return false;
    generatorOptions options;
    std::memset(&options, 0, sizeof options);
    options.nameSpace = const_cast<char*>("");
    options.svgDelimiter = true;
    options.emfplus = true;
    options.imgWidth = double(w);
    options.imgHeight = double(h);
    std::vector<char> copy(data, data + size);
    // An empty description or pixel format is read from its offset all the
    // same: one that points nowhere is cleared.
    for (const size_t count : {size_t(60), size_t(88)}) {
        if (count + 8 <= Get32(data + 4) && Get32(data + count) == 0)
            std::memset(copy.data() + count + 4, 0, 4);
    }
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

bool DecodeMetafileHere(const void* data, size_t size, QImage& out) {
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

namespace {

// What the helper writes before the pixels.
struct TReply {
    uint32_t Magic;
    int32_t Width, Height;
};
const uint32_t kReplyMagic = 0x31464D52u;

// The size a metafile's picture will have, where it is one the helper may
// draw: a metafile of a drawn kind whose header gives a size within the
// budget.
bool PictureSize(const unsigned char* p, size_t size, int64_t& w, int64_t& h) {
    if (!p || size > kMaxMetafileBytes) return false;
    const TMetafileKind kind = MetafileKindOf(p, size);
    if (kind != TMetafileKind::Emf && kind != TMetafileKind::PlaceableWmf) return false;
    return HeaderSize(p, size, kind, w, h) && w > 0 && h > 0 && picture_budget::Fits(w, h);
}

bool WriteAllFd(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

// Reads exactly size bytes from fd before the deadline.
bool ReadAllBy(int fd, void* data, size_t size, std::chrono::steady_clock::time_point deadline) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd pfd{fd, POLLIN, 0};
        const int r = ::poll(&pfd, 1, int(std::min<int64_t>(left.count(), 1000)));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return false;
        if (r == 0) continue;
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false;  // the helper ended before its picture
        p += n;
        size -= size_t(n);
    }
    return true;
}

std::string& HelperOverride() {
    static std::string path;
    return path;
}

std::string HelperPath() {
    if (!HelperOverride().empty()) return HelperOverride();
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    const std::string self(buf, size_t(n));
    return self.substr(0, self.rfind('/') + 1) + kMetafileHelper;
}

}  // namespace

void SetMetafileHelper(const std::string& path) { HelperOverride() = path; }

bool DecodeMetafile(const void* data, size_t size, QImage& out) {
    const auto* p = static_cast<const unsigned char*>(data);
    int64_t w = 0, h = 0;
    if (!PictureSize(p, size, w, h)) return false;
    const std::string helper = HelperPath();
    if (helper.empty() || ::access(helper.c_str(), X_OK) != 0) return false;
    // The bytes go in as a file in memory (the helper reads them at its
    // pace, nobody waits on a full pipe); the picture comes back through a pipe.
    const int in = ::memfd_create("metafile", MFD_CLOEXEC);
    if (in < 0) return false;
    int pipeFds[2];
    if (!WriteAllFd(in, data, size) || ::lseek(in, 0, SEEK_SET) != 0 || ::pipe2(pipeFds, O_CLOEXEC) != 0) {
        ::close(in);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(helper.c_str()), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, helper.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in);
    ::close(pipeFds[1]);
    bool ok = false;
    if (spawned == 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kMetafileWallSeconds);
        TReply reply{};
        if (ReadAllBy(pipeFds[0], &reply, sizeof reply, deadline) && reply.Magic == kReplyMagic &&
            reply.Width == w && reply.Height == h) {
            QImage img(int(w), int(h), QImage::Format_ARGB32_Premultiplied);
            if (!img.isNull() && img.bytesPerLine() == img.width() * 4 &&
                ReadAllBy(pipeFds[0], img.bits(), size_t(img.sizeInBytes()), deadline)) {
                out = img;
                ok = true;
            }
        }
        // Whatever the helper still does (a loop, a picture not asked for)
        // ends here.
        ::kill(pid, SIGKILL);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    ::close(pipeFds[0]);
    return ok;
}

int RunMetafileHelper() {
    // The bounds come first, before anything is read or drawn.  A build
    // with the address sanitizer maps its shadow memory beyond any such
    // bound, so it keeps only the time bound.
    auto limit = [](int resource, rlim_t value) {
        rlimit r{value, value};
        ::setrlimit(resource, &r);
    };
#if !defined(__SANITIZE_ADDRESS__)
#if defined(__has_feature)
#if !__has_feature(address_sanitizer)
    limit(RLIMIT_AS, rlim_t(kMetafileAddressSpace));
#endif
#else
    limit(RLIMIT_AS, rlim_t(kMetafileAddressSpace));
#endif
#endif
    limit(RLIMIT_CPU, rlim_t(kMetafileCpuSeconds));
    limit(RLIMIT_CORE, 0);
    std::string bytes;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(0, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return 2;
        if (n == 0) break;
        bytes.append(buf, size_t(n));
        if (bytes.size() > kMaxMetafileBytes) return 2;
    }
    int64_t w = 0, h = 0;
    if (!PictureSize(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), w, h)) return 1;
    // Text is measured with the fonts of a screen-less application.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "rzmetafile";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    QImage img;
    if (!DecodeMetafileHere(bytes.data(), bytes.size(), img) || img.width() != w || img.height() != h) return 1;
    img = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const TReply reply{kReplyMagic, int32_t(w), int32_t(h)};
    if (!WriteAllFd(1, &reply, sizeof reply)) return 2;
    for (int y = 0; y < img.height(); ++y)
        if (!WriteAllFd(1, img.constScanLine(y), size_t(img.width()) * 4)) return 2;
    return 0;
}
