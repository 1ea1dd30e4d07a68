#include "roster.h"

#include "scramble.h"
#include "sjis.h"
#include "tempdir.h"
#include "textfile.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <functional>
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
    ASSERT_EQ(r.size(), 4u);  // the empty line is no learner
    EXPECT_EQ(r[0].name, sjis::L("山田"));
    EXPECT_EQ(r[0].password, "pass1");
    EXPECT_EQ(r[1].id, "B2");
    EXPECT_EQ(r[2].id, "C3");
    EXPECT_EQ(r[2].password, "");
    EXPECT_EQ(r[3].id, "D4");  // not shifted by the damaged lines
    EXPECT_EQ(r[3].password, "pass1");
}

TEST(Roster, EmptyLinesAreNoLearnersAndRecordsWriteBackExactly) {
    EXPECT_TRUE(ParseRoster("").empty());
    EXPECT_TRUE(ParseRoster(std::string(100000, '\r')).empty());
    auto r = ParseRoster("\"\",\"\",\"\"\r\n");
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
    // Any process of any account may hold the lock: after its own wait,
    // not when the holder went (30 s), the save goes on without it.  The
    // upper bound is ten times that wait, for a loaded machine.
    EXPECT_TRUE(whileHeld);
    EXPECT_LT(waited, std::chrono::milliseconds(10 * RosterLockWaitMs));
    EXPECT_GE(waited, std::chrono::milliseconds(RosterLockWaitMs));
    std::vector<RosterEntry> got;
    ASSERT_TRUE(ReadRoster(p, got));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].id, "B2");
}

// Every byte an ID or a password may hold survives scrambling and the
// file: none turns into a line end, an end of file or a quote.
TEST(Roster, EveryAllowedByteRoundTripsThroughTheFile) {
    std::string allowed;
    for (int c = 0; c < 256; ++c)
        if (std::isalnum(c) && c < 0x80) allowed += static_cast<char>(c);
    ASSERT_EQ(allowed.size(), 62u);
    std::vector<RosterEntry> in;
    for (char c : allowed) in.push_back({std::string(1, c), "n", std::string(6, c)});
    in.push_back({"all", "x", allowed});
    for (char c : allowed) {
        const unsigned char s = static_cast<unsigned char>(Scramble(std::string(1, c), "encode")[0]);
        EXPECT_TRUE(s != '\r' && s != '\n' && s != 0x1A && s != '"' && s != ',' && s > ' ') << int(c);
    }
    EXPECT_EQ(RosterFieldFault(in.back()), -1);
    const auto back = ParseRoster(FormatRoster(in));
    ASSERT_EQ(back.size(), in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        EXPECT_EQ(back[i].id, in[i].id);
        EXPECT_EQ(back[i].password, in[i].password);
    }
}

TEST(Roster, FieldFaultsNameTheFieldThatCannotBeStored) {
    EXPECT_EQ(RosterFieldFault({"a1", sjis::L("山田 花子"), "Pw9"}), -1);
    EXPECT_EQ(RosterFieldFault({"", "", ""}), -1);
    // 「っ」 (82 C1) and 「ｱ」 (B1) scramble to 0x1A and LF.
    EXPECT_EQ(RosterFieldFault({"a1", "n", sjis::L("っ")}), 2);
    EXPECT_EQ(RosterFieldFault({"a1", "n", sjis::L("ｱ")}), 2);
    EXPECT_EQ(RosterFieldFault({sjis::L("ｱ"), "n", ""}), 0);
    EXPECT_EQ(RosterFieldFault({"a 1", "n", ""}), 0);
    for (const char* bad : {"a\tb", "a\rb", "a\nb", "a\x1A" "b", "Bob \"B\""})
        EXPECT_EQ(RosterFieldFault({"a1", bad, ""}), 1) << bad;
}

TEST(Roster, ByteOrderMarkUtf8AndUtf16) {
    // A roster of ours turned into UTF-8 whole by a tool: its scrambled
    // passwords went through the conversion too and come back with it.
    const std::string pw = Scramble("pass1", "encode").substr(0, 4) + Scramble("1a", "encode");
    const std::string sjisFile = "\"A1\",\"" + sjis::L("山田") + "\",\"" + pw + "\"\r\n\"B2\",\"b\",\"" + pw + "\"\r\n";
    const std::string utf8File = sjis::ToUtf8(sjisFile);
    std::vector<RosterEntry> r;
    std::string msg;
    for (const std::string& bytes : {sjisFile, utf8File, "\xEF\xBB\xBF" + utf8File}) {
        ASSERT_TRUE(ParseRoster(bytes, r, msg, "ruzozu.mib")) << msg;
        ASSERT_EQ(r.size(), 2u);
        EXPECT_EQ(r[0].id, "A1");  // no mark stuck to the first ID
        EXPECT_EQ(r[0].name, sjis::L("山田"));
        EXPECT_EQ(r[0].password, "pass1a");
        EXPECT_EQ(r[1].password, "pass1a");
    }
    // ASCII names with scrambled passwords that happen to be well-formed
    // UTF-8 ('l' '0' scramble to C5 89) stay Shift-JIS.
    // So do names of half-width kana whose Shift-JIS bytes pair up like
    // UTF-8 ("ﾃｽ" is C3 BD).
    const std::vector<RosterEntry> ours = {{"k1", "Ken", "l0l0"}, {"k2", sjis::L("ﾃｽ"), "l0"}};
    ASSERT_TRUE(ParseRoster(FormatRoster(ours), r, msg));
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].password, "l0l0");
    EXPECT_EQ(r[1].name, sjis::L("ﾃｽ"));
    // UTF-16, with or without its mark: refused with a message, no learners.
    std::string utf16;
    for (char c : std::string("\"A1\",\"a\",\"\"\r\n")) utf16 += std::string(1, c) + '\0';
    for (const std::string& bytes : {"\xFF\xFE" + utf16, utf16}) {
        EXPECT_FALSE(ParseRoster(bytes, r, msg, "ruzozu.mib"));
        EXPECT_TRUE(r.empty());
        EXPECT_NE(msg.find("UTF-16"), std::string::npos);
        EXPECT_EQ(msg.compare(0, 10, "ruzozu.mib"), 0);
    }
    // A UTF-8 character without a Shift-JIS form: refused, its line named.
    EXPECT_FALSE(ParseRoster(utf8File + "\"C3\",\"\xF0\x9F\x98\x80\",\"\"\r\n", r, msg, "ruzozu.mib"));
    EXPECT_TRUE(r.empty());
    EXPECT_NE(msg.find(sjis::L(" 3 行目")), std::string::npos) << sjis::ToUtf8(msg);
}

TEST(Roster, TooManyLearnersAreRefusedWhole) {
    std::string bytes;
    for (size_t i = 0; i <= kMaxRosterLearners; ++i) bytes += "\"a\",\"\",\"\"\r\n";
    std::vector<RosterEntry> r;
    std::string msg;
    EXPECT_FALSE(ParseRoster(bytes, r, msg, "ruzozu.mib"));
    EXPECT_TRUE(r.empty());
    EXPECT_NE(msg.find(std::to_string(kMaxRosterLearners)), std::string::npos);
    bytes.resize(bytes.size() - 11);  // exactly the limit
    EXPECT_TRUE(ParseRoster(bytes, r, msg));
    EXPECT_EQ(r.size(), kMaxRosterLearners);
}

// A roster that the reader refuses is never written over by an update.
TEST(Roster, RefusedRosterIsNeverOverwritten) {
    TempDir dir;
    const std::string p = dir / "ruzozu.mib";
    const std::string utf16 = std::string("\xFF\xFE\"\0A\0", 6);
    ASSERT_TRUE(textfile::WriteFileAtomic(p, utf16));
    std::string why;
    EXPECT_FALSE(UpdateRosterFile(p, [](std::vector<RosterEntry>& e) { e.push_back({"A1", "a", "x"}); }, 10, &why));
    EXPECT_NE(why.find("UTF-16"), std::string::npos);
    std::string bytes;
    ASSERT_TRUE(textfile::ReadFileBytes(p, bytes));
    EXPECT_EQ(bytes, utf16);
    std::vector<RosterEntry> got;
    std::string msg;
    EXPECT_FALSE(ReadRoster(p, got, &msg));
    EXPECT_NE(msg.find("UTF-16"), std::string::npos);
}

TEST(Roster, UnwritableRosterSaysWhichPathAndPermission) {
    TempDir dir;
    const std::string p = dir / "ruzozu.mib";
    ASSERT_TRUE(textfile::WriteFileAtomic(p, FormatRoster({{"A1", "a", "x"}})));
    ASSERT_EQ(::chmod(p.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 01555), 0);
    // Root may write any file: the save is tried as another account.
    const bool asRoot = ::geteuid() == 0;
    const pid_t child = asRoot ? ::fork() : 0;
    if (child == 0) {
        if (asRoot && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        std::string why;
        const bool saved =
            UpdateRosterFile(p, [](std::vector<RosterEntry>& e) { e.push_back({"B2", "b", "y"}); }, 2, &why);
        const bool told = why.find(p) != std::string::npos && why.find("permission") != std::string::npos &&
                          why.find("chmod 666") != std::string::npos;
        if (asRoot) ::_exit(!saved && told ? 0 : 1);
        EXPECT_FALSE(saved);
        EXPECT_TRUE(told) << sjis::ToUtf8(why);
    } else {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    ::chmod(dir.path().c_str(), 0755);
}

namespace {

// Runs body in a child process with its peak memory reset first; returns
// the child's peak (kB), or -1 when the child failed.
long PeakKbOf(const std::function<bool()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", f);  // resets the peak resident size
            std::fclose(f);
        }
        if (!body()) ::_exit(1);
        long kb = -1;
        if (FILE* f = std::fopen("/proc/self/status", "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, f))
                if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
            std::fclose(f);
        }
        // The peak goes back through the exit status, in 4 MB steps.
        ::_exit(kb < 0 ? 1 : static_cast<int>(std::min<long>(kb / 4096 + 2, 255)));
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) < 2) return -1;
    return (WEXITSTATUS(status) - 2) * 4096L;
}

}  // namespace

// Rosters at the reading cap shaped to cost the most: millions of empty
// lines, millions of learners, one line of millions of fields.  What is
// read stays within a few times the file (the file itself is 64 MB).
TEST(Roster, WorstShapesAtTheCapStayBounded) {
    TempDir dir;
    const std::string p = dir / "ruzozu.mib";
    const size_t cap = static_cast<size_t>(textfile::kMaxReadBytes);
    const std::string record = "\"a\",\"\",\"\"\r\n";
    // Each shape is made, written and let go before the child reads it:
    // the child starts with what this process holds.
    const std::vector<std::pair<const char*, std::function<std::string()>>> shapes = {
        {"CR bytes", [&] { return std::string(cap, '\r'); }},
        {"LF bytes", [&] { return std::string(cap, '\n'); }},
        {"many learners", [&] {
             std::string s;
             s.reserve(cap);
             while (s.size() + record.size() <= cap) s += record;
             return s;
         }},
        {"one line of fields", [&] {
             std::string s;
             s.reserve(cap);
             while (s.size() + 4 <= cap) s += "\"a\",";
             return s;
         }},
    };
    for (const auto& [name, make] : shapes) {
        ASSERT_TRUE(textfile::WriteFileAtomic(p, make(), textfile::TFlush::NoSync));
        const long kb = PeakKbOf([&] {
            std::vector<RosterEntry> entries;
            std::string message;
            ReadRoster(p, entries, &message);
            return entries.size() <= kMaxRosterLearners;
        });
        ASSERT_GE(kb, 0) << name;
        EXPECT_LT(kb, 300 * 1024) << name << ": " << kb << " kB";
    }
}
