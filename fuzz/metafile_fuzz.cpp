// Metafiles (".wmf" and ".emf") as the drill program draws a picture.
#include "fuzz_support.h"
#include "picture_support.h"

#include "metafile.h"

#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

namespace {

// The font library reads its configuration and the list of fonts the first
// time text is drawn, and keeps some of that memory for the life of the
// process where the leak check cannot see it: drawn here once, before any
// input runs, in the faces metafiles name most and with Japanese text, so
// that it is not reported against the first input that draws text.
void WarmUpFonts() {
    QFontDatabase::families();
    QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' width='320' height='240'>";
    int y = 12;
    for (const char* face : {"serif", "sans-serif", "monospace", "Arial", "Times New Roman", "Courier New",
                             "MS Gothic", "MS Mincho", "Symbol", "Helvetica", "Times-Roman", "Courier"}) {
        svg += "<text x='0' y='" + QByteArray::number(y) + "' font-family='" + face + "'>Aa \xE3\x81\x82\xE6\xBC\xA2</text>";
        y += 16;
    }
    svg += "</svg>";
    QSvgRenderer renderer(svg);
    QImage img(320, 240, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter painter(&img);
    renderer.render(&painter);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    StartQt(argc, argv);
    WarmUpFonts();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QImage out;
    DecodeMetafileHere(data, size, out);  // the drawing itself, without the helper process
    return 0;
}
