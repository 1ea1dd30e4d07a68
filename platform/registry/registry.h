// Registry keys read from a settings file of ours.  Each section names a
// key by its root and path ("HKEY_CLASSES_ROOT\.htm"); its "@" entry is
// the key's default value.  A key exists when its section does.  Values are
// read as in every settings file: a value wholly in double quotes loses
// them, so a command that begins and ends with a quote is written in one
// more pair.
//
// The file is "registry.ini" in the user's configuration folder
// ($XDG_CONFIG_HOME/ruzozu, else ~/.config/ruzozu) unless a program or a
// test names another one.
#pragma once

#include <string>

enum class THKey { ClassesRoot, CurrentUser, LocalMachine };

struct TRegKey {
    std::string Section;  // empty: not open
};

const long ERROR_SUCCESS_REG = 0;
const long ERROR_FILE_NOT_FOUND_REG = 2;

// The file that holds the keys.
std::string RegistryFile();
void SetRegistryFile(const std::string& path);

// 0 when the key exists and is now open in key.
long RegOpenKeyEx(THKey root, const std::string& subKey, TRegKey& key);
// The key's default value ("" when it has none), cut at bufferSize - 1
// bytes and at its first zero byte.
long RegQueryValue(const TRegKey& key, std::string& value, size_t bufferSize);
void RegCloseKey(TRegKey& key);
