// Pictures decoded by the import plug-ins, and the picture registry that
// the drill program loads every picture through.
#pragma once

#include "SPIs.h"

#include <QImage>
#include <stdexcept>
#include <string>
#include <vector>

class EInvalidGraphic : public std::runtime_error { using std::runtime_error::runtime_error; };

// A picture loaded through the plug-ins (or as a plain bitmap).
class TSPIBitmap {
public:
    TSPI* SPI = nullptr;        // the one plug-in to use; null: any
    bool SkipMacHeader = true;  // on failure try again 128 bytes further on
    QImage Image;
    std::vector<int> Progress;  // the percentages reported while decoding

    // Loads a file; raises EInvalidGraphic when no reader can decode it.
    void LoadFromFile(const std::string& fileName);
    void LoadFromBytes(const std::string& bytes, const std::string& fileName);
    // Builds the picture from a bitmap information block and its bits
    // (1, 4, 8, 16, 24 or 32 bits a pixel, uncompressed or with colour
    // masks, either row order), checking every size against the blocks and
    // the budget first; raises EInvalidGraphic.  The image is 32-bit RGB.
    void SetDIB(const void* info, uint64_t infoSize, const void* bits, uint64_t bitsSize);

private:
    bool LoadWithBitmapReader(const std::string& bytes);
    bool LoadWithPlugins(const std::string& bytes, const std::string& fileName);
    bool DecodeStream(TSPI* spi, const std::string& bytes, const std::string& fileName);
    bool DecodeBuffer(TSPI* spi, const char* data, int64_t length, const std::string& fileName);
    // SetDIB; when adopt points at the local memory block that holds bits,
    // a 32-bit picture is made in that block, which the image then owns
    // and frees (*adopt is set to null).
    void MakeImage(const void* info, uint64_t infoSize, void* bits, uint64_t bitsSize, void** adopt);
};

// Decodes a JPEG file with libjpeg into a 24-bit picture; false when the
// data is no JPEG it can read, or one beyond the picture budget.
bool DecodeJpeg(const std::string& bytes, QImage& out);

// Decodes a bitmap file (every header, depth and compression: runs,
// colour masks, transparency) or an icon/cursor file (the largest, then
// deepest, of its pictures, bitmap with its mask or PNG) into a 32-bit
// picture, transparency laid on white; false when the data is none, or
// one beyond the picture budget.
bool DecodeBmp(const std::string& bytes, QImage& out);
bool DecodeIco(const std::string& bytes, QImage& out);

// The registry of picture formats: extension (lower case, no dot) to how
// it is decoded.
class TPictureRegistry {
public:
    enum class Kind { Builtin, Jpeg, Plugin, Metafile, CannotDecode };
    static TPictureRegistry& Instance();
    void Register(const std::string& ext, const std::string& description, Kind kind);
    std::vector<std::string> Extensions() const;
    bool Has(const std::string& ext) const;
    // Loads a picture by its extension; false when it cannot be shown.
    bool LoadPictureFile(const std::string& fileName, QImage& out) const;

private:
    TPictureRegistry();
    struct Entry {
        std::string Ext, Description;
        Kind K;
    };
    std::vector<Entry> Entries;
};
