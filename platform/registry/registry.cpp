#include "registry.h"

#include "ini_text.h"

#include <cstdlib>

namespace {

std::string& FileOverride() {
    static std::string path;
    return path;
}

const char* RootName(THKey root) {
    switch (root) {
    case THKey::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case THKey::CurrentUser: return "HKEY_CURRENT_USER";
    case THKey::LocalMachine: return "HKEY_LOCAL_MACHINE";
    }
    return "";
}

}  // namespace

std::string RegistryFile() {
    if (!FileOverride().empty()) return FileOverride();
    const char* cfg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string base = cfg && *cfg ? cfg : std::string(home ? home : "") + "/.config";
    return base + "/ruzozu/registry.ini";
}

void SetRegistryFile(const std::string& path) { FileOverride() = path; }

long RegOpenKeyEx(THKey root, const std::string& subKey, TRegKey& key) {
    std::string section = std::string(RootName(root)) + "\\" + subKey;
    TIniFile ini(RegistryFile());
    if (!ini.SectionExists(section)) return ERROR_FILE_NOT_FOUND_REG;
    key.Section = section;
    return ERROR_SUCCESS_REG;
}

long RegQueryValue(const TRegKey& key, std::string& value, size_t bufferSize) {
    if (key.Section.empty()) return ERROR_FILE_NOT_FOUND_REG;
    TIniFile ini(RegistryFile());
    std::string v = ini.ReadString(key.Section, "@", "");
    size_t zero = v.find('\0');
    if (zero != std::string::npos) v.resize(zero);
    if (bufferSize > 0 && v.size() > bufferSize - 1) v.resize(bufferSize - 1);
    value = v;
    return ERROR_SUCCESS_REG;
}

void RegCloseKey(TRegKey& key) { key.Section.clear(); }
