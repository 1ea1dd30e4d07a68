#include "meibo_model.h"

#include "scramble.h"
#include "sjis.h"
#include "textfile.h"

#include <algorithm>
#include <map>
#include <set>

namespace {
std::vector<std::string> EmptyRow() { return {"", "", ""}; }
}  // namespace

const std::string& PasswordPlaceholder() {
    static const std::string s(10, '*');
    return s;
}

TEditOptions EditingSwitched(bool on) {
    TEditOptions o;
    o.RangeSelect = !on;
    o.Editing = on;
    o.AlwaysShowEditor = on;
    return o;
}

std::string PasteLines(const std::string& clipboardText) {
    if (clipboardText.find('\r') != std::string::npos) return clipboardText;
    std::string out;
    out.reserve(clipboardText.size() + clipboardText.size() / 8);
    for (char ch : clipboardText) {
        if (ch == '\n') out += '\r';
        out += ch;
    }
    return out;
}

bool ClipboardToRoster(const std::string& utf8Text, std::string& out, std::string& message) {
    message.clear();
    if (sjis::FromUtf8(utf8Text, out)) return true;
    out.clear();
    size_t line = 1;
    for (const std::string& l : textfile::SplitLines(utf8Text)) {
        std::string ignored;
        if (!sjis::FromUtf8(l, ignored)) break;
        ++line;
    }
    message = sjis::L("貼り付ける文字列の ") + std::to_string(line) +
              sjis::L(" 行目に、Shift-JIS にない文字があります。") + "\r\r" +
              sjis::L("貼り付けませんでした。");
    return false;
}

std::string SaveFailedMessage(const std::string& path) {
    return sjis::L("名簿を保存できませんでした。") + "\r\r" + path + "\r\r" +
           sjis::L("編集した内容はそのまま残っています。もう一度、保存してください。");
}

TMeiboGrid::TMeiboGrid() {
    Rows.push_back({"User ID", "User Name", "PassWord"});
    for (int i = 0; i < 5; ++i) Rows.push_back(EmptyRow());
}

void TMeiboGrid::LoadMeibo(const std::string& path) {
    std::vector<RosterEntry> entries;
    if (!ReadRoster(path, entries, &LoadError)) return;
    // A file without any learner leaves the grid as it is.
    if (entries.empty()) return;
    TGridRows rows;
    rows.reserve(entries.size() + 2);
    rows.push_back(Rows[0]);
    for (const auto& e : entries) rows.push_back({e.id, e.name, e.password});
    rows.push_back(EmptyRow());  // the entry row
    Rows = std::move(rows);
    Loaded = std::move(entries);
}

std::string RosterFieldFaultMessage(const std::string& where, size_t row, int field) {
    const std::string at = where + sjis::L("の ") + std::to_string(row) + sjis::L(" 行目の ");
    if (field == 1)
        return at + sjis::L("User名に、「\"」やタブ、改行などの制御文字は使えません。") + "\r\r" +
               sjis::L("User名を直してください。");
    return at + (field == 0 ? "User ID" : "PassWord") + sjis::L(" に使えない文字があります。") + "\r\r" +
           sjis::L("User ID と PassWord には、半角の数字とアルファベットだけが使えます。");
}

namespace {

// An ID the instructor changed: a row of a new ID holding the name and
// password of a loaded row whose ID left the grid is that row, renamed.
// Gives each such new ID the ID it was loaded under.
std::map<std::string, std::string> RenamedRows(const std::vector<RosterEntry>& loaded,
                                               const std::vector<RosterEntry>& rows,
                                               const std::set<std::string>& loadedIds,
                                               const std::set<std::string>& gridIds) {
    std::map<std::string, std::string> renamedFrom;
    std::multimap<std::pair<std::string, std::string>, std::string> gone;
    for (const auto& e : loaded)
        if (!e.id.empty() && !gridIds.count(e.id)) gone.emplace(std::make_pair(e.name, e.password), e.id);
    for (const auto& e : rows) {
        if (e.id.empty() || loadedIds.count(e.id) || renamedFrom.count(e.id)) continue;
        const auto it = gone.find({e.name, e.password});
        if (it == gone.end()) continue;
        renamedFrom[e.id] = it->second;
        gone.erase(it);
    }
    // A name corrected along with the ID: the password alone tells the
    // row, where no other row of a new ID nor any other loaded row that
    // left the grid has it.
    std::map<std::string, std::vector<std::string>> goneByPassword, newByPassword;
    for (const auto& g : gone)
        if (!g.first.second.empty()) goneByPassword[g.first.second].push_back(g.second);
    for (const auto& e : rows)
        if (!e.id.empty() && !loadedIds.count(e.id) && !renamedFrom.count(e.id) && !e.password.empty())
            newByPassword[e.password].push_back(e.id);
    for (const auto& [password, ids] : newByPassword) {
        const auto it = goneByPassword.find(password);
        if (ids.size() == 1 && it != goneByPassword.end() && it->second.size() == 1)
            renamedFrom[ids[0]] = it->second[0];
    }
    return renamedFrom;
}

// What the instructor is told of rows whose IDs a login registered meanwhile.
std::string RegisteredMeanwhileMessage(const std::vector<RosterEntry>& registered) {
    std::string ids;
    for (size_t i = 0; i < registered.size() && i < 5; ++i)
        ids += (i ? sjis::L("、") : std::string()) + sjis::L("「") + registered[i].id + sjis::L("」");
    if (registered.size() > 5) ids += sjis::L(" ほか ") + std::to_string(registered.size() - 5) + sjis::L(" 人");
    return sjis::L("ユーザー ID ") + ids + sjis::L(" は、名簿を開いた後にログインで登録されました。") + "\r\r" +
           sjis::L("名簿は保存していません。") + "\r" +
           sjis::L("この名簿の内容で上書きするには、もう一度 OK を押してください。");
}

}  // namespace

bool TMeiboGrid::SaveMeibo(const std::string& path) {
    SettleStash();
    SaveError.clear();
    std::vector<RosterEntry> rows;
    for (int r = 1; r + 1 < RowCount(); ++r) {
        rows.push_back({Rows[r][0], Rows[r][1], Rows[r][2]});
        const int fault = RosterFieldFault(rows.back());
        if (fault >= 0) {
            SaveError = RosterFieldFaultMessage(sjis::L("名簿"), static_cast<size_t>(r), fault) + "\r\r" +
                        sjis::L("名簿は保存していません。");
            return false;
        }
    }
    // No more learners, nor bytes, than the readers take back.
    const std::string tooBig = RosterStoreProblem(rows);
    if (!tooBig.empty()) {
        SaveError = tooBig + "\r\r" + sjis::L("名簿は保存していません。");
        return false;
    }
    std::set<std::string> loadedIds, gridIds;
    std::map<std::string, RosterEntry> loadedById;
    for (const auto& e : Loaded) {
        loadedIds.insert(e.id);
        loadedById.emplace(e.id, e);
    }
    for (const auto& e : rows) gridIds.insert(e.id);
    const std::map<std::string, std::string> renamedFrom = RenamedRows(Loaded, rows, loadedIds, gridIds);
    std::string why;
    // Rows of a new ID that a login registered meanwhile, holding other
    // fields than the registration: the instructor is told first.
    std::vector<RosterEntry> registered;
    const bool ok = UpdateRosterFile(path, [&](std::vector<RosterEntry>& file) {
        std::map<std::string, RosterEntry> current;
        for (const auto& e : file) current.emplace(e.id, e);
        registered.clear();
        for (const auto& e : rows) {
            if (e.id.empty() || loadedIds.count(e.id) || renamedFrom.count(e.id)) continue;
            const auto now = current.find(e.id);
            if (now != current.end() && (now->second.name != e.name || now->second.password != e.password) &&
                std::none_of(registered.begin(), registered.end(), [&](const RosterEntry& r) { return r.id == e.id; }))
                registered.push_back(now->second);
        }
        if (!registered.empty()) return;  // the file stays as it is
        std::vector<RosterEntry> out;
        out.reserve(rows.size());
        for (RosterEntry e : rows) {
            const auto renamed = renamedFrom.find(e.id);
            const std::string& origin = renamed == renamedFrom.end() ? e.id : renamed->second;
            const auto was = loadedById.find(origin);
            const auto now = current.find(origin);
            if (!e.id.empty() && was != loadedById.end()) {
                if (now == current.end()) {
                    // Deleted from the file since it was loaded: a row this
                    // editor left as it was stays deleted.
                    if (e.id == origin && e.name == was->second.name && e.password == was->second.password)
                        continue;
                } else {
                    // Field by field: what the instructor left as loaded
                    // takes what the file holds now.
                    if (e.name == was->second.name) e.name = now->second.name;
                    if (e.password == was->second.password) e.password = now->second.password;
                }
            }
            out.push_back(std::move(e));
        }
        for (const auto& e : file)
            if (!e.id.empty() && !loadedIds.count(e.id) && !gridIds.count(e.id)) out.push_back(e);
        file = std::move(out);
    }, 10, &why);
    if (ok && !registered.empty()) {
        // Told once: the registrations count as loaded now, so that the
        // next save stores the rows as this editor has them.
        SaveError = RegisteredMeanwhileMessage(registered);
        Loaded.insert(Loaded.end(), registered.begin(), registered.end());
        return false;
    }
    if (!ok) SaveError = SaveFailedMessage(path) + (why.empty() ? std::string() : "\r\r" + why);
    return ok;
}

std::string TMeiboGrid::Copy(int top, int bottom, int left, int right) const {
    std::string out;
    for (int r = std::max(top, 0); r <= bottom && r < RowCount(); ++r) {
        for (int c = left; c <= right && c < 3; ++c) {
            if (c > left) out += '\t';
            if (r == StashedRow && c == 2 && Rows[r][c] == PasswordPlaceholder())
                out += StashedPassword;
            else
                out += Rows[r][c];
        }
        out += "\r\n";
    }
    return out;
}

void TMeiboGrid::Clear(int top, int bottom, int left, int right) {
    SettleStash();
    for (int r = std::max(top, 1); r <= bottom && r < RowCount(); ++r)
        for (int c = std::max(left, 0); c <= right && c < 3; ++c) Rows[r][c].clear();
}

bool TMeiboGrid::Paste(const std::string& text, int row, int col) {
    // Far more than any class's roster: a huge clipboard text is refused
    // before it becomes rows.
    PasteError.clear();
    if (text.size() > kMaxPasteBytes) return false;
    // Every line that will be pasted is looked at before anything changes.
    size_t line = 1;
    for (size_t i = 0, cr; (cr = text.find('\r', i)) != std::string::npos; ++line) {
        for (size_t k = i; k < cr; ++k) {
            const unsigned char c = static_cast<unsigned char>(text[k]);
            if (c != '\t' && (c < 0x20 || c == 0x7F || c == '"')) {
                PasteError = sjis::L("貼り付ける文字列の ") + std::to_string(line) +
                             sjis::L(" 行目に、「\"」や改行などの制御文字があります。") + "\r\r" +
                             sjis::L("名簿には入れられないため、貼り付けませんでした。");
                return false;
            }
        }
        i = cr + 1;
        if (i < text.size() && text[i] == '\n') ++i;
    }
    SettleStash();
    int r = row;
    size_t pos = 0;
    size_t cr;
    while ((cr = text.find('\r', pos)) != std::string::npos) {
        const std::string line = text.substr(pos, cr - pos);
        pos = cr + 1;
        if (pos < text.size() && text[pos] == '\n') ++pos;
        while (r >= RowCount()) Rows.push_back(EmptyRow());
        int c = col;
        size_t start = 0;
        for (;;) {
            size_t tab = line.find('\t', start);
            std::string field = line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
            if (c >= 0 && c <= 2) Rows[r][c] = field;
            ++c;
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        ++r;
        if (r >= RowCount()) Rows.push_back(EmptyRow());
    }
    return true;
}

void TMeiboGrid::InsertRows(int top, int bottom) {
    SettleStash();
    if (top < 1 || bottom < top || top >= RowCount()) return;
    const int n = bottom - top + 1;
    Rows.insert(Rows.begin() + top, n, EmptyRow());
}

void TMeiboGrid::DeleteRows(int top, int bottom) {
    SettleStash();
    if (RowCount() <= 2 || top < 1 || bottom < top) return;
    bottom = std::min(bottom, RowCount() - 1);
    const int n = bottom - top + 1;
    if (bottom < RowCount() - 1) {
        Rows.erase(Rows.begin() + top, Rows.begin() + bottom + 1);
    } else {
        for (int r = top; r <= bottom; ++r) Rows[r] = EmptyRow();
        Rows.resize(std::max(RowCount() - n, 2));
    }
    if (RowCount() < 2) Rows.resize(2, EmptyRow());
}

void TMeiboGrid::Compact() {
    SettleStash();
    if (RowCount() <= 2) return;
    // Rows without ID and name go, in one pass (the title row and the
    // entry row at the end stay).
    const auto first = Rows.begin() + 1;
    const auto entry = Rows.end() - 1;
    const auto kept = std::remove_if(first, entry, [](const std::vector<std::string>& row) {
        return row[0].empty() && row[1].empty();
    });
    Rows.erase(kept, entry);
}

void TMeiboGrid::SortAsText() {
    SettleStash();
    SortGridStr(Rows, 1, 0, 1);
}

void TMeiboGrid::SortAsNumber() {
    SettleStash();
    SortGridNum(Rows, 1, 0, 1);
}

bool TMeiboGrid::KeepEntryRow() {
    if (Rows.back()[0].empty()) return false;
    Rows.push_back(EmptyRow());
    return true;
}

bool TMeiboGrid::Stash(int col, int row) {
    if (col != 2 || row < 1 || row >= RowCount() || Rows[row][2] == PasswordPlaceholder()) return false;
    // A second stash would otherwise drop the first one's password and
    // leave the placeholder in its row.
    SettleStash();
    StashedPassword = Rows[row][2];
    StashedRow = row;
    Rows[row][2] = PasswordPlaceholder();
    return true;
}

void TMeiboGrid::RestoreStash(int col, int row) {
    if (StashedRow >= 0 && col != 2 && row != StashedRow) SettleStash();
}

void TMeiboGrid::SettleStash() {
    if (StashedRow >= 0 && StashedRow < RowCount() && Rows[StashedRow][2] == PasswordPlaceholder())
        Rows[StashedRow][2] = StashedPassword;
    StashedRow = -1;
    StashedPassword.clear();
}

TEditStep TMeiboGrid::EnterKey(bool editorOpen, int col, int row) {
    if (editorOpen) return TEditStep::Off;
    Stash(col, row);
    return TEditStep::On;
}

TEditStep TMeiboGrid::DoubleClick(int col, int row) {
    Stash(col, row);
    return TEditStep::OnThenOff;
}
