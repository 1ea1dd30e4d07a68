// The plug-in host, the plug-in picture class and the picture registry.
#include "SPIBmp.h"
#include "hostile_pictures.h"
#include "metafile_writer.h"
#include "sjis.h"
#include "textfile.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <jpeglib.h>
#include <memory>

namespace {

std::string Env(const char* name) { return qEnvironmentVariable(name).toStdString(); }

// A folder holding copies of the named test plug-ins.
std::string PluginFolder(QTemporaryDir& dir, std::initializer_list<const char*> names) {
    for (const char* n : names)
        QFile::copy(QString::fromStdString(Env("RUZOZU_TEST_PLUGINS") + "/" + n + ".spi"),
                    dir.filePath(QString(n) + ".spi"));
    return dir.path().toStdString() + "/";
}

std::string Sample(const char* name) { return std::string(RUZOZU_SOURCE_DIR) + "/samples/" + name; }

}  // namespace

class PicturesTest : public QObject {
    Q_OBJECT
private slots:
    void jpegThroughLibjpeg();
    void hostLoadsChecksAndRegisters();
    void pngPluginDecodesAndRetriesPastAHeader();
    void distrustsWhatAPluginReturns();
    void orderForAFileAndOneHost();
    void failedAddingKeepsNothing();
    void metafilesThroughTheRegistry();
    void hostilePicturesRefusedFromTheHeader();
    void hostilePicturesCostLittleMemory();
    void pluginsThatMisbehave();
    void pluginBitmapsAtEveryDepth();
    void pixelsOfEachKindAsShown();
    void pictureWithoutItsInformation();
};

void PicturesTest::jpegThroughLibjpeg() {
    QImage img;
    QVERIFY(TPictureRegistry::Instance().LoadPictureFile(Sample("fruit.jpg"), img));
    QCOMPARE(img.size(), QSize(200, 150));
    QColor centre = img.pixelColor(100, 80);
    QVERIFY(centre.red() > 150 && centre.green() < 80);  // the red fruit
    std::string notJpeg = "not a jpeg at all";
    QVERIFY(!DecodeJpeg(notJpeg, img));
    // A header that claims 65500 x 65500 pixels is refused, not decoded.
    std::string huge;
    QVERIFY(textfile::ReadFileBytes(Sample("fruit.jpg"), huge));
    size_t sof = huge.find("\xFF\xC0");
    QVERIFY(sof != std::string::npos);
    for (size_t i = sof + 5; i < sof + 9; ++i) huge[i] = (i - sof) % 2 ? char(0xFF) : char(0xDC);
    QVERIFY(!DecodeJpeg(huge, img));
}

void PicturesTest::hostLoadsChecksAndRegisters() {
    QTemporaryDir dir;
    std::string folder = PluginFolder(dir, {"good", "lower", "noget"});
    textfile::WriteFileAtomic(folder + "broken.spi", "not a shared object");
    TSPIs host;
    bool dup = false;
    try {
        TSPIs second;
    } catch (const ESPIDupCreateSPIs&) {
        dup = true;
    }
    QVERIFY(dup);
    std::vector<std::string> registered;
    host.RegisterFileFormat = [&](const std::string& ext, const std::string&) { registered.push_back(ext); };
    host.Search(folder + "*.spi");
    host.Search(folder + "*.spi");  // a second search loads nothing twice
    // broken: no shared object; noget: lacks an export; both skipped.
    QCOMPARE(host.Count(), 2);
    QCOMPARE(host.Items(0)->Kind(), TSPIKind::In);       // good
    QCOMPARE(host.Items(1)->Kind(), TSPIKind::Plain);    // "00in" in lower case
    QCOMPARE(host.Items(0)->PluginName, std::string("PNG import plug-in (libpng)"));
    QCOMPARE(registered, std::vector<std::string>{"png"});
    QCOMPARE(host.IndexOf(sjis::LowerAscii(host.Items(0)->FileName)), 0);
}

void PicturesTest::pngPluginDecodesAndRetriesPastAHeader() {
    TSPIs host;
    host.RegisterFileFormat = [](const std::string& ext, const std::string& d) {
        TPictureRegistry::Instance().Register(ext, d, TPictureRegistry::Kind::Plugin);
    };
    host.Search(Env("RUZOZU_BIN") + "/*.spi");
    QVERIFY(TPictureRegistry::Instance().Has("png"));
    QImage img;
    QVERIFY(TPictureRegistry::Instance().LoadPictureFile(Sample("star.png"), img));
    QCOMPARE(img.size(), QSize(120, 120));
    QCOMPARE(img.pixelColor(0, 0), QColor(255, 255, 255));  // transparency on white
    std::string png;
    textfile::ReadFileBytes(Sample("star.png"), png);
    TSPIBitmap bmp;
    bmp.LoadFromBytes(std::string(128, 'M') + png, "x.png");  // a 128-byte header in front
    QCOMPARE(bmp.Image.size(), QSize(120, 120));
    QCOMPARE(bmp.Progress.front(), 0);
    QCOMPARE(bmp.Progress.back(), 100);
    TSPIBitmap none;
    bool failed = false;
    try {
        none.LoadFromBytes(std::string(128, 'x'), "y.png");  // exactly 128 bytes: no second try
    } catch (const EInvalidGraphic& e) {
        failed = true;
        QCOMPARE(sjis::ToUtf8(e.what()), std::string("認識できない画像形式です"));
    }
    QVERIFY(failed);
}

void PicturesTest::distrustsWhatAPluginReturns() {
    SpiBitmapInfoHeader h{};
    h.biSize = 40;
    h.biWidth = 4;
    h.biHeight = 2;
    h.biPlanes = 1;
    h.biBitCount = 24;
    std::vector<char> bits(16 * 2, '\x7f');
    TSPIBitmap bmp;
    bmp.SetDIB(&h, sizeof h, bits.data(), bits.size());
    QCOMPARE(bmp.Image.size(), QSize(4, 2));
    auto refused = [&](SpiBitmapInfoHeader bad, uint64_t infoSize, uint64_t bitsSize) {
        try {
            TSPIBitmap b;
            b.SetDIB(&bad, infoSize, bits.data(), bitsSize);
        } catch (const EInvalidGraphic&) {
            return true;
        }
        return false;
    };
    QVERIFY(refused(h, 20, bits.size()));          // header larger than its block
    QVERIFY(refused(h, sizeof h, 23));  // bits shorter than the picture (2 rows of 12 bytes)
    SpiBitmapInfoHeader huge = h;
    huge.biWidth = 0x7FFFFFFF;
    QVERIFY(refused(huge, sizeof h, bits.size()));
    SpiBitmapInfoHeader palette = h;
    palette.biBitCount = 8;  // 256 colours that the block does not hold
    QVERIFY(refused(palette, sizeof h, bits.size()));
    // A plug-in that claims a bigger picture than it hands back fails the load.
    QTemporaryDir dir;
    std::string folder = PluginFolder(dir, {"badheader"});
    TSPIs host;
    host.Search(folder + "*.spi");
    QCOMPARE(host.Count(), 1);
    TSPIBitmap b;
    bool failed = false;
    try {
        b.LoadFromFile(Sample("star.png"));
    } catch (const EInvalidGraphic&) {
        failed = true;
    }
    QVERIFY(failed);
    QCOMPARE(b.Progress.back(), 100);  // the end is reported also when the picture is refused
}

void PicturesTest::orderForAFileAndOneHost() {
    QTemporaryDir dir;
    std::string folder = PluginFolder(dir, {"good", "badheader"});
    TSPIs host;
    host.Search(folder + "*.spi");
    QCOMPARE(host.Count(), 2);
    auto order = host.GetSPIs("PIC.PNG");
    QCOMPARE(order.size(), size_t(2));
    QCOMPARE(order[0], host.Items(1));  // matching ones in reverse list order
    auto plain = host.GetSPIs("noextension");
    QCOMPARE(plain[0], host.Items(0));
}

void PicturesTest::failedAddingKeepsNothing() {
    QTemporaryDir dir;
    std::string folder = PluginFolder(dir, {"good"});
    TSPIs host;
    host.OnPictureRegister = [](TSPIs*, TSPI*, const std::string&, const std::string&, bool&) {
        throw std::runtime_error("refused");
    };
    host.Search(folder + "*.spi");  // the failure is swallowed and the plug-in dropped
    QCOMPARE(host.Count(), 0);
}

namespace {

// The hostile files, written into a folder: each claims far more pixels
// than the budget allows.
std::vector<std::string> WriteHostileFiles(const QTemporaryDir& dir) {
    const std::string d = dir.path().toStdString() + "/";
    metafile_writer::Wmf wmf(240, 120);
    wmf.Shapes = metafile_writer::SampleShapes();
    wmf.ClaimedWidth = wmf.ClaimedHeight = 30000;
    wmf.Inch = 96;
    metafile_writer::Emf emf(240, 120);
    emf.Shapes = metafile_writer::SampleShapes();
    emf.ClaimedWidth = emf.ClaimedHeight = 20000;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"claims32767.png", hostile::PngClaiming(32767, 32767)},
        {"claims12000.png", hostile::PngClaiming(12000, 12000)},
        {"claims20000.jpg", hostile::ProgressiveJpegClaiming(20000, 20000)},
        {"claims30000.jpg", hostile::ProgressiveJpegClaiming(30000, 30000)},
        {"claims5000.bmp", hostile::BmpClaiming(5000, 5000)},
        {"claims30000.bmp", hostile::BmpClaiming(30000, -30000)},
        {"claims30000.wmf", wmf.Bytes()},
        {"claims20000.emf", emf.Bytes()},
    };
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files) {
        if (bytes.empty() || !textfile::WriteFileAtomic(d + name, bytes)) return {};
        names.push_back(d + name);
    }
    return names;
}

}  // namespace

void PicturesTest::metafilesThroughTheRegistry() {
    QVERIFY(TPictureRegistry::Instance().Has("wmf"));
    QVERIFY(TPictureRegistry::Instance().Has("emf"));
    for (const char* name : {"shapes.wmf", "shapes.emf"}) {
        QImage img;
        QVERIFY2(TPictureRegistry::Instance().LoadPictureFile(Sample(name), img), name);
        QCOMPARE(img.size(), QSize(240, 120));
        QVERIFY(img.pixelColor(60, 60).red() > 200);    // the red square
        QVERIFY(img.pixelColor(180, 60).blue() > 200);  // the blue disc
    }
    // An ".emf" that holds a Windows metafile is drawn all the same; bytes
    // that are none are refused.
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString() + "/";
    std::string wmf;
    QVERIFY(textfile::ReadFileBytes(Sample("shapes.wmf"), wmf));
    textfile::WriteFileAtomic(d + "other.EMF", wmf);
    textfile::WriteFileAtomic(d + "a.wmf", "x");
    QImage img;
    QVERIFY(TPictureRegistry::Instance().LoadPictureFile(d + "other.EMF", img));
    QVERIFY(!TPictureRegistry::Instance().LoadPictureFile(d + "a.wmf", img));
}

void PicturesTest::hostilePicturesRefusedFromTheHeader() {
    TSPIs host;
    host.RegisterFileFormat = [](const std::string& ext, const std::string& d) {
        TPictureRegistry::Instance().Register(ext, d, TPictureRegistry::Kind::Plugin);
    };
    host.Search(Env("RUZOZU_BIN") + "/*.spi");
    QTemporaryDir dir;
    const auto files = WriteHostileFiles(dir);
    QVERIFY(!files.empty());
    // What refusing each costs is measured in bench/picture_bench; here,
    // only that each is refused.
    for (const auto& file : files) {
        QImage img;
        QVERIFY2(!TPictureRegistry::Instance().LoadPictureFile(file, img), file.c_str());
        // Through the plug-in picture class as well, by any name.
        std::string bytes;
        textfile::ReadFileBytes(file, bytes);
        TSPIBitmap bmp;
        QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, bmp.LoadFromBytes(bytes, "x.png"));
        QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, bmp.LoadFromBytes(bytes, "x.bmp"));
    }
    // Within the budget, pictures still load: 4096 x 4096 is the largest square.
    QImage big(4096, 4096, QImage::Format_RGB32);
    big.fill(Qt::blue);
    const QString bigName = dir.path() + "/big.bmp";
    QVERIFY(big.save(bigName, "BMP"));
    big = QImage();
    QImage img;
    QVERIFY(TPictureRegistry::Instance().LoadPictureFile(bigName.toStdString(), img));
    QCOMPARE(img.size(), QSize(4096, 4096));
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    const QString iconName = dir.path() + "/a.ico";
    QVERIFY(icon.save(iconName, "ICO"));
    QVERIFY(TPictureRegistry::Instance().LoadPictureFile(iconName.toStdString(), img));
    QCOMPARE(img.size(), QSize(32, 32));
}

void PicturesTest::hostilePicturesCostLittleMemory() {
    QTemporaryDir dir;
    auto files = WriteHostileFiles(dir);
    QVERIFY(!files.empty());
    // And pictures that are shown: a small one, and one of the largest
    // size within the budget (4096 x 4096, through the PNG plug-in).
    QImage big(4096, 4096, QImage::Format_RGB32);
    big.fill(Qt::blue);
    const std::string bigName = dir.path().toStdString() + "/big.png";
    QVERIFY(big.save(QString::fromStdString(bigName), "PNG"));
    big = QImage();
    const std::vector<std::string> shown = {Sample("star.png"), bigName};
    files.insert(files.end(), shown.begin(), shown.end());
    for (const auto& file : files) {
        QProcess probe;
        probe.start(PICTURE_PROBE, {QString::fromStdString(file), QString::fromStdString(Env("RUZOZU_BIN"))});
        QVERIFY(probe.waitForFinished(30000));
        const QStringList figures = QString::fromUtf8(probe.readAllStandardOutput()).split(' ');
        QCOMPARE(figures.size(), 3);
        const bool loaded = figures[0] == "1";
        const long ms = figures[1].toLong(), kib = figures[2].trimmed().toLong();
        const QByteArray name = QFileInfo(QString::fromStdString(file)).fileName().toUtf8();
        qInfo("%s: %s in %ld ms, peak +%ld KiB", name.constData(), loaded ? "shown" : "refused", ms, kib);
        // The time is logged only: a loaded machine may take seconds
        // (bench/picture_bench measures it); the memory does not depend on
        // the load.
        QCOMPARE(loaded, std::find(shown.begin(), shown.end(), file) != shown.end());
        QVERIFY(kib < 300 * 1024);
    }
}

void PicturesTest::pluginsThatMisbehave() {
    // A plug-in that answers every information number is asked a bounded
    // number of them; one that throws anything while it is asked is left
    // out; the program goes on.
    QTemporaryDir dir;
    std::string folder = PluginFolder(dir, {"endless", "throwinfo"});
    {
        TSPIs host;
        int registered = 0;
        host.RegisterFileFormat = [&](const std::string&, const std::string&) { ++registered; };
        // A plug-in that never stops answering would hang here; the test's
        // own time-out catches that.
        host.Search(folder + "*.spi");
        QCOMPARE(host.Count(), 1);
        QCOMPARE(host.Items(0)->Extensions.size(), size_t(32));
        QCOMPARE(registered, 32);
    }
    // A plug-in that throws while decoding fails that picture only: the
    // next plug-in reads it.
    QTemporaryDir dir2;
    folder = PluginFolder(dir2, {"good", "throwpicture"});
    {
        TSPIs host;
        host.Search(folder + "*.spi");
        QCOMPARE(host.Count(), 2);
        TSPIBitmap bmp;
        bmp.LoadFromFile(Sample("star.png"));
        QCOMPARE(bmp.Image.size(), QSize(120, 120));
        TSPIBitmap only;
        only.SPI = host.Items(1);
        QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, only.LoadFromFile(Sample("star.png")));
    }
    // A plug-in that reports progress without end, with any numbers, still
    // gives its picture; what is recorded of its progress stays small.
    QTemporaryDir dir4;
    folder = PluginFolder(dir4, {"progressflood"});
    {
        TSPIs host;
        host.Search(folder + "*.spi");
        TSPIBitmap bmp;
        bmp.LoadFromFile(Sample("star.png"));
        QCOMPARE(bmp.Image.size(), QSize(120, 120));
        QVERIFY(bmp.Progress.size() <= 4097);
        QVERIFY(*std::min_element(bmp.Progress.begin(), bmp.Progress.end()) >= 0);
        QVERIFY(*std::max_element(bmp.Progress.begin(), bmp.Progress.end()) <= 100);
    }
    // One block handed back as both header and bits is refused (and freed
    // once); a size beyond the budget in the picture's information is
    // refused before the picture is asked for.
    QTemporaryDir dir3;
    folder = PluginFolder(dir3, {"sameblock", "hugeinfo"});
    TSPIs host;
    host.Search(folder + "*.spi");
    QCOMPARE(host.Count(), 2);
    for (int i = 0; i < 2; ++i) {
        TSPIBitmap bmp;
        bmp.SPI = host.Items(i);
        QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, bmp.LoadFromFile(Sample("star.png")));
        if (host.Items(i)->FileName.find("hugeinfo") != std::string::npos)
            QCOMPARE(bmp.Progress, (std::vector<int>{0, 100}));  // no progress: never decoded
    }
}

namespace {

// One picture of 3 x 2 pixels as a plug-in may hand it back: the raw value
// of each pixel in its bitmap, and the colour it must show.
struct DibCase {
    const char* Name;
    int Bpp;
    uint32_t Compression;  // 0: none, 3: colour masks
    std::vector<uint32_t> Masks;
    std::vector<QRgb> Palette;
    uint32_t ClrUsed;
    uint32_t HeaderSize;
    uint32_t Raw[2][3];
    QRgb Want[2][3];
};

// The information block and the bits; rows padded with 0xEE, which no
// pixel may show.
void PackDib(const DibCase& c, bool topDown, std::string& info, std::string& bits) {
    info.assign(c.HeaderSize, '\0');
    SpiBitmapInfoHeader h{};
    h.biSize = c.HeaderSize;
    h.biWidth = 3;
    h.biHeight = topDown ? -2 : 2;
    h.biPlanes = 1;
    h.biBitCount = static_cast<uint16_t>(c.Bpp);
    h.biCompression = c.Compression;
    h.biClrUsed = c.ClrUsed;
    std::memcpy(&info[0], &h, sizeof h);
    if (!c.Masks.empty()) {
        if (c.HeaderSize < 52) info.append(12, '\0');
        std::memcpy(&info[40], c.Masks.data(), 12);
    }
    for (QRgb p : c.Palette) info += {char(qBlue(p)), char(qGreen(p)), char(qRed(p)), '\0'};
    const size_t stride = (size_t(c.Bpp) * 3 + 31) / 32 * 4, used = (size_t(c.Bpp) * 3 + 7) / 8;
    bits.clear();
    for (int r = 0; r < 2; ++r) {
        const int y = topDown ? r : 1 - r;
        std::string row(stride, '\xEE');
        std::fill(row.begin(), row.begin() + used, '\0');
        for (int x = 0; x < 3; ++x) {
            const uint32_t v = c.Raw[y][x];
            if (c.Bpp == 1) row[x / 8] |= char(v << (7 - x % 8));
            else if (c.Bpp == 4) row[x / 2] |= char(v << (x % 2 ? 0 : 4));
            else
                for (int b = 0; b < c.Bpp / 8; ++b) row[x * (c.Bpp / 8) + b] = char(v >> (8 * b));
        }
        bits += row;
    }
}

}  // namespace

void PicturesTest::pluginBitmapsAtEveryDepth() {
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255), white = qRgb(255, 255, 255),
               black = qRgb(0, 0, 0), grey = qRgb(132, 132, 132), mix = qRgb(10, 20, 30);
    const std::vector<QRgb> palette = {red, green, blue, white, black, grey, mix};
    std::vector<QRgb> sixteen(palette);
    sixteen.resize(16, mix);
    const std::vector<DibCase> cases = {
        {"1 bit", 1, 0, {}, {white, blue}, 0, 40, {{0, 1, 0}, {1, 1, 0}}, {{white, blue, white}, {blue, blue, white}}},
        {"4 bits", 4, 0, {}, sixteen, 0, 40, {{0, 1, 2}, {15, 5, 3}}, {{red, green, blue}, {mix, grey, white}}},
        // Three colours in the table: an index beyond it shows black.
        {"8 bits", 8, 0, {}, {red, green, blue}, 3, 40, {{2, 1, 0}, {0, 9, 2}}, {{blue, green, red}, {red, black, blue}}},
        // A longer header: the table follows it.
        {"8 bits, long header", 8, 0, {}, palette, 7, 108, {{6, 5, 4}, {3, 2, 1}}, {{mix, grey, black}, {white, blue, green}}},
        // Five bits a channel stretched to eight: 16 of 31 is 132 of 255.
        {"16 bits", 16, 0, {}, {}, 0, 40, {{0x7C00, 0x03E0, 0x001F}, {0x7FFF, 0x4210, 0}},
         {{red, green, blue}, {white, grey, black}}},
        // ...and 32 of 63 is 130.
        {"16 bits 5-6-5", 16, 3, {0xF800, 0x07E0, 0x001F}, {}, 0, 40, {{0xF800, 0x07E0, 0x001F}, {0xFFFF, 0x8410, 0}},
         {{red, green, blue}, {white, qRgb(132, 130, 132), black}}},
        {"24 bits", 24, 0, {}, {}, 0, 40, {{0xFF0000, 0x00FF00, 0x0000FF}, {0x0A141E, 0x848484, 0xFFFFFF}},
         {{red, green, blue}, {mix, grey, white}}},
        // The fourth byte of a 32-bit pixel is not alpha: every pixel is opaque.
        {"32 bits", 32, 0, {}, {}, 0, 40, {{0x00FF0000, 0x1200FF00, 0x000000FF}, {0x800A141E, 0x00848484, 0xFFFFFFFF}},
         {{red, green, blue}, {mix, grey, white}}},
        {"32 bits, red in the low byte", 32, 3, {0xFF, 0xFF00, 0xFF0000}, {}, 0, 40,
         {{0x0000FF, 0x00FF00, 0xFF0000}, {0x1E140A, 0x848484, 0xFFFFFF}}, {{red, green, blue}, {mix, grey, white}}},
        {"32 bits, masks in a long header", 32, 3, {0xFF0000, 0xFF00, 0xFF}, {}, 0, 108,
         {{0xFF0000, 0x00FF00, 0x0000FF}, {0x0A141E, 0x848484, 0xFFFFFF}}, {{red, green, blue}, {mix, grey, white}}},
    };
    for (const DibCase& c : cases) {
        for (bool topDown : {false, true}) {
            std::string info, bits;
            PackDib(c, topDown, info, bits);
            TSPIBitmap bmp;
            bmp.SetDIB(info.data(), info.size(), bits.data(), bits.size());
            const QByteArray what = QByteArray(c.Name) + (topDown ? ", top-down" : ", bottom-up");
            QVERIFY2(bmp.Image.size() == QSize(3, 2), what);
            QCOMPARE(bmp.Image.format(), QImage::Format_RGB32);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    QVERIFY2(bmp.Image.pixel(x, y) == c.Want[y][x],
                             what + QByteArray(" at ") + QByteArray::number(x) + "," + QByteArray::number(y) + ": " +
                                 QByteArray::number(bmp.Image.pixel(x, y), 16));
        }
    }
    // What the bitmap cannot be read as is refused: compressed bits, masks
    // that the block does not hold, masks of more than one run of bits.
    std::string info, bits;
    DibCase rle = cases[2];
    rle.Compression = 1;
    PackDib(rle, false, info, bits);
    TSPIBitmap b;
    QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, b.SetDIB(info.data(), info.size(), bits.data(), bits.size()));
    PackDib(cases[5], false, info, bits);
    QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, b.SetDIB(info.data(), 40, bits.data(), bits.size()));
    DibCase split = cases[5];
    split.Masks = {0xF00F, 0x07E0, 0x0010};
    PackDib(split, false, info, bits);
    QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, b.SetDIB(info.data(), info.size(), bits.data(), bits.size()));
}

namespace {

// Decodes a JPEG with libjpeg alone, to plain RGB: what the picture must show.
QImage PlainJpeg(const std::string& bytes) {
    jpeg_decompress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    QImage img(static_cast<int>(info.output_width), static_cast<int>(info.output_height), QImage::Format_RGB888);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = img.scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return img;
}

bool SamePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) {
                qWarning("(%d, %d): %08x against %08x", x, y, a.pixel(x, y), b.pixel(x, y));
                return false;
            }
    return true;
}

// A picture with every kind of pixel: opaque colours, partly and wholly
// transparent ones, on an odd number of rows and columns.
QImage Pattern(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgba((x * 37 + y) & 255, (y * 53) & 255, (x * y * 7) & 255, (x * 11 + y * 29) & 255));
    return img;
}

}  // namespace

void PicturesTest::pixelsOfEachKindAsShown() {
    TSPIs host;
    host.RegisterFileFormat = [](const std::string& ext, const std::string& d) {
        TPictureRegistry::Instance().Register(ext, d, TPictureRegistry::Kind::Plugin);
    };
    host.Search(Env("RUZOZU_BIN") + "/*.spi");
    QTemporaryDir dir;
    const QString d = dir.path() + "/";
    // PNG with transparency: each pixel laid on white, c * a / 255 + 255 - a.
    const QImage pattern = Pattern(33, 17);
    QVERIFY(pattern.save(d + "pattern.png", "PNG"));
    QImage want(pattern.size(), QImage::Format_RGB32);
    for (int y = 0; y < pattern.height(); ++y)
        for (int x = 0; x < pattern.width(); ++x) {
            const QRgb p = pattern.pixel(x, y);
            const int a = qAlpha(p);
            auto on = [a](int c) { return (c * a + 255 * (255 - a)) / 255; };
            want.setPixel(x, y, qRgb(on(qRed(p)), on(qGreen(p)), on(qBlue(p))));
        }
    QImage img;
    QVERIFY(TPictureRegistry::Instance().LoadPictureFile((d + "pattern.png").toStdString(), img));
    QVERIFY(SamePixels(img, want));
    // The same through a plug-in that hands its rows back last first.
    {
        QTemporaryDir plugins;
        const std::string folder = PluginFolder(plugins, {"bottomup"});
        TSPI* bottomUp = nullptr;
        host.Search(folder + "*.spi");
        for (int i = 0; i < host.Count(); ++i)
            if (host.Items(i)->FileName.find("bottomup") != std::string::npos) bottomUp = host.Items(i);
        QVERIFY(bottomUp);
        TSPIBitmap bmp;
        bmp.SPI = bottomUp;
        bmp.LoadFromFile((d + "pattern.png").toStdString());
        QVERIFY(SamePixels(bmp.Image, want));
        QImage opaque = pattern.convertToFormat(QImage::Format_RGB32);
        QVERIFY(opaque.save(d + "opaque.png", "PNG"));
        bmp.LoadFromFile((d + "opaque.png").toStdString());
        QVERIFY(SamePixels(bmp.Image, opaque));
    }
    // JPEG, in colour and in grey: the pixels libjpeg gives.
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_Grayscale8}) {
        const QString name = d + (format == QImage::Format_RGB32 ? "colour.jpg" : "grey.jpg");
        QVERIFY(pattern.convertToFormat(format).save(name, "JPG", 90));
        std::string bytes;
        QVERIFY(textfile::ReadFileBytes(name.toStdString(), bytes));
        QVERIFY(TPictureRegistry::Instance().LoadPictureFile(name.toStdString(), img));
        QCOMPARE(img.format(), QImage::Format_RGB32);
        QVERIFY2(SamePixels(img, PlainJpeg(bytes)), qPrintable(name));
    }
    // BMP of 24 bits and of a palette, read from the file.
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_Indexed8}) {
        const QImage source = pattern.convertToFormat(QImage::Format_RGB32).convertToFormat(format, Qt::ThresholdDither);
        QVERIFY(source.save(d + "pattern.bmp", "BMP"));
        QVERIFY(TPictureRegistry::Instance().LoadPictureFile((d + "pattern.bmp").toStdString(), img));
        QVERIFY(SamePixels(img, source));
    }
}

void PicturesTest::pictureWithoutItsInformation() {
    // A plug-in that cannot tell the picture's size still gives the
    // picture, and the same one as a plug-in that can.
    QTemporaryDir dir;
    const std::string folder = PluginFolder(dir, {"failinfo", "good"});
    TSPIs host;
    host.Search(folder + "*.spi");
    QCOMPARE(host.Count(), 2);
    TSPI* failinfo = host.Items(0)->FileName.find("failinfo") != std::string::npos ? host.Items(0) : host.Items(1);
    TSPI* good = failinfo == host.Items(0) ? host.Items(1) : host.Items(0);
    SpiPictureInfo info{};
    std::string png;
    QVERIFY(textfile::ReadFileBytes(Sample("star.png"), png));
    QVERIFY(failinfo->GetPictureInfo(png.data(), int64_t(png.size()), 1, &info) != 0);
    TSPIBitmap without, with;
    without.SPI = failinfo;
    with.SPI = good;
    without.LoadFromFile(Sample("star.png"));
    with.LoadFromFile(Sample("star.png"));
    QCOMPARE(without.Image.size(), QSize(120, 120));
    QVERIFY(SamePixels(without.Image, with.Image));
    // Its picture is still held to the budget, by its own header.
    TSPIBitmap big;
    big.SPI = failinfo;
    QVERIFY_THROWS_EXCEPTION(EInvalidGraphic, big.LoadFromBytes(hostile::PngClaiming(32767, 32767), "x.png"));
}

int RunPicturesTest(int argc, char** argv) {
    PicturesTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "pictures_test.moc"
