#include "csv_model.h"

#include "commatext.h"
#include "sjis.h"
#include "textfile.h"

#include <algorithm>

TCsvWizardModel::TCsvWizardModel() {
    ColumnMap.fill(-1);
    Preview.push_back({""});
}

const std::string& TCsvWizardModel::TargetCaption(int target) {
    static const std::string captions[] = {"", "User ID", "User Name", "PassWord"};
    return captions[target >= 1 && target <= 3 ? target : 0];
}

const std::string& TCsvWizardModel::NothingMappedMessage() {
    static const std::string s = sjis::L("読込先の列は必ず、一列以上指定してください。");
    return s;
}

namespace {

std::string NoShiftJisMessage(size_t line) {
    return sjis::L("CSVファイルの ") + std::to_string(line) +
           sjis::L(" 行目に、Shift-JIS にない文字があります。") + "\r\r" +
           sjis::L("ファイルは読み込みませんでした。");
}

}  // namespace

void TCsvWizardModel::LoadCsvFile(const std::string& path) {
    std::vector<std::string> lines;
    std::string bytes;
    LoadError.clear();
    if (textfile::ReadFileBytes(path, bytes)) {
        // UTF-8 (with or without its mark) becomes Shift-JIS; UTF-16 and
        // characters Shift-JIS cannot hold refuse the file.
        const sjis::TOutsideText text = sjis::DecodeOutsideText(bytes);
        if (text.Status == sjis::TOutsideText::NoShiftJis)
            LoadError = NoShiftJisMessage(text.Line);
        else if (text.Status == sjis::TOutsideText::Utf16)
            LoadError = sjis::L("CSVファイルが UTF-16 で保存されているため、読めません。") + "\r\r" +
                        sjis::L("Shift-JIS か UTF-8 で保存し直してください。");
        else
            lines = textfile::SplitAnyLines(bytes);
        if (lines.empty() && LoadError.empty()) lines.emplace_back();
    }
    Columns = 1;
    Preview.assign(1, {});
    for (const auto& line : lines) {
        Preview.push_back(commatext::Split(line));
        Columns = std::max(Columns, static_cast<int>(Preview.back().size()));
    }
    for (auto& row : Preview) row.resize(Columns);
}

void TCsvWizardModel::TargetButton(int tag, bool down) { Target = down ? tag : -1; }

void TCsvWizardModel::ColumnClick(int col) {
    // Outside every column nothing is mapped and nothing is dropped.
    if (Target < 1 || Target > 3 || col < 0 || col >= Columns) return;
    if (ColumnMap[Target] >= 0) {
        Preview[0][ColumnMap[Target]].clear();
        ColumnMap[Target] = -1;
    }
    for (int i = 1; i <= 3; ++i)
        if (ColumnMap[i] == col) {
            Preview[0][col].clear();
            ColumnMap[i] = -1;
        }
    ColumnMap[Target] = col;
    Preview[0][col] = TargetCaption(Target);
    Target = Target == 3 ? -1 : Target + 1;
}

bool TCsvWizardModel::Import(TMeiboGrid& roster, bool firstLineIsHeader) {
    ImportError.clear();
    if (!LoadError.empty()) return false;  // a refused file imports nothing
    if (ColumnMap[1] < 0 && ColumnMap[2] < 0 && ColumnMap[3] < 0) return false;
    const int first = firstLineIsHeader ? 2 : 1;
    // Every record is checked before the roster changes.
    for (int r = first; r < static_cast<int>(Preview.size()); ++r) {
        RosterEntry rec;
        std::string* fields[3] = {&rec.id, &rec.name, &rec.password};
        for (int i = 1; i <= 3; ++i)
            if (ColumnMap[i] >= 0 && ColumnMap[i] < static_cast<int>(Preview[r].size())) *fields[i - 1] = Preview[r][ColumnMap[i]];
        const int fault = RosterFieldFault(rec);
        if (fault >= 0) {
            ImportError = RosterFieldFaultMessage(sjis::L("CSVファイル"), static_cast<size_t>(r), fault) + "\r\r" +
                          sjis::L("読み込みませんでした。");
            return false;
        }
    }
    roster.SettleStash();
    roster.Rows.resize(1);
    for (int r = first; r < static_cast<int>(Preview.size()); ++r) {
        std::vector<std::string> rec(3);
        for (int i = 1; i <= 3; ++i)
            if (ColumnMap[i] >= 0) rec[i - 1] = Preview[r][ColumnMap[i]];
        roster.Rows.push_back(rec);
    }
    // Every imported record is kept: the entry row, never saved, comes after
    // the last one even when it has no user ID.
    roster.Rows.push_back({"", "", ""});
    return true;
}

std::string ShortenPath(const std::string& path, int maxWidth,
                        const std::function<int(const std::string&)>& width) {
    if (width(path) <= maxWidth) return path;
    // '/' is never the trail byte of a double-byte character.
    const size_t nameStart = path.rfind('/');
    if (nameStart == std::string::npos) return path;
    const std::string lead = path.compare(0, 1, "/") == 0 ? "/..." : "...";
    // Keep as many trailing folders as fit, dropping from the front.
    size_t from = path.find('/', path[0] == '/' ? 1 : 0);
    while (from != std::string::npos && from < nameStart) {
        std::string candidate = lead + path.substr(from);
        if (width(candidate) <= maxWidth) return candidate;
        from = path.find('/', from + 1);
    }
    std::string candidate = lead + path.substr(nameStart);
    if (width(candidate) <= maxWidth) return candidate;
    return path.substr(nameStart + 1);
}
