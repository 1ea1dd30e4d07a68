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

#include <cstddef>
#include <string>
#include <vector>

class TIniFile {
public:
    // A settings file holds a few hundred short lines: one beyond these
    // bounds is damaged.  It reads as empty (every value its default) and
    // a write to it fails, leaving it as it is.
    static constexpr size_t kMaxSettingsBytes = 256 * 1024;
    static constexpr size_t kMaxSettingsLines = 10000;

    explicit TIniFile(std::string path);

    const std::string& FileName() const { return path_; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    int ReadInteger(const std::string& section, const std::string& key, int def) const;
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    bool SectionExists(const std::string& section) const;

    // Each returns false when the file could not be written; the file is
    // then as it was.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool WriteInteger(const std::string& section, const std::string& key, int value);
    bool WriteBool(const std::string& section, const std::string& key, bool value);

    // Reads the file again (the constructor reads it once).
    void Reload();

    // Parses an integer as the settings files hold it; false when it is
    // not one (or does not fit 32 bits).
    static bool ParseInteger(const std::string& text, int& out);

private:
    bool Find(const std::string& section, const std::string& key, std::string* value) const;

    std::string path_;
    std::vector<std::string> lines_;  // each with its own line end, if any
    bool refused_ = false;            // there, but beyond the bounds: read as empty, never written
};

// What the person who asked for a save is told when these settings files
// could not be written (both programs word it alike).
std::string SettingsWriteFailedMessage(const std::vector<std::string>& files);
