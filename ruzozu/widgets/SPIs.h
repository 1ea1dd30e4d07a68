// The image plug-in host: finds "*.spi" shared objects, loads and checks
// them, and registers the picture formats of the import plug-ins.
#pragma once

#include "component.h"
#include "spi_abi.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class ESPIFOpenErrorSPI : public std::runtime_error { using std::runtime_error::runtime_error; };
class ESPIInvalidAPI : public std::runtime_error { using std::runtime_error::runtime_error; };
class ESPIDupCreateSPIs : public std::runtime_error { using std::runtime_error::runtime_error; };
// A plug-in call that raised anything at all: the plug-in is treated as
// broken for that call (and at loading, not loaded).
class ESPIPluginFault : public std::runtime_error { using std::runtime_error::runtime_error; };

enum class TSPIKind { Plain, In, Am, Xn };

// One plug-in.  Its kind follows its API version: "00IN" import,
// "00AM" archive, "00XN", anything else plain.
class TSPI {
public:
    // Loads and checks the plug-in as the given kind.
    TSPI(const std::string& fileName, TSPIKind kind);
    ~TSPI();
    TSPI(const TSPI&) = delete;
    TSPI& operator=(const TSPI&) = delete;

    TSPIKind Kind() const { return Kind_; }
    std::string FileName;
    std::string APIVersion;
    std::string PluginName;
    std::vector<std::string> Extensions;    // mask entries such as "*.png;*.pns"
    std::vector<std::string> Descriptions;  // one per entry
    // The information numbers asked at loading: the version, the name and
    // at most 32 pairs of mask and description.
    static constexpr int kMaxInfoNumbers = 2 + 2 * 32;

    // Every call into the plug-in goes through these; whatever the plug-in
    // raises comes out as ESPIPluginFault.
    int32_t GetPluginInfo(int32_t no, std::string& text);
    int32_t IsSupported(const std::string& fileName, const void* data);
    int32_t GetPictureInfo(const void* data, int64_t length, uint32_t flag, SpiPictureInfo* info);
    int32_t GetPicture(const void* data, int64_t length, uint32_t flag, void** info, void** bits,
                       SpiProgressCallback progress, intptr_t user);

private:
    void* RequireProc(void* proc, const char* name) const;
    void CheckAPI() const;
    TSPIKind Kind_;
    void* Module = nullptr;
    void* PGetPluginInfo = nullptr;
    void* PIsSupported = nullptr;
    void* PGetPictureInfo = nullptr;
    void* PGetPicture = nullptr;
    void* PGetPreview = nullptr;
    void* PGetArchiveInfo = nullptr;
    void* PGetFileInfo = nullptr;
    void* PGetFile = nullptr;
    void* PConfigurationDlg = nullptr;
};

// The factory: the plug-in in its kind, or null when the file is no
// loadable plug-in.
std::unique_ptr<TSPI> CreateSPI(const std::string& fileName);

// The one host of the process.
class TSPIs {
public:
    TSPIs();
    ~TSPIs();

    bool SearchSusieDir = true;  // the outside viewer's plug-in folder
    bool SearchAppDir = true;    // the program's folder
    bool SearchCurrentDir = false;
    std::string AppDir;          // the program's folder, ending in "/"
    std::string SusieConfig;     // the settings file naming the viewer's folder

    // (Sender, plug-in, Accept)
    TEvent<TSPIs*, TSPI*, bool&> OnSearch;
    // (Sender, file name, Accept)
    TEvent<TSPIs*, const std::string&, bool&> OnSearching;
    // (Sender, plug-in, extension, description, Register)
    TEvent<TSPIs*, TSPI*, const std::string&, const std::string&, bool&> OnPictureRegister;
    // Where accepted extensions go (the picture-format registry).
    std::function<void(const std::string& ext, const std::string& description)> RegisterFileFormat;

    void Search(const std::string& mask);
    void Add(std::unique_ptr<TSPI> spi);
    void Delete(int index);
    void Clear();
    int Count() const { return static_cast<int>(List.size()); }
    TSPI* Items(int index) const { return List.at(index).get(); }
    int IndexOf(const std::string& fileName) const;
    // The import plug-ins ordered for a file: those whose mask entries end
    // in its extension first (in reverse list order), then the rest.
    std::vector<TSPI*> GetSPIs(const std::string& fileName) const;

    static TSPIs* Current();

private:
    void SearchFolder(const std::string& folder, const std::string& mask);
    std::vector<std::unique_ptr<TSPI>> List;
};
