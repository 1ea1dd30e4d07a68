// Picture files made by the tests whose headers claim far more pixels
// than they hold: each must be refused from its header, quickly and
// without the memory it claims.
#pragma once

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <cstdint>
#include <string>

namespace hostile {

inline void PutBe32(std::string& s, uint32_t v) {
    for (int i = 3; i >= 0; --i) s += char((v >> (8 * i)) & 0xFF);
}
inline void PutLe(std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s += char((v >> (8 * i)) & 0xFF);
}

inline uint32_t Crc32(const std::string& data) {
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : data) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
}

inline std::string PngChunk(const std::string& type, const std::string& data) {
    std::string out;
    PutBe32(out, uint32_t(data.size()));
    out += type + data;
    PutBe32(out, Crc32(type + data));
    return out;
}

// A PNG of a few dozen bytes: a true header of width x height RGBA pixels,
// and image data for none of them.
inline std::string PngClaiming(uint32_t width, uint32_t height) {
    std::string ihdr;
    PutBe32(ihdr, width);
    PutBe32(ihdr, height);
    ihdr += std::string("\x08\x06\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1A\n", 8) + PngChunk("IHDR", ihdr) +
           PngChunk("IDAT", std::string("\x78\x9C\x03\x00\x00\x00\x00\x01", 8)) + PngChunk("IEND", "");
}

// A small progressive JPEG whose frame header is made to claim width x height.
inline std::string ProgressiveJpegClaiming(uint16_t width, uint16_t height) {
    QImage img(16, 16, QImage::Format_RGB32);
    img.fill(Qt::green);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    if (!writer.write(img)) return {};
    std::string bytes = buffer.data().toStdString();
    const size_t sof = bytes.find("\xFF\xC2");
    if (sof == std::string::npos) return {};
    bytes[sof + 5] = char(height >> 8);
    bytes[sof + 6] = char(height & 0xFF);
    bytes[sof + 7] = char(width >> 8);
    bytes[sof + 8] = char(width & 0xFF);
    return bytes;
}

// A bitmap file header for width x height 24-bit pixels, and 64 bytes of them.
inline std::string BmpClaiming(int32_t width, int32_t height) {
    std::string s = "BM";
    PutLe(s, 54 + 64, 4);
    PutLe(s, 0, 4);
    PutLe(s, 54, 4);
    PutLe(s, 40, 4);
    PutLe(s, uint32_t(width), 4);
    PutLe(s, uint32_t(height), 4);
    PutLe(s, 1, 2);
    PutLe(s, 24, 2);
    for (int i = 0; i < 6; ++i) PutLe(s, 0, 4);
    return s + std::string(64, '\x40');
}

}  // namespace hostile
