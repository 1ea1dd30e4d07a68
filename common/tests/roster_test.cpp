#include "roster.h"

#include "scramble.h"
#include "sjis.h"
#include "tempdir.h"
#include "textfile.h"

#include <gtest/gtest.h>
#include <set>

TEST(Scramble, ShiftsAndUndoes) {
    EXPECT_EQ(Scramble(std::string("\xA7\x00\x01", 3), "encode"), std::string("\x00\x59\x5A", 3));
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Scramble(Scramble(all, "encode"), "decode"), all);
    EXPECT_EQ(Scramble("abc", "Encode"), "abc");
    EXPECT_EQ(Scramble("abc", ""), "abc");
}

TEST(Roster, ReadsExactlyThreeFieldsPerLine) {
    std::string pw = Scramble("pass1", "encode");
    std::string bytes = "\"A1\",\"" + sjis::L("山田") + "\",\"" + pw + "\"\r\n" +
                        "\"B2\",\"x\",\"" + pw + "\",\"extra\"\r\n" +  // too many fields
                        "\"C3\"\r\n" +                                  // too few
                        "\r\n" +                                        // empty line
                        "\"D4\",\"d\",\"" + pw + "\"\r\n";
    auto r = ParseRoster(bytes);
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].name, sjis::L("山田"));
    EXPECT_EQ(r[0].password, "pass1");
    EXPECT_EQ(r[1].id, "B2");
    EXPECT_EQ(r[2].id, "C3");
    EXPECT_EQ(r[2].password, "");
    EXPECT_EQ(r[3].id, "");
    EXPECT_EQ(r[4].id, "D4");  // not shifted by the damaged lines
    EXPECT_EQ(r[4].password, "pass1");
}

TEST(Roster, EmptyFileIsOneEmptyLearnerAndWritesBackExactly) {
    auto r = ParseRoster("");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(FormatRoster(r), "\"\",\"\",\"\"\r\n");
    RosterEntry e{"A1", "a\"b", "pw"};
    EXPECT_EQ(FormatRosterLine(e), "\"A1\",\"a\"b\",\"" + Scramble("pw", "encode") + "\"");
    TempDir dir;
    std::vector<RosterEntry> got;
    EXPECT_FALSE(ReadRoster(dir / "ruzozu.mib", got));
    ASSERT_TRUE(textfile::WriteFileAtomic(dir / "ruzozu.mib", FormatRoster({{"A1", "n", "p"}})));
    ASSERT_TRUE(ReadRoster(dir / "ruzozu.mib", got));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].password, "p");
}

#include <sys/wait.h>
#include <unistd.h>

TEST(Roster, UpdateAppendsAndKeepsEarlierLearners) {
    TempDir dir;
    std::string p = dir / "ruzozu.mib";
    ASSERT_TRUE(UpdateRosterFile(p, [](std::vector<RosterEntry>& e) { e.push_back({"A1", "a", "x"}); }));
    ASSERT_TRUE(UpdateRosterFile(p, [](std::vector<RosterEntry>& e) { e.push_back({"B2", "b", "y"}); }));
    std::vector<RosterEntry> got;
    ASSERT_TRUE(ReadRoster(p, got));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].id, "B2");
    EXPECT_EQ(got[1].password, "y");
}

// Many computers log new learners in at the start of a lesson: every one
// of them must end up in the roster, and every line must be whole.
TEST(Roster, ConcurrentUpdatesLoseNothing) {
    TempDir dir;
    const std::string p = dir / "ruzozu.mib";
    const int processes = 50, rounds = 3;
    for (int round = 0; round < rounds; ++round) {
        std::vector<pid_t> children;
        for (int k = 0; k < processes; ++k) {
            pid_t pid = fork();
            if (pid == 0) {
                std::string id = std::to_string(round) + "_" + std::to_string(k);
                // A save that finds the lock busy too long fails; the
                // learner presses Retry.
                bool ok = false;
                for (int retry = 0; retry < 20 && !ok; ++retry)
                    ok = UpdateRosterFile(p, [&](std::vector<RosterEntry>& e) {
                        e.push_back({id, "name " + id, "pw" + id});
                    });
                _exit(ok ? 0 : 1);
            }
            children.push_back(pid);
        }
        for (pid_t c : children) {
            int status = 0;
            waitpid(c, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
    }
    std::vector<RosterEntry> got;
    ASSERT_TRUE(ReadRoster(p, got));
    ASSERT_EQ(got.size(), static_cast<size_t>(processes * rounds));
    std::set<std::string> ids;
    for (const auto& e : got) {
        ids.insert(e.id);
        EXPECT_EQ(e.name, "name " + e.id);
        EXPECT_EQ(e.password, "pw" + e.id);
    }
    EXPECT_EQ(ids.size(), static_cast<size_t>(processes * rounds));
}

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>

// The lock file serves every account that shares the folder, whatever the
// umask of the one who made it.
TEST(Roster, LockFileIsOpenToEveryAccount) {
    TempDir dir;
    const std::string p = dir / "ruzozu.mib";
    const mode_t old = ::umask(077);
    const bool ok = UpdateRosterFile(p, [](std::vector<RosterEntry>& e) { e.push_back({"A1", "a", "x"}); });
    ::umask(old);
    ASSERT_TRUE(ok);
    struct stat st {};
    ASSERT_EQ(0, ::stat(RosterLockPath(p).c_str(), &st));
    EXPECT_EQ(0666u, st.st_mode & 0777);
}

// Another computer holding the lock for long (hung, or its lock never let
// go by the file server) delays a save under two seconds, never more; the
// save then fails rather than write beside the holder, and goes through
// once the lock is free.
TEST(Roster, AHeldLockDelaysTheSaveBriefly) {
    TempDir dir;
    const std::string p = dir / "ruzozu.mib";
    ASSERT_TRUE(UpdateRosterFile(p, [](std::vector<RosterEntry>& e) { e.push_back({"A1", "a", "x"}); }));
    int ready[2];
    ASSERT_EQ(0, ::pipe(ready));
    pid_t holder = fork();
    if (holder == 0) {
        int fd = ::open(RosterLockPath(p).c_str(), O_RDWR);
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        const bool locked = fd >= 0 && ::fcntl(fd, F_SETLK, &fl) == 0;
        (void)!::write(ready[1], locked ? "1" : "0", 1);
        ::sleep(30);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(1, ::read(ready[0], &c, 1));
    ASSERT_EQ('1', c);
    const auto start = std::chrono::steady_clock::now();
    auto addB2 = [](std::vector<RosterEntry>& e) { e.push_back({"B2", "b", "y"}); };
    const bool whileHeld = UpdateRosterFile(p, addB2);
    const auto waited = std::chrono::steady_clock::now() - start;
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_FALSE(whileHeld);
    // It gave up after its own wait, not when the holder went (30 s): the
    // upper bound is ten times that wait, for a loaded machine.
    EXPECT_LT(waited, std::chrono::milliseconds(10 * RosterLockWaitMs));
    EXPECT_GE(waited, std::chrono::milliseconds(RosterLockWaitMs));
    std::vector<RosterEntry> got;
    ASSERT_TRUE(ReadRoster(p, got));
    ASSERT_EQ(got.size(), 1u);  // untouched while another writer held it
    EXPECT_TRUE(UpdateRosterFile(p, addB2));  // Retry, the holder gone
    ASSERT_TRUE(ReadRoster(p, got));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].id, "B2");
}
