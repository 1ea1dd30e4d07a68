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

std::string TooBigMessage(size_t line) {
    return sjis::L("CSVファイルの ") + std::to_string(line) + sjis::L(" 行目で、読み込める大きさを超えました。") +
           "\r" + sjis::L("読み込めるのは ") + std::to_string(TCsvWizardModel::kMaxLines) +
           sjis::L(" 行、一行 ") + std::to_string(TCsvWizardModel::kMaxLineBytes) +
           sjis::L(" バイト、項目は合わせて ") + std::to_string(TCsvWizardModel::kMaxFields) +
           sjis::L(" 個までです。") + "\r\r" + sjis::L("ファイルは読み込みませんでした。");
}

}  // namespace

const std::string& TCsvWizardModel::Cell(int row, int col) const {
    static const std::string none;
    if (row < 0 || col < 0 || static_cast<size_t>(row) >= Preview.size()) return none;
    const auto& cells = Preview[static_cast<size_t>(row)];
    return static_cast<size_t>(col) < cells.size() ? cells[static_cast<size_t>(col)] : none;
}

void TCsvWizardModel::LoadCsvFile(const std::string& path) {
    LoadError.clear();
    Columns = 1;
    Preview.assign(1, {});
    std::string bytes;
    if (!textfile::ReadFileBytes(path, bytes)) return;
    // UTF-8 (with or without its mark) becomes Shift-JIS; UTF-16 and
    // characters Shift-JIS cannot hold refuse the file.
    const sjis::TOutsideText text = sjis::DecodeOutsideText(bytes);
    if (text.Status == sjis::TOutsideText::NoShiftJis) {
        LoadError = NoShiftJisMessage(text.Line);
        return;
    }
    if (text.Status == sjis::TOutsideText::Utf16) {
        LoadError = sjis::L("CSVファイルが UTF-16 で保存されているため、読めません。") + "\r\r" +
                    sjis::L("Shift-JIS か UTF-8 で保存し直してください。");
        return;
    }
    // The lines are split one at a time, and the reading stops at the
    // first that cannot be taken: a refused file costs no more than the
    // part read up to there.
    size_t fields = 0;
    textfile::ForEachLineBefore(bytes, '\x1A', [&](size_t b, size_t e) {
        const size_t number = Preview.size();
        // A line's fields are at most its bytes: the line's length bounds
        // what splitting it may cost.
        if (number > static_cast<size_t>(kMaxLines) || e - b > kMaxLineBytes) {
            LoadError = TooBigMessage(number);
            return false;
        }
        std::vector<std::string> row = commatext::Split(bytes.substr(b, e - b));
        fields += row.size();
        if (fields > static_cast<size_t>(kMaxFields)) {
            LoadError = TooBigMessage(number);
            return false;
        }
        Columns = std::max(Columns, static_cast<int>(row.size()));
        Preview.push_back(std::move(row));
        return true;
    });
    if (!LoadError.empty()) {
        // Nothing of a refused file is kept.
        Columns = 1;
        TGridRows(1).swap(Preview);
        return;
    }
    if (Preview.size() == 1) Preview.emplace_back();  // an empty file reads as one empty line
}

void TCsvWizardModel::TargetButton(int tag, bool down) { Target = down ? tag : -1; }

void TCsvWizardModel::ColumnClick(int col) {
    // Outside every column nothing is mapped and nothing is dropped.
    if (Target < 1 || Target > 3 || col < 0 || col >= Columns) return;
    auto& captions = Preview[0];
    auto clear = [&captions](int c) {
        if (static_cast<size_t>(c) < captions.size()) captions[static_cast<size_t>(c)].clear();
    };
    if (ColumnMap[Target] >= 0) {
        clear(ColumnMap[Target]);
        ColumnMap[Target] = -1;
    }
    for (int i = 1; i <= 3; ++i)
        if (ColumnMap[i] == col) {
            clear(col);
            ColumnMap[i] = -1;
        }
    ColumnMap[Target] = col;
    if (captions.size() <= static_cast<size_t>(col)) captions.resize(static_cast<size_t>(col) + 1);
    captions[static_cast<size_t>(col)] = TargetCaption(Target);
    Target = Target == 3 ? -1 : Target + 1;
}

bool TCsvWizardModel::Import(TMeiboGrid& roster, bool firstLineIsHeader) {
    ImportError.clear();
    if (!LoadError.empty()) return false;  // a refused file imports nothing
    if (ColumnMap[1] < 0 && ColumnMap[2] < 0 && ColumnMap[3] < 0) return false;
    const int first = firstLineIsHeader ? 2 : 1;
    // No more learners than a roster may hold.
    const size_t records = Preview.size() > size_t(first) ? Preview.size() - size_t(first) : 0;
    if (records > kMaxRosterLearners) {
        ImportError = TooManyLearnersToStore(records) + "\r\r" + sjis::L("読み込みませんでした。");
        return false;
    }
    // Every record is checked before the roster changes.
    std::vector<RosterEntry> checked;
    checked.reserve(records);
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
        checked.push_back(std::move(rec));
    }
    // Nor more bytes than a reader reads back.
    const std::string tooBig = RosterStoreProblem(checked);
    if (!tooBig.empty()) {
        ImportError = tooBig + "\r\r" + sjis::L("読み込みませんでした。");
        return false;
    }
    std::vector<RosterEntry>().swap(checked);
    roster.SettleStash();
    roster.Rows.resize(1);
    for (int r = first; r < static_cast<int>(Preview.size()); ++r) {
        std::vector<std::string> rec(3);
        for (int i = 1; i <= 3; ++i)
            if (ColumnMap[i] >= 0) rec[i - 1] = Cell(r, ColumnMap[i]);
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
