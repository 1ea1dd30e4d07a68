// The shared folders as a school sets them up: one roster and one score
// folder written by several accounts (and computers), and writers that die
// in the middle of a write.
#include "../ruzozu/app/IniFile.h"
#include "../ruzozu/app/login.h"
#include "../vaduvov/app/meibo_model.h"

#include "ini_text.h"
#include "roster.h"
#include "tempdir.h"
#include "textfile.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>
#include <set>
#include <thread>

namespace {

// Accounts of the test: two writers and the one that made the files, all
// in one school group.
constexpr gid_t kGroup = 47000;
constexpr uid_t kMaker = 47003;
constexpr uid_t kWriters[2] = {47001, 47002};

// Runs body in a child process under account uid; returns the child.
pid_t RunAs(uid_t uid, const std::function<bool()>& body) {
    pid_t pid = ::fork();
    if (pid != 0) return pid;
    gid_t groups[] = {kGroup};
    bool ok = ::setgroups(1, groups) == 0 && ::setgid(kGroup) == 0 && ::setuid(uid) == 0;
    ::umask(022);
    _exit(ok && body() ? 0 : 1);
}

bool Succeeded(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> TempsIn(const std::string& dir) {
    std::vector<std::string> found;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 4 && n[0] == '.' && n.compare(n.size() - 4, 4, ".tmp") == 0) found.push_back(n);
        }
        ::closedir(d);
    }
    return found;
}

TResultHeader Header(const std::string& folder, const std::string& id) {
    TResultHeader h;
    h.ScoreFolder = folder;
    h.UserID = id;
    h.UserName = "name " + id;
    h.BaseName = "drill";
    h.QuestionCount = 100;
    return h;
}

class SharedFolder : public ::testing::TestWithParam<mode_t> {
protected:
    TempDir base;
    std::string dir;

    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as several accounts";
        ASSERT_EQ(0, ::chmod(base.path().c_str(), 0755));
        dir = base / "shared/";
        ASSERT_EQ(0, ::mkdir(dir.c_str(), 0700));
        ASSERT_EQ(0, ::chown(dir.c_str(), kMaker, kGroup));
        ASSERT_EQ(0, ::chmod(dir.c_str(), GetParam()));
    }

    // A file made by the third account, writable for everyone.
    void MakeShared(const std::string& name, const std::string& bytes) {
        const std::string p = dir + name;
        ASSERT_TRUE(textfile::WriteFileAtomic(p, bytes));
        ASSERT_EQ(0, ::chown(p.c_str(), kMaker, kGroup));
        ASSERT_EQ(0, ::chmod(p.c_str(), 0666));
    }
};

// Two accounts log new learners in and save the roster editor's grid, at
// the same time, into one roster that a third account made.
TEST_P(SharedFolder, TwoAccountsShareTheRoster) {
    const std::string roster = dir + "ruzozu.mib";
    MakeShared("ruzozu.mib", FormatRoster({{"T0", "teacher", "pw"}}));
    const int rounds = 12;
    std::vector<pid_t> children;
    for (int w = 0; w < 2; ++w) {
        children.push_back(RunAs(kWriters[w], [&, w] {
            for (int k = 0; k < rounds; ++k) {
                const std::string tag = std::to_string(w) + std::to_string(k);
                TLogin login;
                login.RosterPath = roster;
                login.LoadRoster();
                std::string id = "L" + tag, name;
                login.Edit1Exit(id, name);
                login.Edit3Enter("p" + tag);
                if (!login.BitBtn1Click(id, "name " + id, "p" + tag).Ok) return false;
                TMeiboGrid grid;
                grid.LoadMeibo(roster);
                grid.Rows.back() = {"G" + tag, "grid " + tag, "g" + tag};
                grid.Rows.push_back({"", "", ""});
                if (!grid.SaveMeibo(roster)) return false;
            }
            return true;
        }));
    }
    for (pid_t c : children) EXPECT_TRUE(Succeeded(c)) << "a save failed";
    std::vector<RosterEntry> got;
    ASSERT_TRUE(ReadRoster(roster, got));
    std::set<std::string> ids;
    for (const auto& e : got) ids.insert(e.id);
    EXPECT_TRUE(ids.count("T0"));
    for (int w = 0; w < 2; ++w)
        for (int k = 0; k < rounds; ++k) {
            const std::string tag = std::to_string(w) + std::to_string(k);
            EXPECT_TRUE(ids.count("L" + tag)) << "lost login L" << tag;
            EXPECT_TRUE(ids.count("G" + tag)) << "lost editor row G" << tag;
        }
    EXPECT_EQ(got.size(), 1u + 4u * rounds);
    // Every account may take the lock after whoever made the lock file.
    struct stat st {};
    ASSERT_EQ(0, ::stat(RosterLockPath(roster).c_str(), &st));
    EXPECT_EQ(0666u, st.st_mode & 0666);
}

// The results file of a computer, made by one account, is written by the
// next accounts that work there; and every computer writes its own.
TEST_P(SharedFolder, TwoAccountsWriteResults) {
    MakeShared("PC1.dat", "");
    MakeShared("PC2.dat", "");
    std::vector<pid_t> children;
    for (int w = 0; w < 2; ++w) {
        children.push_back(RunAs(kWriters[w], [&, w] {
            const TResultHeader h = Header(dir, "U" + std::to_string(w));
            for (int step = 0; step < 200; ++step)
                if (!WriteResult(h, "PC" + std::to_string(w + 1), step, step / 2, step - step / 2)) return false;
            return true;
        }));
    }
    for (pid_t c : children) EXPECT_TRUE(Succeeded(c)) << "a results write failed";
    EXPECT_EQ(Slurp(dir + "PC1.dat"), FormatResultLines(Header(dir, "U0"), true, 199, 99, 100));
    EXPECT_EQ(Slurp(dir + "PC2.dat"), FormatResultLines(Header(dir, "U1"), true, 199, 99, 100));
    // The second account takes over the first one's computer.
    ASSERT_TRUE(Succeeded(RunAs(kWriters[1], [&] { return WriteResult(Header(dir, "U1"), "PC1", 0, 0, 0); })));
    EXPECT_EQ(Slurp(dir + "PC1.dat"), FormatResultLines(Header(dir, "U1"), true, 0, 0, 0));
    EXPECT_FALSE(textfile::FileExists(dir + "PC1.stp"));
    EXPECT_TRUE(TempsIn(dir).empty());
}

// The first account to work in the folder makes the files; the second one
// must still be able to write them.
TEST_P(SharedFolder, FilesMadeByOneAccountServeTheNext) {
    const std::string roster = dir + "ruzozu.mib";
    for (uid_t uid : kWriters) {
        ASSERT_TRUE(Succeeded(RunAs(uid, [&] {
            const std::string id = "U" + std::to_string(uid % 10);
            TLogin login;
            login.RosterPath = roster;
            login.LoadRoster();
            std::string typed = id, name;
            login.Edit1Exit(typed, name);
            return login.BitBtn1Click(id, "name " + id, "pw").Ok &&
                   WriteResult(Header(dir, id), "PC1", 0, 0, 0);
        }))) << "account " << uid;
    }
    std::vector<RosterEntry> got;
    ASSERT_TRUE(ReadRoster(roster, got));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].id, "U2");
    EXPECT_EQ(Slurp(dir + "PC1.dat"), FormatResultLines(Header(dir, "U2"), true, 0, 0, 0));
}

// A login reads the roster while two other accounts rewrite it: in a
// sticky folder they rewrite it in place (nobody may replace another
// account's file).  No login may ever read a torn file, where a known
// learner would be missing, count as new and take any password.
TEST_P(SharedFolder, LoginsNeverReadATornRoster) {
    // Elsewhere the writers replace the file whole.
    if (GetParam() != 01777) GTEST_SKIP() << "only a sticky folder has the roster rewritten in place";
    const std::string roster = dir + "ruzozu.mib";
    constexpr int kLearners = 20000;
    auto learners = [](int round) {
        std::vector<RosterEntry> e;
        for (int k = 0; k < kLearners; ++k)
            e.push_back({"s" + std::to_string(k), std::string(1 + (k + round) % 2 * 30, 'n'), "pw" + std::to_string(k)});
        return e;
    };
    MakeShared("ruzozu.mib", FormatRoster(learners(0)));
    std::vector<pid_t> writers;
    for (int w = 0; w < 2; ++w)
        writers.push_back(RunAs(kWriters[w], [&, w] {
            // Every save changes the length of every name: the file's
            // bytes move, and a torn read loses learners.  Saves follow
            // one another within a few milliseconds.
            std::mt19937 pause(w);
            for (int round = w;; round += 2) {
                UpdateRosterFile(roster, [&](std::vector<RosterEntry>& e) { e = learners(round); });
                std::this_thread::sleep_for(std::chrono::milliseconds(pause() % 20));
            }
            return true;
        }));
    const pid_t reader = RunAs(kMaker, [&] {
        std::mt19937 rng(7);
        for (int dialog = 0; dialog < 200; ++dialog) {
            TLogin login;
            login.RosterPath = roster;
            login.LoadRoster();
            // Every learner of the file must be in what the login read:
            // one missing would be taken for a new learner.
            std::set<std::string> read;
            for (size_t i = 0; i < login.RosterList.size(); i += 3) read.insert(login.RosterList[i]);
            for (int k = 0; k < kLearners; ++k)
                if (!read.count("s" + std::to_string(k))) {
                    std::fprintf(stderr, "dialog %d: s%d missing (%zu learners read)\n", dialog, k, read.size());
                    return false;
                }
            const int k = static_cast<int>(rng() % kLearners);
            std::string id = "s" + std::to_string(k), name;
            login.Edit1Exit(id, name);
            if (login.NewUser) {
                std::fprintf(stderr, "dialog %d: s%d counted as new (%zu learners read)\n", dialog, k,
                             login.RosterList.size() / 3);
                return false;
            }
            // A wrong password never logs a known learner in.
            if (login.BitBtn1Click(id, name, "Intruder").Ok) return false;
        }
        return true;
    });
    const bool readerOk = Succeeded(reader);
    for (pid_t w : writers) {
        ::kill(w, SIGKILL);
        ::waitpid(w, nullptr, 0);
    }
    EXPECT_TRUE(readerOk) << "a login read a torn roster";
}

// 0777 open to all, 2775 a shared group, 1777 sticky (nobody may replace
// another account's file).
INSTANTIATE_TEST_SUITE_P(Modes, SharedFolder, ::testing::Values(0777, 02775, 01777),
                         [](const ::testing::TestParamInfo<mode_t>& i) {
                             return i.param == 0777 ? "Open" : i.param == 02775 ? "Group" : "Sticky";
                         });

// A folder nobody but its owner may write, holding files that everyone may:
// the saves still go through, rewriting the files in place.
TEST(SharedFolderReadOnly, WritableFilesInAClosedFolderTakeTheSave) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as several accounts";
    TempDir base;
    ASSERT_EQ(0, ::chmod(base.path().c_str(), 0755));
    const std::string dir = base / "closed/";
    ASSERT_EQ(0, ::mkdir(dir.c_str(), 0755));
    const std::string roster = dir + "ruzozu.mib";
    ASSERT_TRUE(textfile::WriteFileAtomic(roster, FormatRoster({{"T0", "teacher", "pw"}})));
    ASSERT_TRUE(textfile::WriteFileAtomic(dir + "ruzozu.ini", "[Option]\r\n"));
    for (const char* f : {"ruzozu.mib", "ruzozu.ini"}) ASSERT_EQ(0, ::chmod((dir + f).c_str(), 0666));
    ASSERT_EQ(0, ::chown(dir.c_str(), kMaker, kGroup));
    ASSERT_TRUE(Succeeded(RunAs(kWriters[0], [&] {
        TMeiboGrid grid;
        grid.LoadMeibo(roster);
        grid.Rows.back() = {"G1", "g", "p"};
        grid.Rows.push_back({"", "", ""});
        TIniFile ini(dir + "ruzozu.ini");
        return grid.SaveMeibo(roster) && ini.WriteString("Option", "Folder1", "/x/");
    })));
    std::vector<RosterEntry> got;
    ASSERT_TRUE(ReadRoster(roster, got));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].id, "G1");
    EXPECT_EQ(Slurp(dir + "ruzozu.ini"), "[Option]\r\nFolder1=/x/\r\n");
}

// A lock file that another account made with a narrow mode (an older
// version of the programs did) cannot be taken: the save still goes
// through, re-reading the roster right before it rewrites it.
TEST(SharedFolderReadOnly, ALockFileNobodyElseMayOpenDoesNotStopTheSave) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as several accounts";
    TempDir base;
    ASSERT_EQ(0, ::chmod(base.path().c_str(), 0777));
    const std::string roster = base / "ruzozu.mib";
    ASSERT_TRUE(textfile::WriteFileAtomic(roster, FormatRoster({{"T0", "teacher", "pw"}})));
    ASSERT_TRUE(textfile::WriteFileAtomic(RosterLockPath(roster), ""));
    ASSERT_EQ(0, ::chmod(roster.c_str(), 0666));
    ASSERT_EQ(0, ::chmod(RosterLockPath(roster).c_str(), 0644));
    ASSERT_EQ(0, ::chown(RosterLockPath(roster).c_str(), kMaker, kGroup));
    ASSERT_TRUE(Succeeded(RunAs(kWriters[0], [&] {
        TLogin login;
        login.RosterPath = roster;
        login.LoadRoster();
        std::string id = "N1", name;
        login.Edit1Exit(id, name);
        return login.BitBtn1Click(id, "new", "pw").Ok;
    })));
    std::vector<RosterEntry> got;
    ASSERT_TRUE(ReadRoster(roster, got));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].id, "N1");
}

// The roster editor is open while a learner changes the password through
// the login; the instructor then renames that learner and saves: the new
// password stays, and so does the new name.
TEST(RosterEditorAndLogin, PasswordChangedMeanwhileSurvivesARename) {
    TempDir dir;
    const std::string roster = dir / "ruzozu.mib";
    ASSERT_TRUE(textfile::WriteFileAtomic(roster, FormatRoster({{"s1", "Sato", "old1"}, {"s2", "Kato", "pw2"}})));
    TMeiboGrid editor;
    editor.LoadMeibo(roster);
    ASSERT_EQ(editor.Rows[1], (std::vector<std::string>{"s1", "Sato", "old1"}));

    // The learner: ID, the password button, then OK with the new password.
    TLogin login;
    login.RosterPath = roster;
    login.LoadRoster();
    std::string id = "s1", name;
    login.Edit1Exit(id, name);
    ASSERT_TRUE(login.CanChangePassword(id, name));
    ASSERT_TRUE(login.ChangePassword("old1", "new1", "new1").Ok);
    login.Edit3Enter("new1");
    ASSERT_TRUE(login.BitBtn1Click(id, name, "new1").Ok);

    editor.Rows[1][1] = "Satou";  // the instructor's edit of that row
    ASSERT_TRUE(editor.SaveMeibo(roster));
    std::vector<RosterEntry> got;
    ASSERT_TRUE(ReadRoster(roster, got));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].name, "Satou");
    EXPECT_EQ(got[0].password, "new1");
    // And the learner logs in with it.
    TLogin next;
    next.RosterPath = roster;
    next.LoadRoster();
    std::string again = "s1", shown;
    next.Edit1Exit(again, shown);
    EXPECT_FALSE(next.BitBtn1Click("s1", shown, "old1").Ok);
    EXPECT_TRUE(next.BitBtn1Click("s1", shown, "new1").Ok);
    // A password the instructor does set wins over the file's.
    TMeiboGrid second;
    second.LoadMeibo(roster);
    second.Rows[1][2] = "reset1";
    ASSERT_TRUE(second.SaveMeibo(roster));
    ASSERT_TRUE(ReadRoster(roster, got));
    EXPECT_EQ(got[0].password, "reset1");
    EXPECT_EQ(got[0].name, "Satou");
}

// Writers killed at random moments: the file is always whole, and the
// temporary files they leave are cleared by the next writer once they are
// old enough to belong to no live writer.
struct TKind {
    const char* name;
    std::string file;
    std::function<bool(int)> write;            // writes version n
    std::function<bool(const std::string&)> whole;  // the bytes are one whole version
};

void KillWhileWriting(const TKind& kind, const std::string& dir) {
    SCOPED_TRACE(kind.name);
    ASSERT_TRUE(kind.write(0));
    std::mt19937 rng(12345);
    int kills = 0;
    for (int i = 0; i < 120; ++i) {
        pid_t pid = ::fork();
        if (pid == 0) {
            for (int n = 1;; ++n) kind.write(n);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200 + rng() % 1500));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        kills += WIFSIGNALED(status) ? 1 : 0;
        ASSERT_TRUE(kind.whole(Slurp(dir + kind.file))) << "after kill " << i;
    }
    EXPECT_GE(kills, 100);
    // Whatever was left behind is made to look eleven minutes old; a fresh
    // temporary file (a live writer's) must stay.
    const std::vector<std::string> left = TempsIn(dir);
    struct timeval old[2] = {};
    ::gettimeofday(&old[0], nullptr);
    old[0].tv_sec -= 11 * 60;
    old[1] = old[0];
    for (const auto& n : left) ASSERT_EQ(0, ::utimes((dir + n).c_str(), old));
    const std::string live = dir + "." + kind.file + ".Live00.tmp";
    ASSERT_TRUE(textfile::WriteFileAtomic(live, "x"));
    ASSERT_TRUE(kind.write(1));
    std::vector<std::string> after = TempsIn(dir);
    EXPECT_EQ(after, std::vector<std::string>{"." + kind.file + ".Live00.tmp"});
    ::unlink(live.c_str());
}

TEST(KilledWriters, LeaveWholeFilesAndNoStaleTemporaries) {
    TempDir dir;
    const std::string d = dir.path();
    auto progress = [](int n) { return std::string(2000 + (n % 2) * 700, static_cast<char>('a' + n % 2)) + "\r\n"; };
    auto isProgress = [&](const std::string& s) { return s == progress(0) || s == progress(1); };
    auto results = [&](int n) { return FormatResultLines(Header(d, "U1"), true, n % 2, n % 2, 0); };
    auto rosterOf = [](int n) {
        std::vector<RosterEntry> e;
        for (int k = 0; k < 30 + (n % 2) * 7; ++k) e.push_back({"R" + std::to_string(k), "name", "pw"});
        return e;
    };
    auto settings = [](int n) { return std::string("[Option]\r\nFolder1=") + (n % 2 ? "/one/" : "/twenty/") + "\r\n"; };
    const std::vector<TKind> kinds = {
        {"roster", "ruzozu.mib",
         [&](int n) {
             return UpdateRosterFile(d + "ruzozu.mib", [&](std::vector<RosterEntry>& e) { e = rosterOf(n); });
         },
         [&](const std::string& s) { return s == FormatRoster(rosterOf(0)) || s == FormatRoster(rosterOf(1)); }},
        {"settings", "ruzozu.ini",
         [&](int n) { return TIniFile(d + "ruzozu.ini").WriteString("Option", "Folder1", n % 2 ? "/one/" : "/twenty/"); },
         [&](const std::string& s) { return s == settings(0) || s == settings(1); }},
        {"progress", "drill.sc", [&](int n) { return textfile::WriteFileAtomic(d + "drill.sc", progress(n)); },
         isProgress},
        {"results", "PC1.dat", [&](int n) { return WriteResult(Header(d, "U1"), "PC1", n % 2, n % 2, 0); },
         [&](const std::string& s) { return s == results(0) || s == results(1); }},
    };
    for (const auto& k : kinds) KillWhileWriting(k, d);
}

}  // namespace
