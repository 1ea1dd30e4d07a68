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

int RunPicturesTest(int argc, char** argv) {
    PicturesTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "pictures_test.moc"
