// Settings files: the reader itself, both programs' settings on top of it,
// and a write into a file of any content.
#include "fuzz_support.h"

#include "IniFile.h"
#include "ini_text.h"
#include "sjis.h"
#include "textfile.h"

// The controller's settings header has the same name as the drill
// program's; it is found through its folder.
#include "../vaduvov/app/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string folder = fuzz::Folder();
    const std::string path = fuzz::WriteInput("ruzozu.ini", data, size);
    fuzz::WriteInput("ruzozu.dvk", data, size);
    fuzz::WriteInput("vaduvov.ini", data, size);

    // The first sections and keys the file names are looked up, each
    // lookup going through the whole file as the programs' own do: as many
    // as a program reads (a few dozen), not every one of a file of any
    // length, which would cost the square of its size here alone.  Every
    // line is still parsed as a number.
    TIniFile ini(path);
    std::string section;
    int lookups = 0;
    for (const std::string& line : textfile::SplitLines(fuzz::Bytes(data, size))) {
        const std::string t = sjis::Trim(line);
        if (++lookups > 64) {
            int v;
            TIniFile::ParseInteger(t, v);
            continue;
        }
        if (!t.empty() && t[0] == '[') {
            section = t.substr(1, t.find(']') == std::string::npos ? std::string::npos : t.find(']') - 1);
            ini.SectionExists(section);
            continue;
        }
        const std::string key = t.substr(0, t.find('='));
        ini.ReadString(section, key, "");
        ini.ReadInteger(section, key, 7);
        ini.ReadBool(section, key, false);
        ini.ValueExists(section, key);
        int v;
        TIniFile::ParseInteger(t.substr(key.size() < t.size() ? key.size() + 1 : t.size()), v);
    }

    TDrillSettings drill;
    ReadSettings(drill, folder);
    TControllerSettings controller;
    ReadIniFile(controller, folder + "vaduvov.ini", folder);

    // A write keeps the file readable and reads back; only a file refused
    // on reading (UTF-16, say), and said so, is not written.
    const std::string before = fuzz::Bytes(data, size);
    if (!ini.WriteString("FuzzSection", "FuzzKey", "value")) {
        FUZZ_CHECK(!ini.Error().empty());
        std::string now;
        textfile::ReadFileBytes(path, now);
        FUZZ_CHECK(now == before);
        return 0;
    }
    ini.Reload();
    FUZZ_CHECK(!ini.Error().empty() || ini.ReadString("FuzzSection", "FuzzKey", "") == "value");
    // A value that would add lines to the file is refused.
    FUZZ_CHECK(!ini.WriteString("FuzzSection", "FuzzKey", before + "\r\n[x]"));
    return 0;
}
