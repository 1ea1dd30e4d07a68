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
}

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    MetafileTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "metafile_test.moc"
