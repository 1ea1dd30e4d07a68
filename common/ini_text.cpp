#include "ini_text.h"

#include "sjis.h"
#include "textfile.h"

#include <climits>
#include <cstdint>

namespace {

const size_t kMaxValue = input_limits::kMaxSettingsValue;

// Splits at LF, each line keeping its end; false (lines emptied) past
// maxLines lines.
bool SplitKeepingEnds(const std::string& text, size_t maxLines, std::vector<std::string>& lines) {
    lines.clear();
    size_t i = 0;
    while (i < text.size()) {
        if (lines.size() == maxLines) {
            std::vector<std::string>().swap(lines);
            return false;
        }
        size_t nl = text.find('\n', i);
        size_t end = nl == std::string::npos ? text.size() : nl + 1;
        lines.emplace_back(text, i, end - i);
        i = end;
    }
    return true;
}

std::string StripEnd(const std::string& line) {
    size_t e = line.size();
    while (e > 0 && (line[e - 1] == '\n' || line[e - 1] == '\r')) --e;
    return line.substr(0, e);
}

// Section name of a "[name]" line, or false.
bool SectionOf(const std::string& raw, std::string& name) {
    std::string t = sjis::Trim(StripEnd(raw));
    if (t.size() < 2 || t[0] != '[') return false;
    size_t close = t.find(']');
    if (close == std::string::npos) return false;
    name = sjis::Trim(t.substr(1, close - 1));
    return true;
}

// Key and value of a "key=value" line, or false.
bool KeyOf(const std::string& raw, std::string& key, std::string& value) {
    std::string t = StripEnd(raw);
    size_t eq = t.find('=');
    if (eq == std::string::npos) return false;
    key = sjis::Trim(t.substr(0, eq));
    if (key.empty() || key[0] == ';') return false;
    value = sjis::Trim(t.substr(eq + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return true;
}

}  // namespace

TIniFile::TIniFile(std::string path) : path_(std::move(path)) { Reload(); }

void TIniFile::Reload() {
    std::string bytes;
    lines_.clear();
    error_.clear();
    const auto untakable = [this] {
        return path_ + "\r\r" + sjis::L("この設定ファイルは読めません（読む権限がないか、大きすぎます）。");
    };
    if (!textfile::ReadFileBytes(path_, bytes, kMaxSettingsBytes)) {
        // There but not to be taken (no permission, beyond the bound, no
        // plain file): a write would put one key in place of all the others.
        if (textfile::FileExists(path_) || textfile::DirectoryExists(path_))
            error_ = untakable();
        return;
    }
    const sjis::TOutsideText text = sjis::DecodeOutsideText(bytes);
    if (text.Status != sjis::TOutsideText::Ok) {
        error_ = sjis::OutsideTextMessage(text, path_);
        return;
    }
    if (!SplitKeepingEnds(bytes, kMaxSettingsLines, lines_))
        error_ = untakable();
}

bool TIniFile::Storable(const std::string& text) {
    return text.find_first_of("\r\n\x1A") == std::string::npos;
}

bool TIniFile::Find(const std::string& section, const std::string& key, std::string* value) const {
    bool inSection = false;
    for (const auto& raw : lines_) {
        std::string name;
        if (SectionOf(raw, name)) {
            inSection = sjis::EqualsIgnoreCase(name, section);
            continue;
        }
        if (!inSection) continue;
        std::string k, v;
        if (KeyOf(raw, k, v) && sjis::EqualsIgnoreCase(k, key)) {
            if (value) *value = v.substr(0, kMaxValue);
            return true;
        }
    }
    return false;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    std::string v;
    return Find(section, key, &v) ? v : def;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    return Find(section, key, nullptr);
}

bool TIniFile::SectionExists(const std::string& section) const {
    for (const auto& raw : lines_) {
        std::string name;
        if (SectionOf(raw, name) && sjis::EqualsIgnoreCase(name, section)) return true;
    }
    return false;
}

bool TIniFile::ParseInteger(const std::string& text, int& out) {
    std::string s = sjis::Trim(text);
    size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) return false;
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        char c = s[i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        v = v * base + d;
        // Hexadecimal may spell a negative 32-bit value ($FFFFFFFF).
        if (v > (base == 16 ? int64_t(UINT32_MAX) : int64_t(INT32_MAX) + 1)) return false;
    }
    if (base == 16 && v > INT32_MAX) v -= int64_t(1) << 32;
    if (neg) v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
    int v;
    return ParseInteger(ReadString(section, key, ""), v) ? v : def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    if (!Storable(section) || !Storable(key) || !Storable(value)) return false;
    Reload();
    if (!error_.empty()) return false;  // never written over
    std::string before;
    for (const auto& l : lines_) before += l;
    const std::string newLine = key + "=" + value;
    bool inSection = false;
    long sectionLine = -1;   // index of the section's header line
    long lastContent = -1;   // last non-blank line of that section
    bool replaced = false;
    for (size_t i = 0; i < lines_.size() && !replaced; ++i) {
        std::string name;
        if (SectionOf(lines_[i], name)) {
            if (inSection) break;  // the section ended without the key
            inSection = sjis::EqualsIgnoreCase(name, section);
            if (inSection) sectionLine = lastContent = static_cast<long>(i);
            continue;
        }
        if (!inSection) continue;
        std::string k, v;
        if (KeyOf(lines_[i], k, v) && sjis::EqualsIgnoreCase(k, key)) {
            const std::string& raw = lines_[i];
            std::string ending = raw.substr(StripEnd(raw).size());
            lines_[i] = newLine + (ending.empty() ? "\r\n" : ending);
            replaced = true;
            continue;
        }
        if (!sjis::Trim(StripEnd(lines_[i])).empty()) lastContent = static_cast<long>(i);
    }
    if (!replaced) {
        size_t at = sectionLine >= 0 ? static_cast<size_t>(lastContent + 1) : lines_.size();
        // A line before the new one may lack its line end (the file's last
        // line); give it one.
        if (at > 0 && lines_[at - 1].back() != '\n') lines_[at - 1] += "\r\n";
        if (sectionLine >= 0) {
            lines_.insert(lines_.begin() + at, newLine + "\r\n");
        } else {
            lines_.push_back("[" + section + "]\r\n");
            lines_.push_back(newLine + "\r\n");
        }
    }
    std::string data;
    for (const auto& l : lines_) data += l;
    // A value the file holds already needs no write (nor a flush), and a
    // file the user may only read keeps taking it.
    if (data == before) {
        textfile::SweepStaleTempsIfDue(textfile::OsPath(path_));  // as a write would
        return true;
    }
    bool ok = textfile::WriteFileAtomic(path_, data);
    if (!ok) Reload();
    return ok;
}

bool TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

bool StorableFolder(const std::string& path) {
    if (path.empty() || path[0] != '/') return false;
    for (unsigned char c : path)
        if (c < 0x20 || c == 0x7F) return false;
    std::string back;
    if (!sjis::FromUtf8(sjis::ToUtf8(path), back) || back != path) return false;
    return textfile::DirectoryExists(path);
}

std::string UnstorableFolderMessage() {
    return sjis::L("このフォルダーは、設定に保存できません。") + "\r\r" +
           sjis::L("名前かパスに、改行などの制御文字か、Shift-JIS にない文字があります。") + "\r" +
           sjis::L("別のフォルダーを選んでください。");
}

std::string SettingsWriteFailedMessage(const std::vector<std::string>& files) {
    std::string text = sjis::L("設定を保存できませんでした。") + "\r";
    for (const auto& f : files) text += "\r" + f;
    return text;
}
