// Small metafiles written record by record, for the tests and the sample
// pictures: a placeable Windows metafile and an enhanced metafile, each
// a few filled shapes on a clear ground.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace metafile_writer {

inline void Put16(std::string& s, uint32_t v) {
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
}
inline void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

// A colour as the metafiles store it: 0x00BBGGRR.
inline uint32_t Rgb(int r, int g, int b) { return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16; }

struct Shape {
    enum Kind { Rectangle, Ellipse } K;
    int Left, Top, Right, Bottom;
    uint32_t Colour;
};

// A placeable metafile of width x height pixels, in twips (1440 units an
// inch, 15 to a pixel), the shapes filled without outline.
class Wmf {
public:
    Wmf(int width, int height) : Width(width), Height(height) {}
    std::vector<Shape> Shapes;
    // The header's bounding box in twips, to make files that claim another size.
    int ClaimedWidth = -1, ClaimedHeight = -1;
    int Inch = 1440;  // the header's units an inch
    // Without the null pen the shapes have the default outline and each
    // brush takes slot 0: the file then makes one object at a time.
    bool NullPen = true;
    int Objects = -1;  // the header's object count; -1: as many as are used

    std::string Bytes() const {
        std::string records;
        uint32_t maxRecord = 3;
        auto rec = [&](uint16_t function, std::initializer_list<uint32_t> words) {
            const uint32_t size = 3 + uint32_t(words.size());
            Put32(records, size);
            Put16(records, function);
            for (uint32_t w : words) Put16(records, w);
            if (size > maxRecord) maxRecord = size;
        };
        rec(0x0103, {8});                                     // SETMAPMODE anisotropic
        rec(0x020B, {0, 0});                                  // SETWINDOWORG y, x
        rec(0x020C, {uint32_t(Height * 15), uint32_t(Width * 15)});  // SETWINDOWEXT y, x
        if (NullPen) {
            rec(0x02FA, {5, 0, 0, 0, 0});                     // CREATEPENINDIRECT: null pen, slot 0
            rec(0x012D, {0});                                 // SELECTOBJECT pen
        }
        const uint32_t slot = NullPen ? 1 : 0;
        for (const Shape& s : Shapes) {
            rec(0x02FC, {0, s.Colour & 0xFFFF, s.Colour >> 16, 0});  // CREATEBRUSHINDIRECT solid
            rec(0x012D, {slot});
            rec(s.K == Shape::Rectangle ? 0x041B : 0x0418,
                {uint32_t(s.Bottom * 15), uint32_t(s.Right * 15), uint32_t(s.Top * 15), uint32_t(s.Left * 15)});
            rec(0x01F0, {slot});                              // DELETEOBJECT brush
        }
        rec(0x0000, {});                                      // EOF
        std::string out;
        Put32(out, 0x9AC6CDD7u);
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, uint32_t(ClaimedWidth >= 0 ? ClaimedWidth : Width * 15));
        Put16(out, uint32_t(ClaimedHeight >= 0 ? ClaimedHeight : Height * 15));
        Put16(out, uint32_t(Inch));
        Put32(out, 0);
        uint16_t sum = 0;
        for (size_t i = 0; i < out.size(); i += 2)
            sum ^= uint16_t(uint8_t(out[i]) | uint8_t(out[i + 1]) << 8);
        Put16(out, sum);
        Put16(out, 1);                                        // in memory
        Put16(out, 9);                                        // header words
        Put16(out, 0x0300);
        Put32(out, uint32_t(9 + records.size() / 2));
        Put16(out, uint32_t(Objects >= 0 ? Objects : NullPen ? 2 : 1));  // objects
        Put32(out, maxRecord);
        Put16(out, 0);
        return out + records;
    }

private:
    int Width, Height;
};

// An enhanced metafile of width x height pixels on a 96-dot-an-inch
// reference device, the shapes filled without outline.
class Emf {
public:
    Emf(int width, int height) : Width(width), Height(height) {}
    std::vector<Shape> Shapes;
    int ClaimedWidth = -1, ClaimedHeight = -1;

    std::string Bytes() const {
        std::string records;
        uint32_t count = 0;
        auto rec = [&](uint32_t type, std::initializer_list<uint32_t> values) {
            Put32(records, type);
            Put32(records, 8 + 4 * uint32_t(values.size()));
            for (uint32_t v : values) Put32(records, v);
            ++count;
        };
        rec(37, {0x80000008u});  // SELECTOBJECT the null pen
        for (const Shape& s : Shapes) {
            rec(39, {1, 0, s.Colour, 0});  // CREATEBRUSHINDIRECT solid, handle 1
            rec(37, {1});
            rec(s.K == Shape::Rectangle ? 43 : 42,
                {uint32_t(s.Left), uint32_t(s.Top), uint32_t(s.Right), uint32_t(s.Bottom)});
            rec(37, {0x80000000u});  // the white brush again, so the handle can go
            rec(40, {1});            // DELETEOBJECT
        }
        rec(14, {0, 16, 20});  // EOF
        const int w = ClaimedWidth >= 0 ? ClaimedWidth : Width, h = ClaimedHeight >= 0 ? ClaimedHeight : Height;
        std::string out;
        Put32(out, 1);
        Put32(out, 88);
        for (int v : {0, 0, w - 1, h - 1}) Put32(out, uint32_t(v));  // bounds, pixels
        // The frame in hundredths of a millimetre, 96 pixels an inch.
        for (int v : {0, 0, w * 2540 / 96, h * 2540 / 96}) Put32(out, uint32_t(v));
        Put32(out, 0x464D4520u);
        Put32(out, 0x10000);
        Put32(out, uint32_t(88 + records.size()));
        Put32(out, count + 1);
        Put16(out, 2);
        Put16(out, 0);
        Put32(out, 0);
        Put32(out, 0);
        Put32(out, 0);
        for (int v : {960, 480, 254, 127}) Put32(out, uint32_t(v));  // the reference device
        return out + records;
    }

private:
    int Width, Height;
};

// A placeable metafile of 100 x 100 pixels whose one STRETCHDIB record
// holds a 4 x 4 bitmap of bitCount bits whose information header gives
// headerSize as its own size (40 in a sound file): libwmf loops for ever
// on a short one.
inline std::string WmfStretchDib(uint32_t headerSize, uint32_t bitCount) {
    std::string records;
    auto rec = [&records](uint16_t function, const std::string& words) {
        Put32(records, uint32_t(3 + words.size() / 2));
        Put16(records, function);
        records += words;
    };
    auto words = [](std::initializer_list<uint32_t> ws) {
        std::string out;
        for (uint32_t w : ws) Put16(out, w);
        return out;
    };
    rec(0x0103, words({8}));
    rec(0x020B, words({0, 0}));
    rec(0x020C, words({1500, 1500}));
    std::string dib = words({0x0020, 0x00CC, 0, 4, 4, 0, 0, 100, 100, 0, 0});  // raster op, usage, source, place
    for (uint32_t v : {headerSize, 4u, 4u}) Put32(dib, v);
    Put16(dib, 1);
    Put16(dib, bitCount);
    for (int i = 0; i < 6; ++i) Put32(dib, 0);
    dib += std::string(64, '\xFF');
    rec(0x0F43, dib);
    rec(0x0000, "");
    std::string out;
    Put32(out, 0x9AC6CDD7u);
    for (uint32_t v : {0u, 0u, 0u, 1500u, 1500u, 1440u}) Put16(out, v);
    Put32(out, 0);
    uint16_t sum = 0;
    for (size_t i = 0; i < out.size(); i += 2) sum ^= uint16_t(uint8_t(out[i]) | uint8_t(out[i + 1]) << 8);
    Put16(out, sum);
    for (uint32_t v : {1u, 9u, 0x0300u}) Put16(out, v);
    Put32(out, uint32_t(9 + records.size() / 2));
    Put16(out, 0);
    Put32(out, 100);
    Put16(out, 0);
    return out + records;
}

// An enhanced metafile of 240 x 120 holding a clip path of many points,
// then many SaveDC records: libemf2svg copies the path at each, beyond any
// memory.
inline std::string EmfClipThenSaves(int points, int saves) {
    std::string records;
    int count = 0;
    auto rec = [&](uint32_t type, const std::string& payload) {
        Put32(records, type);
        Put32(records, uint32_t(8 + payload.size()));
        records += payload;
        ++count;
    };
    rec(59, "");  // BEGINPATH
    std::string poly;
    for (int v : {0, 0, 240, 120, points}) Put32(poly, uint32_t(v));
    for (int i = 0; i < points; ++i) {
        Put16(poly, uint32_t((i * 7) % 240));
        Put16(poly, uint32_t((i * 13) % 120));
    }
    rec(86, poly);  // POLYGON16
    rec(60, "");    // ENDPATH
    std::string mode;
    Put32(mode, 5);
    rec(67, mode);  // SELECTCLIPPATH
    for (int i = 0; i < saves; ++i) rec(33, "");  // SAVEDC
    // The header of a plain enhanced metafile, then these records; the
    // header's size and record count say so.
    std::string bytes = Emf(240, 120).Bytes();
    const std::string eof = bytes.substr(bytes.size() - 20);
    bytes.resize(88);
    bytes += records + eof;
    for (int i = 0; i < 4; ++i) {
        bytes[48 + size_t(i)] = char((bytes.size() >> (8 * i)) & 0xFF);
        bytes[52 + size_t(i)] = char((uint32_t(count + 1) >> (8 * i)) & 0xFF);
    }
    return bytes;
}

// The sample pictures: a red square and a blue disc side by side.
inline std::vector<Shape> SampleShapes() {
    return {{Shape::Rectangle, 10, 10, 110, 110, Rgb(220, 0, 0)}, {Shape::Ellipse, 130, 10, 230, 110, Rgb(0, 0, 220)}};
}

}  // namespace metafile_writer
