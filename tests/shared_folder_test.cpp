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
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/inotify.h>
#include <poll.h>
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

// A learner's process under account uid that holds an fcntl lock of the
// given type (F_RDLCK through a read-only descriptor) on path for good;
// returns once the lock is held (-1 where it could not be taken).
pid_t HoldLockForever(uid_t uid, const std::string& path, short type) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t holder = RunAs(uid, [&] {
        const int fd = ::open(path.c_str(), type == F_RDLCK ? O_RDONLY : O_RDWR);
        struct flock fl {};
        fl.l_type = type;
        fl.l_whence = SEEK_SET;
        if (fd < 0 || ::fcntl(fd, F_SETLK, &fl) != 0) return false;
        char c = 'r';
        if (::write(ready[1], &c, 1) != 1) return false;
        for (;;) ::pause();
    });
    ::close(ready[1]);
    char c;
    const bool held = ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
    if (held) return holder;
    ::waitpid(holder, nullptr, 0);
    return -1;
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

// A login reads the roster while another account rewrites it: in a
// sticky folder it is rewritten in place (nobody may replace another
// account's file).  The writer is held halfway through its rewrite each
// time; no login may read the torn file, where a known learner would be
// missing, count as new and take any password.
TEST_P(SharedFolder, LoginsNeverReadATornRoster) {
    // Elsewhere the writers replace the file whole.
    if (GetParam() != 01777) GTEST_SKIP() << "only a sticky folder has the roster rewritten in place";
    const std::string roster = dir + "ruzozu.mib";
    constexpr int kLearners = 2000;
    // Every other save makes every name longer: the file's bytes move,
    // and a torn read (the new file's first half, the old one's rest)
    // loses learners.
    auto learners = [](int round) {
        std::vector<RosterEntry> e;
        for (int k = 0; k < kLearners; ++k)
            e.push_back({"s" + std::to_string(k), std::string(1 + round % 2 * 30, 'n'), "pw" + std::to_string(k)});
        return e;
    };
    MakeShared("ruzozu.mib", FormatRoster(learners(0)));
    int halfway[2], done[2];
    ASSERT_EQ(0, ::pipe(halfway));
    ASSERT_EQ(0, ::pipe(done));
    constexpr int kRounds = 5;
    // The reader waits for the writer to be halfway, then reads at once.
    const pid_t reader = RunAs(kMaker, [&] {
        ::close(halfway[1]);  // a writer gone ends the wait
        for (int round = 1; round <= kRounds; ++round) {
            char c;
            if (::read(halfway[0], &c, 1) != 1) return false;
            TLogin login;
            login.RosterPath = roster;
            login.LoadRoster();
            std::set<std::string> read;
            for (size_t i = 0; i < login.RosterList.size(); i += 3) read.insert(login.RosterList[i]);
            for (int k = 0; k < kLearners; ++k)
                if (!read.count("s" + std::to_string(k))) {
                    std::fprintf(stderr, "round %d: s%d missing (%zu learners read)\n", round, k, read.size());
                    return false;
                }
            std::string id = "s" + std::to_string(kLearners - 1), name;
            login.Edit1Exit(id, name);
            // A wrong password never logs a known learner in.
            if (login.NewUser || login.BitBtn1Click(id, name, "Intruder").Ok) return false;
            c = 'd';
            if (::write(done[1], &c, 1) != 1) return false;  // the next save may come
        }
        return true;
    });
    const pid_t writer = RunAs(kWriters[0], [&] {
        // Held halfway through each rewrite in place, the lock taken: the
        // reader comes right then.
        textfile::SetMidWriteHookForTest([&](bool inPlace) {
            if (!inPlace) return true;
            char c = 'h';
            if (::write(halfway[1], &c, 1) != 1) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            return true;
        });
        ::close(done[1]);  // a reader gone ends the wait
        for (int round = 1; round <= kRounds; ++round) {
            if (!UpdateRosterFile(roster, [&](std::vector<RosterEntry>& e) { e = learners(round); })) return false;
            char c;
            if (::read(done[0], &c, 1) != 1) return false;
        }
        return true;
    });
    ::close(halfway[1]);
    ::close(done[1]);
    EXPECT_TRUE(Succeeded(writer)) << "a save failed";
    EXPECT_TRUE(Succeeded(reader)) << "a login read a torn roster";
    ::close(halfway[0]);
    ::close(done[0]);
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

// What a learner may put in the shared folder in place of the lock file,
// or do with it: the logins of other accounts still finish within a bound,
// never let a wrong password in, and the saves go through.
struct THostileLock {
    const char* name;
    std::function<void(const std::string& lock)> make;  // as root, before
    int holdLock = 0;  // a learner's process holds F_RDLCK or F_WRLCK on it forever
};

TEST(HostileLockFile, NeitherStopsNorOpensTheLogins) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as several accounts";
    const auto owned = [](const std::string& p, mode_t mode) {
        ::chown(p.c_str(), kWriters[1], kGroup);
        ::chmod(p.c_str(), mode);
    };
    const std::vector<THostileLock> kinds = {
        {"fifo", [&](const std::string& l) { ::mkfifo(l.c_str(), 0644); owned(l, 0644); }},
        {"folder", [&](const std::string& l) { ::mkdir(l.c_str(), 0755); owned(l, 0755); }},
        {"symlink", [&](const std::string& l) { ::symlink("/dev/zero", l.c_str()); }},
        {"mode 0600", [&](const std::string& l) { textfile::WriteFileAtomic(l, ""); owned(l, 0600); }},
        {"shared lock held", nullptr, F_RDLCK},
        {"exclusive lock held", nullptr, F_WRLCK},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        TempDir base;
        ASSERT_EQ(0, ::chmod(base.path().c_str(), 01777));
        const std::string roster = base / "ruzozu.mib";
        ASSERT_TRUE(textfile::WriteFileAtomic(roster, FormatRoster({{"s01", "Sato", "right1"}})));
        ASSERT_EQ(0, ::chmod(roster.c_str(), 0666));
        const std::string lock = RosterLockPath(roster);
        if (kind.make) kind.make(lock);
        pid_t holder = -1;
        if (kind.holdLock) {
            textfile::WriteFileAtomic(lock, "");
            ::chmod(lock.c_str(), 0666);
            holder = HoldLockForever(kWriters[1], lock, static_cast<short>(kind.holdLock));
            ASSERT_GT(holder, 0);
        }
        const pid_t learner = RunAs(kWriters[0], [&] {
            ::alarm(30);  // a hang fails the test, it does not stop it
            TLogin login;
            login.RosterPath = roster;
            login.LoadRoster();
            std::string id = "s01", name;
            login.Edit1Exit(id, name);
            if (login.NewUser || login.BitBtn1Click(id, name, "wrong1").Ok) return false;
            if (!login.BitBtn1Click(id, name, "right1").Ok) return false;
            TLogin fresh;
            fresh.RosterPath = roster;
            fresh.LoadRoster();
            std::string newId = "s02", newName;
            fresh.Edit1Exit(newId, newName);
            if (!fresh.BitBtn1Click(newId, "Kato", "pw2").Ok) return false;
            TMeiboGrid grid;
            grid.LoadMeibo(roster);
            grid.Rows.back() = {"s03", "Ito", "pw3"};
            grid.Rows.push_back({"", "", ""});
            return grid.SaveMeibo(roster);
        });
        EXPECT_TRUE(Succeeded(learner));
        if (holder > 0) {
            ::kill(holder, SIGKILL);
            ::waitpid(holder, nullptr, 0);
        }
        std::vector<RosterEntry> got;
        ASSERT_TRUE(ReadRoster(roster, got));
        ASSERT_EQ(got.size(), 3u);
        EXPECT_EQ(got[1].id, "s02");
        EXPECT_EQ(got[2].id, "s03");
    }
}

// A learner's process holds a shared lock on the lock file: a save of
// another account goes on without the lock, rewriting the roster in place
// (a sticky folder), and a login of a third account, whose own shared lock
// is granted at once, comes right when the rewrite is halfway.  The login
// must not take the half-written roster: the rewrite waits, halfway, until
// the login has read the file once (and closed it), so a login that trusts
// one read always sees it torn; then it goes on at once, or only after a
// pause longer than the login's between two reads.
void ReadWhileRewrittenWithoutTheLock(int pauseMs) {
    TempDir base;
    ASSERT_EQ(0, ::chmod(base.path().c_str(), 01777));
    const std::string roster = base / "ruzozu.mib";
    const std::string lock = RosterLockPath(roster);
    constexpr int kLearners = 2000;
    auto learners = [](size_t nameLength) {
        std::vector<RosterEntry> e;
        for (int k = 0; k < kLearners; ++k)
            e.push_back({"s" + std::to_string(k), std::string(nameLength, 'n'), "pw" + std::to_string(k)});
        return e;
    };
    ASSERT_TRUE(textfile::WriteFileAtomic(roster, FormatRoster(learners(1))));
    ASSERT_EQ(0, ::chown(roster.c_str(), kMaker, kGroup));
    ASSERT_EQ(0, ::chmod(roster.c_str(), 0666));
    ASSERT_TRUE(textfile::WriteFileAtomic(lock, ""));
    ASSERT_EQ(0, ::chmod(lock.c_str(), 0666));
    int halfway[2];
    ASSERT_EQ(0, ::pipe(halfway));
    const pid_t holder = HoldLockForever(kWriters[1], lock, F_RDLCK);
    ASSERT_GT(holder, 0);
    char c;
    const pid_t reader = RunAs(kMaker, [&] {
        ::alarm(60);
        ::close(halfway[1]);  // a writer gone ends the wait
        if (::read(halfway[0], &c, 1) != 1) return false;
        TLogin login;
        login.RosterPath = roster;
        login.LoadRoster();
        std::set<std::string> read;
        for (size_t i = 0; i < login.RosterList.size(); i += 3) read.insert(login.RosterList[i]);
        if (read.size() != size_t(kLearners)) {
            std::fprintf(stderr, "%zu of %d learners read\n", read.size(), kLearners);
            return false;
        }
        std::string id = "s" + std::to_string(kLearners - 1), name;
        login.Edit1Exit(id, name);
        // A wrong password never logs a known learner in.
        return !login.NewUser && !login.BitBtn1Click(id, name, "Intruder").Ok;
    });
    const pid_t writer = RunAs(kWriters[0], [&] {
        ::alarm(60);
        textfile::SetMidWriteHookForTest([&](bool inPlace) {
            if (!inPlace) return true;
            // Halfway: the login is let in, and the rewrite goes on once
            // the login has read the file through (or after 10 s).
            const int watch = ::inotify_init1(IN_CLOEXEC);
            if (watch < 0 || ::inotify_add_watch(watch, roster.c_str(), IN_CLOSE_NOWRITE) < 0) return false;
            char h = 'h';
            if (::write(halfway[1], &h, 1) != 1) return false;
            struct pollfd pfd {watch, POLLIN, 0};
            ::poll(&pfd, 1, 10000);
            ::close(watch);
            // Held a while longer (a writer slowed down, a busy server):
            // longer than any pause between the login's reads.
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            return true;
        });
        return UpdateRosterFile(roster, [&](std::vector<RosterEntry>& e) { e = learners(31); });
    });
    ::close(halfway[1]);
    EXPECT_TRUE(Succeeded(writer)) << "the save failed";
    EXPECT_TRUE(Succeeded(reader)) << "a login took a half-written roster";
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(halfway[0]);
    std::vector<RosterEntry> got;
    ASSERT_TRUE(ReadRoster(roster, got));
    EXPECT_EQ(got.size(), size_t(kLearners));
}

TEST(HostileLockFile, AHeldSharedLockNeverShowsAHalfRewrittenRoster) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as several accounts";
    for (int pauseMs : {0, 1000}) {
        SCOPED_TRACE(pauseMs);
        ReadWhileRewrittenWithoutTheLock(pauseMs);
    }
}

// A roster that is there but cannot be read (another account's mode 0600,
// a folder or a FIFO by its name) stops the logins with a message naming
// it, as a refused roster does: nobody gets in as anybody.
TEST(UnreadableRoster, StopsTheLoginsAndIsNeverWrittenOver) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as several accounts";
    const std::vector<std::pair<const char*, std::function<void(const std::string&)>>> kinds = {
        {"mode 0600", [](const std::string& p) {
             textfile::WriteFileAtomic(p, FormatRoster({{"s01", "Sato", "right1"}}));
             ::chown(p.c_str(), kMaker, kGroup);
             ::chmod(p.c_str(), 0600);
         }},
        {"folder", [](const std::string& p) { ::mkdir(p.c_str(), 0777); }},
        {"fifo", [](const std::string& p) { ::mkfifo(p.c_str(), 0666); }},
    };
    for (const auto& [what, make] : kinds) {
        SCOPED_TRACE(what);
        TempDir base;
        ASSERT_EQ(0, ::chmod(base.path().c_str(), 01777));
        const std::string roster = base / "ruzozu.mib";
        make(roster);
        struct stat st {};
        const bool plain = ::lstat(roster.c_str(), &st) == 0 && S_ISREG(st.st_mode);
        const std::string before = plain ? Slurp(roster) : std::string();  // a FIFO is never opened here
        EXPECT_TRUE(Succeeded(RunAs(kWriters[0], [&] {
            ::alarm(30);
            TLogin login;
            login.RosterPath = roster;
            login.LoadRoster();
            if (login.RosterError.find(roster) == std::string::npos) return false;
            std::string id = "s01", name;
            login.Edit1Exit(id, name);
            const TLoginReply r = login.BitBtn1Click(id, "Sato", "wrong1");
            // Refused outright: no save was tried, so there is nothing to ignore.
            if (r.Ok || login.SaveFailed || login.LoginOk) return false;
            TMeiboGrid grid;
            grid.LoadMeibo(roster);
            if (grid.LoadError.empty()) return false;
            grid.Rows[1] = {"x1", "x", "x"};
            return !grid.SaveMeibo(roster);
        })));
        if (!plain) continue;
        // Put right while the dialog stays open: the same dialog now knows
        // s01, and still takes only the right password.
        int opened[2], fixed[2];
        ASSERT_EQ(0, ::pipe(opened));
        ASSERT_EQ(0, ::pipe(fixed));
        const pid_t learner = RunAs(kWriters[0], [&] {
            TLogin login;
            login.RosterPath = roster;
            login.LoadRoster();
            std::string id = "s01", name;
            login.Edit1Exit(id, name);
            char c = 'o';
            if (login.RosterError.empty() || ::write(opened[1], &c, 1) != 1 || ::read(fixed[0], &c, 1) != 1)
                return false;
            // The name box still says unregistered: the learner is sent back to it.
            if (login.BitBtn1Click(id, name, "wrong1").Ok || login.NewUser) return false;
            return !login.BitBtn1Click(id, "Sato", "wrong1").Ok && login.BitBtn1Click(id, "Sato", "right1").Ok;
        });
        char c;
        ASSERT_EQ(1, ::read(opened[0], &c, 1));
        ASSERT_EQ(0, ::chmod(roster.c_str(), 0666));
        ASSERT_EQ(1, ::write(fixed[1], &c, 1));
        EXPECT_TRUE(Succeeded(learner));
        for (int fd : {opened[0], opened[1], fixed[0], fixed[1]}) ::close(fd);
        ASSERT_EQ(0, ::lstat(roster.c_str(), &st));
        EXPECT_EQ(S_ISREG(st.st_mode), plain);
        if (plain) {
            EXPECT_EQ(Slurp(roster), before);
        }
    }
}

// A disk that fills while a file is rewritten in place (a folder closed to
// the account, files open to all): each file reads back as it was, and
// once there is room the same save goes through.
TEST(FullDisk, InPlaceRewritesAreWholeOrUntouched) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a small file system";
    TempDir base;
    ASSERT_EQ(0, ::chmod(base.path().c_str(), 0755));
    const std::string dir = base / "small/";
    ASSERT_EQ(0, ::mkdir(dir.c_str(), 0755));
    const pid_t child = ::fork();
    if (child == 0) {
        // A mount of this process alone, gone with it.
        bool ok = ::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                  ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=256k,mode=0755") == 0;
        if (!ok) _exit(77);
        const std::string roster = dir + "ruzozu.mib", ini = dir + "ruzozu.dvk", sc = dir + "drill.sc";
        const std::string oldRoster = FormatRoster({{"s01", "Sato", "pw1"}, {"s02", "Kato", "pw2"}});
        const std::string oldIni = "[Data]\r\nFolder=/srv/score/\r\nProblem=/srv/problems/a.qzb\r\n";
        textfile::WriteFileAtomic(roster, oldRoster);
        textfile::WriteFileAtomic(ini, oldIni);
        textfile::WriteFileAtomic(sc, "old\r\n");
        for (const std::string& f : {roster, ini, sc}) ::chmod(f.c_str(), 0666);
        // Fill the disk to the last block.
        const std::string filler = dir + "filler";
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT, 0644);
        const std::string block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        while (::write(fd, "f", 1) > 0) {
        }
        ::close(fd);
        const pid_t writer = RunAs(kWriters[0], [&] {
            // Each needs pages the disk no longer has.
            const std::string longName(20000, 'n');
            const bool r = UpdateRosterFile(roster, [&](std::vector<RosterEntry>& e) {
                e.push_back({"s03", longName, "pw3"});
            });
            const bool i = TIniFile(ini).WriteString("Data", "Folder", "/srv/" + longName + "/");
            const bool p = textfile::WriteFileAtomic(sc, std::string(20000, 'x'));
            if (r || i || p) std::fprintf(stderr, "saved on a full disk: roster %d settings %d progress %d\n", r, i, p);
            return !r && !i && !p;
        });
        ok = Succeeded(writer);
        for (const auto& [f, was] : {std::pair{roster, oldRoster}, {ini, oldIni}, {sc, std::string("old\r\n")}})
            if (Slurp(f) != was) {
                std::fprintf(stderr, "%s changed on a full disk\n", f.c_str());
                ok = false;
            }
        // A write that fails halfway (as the disk fills under it) puts the
        // old bytes back.
        ::unlink(filler.c_str());
        const pid_t failing = RunAs(kWriters[0], [&] {
            textfile::SetMidWriteHookForTest([](bool inPlace) { return !inPlace; });
            return !UpdateRosterFile(roster, [&](std::vector<RosterEntry>& e) { e.push_back({"s03", "Ito", "pw3"}); }) &&
                   !TIniFile(ini).WriteString("Data", "Folder", "/srv/other/");
        });
        const bool failedWhole = Succeeded(failing) && Slurp(roster) == oldRoster && Slurp(ini) == oldIni;
        if (!failedWhole) std::fprintf(stderr, "a write failing halfway left its file changed\n");
        ok = ok && failedWhole;
        const pid_t roomy = RunAs(kWriters[0], [&] {
            return UpdateRosterFile(roster, [&](std::vector<RosterEntry>& e) { e.push_back({"s03", "Ito", "pw3"}); });
        });
        ok = ok && Succeeded(roomy) && ParseRoster(Slurp(roster)).size() == 3;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no small file system to be had";
    EXPECT_EQ(0, WEXITSTATUS(status));
}

// Two instructors' editors and a learner's login, one after another on the
// same roster, each opened before the others saved: nothing deleted comes
// back, and no change is undone without a word.
TEST(RosterEditorsAndLogin, NothingResurrectedNothingReverted) {
    TempDir dir;
    const std::string roster = dir / "ruzozu.mib";
    ASSERT_TRUE(textfile::WriteFileAtomic(
        roster, FormatRoster({{"s02", "Kato", "pw2"}, {"s03", "Ito", "pw3"}, {"s24", "Mori", "pw24"}})));
    TMeiboGrid a, b;
    a.LoadMeibo(roster);
    b.LoadMeibo(roster);
    // The learner s02's dialog looks up s02; s03 is about to change the password.
    TLogin s02;
    s02.RosterPath = roster;
    s02.LoadRoster();
    std::string id = "s02", name;
    s02.Edit1Exit(id, name);
    ASSERT_EQ(name, "Kato");

    // A deletes s24 and renames s02.
    a.DeleteRows(3, 3);
    a.Rows[1][1] = "Katou";
    ASSERT_TRUE(a.SaveMeibo(roster));
    // The learner s02 logs in with the name box as it was looked up.
    s02.Edit3Enter("pw2");
    ASSERT_TRUE(s02.BitBtn1Click(id, name, "pw2").Ok);
    // s03 changes the password at a login.
    TLogin s03;
    s03.RosterPath = roster;
    s03.LoadRoster();
    std::string id3 = "s03", name3;
    s03.Edit1Exit(id3, name3);
    ASSERT_TRUE(s03.ChangePassword("pw3", "new3", "new3").Ok);
    s03.Edit3Enter("new3");
    ASSERT_TRUE(s03.BitBtn1Click(id3, name3, "new3").Ok);
    // B, opened before all that, changes s03's ID to s33 and saves.
    b.Rows[2][0] = "s33";
    ASSERT_TRUE(b.SaveMeibo(roster));

    std::vector<RosterEntry> got;
    ASSERT_TRUE(ReadRoster(roster, got));
    ASSERT_EQ(got.size(), 2u) << "s24 came back";
    EXPECT_EQ(got[0].id, "s02");
    EXPECT_EQ(got[0].name, "Katou") << "the login undid the rename";
    EXPECT_EQ(got[1].id, "s33");
    EXPECT_EQ(got[1].password, "new3") << "the ID rename undid the password change";

    // A learner who does change the name keeps the change.
    TLogin again;
    again.RosterPath = roster;
    again.LoadRoster();
    std::string id2 = "s02", shown;
    again.Edit1Exit(id2, shown);
    ASSERT_TRUE(again.BitBtn1Click(id2, "Kato K", "pw2").Ok);
    // And an editor that changed a row deleted meanwhile keeps its row.
    TMeiboGrid c;
    c.LoadMeibo(roster);
    ASSERT_TRUE(UpdateRosterFile(roster, [](std::vector<RosterEntry>& e) { e.erase(e.begin()); }));
    c.Rows[1][1] = "Kato Ken";
    ASSERT_TRUE(c.SaveMeibo(roster));
    ASSERT_TRUE(ReadRoster(roster, got));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].name, "Kato Ken");
}

// The readers' cap holds for the writers: neither the editor nor the CSV
// import stores a roster that no reader would take.
TEST(RosterCap, WritersRefuseWhatReadersWouldRefuse) {
    TempDir dir;
    const std::string roster = dir / "ruzozu.mib";
    std::vector<RosterEntry> full;
    for (size_t k = 0; k < kMaxRosterLearners; ++k) full.push_back({"u" + std::to_string(k), "n", "p"});
    ASSERT_TRUE(UpdateRosterFile(roster, [&](std::vector<RosterEntry>& e) { e = full; }));
    TMeiboGrid grid;
    grid.LoadMeibo(roster);
    ASSERT_TRUE(grid.LoadError.empty());
    grid.Rows.back() = {"x1", "one more", "p"};
    grid.Rows.push_back({"", "", ""});
    EXPECT_FALSE(grid.SaveMeibo(roster));
    EXPECT_NE(grid.SaveError.find(std::to_string(kMaxRosterLearners)), std::string::npos);
    // A login adding one more is refused the same way.
    std::string why;
    EXPECT_FALSE(UpdateRosterFile(roster, [](std::vector<RosterEntry>& e) { e.push_back({"x2", "n", "p"}); }, 10, &why));
    EXPECT_NE(why.find(std::to_string(kMaxRosterLearners)), std::string::npos);
    std::vector<RosterEntry> got;
    std::string message;
    ASSERT_TRUE(ReadRoster(roster, got, &message)) << "the roster was written past the cap";
    EXPECT_EQ(got.size(), kMaxRosterLearners);
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
    int kills = 0;
    for (int i = 0; i < 6; ++i) {
        // Killed halfway through writing its data, every time.
        pid_t pid = ::fork();
        if (pid == 0) {
            textfile::SetMidWriteHookForTest([](bool) {
                ::raise(SIGKILL);
                return false;
            });
            kind.write(1);  // the file holds version 0
            _exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        kills += WIFSIGNALED(status) ? 1 : 0;
        ASSERT_TRUE(kind.whole(Slurp(dir + kind.file))) << "after kill " << i;
    }
    EXPECT_EQ(kills, 6);
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
