#include "login.h"

#include "scramble.h"
#include "sjis.h"
#include "tempdir.h"
#include "textfile.h"

#include <gtest/gtest.h>

namespace {

struct LoginFixture {
    TempDir Dir;
    TLogin Login;
    LoginFixture() { Login.RosterPath = Dir / "ruzozu.mib"; }
    void Roster(const std::string& bytes) { textfile::WriteFileAtomic(Login.RosterPath, bytes); }
    std::string File() const {
        std::string s;
        textfile::ReadFileBytes(Login.RosterPath, s);
        return s;
    }
    // Types the three boxes and presses OK, as the dialog does.
    TLoginReply Enter(std::string id, const std::string& typedName, const std::string& password) {
        std::string name;
        Login.Edit1Exit(id, name);
        if (!typedName.empty()) name = typedName;
        Login.Edit3Enter(password);
        return Login.BitBtn1Click(id, name, password);
    }
    std::string Line(const std::string& id, const std::string& name, const std::string& pw) {
        return "\"" + id + "\",\"" + name + "\",\"" + Scramble(pw, "encode") + "\"\r\n";
    }
};

std::string U(const std::string& s) { return sjis::ToUtf8(s); }

}  // namespace

TEST(Login, MissingRosterNewUserCreatesIt) {
    LoginFixture f;
    f.Login.LoadRoster();
    std::string id = "ab12", name;
    f.Login.Edit1Exit(id, name);
    EXPECT_TRUE(f.Login.NewUser);
    EXPECT_EQ(U(name), "未登録");
    std::string taro = sjis::L("太郎");
    TLoginReply r = f.Login.BitBtn1Click(id, taro, "");  // a new user may have no password
    EXPECT_TRUE(r.Ok);
    EXPECT_EQ(f.File(), "\"ab12\",\"" + taro + "\",\"\"\r\n");
}

TEST(Login, EmptyLinesOfTheRosterAreNoLearners) {
    LoginFixture f;
    f.Roster("\r\n\r\n");
    f.Login.LoadRoster();
    EXPECT_TRUE(f.Login.RosterList.empty());
    EXPECT_TRUE(f.Enter("A1", "a", "p").Ok);
    EXPECT_EQ(f.File(), f.Line("A1", "a", "p"));
}

// A roster saved by an editor with a byte-order mark or as UTF-8: every
// learner is known with the right password, and no wrong one logs in.
TEST(Login, ByteOrderMarkAndUtf8RostersKnowEveryLearner) {
    for (const bool mark : {false, true}) {
        SCOPED_TRACE(mark ? "mark" : "no mark");
        LoginFixture f;
        const std::string sjisFile = f.Line("s1", sjis::L("山田"), "pass") + f.Line("s2", sjis::L("鈴木"), "qq");
        f.Roster((mark ? "\xEF\xBB\xBF" : "") + U(sjisFile));
        f.Login.LoadRoster();
        std::string id = "s1", name;
        f.Login.Edit1Exit(id, name);
        EXPECT_FALSE(f.Login.NewUser);
        EXPECT_EQ(U(name), "山田");
        EXPECT_FALSE(f.Enter("s1", "", "wrong").Ok);
        EXPECT_TRUE(f.Enter("s1", "", "pass").Ok);
        // Written back as Shift-JIS, CR LF, without the mark.
        EXPECT_EQ(f.File(), sjisFile);
    }
}

// A UTF-16 roster tells no learner from a new one: nobody logs in, the
// learner is told why, and the file stays as it was.
TEST(Login, Utf16RosterIsRefusedAndKept) {
    LoginFixture f;
    std::string utf16 = "\xFF\xFE";
    for (char c : f.Line("s1", "a", "pass")) utf16 += std::string(1, c) + '\0';
    f.Roster(utf16);
    f.Login.LoadRoster();
    EXPECT_TRUE(f.Login.RosterList.empty());
    TLoginReply r = f.Enter("s1", "Intruder", "hacked");
    EXPECT_FALSE(r.Ok);
    EXPECT_FALSE(f.Login.LoginOk);
    EXPECT_FALSE(f.Login.SaveFailed);  // no Retry/Ignore that would let it in
    EXPECT_NE(r.Message.find("UTF-16"), std::string::npos);
    EXPECT_EQ(f.File(), utf16);
    // Put right meanwhile: the next dialog reads it and logs in.
    f.Roster(f.Line("s1", "a", "pass"));
    LoginFixture g;
    g.Login.RosterPath = f.Login.RosterPath;
    g.Login.LoadRoster();
    EXPECT_TRUE(g.Enter("s1", "", "pass").Ok);
}

TEST(Login, IdAndPasswordCharacterRules) {
    LoginFixture f;
    std::string id = "abcdef", name;
    EXPECT_TRUE(f.Login.Edit1Exit(id, name).Message.empty());
    EXPECT_EQ(id, "abcdef");
    id = "abcdefg";
    TLoginReply r = f.Login.Edit1Exit(id, name);
    EXPECT_EQ(U(r.Message), "User ID は、最大６文字です。");
    EXPECT_TRUE(id.empty());
    EXPECT_EQ(r.Focus, TLoginBox::ID);
    id = "ab-1";
    EXPECT_EQ(U(f.Login.Edit1Exit(id, name).Message), "User ID は、数字かアルファベットのみを使用してください。");
    r = f.Login.Edit3Enter("pa ss");
    EXPECT_EQ(U(r.Message), "PassWord は、数字かアルファベットのみを使用してください。");
    EXPECT_FALSE(r.Beep);
    EXPECT_TRUE(f.Login.PasswordBoxExit("x!").Beep);
}

TEST(Login, KnownUsersPasswordsAndCase) {
    LoginFixture f;
    f.Roster(f.Line("A1", "alice", "pw1") + f.Line("a1", "other", "pw2"));
    f.Login.LoadRoster();
    std::string id = "a1", name;
    TLoginReply r = f.Login.Edit1Exit(id, name);
    EXPECT_FALSE(f.Login.NewUser);
    EXPECT_EQ(name, "other");  // IDs that differ in case are different learners
    EXPECT_EQ(r.Focus, TLoginBox::Password);
    r = f.Login.BitBtn1Click(id, name, "pw1");
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(U(r.Message), "パスワードが一致しません。\r\rもう一度、入力してください。");
    EXPECT_EQ(r.Clear, std::vector<TLoginBox>{TLoginBox::Password});
    EXPECT_FALSE(f.Login.LoginOk);
    EXPECT_TRUE(f.Login.BitBtn1Click(id, name, "pw2").Ok);
    EXPECT_EQ(f.File(), f.Line("A1", "alice", "pw1") + f.Line("a1", "other", "pw2"));
}

TEST(Login, NameRules) {
    LoginFixture f;
    EXPECT_EQ(U(f.Enter("B2", "", "").Message), "User名が未登録です。\r\rUser名を入力してください。");
    TLoginReply r = f.Enter("B2", "say \"hi\"", "");
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Focus, TLoginBox::Name);
    EXPECT_FALSE(f.Enter("B2", "tab\there", "").Ok);
    EXPECT_EQ(U(f.Enter("", "n", "").Message), "User IDが入力されていません。\r\rUser IDを入力してください。");
    EXPECT_TRUE(f.File().empty());
    // A new user leaving a typed name is asked for a password.
    std::string id = "C3", name;
    f.Login.Edit1Exit(id, name);
    EXPECT_EQ(U(f.Login.Edit2Exit("carol").Message), "パスワードを登録してください。");
    EXPECT_TRUE(f.Login.Edit2Exit(name).Message.empty());
}

TEST(Login, PasswordChange) {
    LoginFixture f;
    f.Roster(f.Line("A1", "alice", "old"));
    f.Login.LoadRoster();
    EXPECT_FALSE(f.Login.CanChangePassword("A1", "alice"));  // no lookup yet
    std::string id = "A1", name;
    f.Login.Edit1Exit(id, name);
    EXPECT_TRUE(f.Login.CanChangePassword(id, name));
    TLoginReply r = f.Login.ChangePassword("bad", "new1", "new1");
    EXPECT_EQ(U(r.Message), "現 PassWordが違います。\r\r入力し直してください。");
    EXPECT_EQ(r.Clear.size(), 3u);
    r = f.Login.ChangePassword("old", "new1", "new2");
    EXPECT_EQ(r.Focus, TLoginBox::New);
    EXPECT_TRUE(f.Login.ChangePassword("old", "new1", "new1").Ok);
    EXPECT_FALSE(f.Login.BitBtn1Click(id, name, "old").Ok);
    EXPECT_TRUE(f.Login.BitBtn1Click(id, name, "new1").Ok);
    EXPECT_EQ(f.File(), f.Line("A1", "alice", "new1"));
    std::string other = "Z9", n2;
    f.Login.Edit1Exit(other, n2);
    EXPECT_FALSE(f.Login.CanChangePassword(other, n2));
}

TEST(Login, SaveFailureIsReported) {
    LoginFixture f;
    f.Login.RosterPath = f.Dir / "no/such/folder/ruzozu.mib";
    TLoginReply r = f.Enter("A1", "a", "");
    EXPECT_FALSE(r.Ok);
    EXPECT_TRUE(f.Login.SaveFailed);
    EXPECT_TRUE(f.Login.LoginOk);
}

// Rosters made with a text editor or a script on Linux end their lines in
// LF alone; others end in CR alone or mix the three kinds.
TEST(Login, RostersWithAnyLineEndFindEveryLearner) {
    for (const std::string end : {"\n", "\r", "mixed"}) {
        SCOPED_TRACE(end == "\n" ? "LF" : end == "\r" ? "CR" : "mixed");
        LoginFixture f;
        auto line = [&](const std::string& id, const std::string& pw, const std::string& e) {
            std::string l = f.Line(id, "name " + id, pw);
            return l.substr(0, l.size() - 2) + e;
        };
        const bool mixed = end == "mixed";
        f.Roster(line("A1", "pa", mixed ? "\r\n" : end) + line("B2", "pb", mixed ? "\n" : end) +
                 line("C3", "pc", mixed ? "\r" : end) + line("D4", "pd", mixed ? "\n" : end));
        f.Login.LoadRoster();
        ASSERT_EQ(f.Login.RosterList.size(), 12u);
        std::string id = "C3", name;
        f.Login.Edit1Exit(id, name);
        EXPECT_FALSE(f.Login.NewUser);
        EXPECT_EQ(name, "name C3");
        TLoginReply wrong = f.Login.BitBtn1Click("C3", name, "pa");
        EXPECT_FALSE(wrong.Ok);
        EXPECT_EQ(U(wrong.Message), "パスワードが一致しません。\r\rもう一度、入力してください。");
        EXPECT_TRUE(f.Enter("C3", "", "pc").Ok);
        EXPECT_TRUE(f.Enter("E5", "e", "pe").Ok);
        // The save keeps everyone, written back with CR LF.
        EXPECT_EQ(f.File(), f.Line("A1", "name A1", "pa") + f.Line("B2", "name B2", "pb") +
                                f.Line("C3", "name C3", "pc") + f.Line("D4", "name D4", "pd") +
                                f.Line("E5", "e", "pe"));
    }
}

// Two computers: the second dialog read the roster before the first one
// saved.  A learner registered meanwhile, or whose password was changed
// meanwhile, is never overwritten by a password the file does not hold.
TEST(Login, ChangesMadeElsewhereSinceTheDialogReadAreNotOverwritten) {
    LoginFixture a;
    TLogin b;
    b.RosterPath = a.Login.RosterPath;
    b.LoadRoster();  // empty: everyone is new here
    std::string id = "X1", name;
    b.Edit1Exit(id, name);
    ASSERT_TRUE(b.NewUser);
    EXPECT_TRUE(a.Enter("X1", "first", "a1").Ok);  // registered on the other computer
    TLoginReply r = b.BitBtn1Click("X1", "intruder", "b1");
    EXPECT_FALSE(r.Ok);
    EXPECT_FALSE(b.LoginOk);
    EXPECT_TRUE(b.SaveConflict);
    EXPECT_EQ(U(r.Message), "パスワードが一致しません。\r\rもう一度、入力してください。");
    EXPECT_EQ(a.File(), a.Line("X1", "first", "a1"));
    // The same dialog now knows the learner: the right password logs in.
    EXPECT_TRUE(b.BitBtn1Click("X1", "first", "a1").Ok);

    // A password changed on one computer while another's dialog was open
    // with the old one.
    TLogin c;
    c.RosterPath = a.Login.RosterPath;
    c.LoadRoster();
    std::string cid = "X1", cname;
    c.Edit1Exit(cid, cname);
    TLogin d;
    d.RosterPath = a.Login.RosterPath;
    d.LoadRoster();
    std::string did = "X1", dname;
    d.Edit1Exit(did, dname);
    ASSERT_TRUE(d.ChangePassword("a1", "n2", "n2").Ok);
    EXPECT_TRUE(d.BitBtn1Click("X1", dname, "n2").Ok);
    EXPECT_FALSE(c.BitBtn1Click("X1", cname, "a1").Ok);  // the old password no longer
    EXPECT_EQ(a.File(), a.Line("X1", "first", "n2"));
}

// A dialog looked a learner up before the instructor deleted that learner,
// or changed the ID, and saved: OK brings nobody back and makes no second
// learner; the learner is told, and the ID is looked up anew.
TEST(Login, ALearnerDeletedOrRenamedSinceTheLookupIsNotAddedBack) {
    LoginFixture f;
    f.Roster(f.Line("s02", "Kato", "pw2") + f.Line("s24", "Mori", "pw24"));
    const std::string gone = "この User ID は、名簿から削除されたか、変更されました。\r\rUser ID を確認して、もう一度入力してください。";
    const auto lookUp = [&](TLogin& l, const std::string& id) {
        l.RosterPath = f.Login.RosterPath;
        l.LoadRoster();
        std::string typed = id, name;
        l.Edit1Exit(typed, name);
        l.Edit3Enter(l.RosterList.empty() ? "" : l.RosterList[l.UserIndex + 2]);
        return name;
    };
    TLogin deleted, renamed;
    const std::string moriName = lookUp(deleted, "s24");
    const std::string katoName = lookUp(renamed, "s02");
    ASSERT_FALSE(deleted.NewUser);
    ASSERT_FALSE(renamed.NewUser);
    // The instructor deletes s24 and changes s02 to s22.
    ASSERT_TRUE(UpdateRosterFile(f.Login.RosterPath, [](std::vector<RosterEntry>& e) {
        e.pop_back();
        e[0].id = "s22";
    }));
    const std::string after = f.Line("s22", "Kato", "pw2");
    for (auto* c : {&deleted, &renamed}) {
        const bool isDeleted = c == &deleted;
        SCOPED_TRACE(isDeleted ? "deleted" : "renamed");
        const TLoginReply r = c->BitBtn1Click(isDeleted ? "s24" : "s02", isDeleted ? moriName : katoName,
                                              isDeleted ? "pw24" : "pw2");
        EXPECT_FALSE(r.Ok);
        EXPECT_FALSE(c->LoginOk);
        EXPECT_TRUE(c->SaveGone);
        EXPECT_EQ(U(r.Message), gone);
        EXPECT_EQ(r.Focus, TLoginBox::ID);
        EXPECT_EQ(r.Clear, (std::vector<TLoginBox>{TLoginBox::Name, TLoginBox::Password}));
        EXPECT_EQ(f.File(), after);
        // Looked up anew: the ID is now a new one.
        EXPECT_TRUE(c->NewUser);
    }
    // The renamed learner logs in under the new ID as before.
    LoginFixture again;
    again.Login.RosterPath = f.Login.RosterPath;
    again.Login.LoadRoster();
    EXPECT_TRUE(again.Enter("s22", "", "pw2").Ok);
    EXPECT_EQ(f.File(), after);
}
