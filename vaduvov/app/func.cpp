#include "func.h"
#include "gridsort.h"

#include "commatext.h"
#include "sjis.h"
#include "textfile.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <dirent.h>
#include <sys/stat.h>

namespace {

const std::string& Maru() {
    static const std::string s = sjis::L("○");
    return s;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

int DecimalValue(const std::string& text) {
    if (text.empty()) return 0;
    size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (i == text.size()) return 0;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return 0;
        v = v * 10 + (text[i] - '0');
        if (v > 2147483647LL) return 0;
    }
    return static_cast<int>(text[0] == '-' ? -v : v);
}

std::vector<std::string> GetFileList(const std::string& folder, const std::string& ext) {
    std::vector<std::string> files;
    if (folder.empty()) return files;
    DIR* d = ::opendir(textfile::OsPath(folder).c_str());
    if (!d) return files;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        // Names on disk are UTF-8 (ASCII reads the same in both); a name
        // with no Shift-JIS form is left out.
        const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return (c & 0x80) == 0; });
        if ((!ascii && !sjis::FromUtf8(e->d_name, name)) || !EndsWith(sjis::LowerAscii(name), ext)) continue;
        std::string path = folder + name;
        // The entry's own type saves asking the file system again (on a
        // network share, a round trip per file); links and file systems
        // that give no type are asked.
        const bool plain = e->d_type != DT_DIR && e->d_type != DT_LNK && e->d_type != DT_UNKNOWN;
        if (plain || (e->d_type != DT_DIR && textfile::FileExists(path))) files.push_back(path);
    }
    ::closedir(d);
    return files;
}

void DeleteOldFiles(const std::string& folder, const std::string& ext, std::time_t now) {
    for (const auto& path : GetFileList(folder, ext)) {
        struct stat st {};
        if (::stat(textfile::OsPath(path).c_str(), &st) == 0 && now - st.st_mtime >= 12 * 3600)
            textfile::DeleteFile(path);
    }
}

std::string ComputerName(const std::string& path) {
    const std::string name = textfile::ExtractFileName(path);
    return name.substr(0, name.rfind('.'));
}

TScoreRecord ReadScoreFile(const std::string& path) {
    TScoreRecord r;
    const std::string stem = ComputerName(path);
    if (textfile::FileExists(textfile::ExtractFilePath(path) + stem + ".stp")) {
        r.Marked = true;
        return r;
    }
    r.Computer = stem;
    // Only the head of the file is read, however much it holds: four lines
    // within the first kMaxResultsHeadBytes, and each text cut to what a cell
    // can show.
    std::vector<std::string> lines;
    if (!textfile::ReadRecordHead(path, 4, kMaxResultsHeadBytes, lines)) return r;
    lines.resize(4);
    auto f = [&](int line) {
        std::vector<std::string> fields = commatext::Split(lines[line]);
        for (auto& field : fields)
            if (field.size() > kMaxResultsFieldBytes) field = sjis::CutBytes(field, kMaxResultsFieldBytes, true);
        return fields;
    };
    const auto l1 = f(0), l2 = f(1), l3 = f(2), l4 = f(3);
    // The fields are taken in this order; a missing one ends the reading,
    // so nothing after it is taken (a file caught while being written).
    [&] {
        if (l1.size() < 1) return;
        r.UserID = l1[0];
        if (l1.size() < 2) return;
        r.UserName = l1[1];
        if (l2.size() < 1) return;
        r.Test = l2[0] == Maru();
        if (l2.size() < 2) return;
        r.Random = l2[1] == Maru();
        if (l3.size() < 1) return;
        r.Problem = l3[0];
        if (l3.size() < 2) return;
        r.Maximum = DecimalValue(l3[1]);
        if (l4.size() < 2) return;
        r.Correct = DecimalValue(l4[1]);
        if (l4.size() < 3) return;
        r.Wrong = DecimalValue(l4[2]);
        // Counts of a damaged file may add up beyond what an int holds:
        // such a step line is not taken.
        const long long answered = static_cast<long long>(r.Correct) + r.Wrong;
        if (answered > INT_MAX || answered < INT_MIN) {
            r.Correct = r.Wrong = 0;
            return;
        }
        r.Done = answered == r.Maximum ? r.Maximum : DecimalValue(l4[0]);
    }();
    r.Normal = !(r.Test || r.Random);
    return r;
}

std::string Percentage(int correct, int maximum) {
    if (maximum == 0) return "0";
    return std::to_string(static_cast<long long>(std::trunc(double(correct) * 100 / maximum + 0.5)));
}

std::vector<TScoreRecord> ReadScoreFolder(const std::string& scoreFolder) {
    const std::vector<std::string> files = GetFileList(scoreFolder, ".dat");
    std::vector<TScoreRecord> records;
    records.reserve(files.size());
    for (size_t i : TextOrder(files)) {
        const std::string& path = files[i];
        records.push_back(ReadScoreFile(path));
        // A computer whose last write failed is listed without its data.
        if (records.back().Marked) records.back().Computer = ComputerName(path);
    }
    return records;
}

std::vector<std::array<std::string, 9>> ClientListRows(const std::vector<TScoreRecord>& records) {
    std::vector<std::array<std::string, 9>> rows;
    rows.reserve(records.size());
    const std::string& m = Maru();
    for (const TScoreRecord& r : records) {
        if (r.Marked) {
            rows.push_back({r.Computer, "", "", "", "", "", "", "", ""});
            continue;
        }
        rows.push_back({r.Computer, r.UserName, r.Problem, r.Normal ? m : "", r.Test ? m : "",
                        r.Random ? m : "", std::to_string(r.Done), std::to_string(r.Maximum),
                        Percentage(r.Correct, r.Maximum)});
    }
    return rows;
}
