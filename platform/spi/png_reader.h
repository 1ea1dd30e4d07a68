// PNG pictures decoded with libpng, bounded by what libpng allocates as
// well as by the picture's size: for the PNG import plug-in and for the
// PNG pictures inside icons.
#pragma once

#include "spi_abi.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace png_reader {

// Every colour type and depth comes out as 8-bit blue, green, red, alpha
// (255 where the picture has no transparency), rows top down; gamma as
// the file states it, and as stored when it states none.
class TPngReader {
public:
    TPngReader(const void* data, size_t size);
    ~TPngReader();
    TPngReader(const TPngReader&) = delete;
    TPngReader& operator=(const TPngReader&) = delete;

    // Reads up to the picture data; false for no PNG, a broken one, or
    // one beyond the picture budget.
    bool Begin();
    uint32_t Width() const;
    uint32_t Height() const;
    int Passes() const;  // 7 for an interlaced picture, otherwise 1
    bool Alpha() const;  // some pixels may be transparent
    // Decodes into rows[0 .. Height() - 1], 4 x Width() bytes each.  The
    // progress callback (may be null) is told of every row of every pass
    // and stops the decode by answering non-zero.  0: done; 1: stopped;
    // 2: the data is broken.
    int32_t Read(unsigned char* const* rows, SpiProgressCallback progress, intptr_t user);

    struct TJob;

private:
    std::unique_ptr<TJob> Job;
};

// Lays pixels (blue, green, red, alpha) on white, in place, and makes
// them opaque.
void OnWhite(unsigned char* pixels, uint64_t count);

}  // namespace png_reader
