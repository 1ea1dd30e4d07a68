// What the fuzz targets share: a folder of the process's own for the files
// a target hands to a reader, and a drill window that does nothing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <unistd.h>

namespace fuzz {

// The folder, ending in "/", made once under $TMPDIR (or /tmp).
inline const std::string& Folder() {
    static const std::string folder = [] {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/ruzozu-fuzz.XXXXXX";
        if (!::mkdtemp(&tmpl[0])) std::abort();
        return tmpl + "/";
    }();
    return folder;
}

inline void WriteFile(const std::string& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) std::abort();
}

// Writes the input to name in Folder() and returns the file's path.
inline std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = Folder() + name;
    WriteFile(path, data, size);
    return path;
}

inline std::string Bytes(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// A failed property: reported like a crash, with the input saved.
#define FUZZ_CHECK(cond)                                                         \
    do {                                                                         \
        if (!(cond)) {                                                           \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, \
                         __LINE__);                                              \
            std::abort();                                                        \
        }                                                                        \
    } while (0)

}  // namespace fuzz
