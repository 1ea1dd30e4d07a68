// Copies made by a paste, a drop or a send: whole or not at all, holes kept,
// progress reported and a stop honoured.
#include "shellmenu.h"

#include "tempdir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <vector>
#include <algorithm>

using namespace shell;
namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Noise(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

void WriteAt(const std::string& path, off_t at, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), at), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

// True when the two files hold the same bytes (read block by block).
bool SameBytes(const std::string& a, const std::string& b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    std::vector<char> p(1 << 20), q(1 << 20);
    while (x && y) {
        x.read(p.data(), static_cast<std::streamsize>(p.size()));
        y.read(q.data(), static_cast<std::streamsize>(q.size()));
        if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin())) return false;
    }
    return x.eof() && y.eof();
}

// Everything in dir, hidden names included.
std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Records the steps and stops after a number of them (never when -1).
struct TRecorder : ICopyProgress {
    std::vector<std::pair<uint64_t, uint64_t>> steps;
    int stopAfter = -1;
    bool Step(uint64_t done, uint64_t total) override {
        steps.emplace_back(done, total);
        return stopAfter < 0 || static_cast<int>(steps.size()) < stopAfter;
    }
};

class ShellCopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = tmp_.path().substr(0, tmp_.path().size() - 1);
        fs::create_directories(root_ + "/src/tree/sub");
        fs::create_directories(root_ + "/dest");
        SetShellMenuHooks(TShellMenuHooks());
    }
    void TearDown() override { SetShellMenuHooks(TShellMenuHooks()); }
    // Installs a progress hook whose copies report to rec.
    void Hook(TRecorder& rec, int stopAfter) {
        struct TForward : ICopyProgress {
            TRecorder* to;
            bool Step(uint64_t done, uint64_t total) override { return to->Step(done, total); }
        };
        rec = TRecorder();
        rec.stopAfter = stopAfter;
        TShellMenuHooks h;
        h.BeginCopy = [&rec]() -> std::unique_ptr<ICopyProgress> {
            auto p = std::make_unique<TForward>();
            p->to = &rec;
            return p;
        };
        SetShellMenuHooks(h);
    }
    TempDir tmp_;
    std::string root_;
};

TEST_F(ShellCopyTest, ContentModeAndProgressOfAWholeCopy) {
    const std::string big = Noise(9 * 1024 * 1024 + 123, 1);  // several blocks
    WriteAt(root_ + "/src/big.bin", 0, big);
    ::chmod((root_ + "/src/big.bin").c_str(), 0640);
    WriteAt(root_ + "/src/tree/a.txt", 0, "alpha");
    WriteAt(root_ + "/src/tree/sub/b.txt", 0, Noise(5000, 2));
    ::symlink("a.txt", (root_ + "/src/tree/link").c_str());
    ::chmod((root_ + "/src/tree/sub").c_str(), 0750);
    TRecorder rec;
    Hook(rec, -1);
    ASSERT_EQ(S_OK, DropPathsOn(root_ + "/dest", {root_ + "/src/big.bin", root_ + "/src/tree"}, false));
    EXPECT_EQ(Slurp(root_ + "/dest/big.bin"), big);
    EXPECT_EQ(Slurp(root_ + "/dest/tree/a.txt"), "alpha");
    EXPECT_EQ(Slurp(root_ + "/dest/tree/sub/b.txt"), Slurp(root_ + "/src/tree/sub/b.txt"));
    EXPECT_EQ(fs::read_symlink(root_ + "/dest/tree/link"), "a.txt");
    struct stat st;
    ASSERT_EQ(::stat((root_ + "/dest/tree/sub").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
    ASSERT_EQ(::stat((root_ + "/dest/big.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077 & ~0640, 0u);  // no more than the source allowed
    // The steps grow to the total of both, which each reports.
    ASSERT_GE(rec.steps.size(), 3u);
    const uint64_t total = big.size() + 5 + 5000;
    for (size_t i = 0; i < rec.steps.size(); ++i) {
        EXPECT_EQ(rec.steps[i].second, total);
        if (i > 0) {
            EXPECT_GE(rec.steps[i].first, rec.steps[i - 1].first);
        }
    }
    EXPECT_EQ(rec.steps.back().first, total);
    // Nothing but the copies is left in the target.
    EXPECT_EQ(Entries(root_ + "/dest").size(), 6u);
}

TEST_F(ShellCopyTest, AStoppedOrFailedCopyLeavesNothing) {
    WriteAt(root_ + "/src/big.bin", 0, Noise(12 * 1024 * 1024, 3));
    WriteAt(root_ + "/src/tree/a.txt", 0, Noise(6 * 1024 * 1024, 4));
    WriteAt(root_ + "/src/tree/sub/b.txt", 0, Noise(6 * 1024 * 1024, 5));
    TRecorder rec;
    Hook(rec, 2);  // stopped in the middle of the file
    EXPECT_EQ(S_FALSE, DropPathsOn(root_ + "/dest", {root_ + "/src/big.bin"}, false));
    EXPECT_TRUE(Entries(root_ + "/dest").empty());
    Hook(rec, 3);  // stopped in the middle of the tree
    EXPECT_EQ(S_FALSE, DropPathsOn(root_ + "/dest", {root_ + "/src/tree"}, false));
    EXPECT_TRUE(Entries(root_ + "/dest").empty());
    // A tree holding what cannot be copied (a pipe) fails as a whole.
    SetShellMenuHooks(TShellMenuHooks());
    ASSERT_EQ(::mkfifo((root_ + "/src/tree/sub/pipe").c_str(), 0644), 0);
    EXPECT_EQ(E_FAIL, DropPathsOn(root_ + "/dest", {root_ + "/src/tree"}, false));
    EXPECT_TRUE(Entries(root_ + "/dest").empty());
    // The items before a failed one stay, whole.
    WriteAt(root_ + "/src/small.txt", 0, "small");
    EXPECT_EQ(E_FAIL, DropPathsOn(root_ + "/dest", {root_ + "/src/small.txt", root_ + "/src/tree"}, false));
    EXPECT_EQ(Entries(root_ + "/dest"), std::vector<std::string>{root_ + "/dest/small.txt"});
    EXPECT_EQ(Slurp(root_ + "/dest/small.txt"), "small");
}

TEST_F(ShellCopyTest, SparseFilesStaySparse) {
    const std::string src = root_ + "/src/sparse.img";
    const off_t size = 64 * 1024 * 1024;
    WriteAt(src, 0, "head");
    WriteAt(src, 40 * 1024 * 1024, Noise(70000, 6));
    WriteAt(src, size - 3, "end");
    struct stat st;
    ASSERT_EQ(::stat(src.c_str(), &st), 0);
    ASSERT_EQ(st.st_size, size);
    if (st.st_blocks * 512 > 8 * 1024 * 1024) GTEST_SKIP() << "this file system keeps no holes";
    ASSERT_EQ(S_OK, DropPathsOn(root_ + "/dest", {src}, false));
    struct stat out;
    ASSERT_EQ(::stat((root_ + "/dest/sparse.img").c_str(), &out), 0);
    EXPECT_EQ(out.st_size, size);
    EXPECT_LE(out.st_blocks, st.st_blocks + 64) << "the holes were filled";
    EXPECT_TRUE(SameBytes(root_ + "/dest/sparse.img", src));
}

// A move to another file system copies, then removes the original: a stop
// keeps the original and makes nothing.
TEST_F(ShellCopyTest, AMoveAcrossFileSystemsStoppedKeepsTheOriginal) {
    struct stat a, b;
    if (::stat("/dev/shm", &a) != 0 || ::stat(root_.c_str(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system at hand";
    const std::string other = "/dev/shm/ruzozu-copy-test-" + std::to_string(::getpid());
    fs::create_directories(other);
    const std::string bytes = Noise(10 * 1024 * 1024, 7);
    WriteAt(other + "/moved.bin", 0, bytes);
    TRecorder rec;
    rec.stopAfter = 1;
    EXPECT_EQ(S_FALSE, CopyInto(other + "/moved.bin", root_ + "/dest", true, nullptr, &rec));
    EXPECT_EQ(Slurp(other + "/moved.bin"), bytes);
    EXPECT_TRUE(Entries(root_ + "/dest").empty());
    std::string made;
    EXPECT_EQ(S_OK, CopyInto(other + "/moved.bin", root_ + "/dest", true, &made));
    EXPECT_EQ(made, root_ + "/dest/moved.bin");
    EXPECT_FALSE(fs::exists(other + "/moved.bin"));
    EXPECT_EQ(Slurp(made), bytes);
    fs::remove_all(other);
}

// Counts the items reported, and stops at the chosen one.
struct TItemCounter : ICopyProgress {
    uint64_t counted = 0;       // reported while counting (total 0)
    uint64_t copied = 0;        // reported while copying
    uint64_t lastTotal = 0;
    uint64_t stopCounting = 0;  // stop at this counted item (0: never)
    uint64_t stopCopying = 0;   // stop at this copied item (0: never)
    bool Step(uint64_t, uint64_t) override { return true; }
    bool Item(uint64_t done, uint64_t total) override {
        if (total == 0) {
            counted = done;
            return stopCounting == 0 || done < stopCounting;
        }
        copied = done;
        lastTotal = total;
        return stopCopying == 0 || done < stopCopying;
    }
};

// A tree of empty files moves no byte: its progress goes by items, and a
// stop ends it, while counting or copying, leaving nothing behind.
TEST_F(ShellCopyTest, ATreeOfEmptyFilesReportsEachItemAndStops) {
    const int files = 100000;
    const std::string many = root_ + "/src/many";
    fs::create_directories(many);
    for (int i = 0; i < files; ++i) {
        const int fd = ::open((many + "/e" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    TItemCounter counter;
    counter.stopCopying = files / 3;
    EXPECT_EQ(S_FALSE, CopyInto(many, root_ + "/dest", false, nullptr, &counter));
    EXPECT_EQ(counter.counted, static_cast<uint64_t>(files) + 1);  // the folder and its files
    EXPECT_EQ(counter.lastTotal, static_cast<uint64_t>(files) + 1);
    EXPECT_EQ(counter.copied, static_cast<uint64_t>(files / 3));
    EXPECT_TRUE(Entries(root_ + "/dest").empty());
    counter = TItemCounter();
    counter.stopCounting = 1000;
    EXPECT_EQ(S_FALSE, CopyInto(many, root_ + "/dest", false, nullptr, &counter));
    EXPECT_EQ(counter.counted, 1000u);
    EXPECT_EQ(counter.copied, 0u);
    EXPECT_TRUE(Entries(root_ + "/dest").empty());
    // Unstopped, every item is reported up to the total.
    fs::remove_all(many);
    fs::create_directories(many + "/sub");
    for (const char* n : {"/a", "/sub/b", "/sub/c"}) WriteAt(many + n, 0, "");
    ::symlink("a", (many + "/link").c_str());
    counter = TItemCounter();
    EXPECT_EQ(S_OK, CopyInto(many, root_ + "/dest", false, nullptr, &counter));
    EXPECT_EQ(counter.lastTotal, 6u);
    EXPECT_EQ(counter.copied, 6u);
    EXPECT_EQ(Entries(root_ + "/dest").size(), 6u);
}

// Notes the hidden entries of a folder while a copy into it runs.
struct TPartSpy : ICopyProgress {
    std::string dir;
    std::vector<std::string> seen;
    bool Step(uint64_t, uint64_t) override {
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().filename().string()[0] == '.') seen.push_back(e.path().filename().string());
        return true;
    }
};

void Age(const std::string& path, int seconds) {
    struct timespec t[2];
    ::clock_gettime(CLOCK_REALTIME, &t[0]);
    t[0].tv_sec -= seconds;
    t[1] = t[0];
    ::utimensat(AT_FDCWD, path.c_str(), t, AT_SYMLINK_NOFOLLOW);
}

// The hidden part files of killed copies go: those of a process of this
// computer that is gone at once, those of another computer once nothing in
// them changed for the bound; anything else stays.
TEST_F(ShellCopyTest, StalePartsOfKilledCopiesAreSwept) {
    // The name a copy under way gives its part, seen from outside.
    WriteAt(root_ + "/src/one.bin", 0, Noise(3 * 1024 * 1024, 8));
    TPartSpy spy;
    spy.dir = root_ + "/dest";
    ASSERT_EQ(S_OK, CopyInto(root_ + "/src/one.bin", root_ + "/dest", false, nullptr, &spy));
    ASSERT_FALSE(spy.seen.empty());
    const std::string live = spy.seen[0];
    const std::string self = "-" + std::to_string(::getpid()) + "-";
    const size_t at = live.rfind(self);
    ASSERT_NE(at, std::string::npos) << live;
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    auto withPid = [&](pid_t pid) {
        return live.substr(0, at) + "-" + std::to_string(pid) + "-" + live.substr(at + self.size());
    };
    const std::string d = root_ + "/dest/";
    WriteAt(d + withPid(child), 0, "dead");                   // this computer, gone: goes
    WriteAt(d + withPid(::getpid()), 0, "mine");              // this process: stays
    WriteAt(d + ".ruzozu-copy-elsewhere-77-1.part", 0, "o");  // another computer, old: goes
    Age(d + ".ruzozu-copy-elsewhere-77-1.part", 3600);
    WriteAt(d + ".ruzozu-copy-elsewhere-77-2.part", 0, "n");  // recent: stays
    WriteAt(d + ".ruzozu-copy-77-3.part", 0, "v");            // an earlier version's, old: goes
    Age(d + ".ruzozu-copy-77-3.part", 3600);
    fs::create_directories(d + ".ruzozu-copy-elsewhere-78-1.part/sub");  // a folder, all old: goes
    WriteAt(d + ".ruzozu-copy-elsewhere-78-1.part/sub/f", 0, "x");
    fs::create_symlink(root_ + "/src/one.bin", d + ".ruzozu-copy-elsewhere-78-1.part/link");
    for (const char* p : {"/sub/f", "/sub", "/link", ""}) Age(d + ".ruzozu-copy-elsewhere-78-1.part" + p, 3600);
    fs::create_directories(d + ".ruzozu-copy-elsewhere-79-1.part");  // a folder with a fresh file: stays
    WriteAt(d + ".ruzozu-copy-elsewhere-79-1.part/f", 0, "x");
    Age(d + ".ruzozu-copy-elsewhere-79-1.part", 3600);
    WriteAt(d + ".other-77-1.part", 0, "x");  // not of this program's making: stays
    Age(d + ".other-77-1.part", 3600);
    EXPECT_EQ(4, SweepStaleParts(root_ + "/dest"));
    EXPECT_FALSE(fs::exists(d + withPid(child)));
    EXPECT_TRUE(fs::exists(d + withPid(::getpid())));
    EXPECT_FALSE(fs::exists(d + ".ruzozu-copy-elsewhere-77-1.part"));
    EXPECT_TRUE(fs::exists(d + ".ruzozu-copy-elsewhere-77-2.part"));
    EXPECT_FALSE(fs::exists(d + ".ruzozu-copy-77-3.part"));
    EXPECT_FALSE(fs::exists(d + ".ruzozu-copy-elsewhere-78-1.part"));
    EXPECT_TRUE(fs::exists(root_ + "/src/one.bin"));  // behind the link
    EXPECT_TRUE(fs::exists(d + ".ruzozu-copy-elsewhere-79-1.part/f"));
    EXPECT_TRUE(fs::exists(d + ".other-77-1.part"));
    // A copy into a folder sweeps it first.
    fs::create_directories(root_ + "/dest2");
    WriteAt(root_ + "/dest2/" + withPid(child), 0, "dead");
    ASSERT_EQ(S_OK, CopyInto(root_ + "/src/one.bin", root_ + "/dest2", false));
    EXPECT_FALSE(fs::exists(root_ + "/dest2/" + withPid(child)));
    EXPECT_TRUE(fs::exists(root_ + "/dest2/one.bin"));
}

// The phases that remove or sweep report each item too, so that the
// window is drawn through them: a stopped copy's part removed, a moved
// original removed from another file system, a large stale part swept.
TEST_F(ShellCopyTest, RemovalsAndSweepsReportEachItem) {
    struct TBusy : TItemCounter {
        uint64_t busy = 0;
        void Busy() override { ++busy; }
    };
    const int files = 2000;
    auto fill = [](const std::string& dir) {
        fs::create_directories(dir);
        for (int i = 0; i < files; ++i) WriteAt(dir + "/e" + std::to_string(i), 0, "");
    };
    fill(root_ + "/src/many");
    TBusy stopped;
    stopped.stopCopying = files / 2;
    EXPECT_EQ(S_FALSE, CopyInto(root_ + "/src/many", root_ + "/dest", false, nullptr, &stopped));
    EXPECT_TRUE(Entries(root_ + "/dest").empty());
    EXPECT_GE(stopped.busy, stopped.copied);  // each item of the part, as it went
    // An old part of another computer, looked through and removed.
    const std::string part = root_ + "/dest/.ruzozu-copy-elsewhere-81-1.part";
    fill(part);
    for (int i = 0; i < files; ++i) Age(part + "/e" + std::to_string(i), 3600);
    Age(part, 3600);
    TBusy swept;
    EXPECT_EQ(1, SweepStaleParts(root_ + "/dest", &swept));
    EXPECT_GE(swept.busy, 2u * files);
    struct stat a, b;
    if (::stat("/dev/shm", &a) != 0 || ::stat(root_.c_str(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system at hand";
    const std::string other = "/dev/shm/ruzozu-busy-test-" + std::to_string(::getpid());
    fill(other + "/moved");
    TBusy moved;
    EXPECT_EQ(S_OK, CopyInto(other + "/moved", root_ + "/dest", true, nullptr, &moved));
    EXPECT_FALSE(fs::exists(other + "/moved"));
    EXPECT_EQ(Entries(root_ + "/dest/moved").size(), static_cast<size_t>(files));
    EXPECT_GE(moved.busy, static_cast<uint64_t>(files) + 1);
    fs::remove_all(other);
}

// Computers whose names differ only in what a file name cannot split on
// get tags of their own: no copy takes another's live part for its own.
TEST_F(ShellCopyTest, PartTagsOfTwoComputersNeverMeet) {
    const std::vector<std::string> hosts = {"vm",   "v-m",     "v.m",   "vm.school.local", "vm.home.local",
                                            "VM",   "v_m",     "vm_0",  std::string(40, 'a'),
                                            std::string(40, 'a') + "b"};
    std::set<std::string> tags;
    for (const std::string& h : hosts) {
        const std::string t = PartHostTag(h);
        EXPECT_FALSE(t.empty()) << h;
        EXPECT_LE(t.size(), 64u) << h;
        EXPECT_EQ(std::string::npos, t.find_first_of("-./")) << h << " -> " << t;
        EXPECT_TRUE(tags.insert(t).second) << h << " shares " << t;
    }
    EXPECT_EQ("vm", PartHostTag("vm"));  // a plain name is its own tag, as before
}

// A part folder from another computer too large to be looked through whole
// is judged by what was seen: old, it goes all the same.
TEST_F(ShellCopyTest, AnOldPartTooLargeToWalkIsSwept) {
    const std::string part = root_ + "/dest/.ruzozu-copy-elsewhere-80-1.part";
    fs::create_directories(part);
    for (int i = 0; i < 100050; ++i) {
        const std::string f = part + "/" + std::to_string(i);
        const int fd = ::open(f.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0) << f;
        ::close(fd);
        Age(f, 3600);
    }
    Age(part, 3600);
    EXPECT_EQ(1, SweepStaleParts(root_ + "/dest"));
    EXPECT_FALSE(fs::exists(part));
}

}  // namespace
