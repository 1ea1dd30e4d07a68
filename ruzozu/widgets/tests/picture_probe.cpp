// Loads one picture file as the drill program does (through the picture
// registry, with the import plug-ins of a folder) and prints what it cost:
// "<loaded 0 or 1> <milliseconds> <growth of the peak memory in KiB>".
#include "SPIBmp.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <cstdio>
#include <sys/resource.h>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) return 2;
    TSPIs host;
    host.RegisterFileFormat = [](const std::string& ext, const std::string& d) {
        TPictureRegistry::Instance().Register(ext, d, TPictureRegistry::Kind::Plugin);
    };
    if (argc > 2) host.Search(std::string(argv[2]) + "/*.spi");
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    QElapsedTimer t;
    t.start();
    QImage img;
    const bool ok = TPictureRegistry::Instance().LoadPictureFile(argv[1], img);
    const long long ms = t.elapsed();
    getrusage(RUSAGE_SELF, &after);
    std::printf("%d %lld %ld\n", ok ? 1 : 0, ms, after.ru_maxrss - before.ru_maxrss);
    return 0;
}
