// Every picture of a generated corpus (PNG of every colour type, depth,
// interlace, transparency and gamma; JPEG of every colour space and
// subsampling; bitmaps of every header, depth, mask set, compression and
// row order; icons of every depth) loaded as the drill program loads it
// and compared, pixel by pixel, with the picture a common viewer shows
// (written beside it by make_picture_corpus.py, from the file's known
// pixels or by Pillow).  Files no viewer shows must be refused.
#include "SPIBmp.h"
#include "SPIs.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string CorpusDir() {
    const char* d = std::getenv("PICTURE_CORPUS");
    return d ? std::string(d) + "/" : std::string();
}

// Reads a binary PPM ("P6", 8 bits) as written by the generator.
bool ReadPpm(const std::string& path, int& w, int& h, std::vector<unsigned char>& rgb) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    if (!(in >> magic >> w >> h >> maxval) || magic != "P6" || maxval != 255) return false;
    in.get();
    rgb.resize(size_t(w) * size_t(h) * 3);
    return bool(in.read(reinterpret_cast<char*>(rgb.data()), std::streamsize(rgb.size())));
}

std::vector<std::string> Pictures() {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(CorpusDir().c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            const size_t dot = n.rfind('.');
            if (dot != std::string::npos && n.substr(dot) != ".ppm" && n.substr(dot) != ".txt" && n[0] != '.')
                names.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class PictureCorpus : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "picture_corpus";
        static char* argv[] = {name, nullptr};
        static QGuiApplication app(argc, argv);
        Host = new TSPIs;
        Host->RegisterFileFormat = [](const std::string& ext, const std::string& d) {
            TPictureRegistry::Instance().Register(ext, d, TPictureRegistry::Kind::Plugin);
        };
        Host->Search(std::string(std::getenv("RUZOZU_BIN") ? std::getenv("RUZOZU_BIN") : ".") + "/*.spi");
    }
    static void TearDownTestSuite() {
        delete Host;
        Host = nullptr;
    }
    static TSPIs* Host;
};
TSPIs* PictureCorpus::Host = nullptr;

TEST_F(PictureCorpus, EveryValidFileIsShownAsAViewerShowsIt) {
    ASSERT_TRUE(TPictureRegistry::Instance().Has("png")) << "no PNG plug-in in $RUZOZU_BIN";
    std::ifstream refusedList(CorpusDir() + "refused.txt");
    std::string refusedNames((std::istreambuf_iterator<char>(refusedList)), std::istreambuf_iterator<char>());
    const std::vector<std::string> names = Pictures();
    ASSERT_GT(names.size(), 200u) << "the corpus was not made in " << CorpusDir();
    int compared = 0;
    for (const std::string& n : names) {
        SCOPED_TRACE(n);
        QImage img;
        const bool loaded = TPictureRegistry::Instance().LoadPictureFile(CorpusDir() + n, img);
        if (refusedNames.find(n + "\n") != std::string::npos) {
            EXPECT_FALSE(loaded) << n << " was shown";
            continue;
        }
        ASSERT_TRUE(loaded) << n << " was refused";
        int w = 0, h = 0;
        std::vector<unsigned char> want;
        ASSERT_TRUE(ReadPpm(CorpusDir() + n.substr(0, n.rfind('.')) + ".ppm", w, h, want));
        ASSERT_EQ(img.width(), w);
        ASSERT_EQ(img.height(), h);
        int worst = 0, wx = 0, wy = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const QRgb px = img.pixel(x, y);
                const int got[3] = {qRed(px), qGreen(px), qBlue(px)};
                for (int c = 0; c < 3; ++c) {
                    const int d = std::abs(got[c] - want[(size_t(y) * size_t(w) + size_t(x)) * 3 + size_t(c)]);
                    if (d > worst) worst = d, wx = x, wy = y;
                }
            }
        EXPECT_LE(worst, 2) << n << ": off by " << worst << " at (" << wx << ", " << wy << ")";
        ++compared;
    }
    std::printf("%d pictures compared\n", compared);
}

}  // namespace
