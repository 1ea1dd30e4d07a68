// A temporary folder for a test, removed with everything in it afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// The whole content of a file ("" when it cannot be read).
inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class TempDir {
public:
    TempDir() : TempDir(std::string("/tmp")) {}
    // A fresh folder of its own inside parent (which must exist): nothing
    // outside it is written or removed.
    explicit TempDir(const std::string& parent) {
        std::string tmpl = parent;
        while (tmpl.size() > 1 && tmpl.back() == '/') tmpl.pop_back();
        tmpl += "/drilltest.XXXXXX";
        char* p = ::mkdtemp(tmpl.data());
        path_ = p ? std::string(p) + "/" : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // The folder with its trailing "/".
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};
