// Loads one picture file as the drill program does (through the picture
// registry, with the import plug-ins of a folder) and prints what it cost:
// "<loaded 0 or 1> <milliseconds> <growth of the peak memory in KiB>".
// The memory is sampled while the picture loads (the kernel's own peak
// figure is not always brought up to date before a large block is freed).
#include "SPIBmp.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

long ResidentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) return 2;
    TSPIs host;
    host.RegisterFileFormat = [](const std::string& ext, const std::string& d) {
        TPictureRegistry::Instance().Register(ext, d, TPictureRegistry::Kind::Plugin);
    };
    if (argc > 2) host.Search(std::string(argv[2]) + "/*.spi");
    const long before = ResidentKiB();
    std::atomic<bool> done{false};
    std::atomic<long> peak{before};
    std::thread sampler([&] {
        while (!done) {
            peak = std::max(peak.load(), ResidentKiB());
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    QElapsedTimer t;
    t.start();
    QImage img;
    const bool ok = TPictureRegistry::Instance().LoadPictureFile(argv[1], img);
    const long long ms = t.elapsed();
    peak = std::max(peak.load(), ResidentKiB());
    done = true;
    sampler.join();
    std::printf("%d %lld %ld\n", ok ? 1 : 0, ms, peak - before);
    return 0;
}
