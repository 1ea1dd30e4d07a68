#include "png_reader.h"

#include "picture_budget.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace png_reader {

namespace {

// The chunks that are never read: text (plain and compressed), profiles,
// palettes suggested, metadata.  libpng skips them unread, so that no
// chunk makes it allocate what its length claims or inflate what it holds.
// What the picture needs stays: the palette, transparency, gamma, sRGB.
const png_byte kSkippedChunks[] = "bKGD\0cHRM\0eXIf\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0sPLT\0tEXt\0tIME\0zTXt";
const int kSkippedCount = 15;
const png_alloc_size_t kMaxChunkBytes = picture_budget::kMaxPngChunkBytes;
const png_uint_32 kMaxChunkCount = picture_budget::kMaxPngChunkCount;

struct TSource {
    const unsigned char* Data;
    size_t Size, At;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t n) {
    auto* src = static_cast<TSource*>(png_get_io_ptr(png));
    if (n > src->Size - src->At) png_error(png, "truncated");
    std::memcpy(out, src->Data + src->At, n);
    src->At += n;
}

void Quiet(png_structp, png_const_charp) {}
void Fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

}  // namespace

// One decode: everything that must outlive a jump back from libpng lies
// here, outside the frame that calls setjmp.
struct TPngReader::TJob {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    TSource Source{};
    unsigned char* const* Rows = nullptr;
    uint32_t Width = 0, Height = 0;
    bool Alpha = false;
    bool Began = false;
    int Passes = 1;
    int32_t Code = 2;
    SpiProgressCallback Progress = nullptr;
    intptr_t User = 0;
    ~TJob() { png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr); }
};

namespace {

// Reads the header and sets the transforms to 8-bit blue, green, red,
// alpha; false when libpng fails or the picture is beyond the budget.
bool BeginRead(TPngReader::TJob* job) {
    if (setjmp(png_jmpbuf(job->Png))) return false;
    png_structp png = job->Png;
    png_infop info = job->Info;
    png_set_user_limits(png, picture_budget::kMaxSide, picture_budget::kMaxSide);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_chunk_cache_max(png, kMaxChunkCount);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, kSkippedCount);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);  // and every chunk libpng does not know
    png_set_read_fn(png, &job->Source, ReadFromMemory);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, color = 0, interlace = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &color, &interlace, nullptr, nullptr);
    if (!picture_budget::Fits(w, h)) return false;
    job->Width = w;
    job->Height = h;
    if (color == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (color == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    const bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (trns) png_set_tRNS_to_alpha(png);
    if (depth == 16) png_set_scale_16(png);
    if (color == PNG_COLOR_TYPE_GRAY || color == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    // Gamma as the file states it; without a gAMA chunk (or with sRGB) the
    // values are shown as stored, as browsers show them.
    png_fixed_point gamma = 0;
    if (!png_get_valid(png, info, PNG_INFO_sRGB) && png_get_gAMA_fixed(png, info, &gamma) && gamma > 0)
        png_set_gamma_fixed(png, PNG_DEFAULT_sRGB, gamma);
    png_set_bgr(png);
    job->Alpha = trns || (color & PNG_COLOR_MASK_ALPHA) != 0;
    if (!job->Alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    job->Passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return png_get_rowbytes(png, info) == size_t(4) * w;
}

// Reads every row (each pass of an interlaced picture) into job->Rows;
// false when libpng fails or the progress callback asks to stop
// (job->Code says which).
bool ReadRows(TPngReader::TJob* job) {
    if (setjmp(png_jmpbuf(job->Png))) return false;
    const int passes = job->Passes;
    const int64_t total = int64_t(passes) * job->Height;
    for (int pass = 0; pass < passes; ++pass)
        for (uint32_t y = 0; y < job->Height; ++y) {
            png_read_row(job->Png, job->Rows[y], nullptr);
            const int64_t done = int64_t(pass) * job->Height + y + 1;
            if (job->Progress && job->Progress(static_cast<int32_t>(done), static_cast<int32_t>(total), job->User)) {
                job->Code = 1;
                return false;
            }
        }
    return true;
}

}  // namespace

TPngReader::TPngReader(const void* data, size_t size) : Job(new TJob) {
    Job->Source = {static_cast<const unsigned char*>(data), data ? size : 0, 0};
}

TPngReader::~TPngReader() = default;

bool TPngReader::Begin() {
    if (Job->Png) return false;  // once only
    Job->Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Quiet);
    if (!Job->Png) return false;
    Job->Info = png_create_info_struct(Job->Png);
    return Job->Info && BeginRead(Job.get()) && (Job->Began = true);
}

uint32_t TPngReader::Width() const { return Job->Width; }
uint32_t TPngReader::Height() const { return Job->Height; }
int TPngReader::Passes() const { return Job->Passes; }
bool TPngReader::Alpha() const { return Job->Alpha; }

int32_t TPngReader::Read(unsigned char* const* rows, SpiProgressCallback progress, intptr_t user) {
    if (!Job->Began || !rows) return 2;
    Job->Began = false;  // libpng reads the data once
    Job->Rows = rows;
    Job->Progress = progress;
    Job->User = user;
    Job->Code = 2;
    return ReadRows(Job.get()) ? 0 : Job->Code;
}

void OnWhite(unsigned char* p, uint64_t count) {
    // c * a / 255 + (255 - a), by the exact integer quotient without a
    // division.
    for (uint64_t i = 0; i < count; ++i, p += 4) {
        const unsigned a = p[3];
        if (a == 255) continue;
        for (int c = 0; c < 3; ++c) {
            const unsigned x = p[c] * a + 255 * (255 - a);  // at most 65025
            p[c] = static_cast<unsigned char>((x + 1 + (x >> 8)) >> 8);
        }
        p[3] = 255;
    }
}

}  // namespace png_reader
