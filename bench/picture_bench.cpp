// Showing the largest picture the budget allows (4096 x 4096) as PNG,
// JPEG and BMP through the picture registry, each beside the floor of a
// plain decode of the same file by its library alone (libpng, libjpeg,
// Qt's own reader), measured in the same run; the growth of the peak
// memory (VmHWM) of one showing is given beside the picture's own size.
// And pictures whose headers claim far more pixels than the budget: the
// time to refuse each, against the floor of showing a small picture of
// the same kind.  Run by hand: build/bin/picture_bench (the PNG plug-in is
// looked for beside it).
#include "SPIBmp.h"
#include "hostile_pictures.h"
#include "metafile.h"
#include "metafile_writer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <jpeglib.h>
#include <malloc.h>
#include <memory>
#include <png.h>

namespace {

// ---------------------------------------------------------------- 4096 x 4096

const int kSide = 4096;

// A picture like a photograph with a soft edge: smooth colours with some
// grain, opaque in the middle and fading out towards the border (the PNG
// keeps the fading as transparency, the others are opaque).
struct BigPictures {
    QTemporaryDir Dir;
    std::string Png, Jpeg, Bmp;
    BigPictures() {
        QImage img(kSide, kSide, QImage::Format_ARGB32);
        uint32_t seed = 12345;
        for (int y = 0; y < kSide; ++y) {
            auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < kSide; ++x) {
                seed = seed * 1103515245u + 12345u;
                const int grain = int(seed >> 28) - 8;
                const int edge = std::min(std::min(x, y), std::min(kSide - 1 - x, kSide - 1 - y));
                const int alpha = std::min(255, edge / 2);
                row[x] = qRgba(std::clamp(x / 16 + grain, 0, 255), std::clamp(y / 16 + grain, 0, 255),
                               std::clamp((x + y) / 32 + grain, 0, 255), alpha);
            }
        }
        const QString d = Dir.path() + "/";
        Png = (d + "big.png").toStdString();
        Jpeg = (d + "big.jpg").toStdString();
        Bmp = (d + "big.bmp").toStdString();
        img.save(QString::fromStdString(Png), "PNG");
        img = img.convertToFormat(QImage::Format_RGB32);
        img.save(QString::fromStdString(Jpeg), "JPG", 90);
        img.save(QString::fromStdString(Bmp), "BMP");
    }
};

BigPictures& Big() {
    static BigPictures pictures;
    return pictures;
}

long StatusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, std::strlen(key), key) == 0) return std::strtol(line.c_str() + std::strlen(key), nullptr, 10);
    return 0;
}

// The growth of the peak memory while work runs once, in MiB: the peak is
// set back to what is resident now first.
template <class F>
double PeakGrowthMiB(F&& work) {
    // Free memory the allocator still holds would be taken again without
    // growing the resident set: it is given back first.
    ::malloc_trim(0);
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
    const long before = StatusKiB("VmRSS:");
    work();
    return (StatusKiB("VmHWM:") - before) / 1024.0;
}

// Runs one showing or decoding per iteration; the counters give the peak
// growth of one of them and the picture's own size (32 bits a pixel).
template <class F>
void Measure(benchmark::State& state, F&& once) {
    bool ok = true;
    const double peak = PeakGrowthMiB([&] { ok = once(); });
    if (!ok) {
        state.SkipWithError("not decoded");
        return;
    }
    for (auto _ : state)
        if (!once()) state.SkipWithError("not decoded");
    state.counters["peak_MiB"] = peak;
    state.counters["picture_MiB"] = double(kSide) * kSide * 4 / (1 << 20);
}

// What the drill program does: the picture through the registry, then the
// pixmap the label shows.
bool Show(const std::string& file) {
    QImage img;
    if (!TPictureRegistry::Instance().LoadPictureFile(file, img)) return false;
    QPixmap pm = QPixmap::fromImage(img);
    benchmark::DoNotOptimize(pm);
    return pm.width() == kSide;
}

void BM_Show4096Png(benchmark::State& s) { Measure(s, [] { return Show(Big().Png); }); }
void BM_Show4096Jpeg(benchmark::State& s) { Measure(s, [] { return Show(Big().Jpeg); }); }
void BM_Show4096Bmp(benchmark::State& s) { Measure(s, [] { return Show(Big().Bmp); }); }

// The floors: libpng alone into a buffer of its own.
bool PlainPng(const std::string& file) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str())) return false;
    image.format = PNG_FORMAT_BGRA;
    std::unique_ptr<png_byte[]> pixels(new png_byte[PNG_IMAGE_SIZE(image)]);
    const bool ok = png_image_finish_read(&image, nullptr, pixels.get(), 0, nullptr) != 0;
    benchmark::DoNotOptimize(pixels.get());
    return ok && image.width == kSide;
}

// libjpeg alone, reading the file, to its own RGB.
bool PlainJpeg(const std::string& file) {
    FILE* in = std::fopen(file.c_str(), "rb");
    if (!in) return false;
    jpeg_decompress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, in);
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    const size_t stride = size_t(info.output_width) * info.output_components;
    std::unique_ptr<JSAMPLE[]> pixels(new JSAMPLE[stride * info.output_height]);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.get() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    const bool ok = info.output_width == kSide;
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(in);
    return ok;
}

// Qt's own reader loading the file.
bool PlainQt(const std::string& file) {
    QImage img;
    return img.load(QString::fromStdString(file), "BMP") && img.width() == kSide;
}

void BM_Floor4096Png(benchmark::State& s) { Measure(s, [] { return PlainPng(Big().Png); }); }
void BM_Floor4096Jpeg(benchmark::State& s) { Measure(s, [] { return PlainJpeg(Big().Jpeg); }); }
void BM_Floor4096Bmp(benchmark::State& s) { Measure(s, [] { return PlainQt(Big().Bmp); }); }

BENCHMARK(BM_Floor4096Png)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Show4096Png)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor4096Jpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Show4096Jpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor4096Bmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Show4096Bmp)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- refusals

std::string Encoded(const char* format, int side) {
    QImage img(side, side, QImage::Format_RGB32);
    img.fill(Qt::red);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, format);
    return buffer.data().toStdString();
}

void Load(benchmark::State& state, const std::string& bytes, const char* name, bool shown) {
    for (auto _ : state) {
        TSPIBitmap bmp;
        bool ok = true;
        try {
            bmp.LoadFromBytes(bytes, name);
        } catch (const EInvalidGraphic&) {
            ok = false;
        }
        if (ok != shown) state.SkipWithError("unexpected result");
        benchmark::DoNotOptimize(bmp.Image);
    }
}

void BM_PngFloorSmall(benchmark::State& s) { Load(s, Encoded("PNG", 64), "a.png", true); }
void BM_PngClaiming32767(benchmark::State& s) { Load(s, hostile::PngClaiming(32767, 32767), "a.png", false); }
void BM_BmpFloorSmall(benchmark::State& s) { Load(s, Encoded("BMP", 64), "a.bmp", true); }
void BM_BmpClaiming5000(benchmark::State& s) { Load(s, hostile::BmpClaiming(5000, 5000), "a.bmp", false); }

void BM_JpegFloorSmall(benchmark::State& state) {
    const std::string bytes = hostile::ProgressiveJpegClaiming(16, 16);
    QImage img;
    for (auto _ : state)
        if (!DecodeJpeg(bytes, img)) state.SkipWithError("not decoded");
}
void BM_JpegClaiming20000(benchmark::State& state) {
    const std::string bytes = hostile::ProgressiveJpegClaiming(20000, 20000);
    QImage img;
    for (auto _ : state)
        if (DecodeJpeg(bytes, img)) state.SkipWithError("decoded");
}

void Metafile(benchmark::State& state, int claimed, bool shown) {
    metafile_writer::Emf emf(240, 120);
    emf.Shapes = metafile_writer::SampleShapes();
    emf.ClaimedWidth = emf.ClaimedHeight = claimed;
    const std::string bytes = emf.Bytes();
    QImage img;
    for (auto _ : state)
        if (DecodeMetafile(bytes.data(), bytes.size(), img) != shown) state.SkipWithError("unexpected result");
}
void BM_EmfFloorSmall(benchmark::State& s) { Metafile(s, 120, true); }
void BM_EmfClaiming20000(benchmark::State& s) { Metafile(s, 20000, false); }

BENCHMARK(BM_PngFloorSmall);
BENCHMARK(BM_PngClaiming32767);
BENCHMARK(BM_BmpFloorSmall);
BENCHMARK(BM_BmpClaiming5000);
BENCHMARK(BM_JpegFloorSmall);
BENCHMARK(BM_JpegClaiming20000);
BENCHMARK(BM_EmfFloorSmall);
BENCHMARK(BM_EmfClaiming20000);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TSPIs host;
    host.RegisterFileFormat = [](const std::string& ext, const std::string& d) {
        TPictureRegistry::Instance().Register(ext, d, TPictureRegistry::Kind::Plugin);
    };
    host.Search(QCoreApplication::applicationDirPath().toStdString() + "/*.spi");
    // The files are made before anything is measured.
    for (const std::string* f : {&Big().Png, &Big().Jpeg, &Big().Bmp})
        std::printf("%s: %lld bytes\n", f->c_str(), static_cast<long long>(QFileInfo(QString::fromStdString(*f)).size()));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
