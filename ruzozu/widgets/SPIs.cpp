#include "SPIs.h"

#include "ini_text.h"
#include "sjis.h"
#include "textfile.h"

#include <algorithm>
#include <dirent.h>
#include <dlfcn.h>
#include <fnmatch.h>
#include <unistd.h>

namespace {

TSPIs* g_host = nullptr;

std::string Fmt(const char* utf8, const std::string& a, const std::string& b = {}) {
    std::string f = sjis::L(utf8);
    size_t p = f.find("%s");
    if (p != std::string::npos) f.replace(p, 2, a);
    p = f.find("%s");
    if (p != std::string::npos) f.replace(p, 2, b);
    return f;
}

std::string ExtOf(const std::string& name) {
    size_t dot = name.rfind('.');
    size_t slash = name.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return name.substr(dot);
}

// Runs one call into the plug-in: nothing it raises, std::exception or
// not, goes past the host.
template <class F>
auto Guarded(const std::string& fileName, const char* name, F&& call) -> decltype(call()) {
    try {
        return call();
    } catch (...) {
        throw ESPIPluginFault(Fmt("%s:%sが失敗しました", fileName, name));
    }
}

}  // namespace

TSPI::TSPI(const std::string& fileName, TSPIKind kind) : Kind_(kind) {
    Module = ::dlopen(textfile::OsPath(fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!Module) throw ESPIFOpenErrorSPI(Fmt("%s:Susie Pluginがロードできませんでした", fileName));
    FileName = fileName;
    Dl_info info{};
    if (PGetPluginInfo = ::dlsym(Module, "GetPluginInfo"); PGetPluginInfo && ::dladdr(PGetPluginInfo, &info) &&
        info.dli_fname) {
        std::string real;
        if (sjis::FromUtf8(info.dli_fname, real)) FileName = real;
    }
    PIsSupported = ::dlsym(Module, "IsSupported");
    PGetPictureInfo = ::dlsym(Module, "GetPictureInfo");
    PGetPicture = ::dlsym(Module, "GetPicture");
    PGetPreview = ::dlsym(Module, "GetPreview");
    PGetArchiveInfo = ::dlsym(Module, "GetArchiveInfo");
    PGetFileInfo = ::dlsym(Module, "GetFileInfo");
    PGetFile = ::dlsym(Module, "GetFile");
    PConfigurationDlg = ::dlsym(Module, "ConfigurationDlg");
    try {
        CheckAPI();
        std::string text;
        if (GetPluginInfo(0, text) > 0) APIVersion = text;
        if (GetPluginInfo(1, text) > 0) PluginName = text;
        for (int n = 2; n + 1 < kMaxInfoNumbers; n += 2) {
            std::string mask, description;
            if (GetPluginInfo(n, mask) <= 0 || GetPluginInfo(n + 1, description) <= 0) break;
            Extensions.push_back(mask);
            Descriptions.push_back(description);
        }
    } catch (...) {
        ::dlclose(Module);
        throw;
    }
}

TSPI::~TSPI() {
    if (Module) ::dlclose(Module);
}

void* TSPI::RequireProc(void* proc, const char* name) const {
    if (!proc) throw ESPIInvalidAPI(Fmt("%sは[%s]では使えないSusie Plugin APIです", name, FileName));
    return proc;
}

void TSPI::CheckAPI() const {
    RequireProc(PGetPluginInfo, "GetPluginInfo");
    if (Kind_ == TSPIKind::In || Kind_ == TSPIKind::Am) RequireProc(PIsSupported, "IsSupported");
    if (Kind_ == TSPIKind::In) {
        RequireProc(PGetPictureInfo, "GetPictureInfo");
        RequireProc(PGetPicture, "GetPicture");
    }
    if (Kind_ == TSPIKind::Am) {
        RequireProc(PGetArchiveInfo, "GetArchiveInfo");
        RequireProc(PGetFileInfo, "GetFileInfo");
        RequireProc(PGetFile, "GetFile");
    }
}

int32_t TSPI::GetPluginInfo(int32_t no, std::string& text) {
    char buf[256] = {};
    auto f = reinterpret_cast<SpiGetPluginInfo>(RequireProc(PGetPluginInfo, "GetPluginInfo"));
    int32_t r = Guarded(FileName, "GetPluginInfo", [&] { return f(no, buf, 255); });
    buf[255] = 0;
    text = r > 0 ? std::string(buf) : std::string();
    return r;
}

int32_t TSPI::IsSupported(const std::string& fileName, const void* data) {
    auto f = reinterpret_cast<SpiIsSupported>(RequireProc(PIsSupported, "IsSupported"));
    return Guarded(FileName, "IsSupported", [&] { return f(fileName.c_str(), data); });
}

int32_t TSPI::GetPictureInfo(const void* data, int64_t length, uint32_t flag, SpiPictureInfo* info) {
    auto f = reinterpret_cast<SpiGetPictureInfo>(RequireProc(PGetPictureInfo, "GetPictureInfo"));
    return Guarded(FileName, "GetPictureInfo", [&] { return f(data, length, flag, info); });
}

int32_t TSPI::GetPicture(const void* data, int64_t length, uint32_t flag, void** info, void** bits,
                         SpiProgressCallback progress, intptr_t user) {
    auto f = reinterpret_cast<SpiGetPicture>(RequireProc(PGetPicture, "GetPicture"));
    return Guarded(FileName, "GetPicture", [&] { return f(data, length, flag, info, bits, progress, user); });
}

std::unique_ptr<TSPI> CreateSPI(const std::string& fileName) {
    try {
        std::string version = TSPI(fileName, TSPIKind::Plain).APIVersion;
        TSPIKind kind = version == "00IN"   ? TSPIKind::In
                        : version == "00AM" ? TSPIKind::Am
                        : version == "00XN" ? TSPIKind::Xn
                                            : TSPIKind::Plain;
        return std::make_unique<TSPI>(fileName, kind);
    } catch (const ESPIFOpenErrorSPI&) {
        return nullptr;
    }
}

TSPIs::TSPIs() {
    if (g_host) throw ESPIDupCreateSPIs(sjis::L("TSPIs は複数生成できません"));
    g_host = this;
}

TSPIs::~TSPIs() {
    if (g_host == this) g_host = nullptr;
    Clear();
}

TSPIs* TSPIs::Current() { return g_host; }

void TSPIs::Search(const std::string& mask) {
    size_t slash = mask.rfind('/');
    if (slash != std::string::npos) {
        SearchFolder(mask.substr(0, slash + 1), mask.substr(slash + 1));
        return;
    }
    if (SearchSusieDir && !SusieConfig.empty()) {
        std::string dir = TIniFile(SusieConfig).ReadString("Susie", "Path", "");
        if (!dir.empty()) SearchFolder(dir.back() == '/' ? dir : dir + "/", mask);
    }
    if (SearchAppDir && !AppDir.empty()) SearchFolder(AppDir, mask);
    if (SearchCurrentDir) {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd)) {
            std::string dir;
            if (sjis::FromUtf8(cwd, dir)) SearchFolder(dir + "/", mask);
        }
    }
}

void TSPIs::SearchFolder(const std::string& folder, const std::string& mask) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(textfile::OsPath(folder).c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string name;
            if (e->d_name[0] == '.' || !sjis::FromUtf8(e->d_name, name)) continue;
            if (::fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD) != 0) continue;
            if (!textfile::FileExists(folder + name) || IndexOf(folder + name) >= 0) continue;
            names.push_back(folder + name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        bool accept = true;
        OnSearching(this, name, accept);
        if (!accept) continue;
        std::unique_ptr<TSPI> spi;
        try {
            spi = CreateSPI(name);
        } catch (const ESPIInvalidAPI&) {
            continue;  // a plug-in lacking an export is skipped; the program goes on
        } catch (const ESPIPluginFault&) {
            continue;  // so is one that fails while it is asked what it is
        }
        if (!spi || IndexOf(spi->FileName) >= 0) continue;
        const TSPI* added = spi.get();
        try {
            accept = true;
            OnSearch(this, spi.get(), accept);
            if (accept) Add(std::move(spi));
        } catch (...) {
            // A plug-in whose adding failed is not kept: out of the list and released.
            for (auto it = List.begin(); it != List.end(); ++it)
                if (it->get() == added) {
                    List.erase(it);
                    break;
                }
        }
    }
}

void TSPIs::Add(std::unique_ptr<TSPI> spi) {
    TSPI* p = spi.get();
    List.push_back(std::move(spi));
    if (p->Kind() != TSPIKind::In) return;
    for (size_t i = 0; i < p->Extensions.size(); ++i) {
        bool doRegister = true;  // once per entry: a refusal holds for the rest of it
        std::string text = p->Extensions[i];
        while (!text.empty()) {
            std::string part;
            size_t semi = text.rfind(';');
            if (semi != std::string::npos) {
                part = text.substr(semi + 1);
                text = text.substr(0, semi);
            } else {
                part = text;
                text.clear();
            }
            size_t dot = part.find('.');
            if (dot != std::string::npos) part = part.substr(dot + 1);
            OnPictureRegister(this, p, part, p->Descriptions[i], doRegister);
            if (doRegister && RegisterFileFormat) RegisterFileFormat(part, p->Descriptions[i]);
        }
    }
}

void TSPIs::Delete(int index) {
    if (index >= 0 && index < Count()) List.erase(List.begin() + index);
}

void TSPIs::Clear() {
    while (!List.empty()) Delete(0);
}

int TSPIs::IndexOf(const std::string& fileName) const {
    for (int i = 0; i < Count(); ++i)
        if (sjis::EqualsIgnoreCase(List[i]->FileName, fileName)) return i;
    return -1;
}

std::vector<TSPI*> TSPIs::GetSPIs(const std::string& fileName) const {
    const std::string ext = sjis::LowerAscii(ExtOf(fileName));
    std::vector<TSPI*> out;
    for (const auto& spi : List) {
        if (spi->Kind() != TSPIKind::In) continue;
        bool match = false;
        if (!ext.empty())
            for (const auto& entry : spi->Extensions) {
                size_t dot = entry.rfind('.');
                if (dot != std::string::npos && sjis::LowerAscii(entry.substr(dot)) == ext) match = true;
            }
        if (match)
            out.insert(out.begin(), spi.get());
        else
            out.push_back(spi.get());
    }
    return out;
}
