#include "login.h"

#include "sjis.h"

#include <map>

namespace {

const std::string& M(const char* utf8) {
    // Messages are few and fixed; each is converted once.
    static std::map<const char*, std::string> cache;
    auto it = cache.find(utf8);
    if (it == cache.end()) it = cache.emplace(utf8, sjis::L(utf8)).first;
    return it->second;
}

const char* const kIdTooLong = "User ID は、最大６文字です。";
const char* const kIdChars = "User ID は、数字かアルファベットのみを使用してください。";
const char* const kPassChars = "PassWord は、数字かアルファベットのみを使用してください。";
const char* const kRegisterPassword = "パスワードを登録してください。";
const char* const kNoId = "User IDが入力されていません。\r\rUser IDを入力してください。";
const char* const kNoName = "User名が未登録です。\r\rUser名を入力してください。";
const char* const kBadName = "User名に「\"」や制御文字は使えません。\r\rUser名を入力し直してください。";
const char* const kWrongPassword = "パスワードが一致しません。\r\rもう一度、入力してください。";
const char* const kIdGone =
    "この User ID は、名簿から削除されたか、変更されました。\r\rUser ID を確認して、もう一度入力してください。";
const char* const kWrongCurrent = "現 PassWordが違います。\r\r入力し直してください。";
const char* const kRetypeDiffers =
    "新しいPassWordと再入力のPassWordが違います。\r\rもう一度、確認して入力してください。";

bool Allowed(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A name that would break its roster line: a double quote or a control byte.
bool NameBreaksRoster(const std::string& name) {
    for (unsigned char c : name)
        if (c == '"' || c < 0x20 || c == 0x7F) return true;
    return false;
}

}  // namespace

bool AllowedIdChars(const std::string& text) {
    for (unsigned char c : text)
        if (!Allowed(c)) return false;
    return true;
}

const std::string& TLogin::Unregistered() { return M("未登録"); }

void TLogin::LoadRoster() {
    std::vector<RosterEntry> entries;
    std::string refused;
    if (!ReadRoster(RosterPath, entries, &refused)) {
        RosterError = refused;
        if (!refused.empty()) RosterList.clear();
        return;
    }
    RosterError.clear();
    RosterList.clear();
    for (const auto& e : entries) {
        RosterList.push_back(e.id);
        RosterList.push_back(e.name);
        RosterList.push_back(e.password);
    }
}

int TLogin::Find(const std::string& id) const {
    int i = 0;
    while (static_cast<size_t>(i) + 3 <= RosterList.size() && RosterList[i] != id) i += 3;
    return i;
}

bool TLogin::SaveRoster(const std::string& id, const std::string& name, const std::string& password) {
    bool found = false;
    std::string why;
    SaveConflict = false;
    SaveGone = false;
    const bool checkedNew = NewUser;
    bool ok = UpdateRosterFile(RosterPath, [&](std::vector<RosterEntry>& entries) {
        found = false;
        SaveConflict = false;
        for (auto& e : entries)
            if (e.id == id) {
                found = true;
                // Registered or changed elsewhere since this dialog read
                // the roster: the typed password must be the file's.
                if (e.password != password && (checkedNew || e.password != LookedUpPassword)) {
                    SaveConflict = true;
                    return;
                }
                // The name is the learner's only where the learner changed
                // it: one the instructor changed meanwhile stays.
                if (checkedNew || name != LookedUpName) e.name = name;
                e.id = id;
                e.password = password;
                break;
            }
        // A learner the dialog found but the file no longer holds was
        // deleted or renamed meanwhile: never brought back as new.
        SaveGone = !found && !checkedNew;
        if (!found && checkedNew) entries.push_back({id, name, password});
    }, 10, &why);
    if (SaveGone && ok) ok = false;
    if (SaveConflict || SaveGone) {
        LoadRoster();
        UserIndex = Find(id);
        NewUser = static_cast<size_t>(UserIndex) + 3 > RosterList.size();
        if (!NewUser) {
            LookedUpName = RosterList[UserIndex + 1];
            LookedUpPassword = RosterList[UserIndex + 2];
        }
        return false;
    }
    SaveProblem.clear();
    if (!ok) {
        // A roster refused on the re-read stops the login; any other
        // failure may be tried again.
        LoadRoster();
        if (RosterError.empty()) SaveProblem = why;
    }
    if (ok) {
        NewUser = !found;
        LoadRoster();
        UserIndex = Find(id);
    }
    return ok;
}

TLoginReply TLogin::CheckUserID(const std::string& id) const {
    TLoginReply r;
    if (id.size() >= 7)
        r.Message = M(kIdTooLong);
    else if (!AllowedIdChars(id))
        r.Message = M(kIdChars);
    if (!r.Message.empty()) {
        r.Clear = {TLoginBox::ID};
        r.Focus = TLoginBox::ID;
    }
    return r;
}

TLoginReply TLogin::Edit1Exit(std::string& id, std::string& name) {
    LoginOk = false;
    LookedUp = true;
    TLoginReply r = CheckUserID(id);
    if (!r.Message.empty()) id.clear();
    if (RosterList.empty()) {
        NewUser = true;
        name = Unregistered();
        return r;
    }
    UserIndex = Find(id);
    if (static_cast<size_t>(UserIndex) + 3 > RosterList.size()) {
        NewUser = true;
        name = Unregistered();
    } else {
        NewUser = false;
        name = RosterList[UserIndex + 1];
        LookedUpName = name;
        LookedUpPassword = RosterList[UserIndex + 2];
        if (r.Focus == TLoginBox::None) r.Focus = TLoginBox::Password;
    }
    return r;
}

TLoginReply TLogin::Edit2Exit(const std::string& name) const {
    TLoginReply r;
    if (NewUser && !name.empty() && name != Unregistered()) {
        r.Beep = true;
        r.Message = M(kRegisterPassword);
    }
    return r;
}

TLoginReply TLogin::Edit3Enter(const std::string& password) {
    TLoginReply r = PasswordBoxExit(password);
    r.Beep = false;
    if (!r.Message.empty()) {
        r.Clear = {TLoginBox::Password};
        r.Focus = TLoginBox::Password;
        return r;
    }
    PassOk = NewUser || (static_cast<size_t>(UserIndex) + 3 <= RosterList.size() &&
                         password == RosterList[UserIndex + 2]);
    return r;
}

TLoginReply TLogin::BitBtn1Click(const std::string& id, const std::string& name,
                                 const std::string& password) {
    TLoginReply r;
    SaveFailed = false;
    if (!AllowedIdChars(password)) {
        r.Message = M(kPassChars);
        r.Clear = {TLoginBox::Password};
        r.Focus = TLoginBox::Password;
        return r;
    }
    if (!RosterError.empty()) {
        // The roster could not be taken when the ID was looked up: read it
        // again, and should it be readable now, look the ID up anew (a
        // learner then known is no new one).
        LoadRoster();
        if (RosterError.empty()) {
            UserIndex = Find(id.substr(0, 6));
            NewUser = static_cast<size_t>(UserIndex) + 3 > RosterList.size();
            if (!NewUser) {
                LookedUpName = RosterList[UserIndex + 1];
                LookedUpPassword = RosterList[UserIndex + 2];
            }
        }
    }
    PassOk = NewUser || (static_cast<size_t>(UserIndex) + 3 <= RosterList.size() &&
                         password == RosterList[UserIndex + 2]);
    if (id.empty()) {
        r = {M(kNoId), true, TLoginBox::ID, {}, false};
    } else if (name.empty() || name == Unregistered()) {
        r = {M(kNoName), true, TLoginBox::Name, {}, false};
    } else if (NameBreaksRoster(name)) {
        r = {M(kBadName), true, TLoginBox::Name, {}, false};
    } else if (!PassOk) {
        r = {M(kWrongPassword), true, TLoginBox::Password, {TLoginBox::Password}, false};
    }
    // A refused roster tells no learner from a new one: nobody logs in
    // until it is put right.
    if (r.Message.empty() && !RosterError.empty()) r = {RosterError, true, TLoginBox::None, {}, false};
    LoginOk = r.Message.empty();
    if (!LoginOk) return r;
    r.Ok = SaveRoster(id.substr(0, 6), name, password);
    if (SaveConflict) {
        // Another computer got there first: this password is not the one.
        LoginOk = false;
        return ConflictReply();
    }
    if (SaveGone) {
        LoginOk = false;
        return GoneReply();
    }
    if (!r.Ok && !RosterError.empty()) {
        LoginOk = false;
        return {RosterError, true, TLoginBox::None, {}, false};
    }
    SaveFailed = !r.Ok;
    return r;
}

TLoginReply TLogin::GoneReply() {
    // The name box showed the learner as the roster was: it is emptied, and
    // leaving the ID box looks the ID up in the roster as it is now.
    return {M(kIdGone), true, TLoginBox::ID, {TLoginBox::Name, TLoginBox::Password}, false};
}

TLoginReply TLogin::ConflictReply() {
    return {M(kWrongPassword), true, TLoginBox::Password, {TLoginBox::Password}, false};
}

bool TLogin::CanChangePassword(const std::string& id, const std::string& name) const {
    // Before the ID box was left no lookup has run: no learner is known yet.
    return LookedUp && !id.empty() && name != Unregistered() && !NewUser &&
           static_cast<size_t>(UserIndex) + 3 <= RosterList.size();
}

TLoginReply TLogin::PasswordBoxExit(const std::string& text) const {
    TLoginReply r;
    if (!text.empty() && !AllowedIdChars(text)) {
        r.Beep = true;
        r.Message = M(kPassChars);
    }
    return r;
}

TLoginReply TLogin::ChangePassword(const std::string& current, const std::string& fresh,
                                   const std::string& retyped) {
    TLoginReply r;
    const std::pair<const std::string*, TLoginBox> boxes[] = {
        {&current, TLoginBox::Current}, {&fresh, TLoginBox::New}, {&retyped, TLoginBox::Retyped}};
    for (const auto& b : boxes)
        if (!AllowedIdChars(*b.first)) return {M(kPassChars), false, b.second, {b.second}, false};
    if (static_cast<size_t>(UserIndex) + 3 > RosterList.size() || current != RosterList[UserIndex + 2])
        return {M(kWrongCurrent), true, TLoginBox::Current,
                {TLoginBox::Current, TLoginBox::New, TLoginBox::Retyped}, false};
    if (fresh != retyped)
        return {M(kRetypeDiffers), true, TLoginBox::New, {TLoginBox::New, TLoginBox::Retyped}, false};
    RosterList[UserIndex + 2] = fresh;
    r.Ok = true;
    return r;
}
