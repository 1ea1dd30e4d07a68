// What the folder benchmarks share: the floor of listing a folder (readdir
// and a stat of every entry), a namespace rooted in the benchmark's own
// temporary folder, and Shift-JIS names for its UTF-8 paths.
#pragma once

#include "shellns.h"
#include "sjis.h"

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <sys/stat.h>

#include <string>

namespace bench_floor {

// Lists dir and stats each entry; counts the entries (only the folders
// with foldersOnly).
inline int ListAndStat(const std::string& dir, bool foldersOnly) {
    int n = 0;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return 0;
    while (dirent* e = ::readdir(d)) {
        struct stat st;
        const std::string path = dir + "/" + e->d_name;
        if (::stat(path.c_str(), &st) == 0 && (!foldersOnly || S_ISDIR(st.st_mode))) ++n;
    }
    ::closedir(d);
    return n;
}

// The floor as a benchmark loop over the folder.
inline void RunFloor(benchmark::State& state, const std::string& dir, bool foldersOnly) {
    for (auto _ : state) benchmark::DoNotOptimize(ListAndStat(dir, foldersOnly));
}

// Home and desktop inside root (UTF-8, no trailing "/"), root a volume.
inline void UseNamespaceIn(const std::string& root) {
    shell::TNamespaceConfig c;
    c.home = root + "/home";
    c.desktop = root + "/home/Desktop";
    c.volumes = {"/", root};
    shell::SetNamespaceConfig(c);
}

inline std::string Sjis(const std::string& utf8) {
    std::string s;
    sjis::FromUtf8(utf8, s);
    return s;
}

}  // namespace bench_floor
