// Metafiles written here record by record, drawn through SVG: their size,
// their colours, the picture budget, and bytes that are no metafile.
#include "metafile.h"
#include "metafile_writer.h"

#include <QFile>
#include <QGuiApplication>
#include <QtTest>

using namespace metafile_writer;

namespace {

bool Decode(const std::string& bytes, QImage& img) { return DecodeMetafile(bytes.data(), bytes.size(), img); }

std::string SampleFile(const char* name) {
    QFile f(QString(RUZOZU_SOURCE_DIR) + "/samples/" + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

// The sample shapes: a red square at the left, a blue disc at the right,
// clear ground around and between them.
void CheckSampleShapes(const QImage& img) {
    QCOMPARE(img.size(), QSize(240, 120));
    const QColor red = img.pixelColor(60, 60), blue = img.pixelColor(180, 60);
    QVERIFY2(red.red() > 200 && red.green() < 30 && red.blue() < 30, qPrintable(red.name()));
    QVERIFY2(blue.blue() > 200 && blue.red() < 30 && blue.green() < 30, qPrintable(blue.name()));
    QCOMPARE(img.pixelColor(120, 60).alpha(), 0);  // between them
    QCOMPARE(img.pixelColor(3, 3).alpha(), 0);     // outside the square
    QCOMPARE(img.pixelColor(134, 14).alpha(), 0);  // in the disc's corner, outside it
    QCOMPARE(img.pixelColor(20, 20).alpha(), 255);
    // The frame of the file is the picture, not what is drawn in it: the
    // shapes keep their places (10 to 110 and 130 to 230 across).
    QCOMPARE(img.pixelColor(8, 60).alpha(), 0);
    QCOMPARE(img.pixelColor(12, 60).alpha(), 255);
    QCOMPARE(img.pixelColor(228, 60).alpha(), 255);
    QCOMPARE(img.pixelColor(232, 60).alpha(), 0);
    QCOMPARE(img.pixelColor(60, 8).alpha(), 0);
    QCOMPARE(img.pixelColor(60, 112).alpha(), 0);
}

}  // namespace

class MetafileTest : public QObject {
    Q_OBJECT
private slots:
    void windowsMetafileDrawnAtItsSize();
    void enhancedMetafileDrawnAtItsSize();
    void samplesAreTheWrittenOnes();
    void claimsBeyondTheBudgetAreRefusedAtOnce();
    void bytesThatAreNoMetafile();
    void objectTableMadeRoomForTheFrame();
    void hostileFilesStayInTheHelper();
    void aHelperThatMisbehavesIsARefusal();
    void aDecoderLoopEndsAtTheTimeBound();
};

void MetafileTest::windowsMetafileDrawnAtItsSize() {
    Wmf wmf(240, 120);
    wmf.Shapes = SampleShapes();
    const std::string bytes = wmf.Bytes();
    QCOMPARE(MetafileKindOf(bytes.data(), bytes.size()), TMetafileKind::PlaceableWmf);
    QImage img;
    QVERIFY(Decode(bytes, img));
    CheckSampleShapes(img);
    // Without the placeable header a file gives no size of its own: it is
    // refused, as the picture classes of Windows refuse it.
    const std::string plain = bytes.substr(22);
    QCOMPARE(MetafileKindOf(plain.data(), plain.size()), TMetafileKind::Wmf);
    QImage p;
    QVERIFY(!Decode(plain, p));
    QVERIFY(p.isNull());
}

void MetafileTest::enhancedMetafileDrawnAtItsSize() {
    Emf emf(240, 120);
    emf.Shapes = SampleShapes();
    const std::string bytes = emf.Bytes();
    QCOMPARE(MetafileKindOf(bytes.data(), bytes.size()), TMetafileKind::Emf);
    QImage img;
    QVERIFY(Decode(bytes, img));
    CheckSampleShapes(img);
}

void MetafileTest::samplesAreTheWrittenOnes() {
    Wmf wmf(240, 120);
    wmf.Shapes = SampleShapes();
    Emf emf(240, 120);
    emf.Shapes = SampleShapes();
    if (qEnvironmentVariableIsSet("RUZOZU_WRITE_SAMPLES")) {
        for (auto [name, bytes] : {std::pair{"shapes.wmf", wmf.Bytes()}, std::pair{"shapes.emf", emf.Bytes()}}) {
            QFile f(QString(RUZOZU_SOURCE_DIR) + "/samples/" + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes.data(), qint64(bytes.size()));
        }
    }
    QCOMPARE(SampleFile("shapes.wmf"), wmf.Bytes());
    QCOMPARE(SampleFile("shapes.emf"), emf.Bytes());
}

void MetafileTest::claimsBeyondTheBudgetAreRefusedAtOnce() {
    // Refused from the header, before anything is drawn (what that costs
    // is measured in bench/picture_bench, not here).
    QImage img(1, 1, QImage::Format_RGB32);
    Wmf wmf(240, 120);
    wmf.Shapes = SampleShapes();
    wmf.ClaimedWidth = 30000;  // 30000 x 30000 pixels at 96 units an inch
    wmf.ClaimedHeight = 30000;
    wmf.Inch = 96;
    QVERIFY(!Decode(wmf.Bytes(), img));
    Emf emf(240, 120);
    emf.Shapes = SampleShapes();
    emf.ClaimedWidth = 20000;
    emf.ClaimedHeight = 20000;
    QVERIFY(!Decode(emf.Bytes(), img));
    emf.ClaimedWidth = 5000;  // 5000 x 4000: 20 megapixels, just beyond
    emf.ClaimedHeight = 4000;
    QVERIFY(!Decode(emf.Bytes(), img));
    emf.ClaimedWidth = 4000;  // 4000 x 4000 is within
    QVERIFY(Decode(emf.Bytes(), img));
    QCOMPARE(img.size(), QSize(4000, 4000));
}

void MetafileTest::bytesThatAreNoMetafile() {
    QImage img(7, 7, QImage::Format_RGB32);
    QVERIFY(!DecodeMetafile(nullptr, 0, img));
    QVERIFY(!Decode("", img));
    QVERIFY(!Decode("not a metafile at all", img));
    Wmf wmf(240, 120);
    wmf.Shapes = SampleShapes();
    const std::string good = wmf.Bytes();
    // Cut anywhere, a file draws or fails, never more.
    for (size_t n = 0; n < good.size(); n += 7) {
        QImage cut;
        Decode(good.substr(0, n), cut);
    }
    Wmf noInch(240, 120);
    noInch.Inch = 0;
    QVERIFY(!Decode(noInch.Bytes(), img));
    Emf emf(240, 120);
    emf.Shapes = SampleShapes();
    const std::string e = emf.Bytes();
    for (size_t n = 0; n < e.size(); n += 5) {
        QImage cut;
        Decode(e.substr(0, n), cut);
    }
    QCOMPARE(img.size(), QSize(7, 7));  // a refusal leaves the picture as it was
    // A header whose description lies past its own end, a record running
    // past the file: refused before the converter reads beyond the bytes.
    QVERIFY(DecodeMetafileHere(e.data(), e.size(), img));
    std::string far = e;
    far[60] = '\x00', far[61] = '\x02', far[64] = '\x00', far[65] = '\x01';  // 512 characters at 256
    QVERIFY(!DecodeMetafileHere(far.data(), far.size(), img));
    std::string longRecord = e;
    longRecord[e.size() - 20 + 5] = '\x7F';  // the end record claims far more than is left
    QVERIFY(!DecodeMetafileHere(longRecord.data(), longRecord.size(), img));
}

void MetafileTest::objectTableMadeRoomForTheFrame() {
    // One red rectangle with the default outline, its header declaring the
    // one object it makes: the invisible frame's two objects get room of
    // their own.
    Wmf wmf(240, 120);
    wmf.Shapes = {{Shape::Rectangle, 20, 20, 120, 100, Rgb(255, 0, 0)}};
    wmf.NullPen = false;
    QImage img;
    QVERIFY(Decode(wmf.Bytes(), img));
    QCOMPARE(img.size(), QSize(240, 120));
    const QColor c = img.pixelColor(70, 60);
    QVERIFY2(c.red() > 200 && c.green() < 30 && c.blue() < 30 && c.alpha() == 255, qPrintable(c.name()));
    QCOMPARE(img.pixelColor(200, 60).alpha(), 0);
    // A header that declares more objects than used keeps working; the
    // sample shapes (two objects declared, two made) draw as before.
    wmf.Objects = 9;
    QVERIFY(Decode(wmf.Bytes(), img));
    QCOMPARE(img.pixelColor(70, 60).red(), 255);
}

namespace {

long PeakKiB() {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

}  // namespace

void MetafileTest::hostileFilesStayInTheHelper() {
    // Gigabytes asked of libemf2svg: the helper dies at its address-space
    // bound, the picture is refused, and this process does not grow.
    const long before = PeakKiB();
    QElapsedTimer t;
    t.start();
    for (auto [points, saves] : {std::pair{10000, 4000}, std::pair{10000, 200000}, std::pair{0, 500000}}) {
        QImage img(3, 3, QImage::Format_RGB32);
        const std::string bytes = EmfClipThenSaves(points, saves);
        QVERIFY(bytes.size() < (size_t(8) << 20));
        const bool drawn = Decode(bytes, img);
        if (!drawn) QCOMPARE(img.size(), QSize(3, 3));
        if (points > 0) QVERIFY(!drawn);
    }
    QVERIFY2(PeakKiB() - before < 100 * 1024, qPrintable(QString::number(PeakKiB() - before)));
    QVERIFY2(t.elapsed() < 30000, qPrintable(QString::number(t.elapsed())));  // a hang bound, not a speed
    // The program goes on drawing good ones.
    Wmf wmf(240, 120);
    wmf.Shapes = SampleShapes();
    QImage img;
    QVERIFY(Decode(wmf.Bytes(), img));
    CheckSampleShapes(img);
}

void MetafileTest::aHelperThatMisbehavesIsARefusal() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    auto script = [&dir](const char* name, const QByteArray& body) {
        const QString path = dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("#!/bin/sh\n" + body + "\n");
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return path.toStdString();
    };
    Wmf wmf(240, 120);
    wmf.Shapes = SampleShapes();
    const std::string good = wmf.Bytes();
    struct Case {
        const char* Name;
        QByteArray Body;
    };
    const Case cases[] = {
        {"endless", "exec sleep 600"},                               // a loop that never answers
        {"flood", "exec cat /dev/zero"},                             // more than any picture
        {"dies", "kill -SEGV $$"},                                   // a crash
        {"short", "printf 'RMF1\\360\\0\\0\\0\\170\\0\\0\\0abc'"},  // the right header, then too few pixels
    };
    for (const Case& c : cases) {
        SetMetafileHelper(script(c.Name, c.Body));
        QElapsedTimer t;
        t.start();
        QImage img(5, 5, QImage::Format_RGB32);
        QVERIFY2(!Decode(good, img), c.Name);
        QCOMPARE(img.size(), QSize(5, 5));
        // Ended by the wall-clock bound, well before the hang bound.
        QVERIFY2(t.elapsed() < (kMetafileWallSeconds + 30) * 1000, c.Name);
    }
    SetMetafileHelper("/nonexistent/rzmetafile");
    QImage img;
    QVERIFY(!Decode(good, img));
    SetMetafileHelper(std::string());
    QVERIFY(Decode(good, img));
    CheckSampleShapes(img);
}

void MetafileTest::aDecoderLoopEndsAtTheTimeBound() {
    // A bitmap header that gives fewer than 40 bytes as its size: libwmf
    // loops for ever reading it.  Such a file is refused before the library
    // sees it, in this process as in the helper, and a file named ".emf"
    // that holds it is no different.
    for (uint32_t header : {0u, 1u, 16u, 34u, 39u}) {
        const std::string looping = WmfStretchDib(header, 24);
        QCOMPARE(MetafileKindOf(looping.data(), looping.size()), TMetafileKind::PlaceableWmf);
        QElapsedTimer t;
        t.start();
        QImage img(5, 5, QImage::Format_RGB32);
        QVERIFY(!DecodeMetafileHere(looping.data(), looping.size(), img));
        QVERIFY(!Decode(looping, img));
        QCOMPARE(img.size(), QSize(5, 5));
        QVERIFY2(t.elapsed() < (kMetafileWallSeconds + 30) * 1000, qPrintable(QString::number(t.elapsed())));
    }
    // The same record with a sound header, and with the short header of
    // OS/2 bitmaps, is drawn.
    QImage img;
    QVERIFY(Decode(WmfStretchDib(40, 24), img));
    QCOMPARE(img.size(), QSize(100, 100));
    QVERIFY(Decode(WmfStretchDib(12, 24), img));
}

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    MetafileTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "metafile_test.moc"
