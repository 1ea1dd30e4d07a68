// The plug-in host, the plug-in picture class and the picture registry.
#include "SPIBmp.h"
#include "sjis.h"
#include "textfile.h"

#include <QDir>
#include <fstream>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

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
    void pngPluginRefusesAHugePicture();
    void orderForAFileAndOneHost();
    void failedAddingKeepsNothing();
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
    // Metafiles are registered but cannot be shown here.
    QVERIFY(TPictureRegistry::Instance().Has("wmf"));
    QTemporaryDir dir;
    textfile::WriteFileAtomic(dir.path().toStdString() + "/a.wmf", "x");
    QVERIFY(!TPictureRegistry::Instance().LoadPictureFile(dir.path().toStdString() + "/a.wmf", img));
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

// A 68-byte PNG whose header claims 40000 x 40000 pixels (6.4 GB decoded).
const char kHugePng[] =
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x9c\x40\x00\x00\x9c\x40"
    "\x08\x06\x00\x00\x00\x51\x0c\x0e\x05\x00\x00\x00\x0b\x49\x44\x41\x54\x78\x9c\x63\x60\x40\x05\x00"
    "\x00\x10\x00\x01\x39\xbd\x8f\x65\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82";

void PicturesTest::pngPluginRefusesAHugePicture() {
    std::unique_ptr<TSPI> spi = CreateSPI(Env("RUZOZU_BIN") + "/ifpng.spi");
    QVERIFY(spi);
    // The plug-in may have 1 GB more than the process holds now: the picture
    // must be refused before its memory is asked for, and nothing but the
    // picture error may come out of the load.
    long pages = 0;
    {
        std::ifstream statm("/proc/self/statm");
        statm >> pages;
    }
    rlimit old{};
    QVERIFY(::getrlimit(RLIMIT_AS, &old) == 0);
    rlimit low = old;
    low.rlim_cur = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (rlim_t(1) << 30);
    if (old.rlim_cur != RLIM_INFINITY && old.rlim_cur < low.rlim_cur) low.rlim_cur = old.rlim_cur;
    QVERIFY(::setrlimit(RLIMIT_AS, &low) == 0);
    std::string outcome;
    try {
        TSPIBitmap bmp;
        bmp.SPI = spi.get();
        bmp.LoadFromBytes(std::string(kHugePng, sizeof kHugePng - 1), "huge.png");
        outcome = "loaded";
    } catch (const EInvalidGraphic&) {
        outcome = "refused";
    } catch (const std::exception& e) {
        outcome = e.what();
    }
    ::setrlimit(RLIMIT_AS, &old);
    QCOMPARE(outcome, std::string("refused"));
    SpiPictureInfo info{};
    QVERIFY(spi->GetPictureInfo(kHugePng, sizeof kHugePng - 1, 0, &info) != 0);
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

int RunPicturesTest(int argc, char** argv) {
    PicturesTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "pictures_test.moc"
