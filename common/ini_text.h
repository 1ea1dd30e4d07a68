// Settings files of sections and keys ("ruzozu.ini", "ruzozu.dvk" and the
// controller's own).  Section and key names may be Japanese (Shift-JIS) and
// are matched without regard to the case of ASCII letters.  Booleans are
// written "1" and "0"; integers are read in decimal or in hexadecimal with
// a "0x", "0X" or "$" prefix; a value is read up to 2047 bytes.
//
// Every write goes straight to the file: the file is read again, the one
// key is changed in place (or added at the end of its section, or a new
// section is appended), every other line is kept byte for byte, and the
// file is replaced whole.  Lines are written with CR LF.
#pragma once

#include "input_limits.h"

#include <cstddef>
#include <string>
#include <vector>

class TIniFile {
public:
    static constexpr size_t kMaxSettingsBytes = input_limits::kMaxSettingsBytes;
    static constexpr size_t kMaxSettingsLines = input_limits::kMaxSettingsLines;

    explicit TIniFile(std::string path);

    const std::string& FileName() const { return path_; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    int ReadInteger(const std::string& section, const std::string& key, int def) const;
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    bool SectionExists(const std::string& section) const;

    // Each returns false when the file could not be written; the file is
    // then as it was.  A section, key or value holding CR, LF or 0x1A is
    // refused (false): it would make lines of its own in the file.  A file
    // that was refused on reading (see Error) is never written over.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool WriteInteger(const std::string& section, const std::string& key, int value);
    bool WriteBool(const std::string& section, const std::string& key, bool value);

    // Reads the file again (the constructor reads it once).  A UTF-8
    // byte-order mark is taken off and UTF-8 read as UTF-8 (the next write
    // stores the file as Shift-JIS); a UTF-16 file, or UTF-8 with a
    // character that has no Shift-JIS form, is refused: it reads as empty
    // and Error says why (lines separated by CR).  So is a file that is
    // there but cannot be read.
    void Reload();
    const std::string& Error() const { return error_; }

    // Whether text may be stored as a section, key or value.
    static bool Storable(const std::string& text);

    // Parses an integer as the settings files hold it; false when it is
    // not one (or does not fit 32 bits).
    static bool ParseInteger(const std::string& text, int& out);

private:
    bool Find(const std::string& section, const std::string& key, std::string* value) const;

    std::string path_;
    std::vector<std::string> lines_;  // each with its own line end, if any
    std::string error_;
};

// Whether a chosen folder (Shift-JIS) may be stored as a folder setting:
// an absolute path of whole Shift-JIS characters without any control
// byte (a CR LF in a folder's name would add lines to the settings file),
// naming a folder that is there now.
bool StorableFolder(const std::string& path);

// What the person who chose such a folder is told (lines separated by CR).
std::string UnstorableFolderMessage();

// What the person who asked for a save is told when these settings files
// could not be written (both programs word it alike).
std::string SettingsWriteFailedMessage(const std::vector<std::string>& files);
