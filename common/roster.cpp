#include "roster.h"

#include "commatext.h"
#include "scramble.h"
#include "textfile.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

std::vector<RosterEntry> ParseRoster(const std::string& bytes) {
    std::vector<RosterEntry> entries;
    std::vector<std::string> lines = textfile::SplitAnyLines(bytes);
    if (lines.empty()) lines.emplace_back();
    for (const auto& line : lines) {
        std::vector<std::string> f = commatext::Split(line);
        f.resize(3);
        entries.push_back({f[0], f[1], Scramble(f[2], "decode")});
    }
    return entries;
}

bool ReadRoster(const std::string& path, std::vector<RosterEntry>& entries) {
    std::string bytes;
    entries.clear();
    if (!textfile::ReadFileBytes(path, bytes)) return false;
    entries = ParseRoster(bytes);
    return true;
}

std::string FormatRosterLine(const RosterEntry& e) {
    return commatext::JoinQuoted({e.id, e.name, Scramble(e.password, "encode")});
}

std::string FormatRoster(const std::vector<RosterEntry>& entries) {
    std::string out;
    for (const auto& e : entries) {
        out += FormatRosterLine(e);
        out += "\r\n";
    }
    return out;
}

std::string RosterLockPath(const std::string& path) { return path + ".lock"; }

namespace {

using Clock = std::chrono::steady_clock;

// Makes the lock file with a mode that every account may open, so that no
// other account ever finds it with the creator's narrower mode: it is made
// under a temporary name, opened up, then linked into place (never over a
// lock file that another writer made meanwhile).
// Returns false when the folder lets no lock file be made.
bool CreateLockFile(const std::string& os) {
    std::string tmpl = textfile::ExtractFilePath(os) + "." + textfile::ExtractFileName(os) + ".XXXXXX.tmp";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    int fd = ::mkstemps(buf.data(), 4);
    if (fd < 0) return false;
    const bool open = ::fchmod(fd, 0666) == 0;
    ::close(fd);
    if (!open || ::link(buf.data(), os.c_str()) != 0) {
        // A file system without hard links: a plain create, opened up at once.
        int made = ::open(os.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (made >= 0) {
            ::fchmod(made, 0666);
            ::close(made);
        }
    }
    ::unlink(buf.data());
    textfile::SweepStaleTemps(os);
    return true;
}

// An fcntl lock on the lock file: it also works between computers on a
// shared folder whose file system passes such locks on.  Held while the
// object lives.  The lock file is writable for every account that shares
// the folder, whatever the creator's umask, since a lock file that only its
// creator may open would lock all others out.
class RosterLock {
public:
    RosterLock(const std::string& lockPath, Clock::time_point deadline) {
        const std::string os = textfile::OsPath(lockPath);
        for (;;) {
            fd_ = ::open(os.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
            if (fd_ >= 0) break;
            if (errno == ENOENT) {
                if (!CreateLockFile(os)) return;
                fd_ = ::open(os.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
                if (fd_ >= 0) break;
            }
            // Made by another account with a narrower mode (and being
            // opened up), or not to be made at all: try until the deadline.
            if (errno != EACCES && errno != ENOENT) return;
            if (Clock::now() >= deadline) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        struct stat st {};
        if (::fstat(fd_, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 0666) != 0666)
            ::fchmod(fd_, (st.st_mode & 07777) | 0666);
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        for (;;) {
            if (::fcntl(fd_, F_SETLK, &fl) == 0) {
                locked_ = true;
                return;
            }
            if (errno != EACCES && errno != EAGAIN && errno != EINTR) return;
            if (Clock::now() >= deadline) {
                busy_ = errno != EINTR;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    ~RosterLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    RosterLock(const RosterLock&) = delete;
    RosterLock& operator=(const RosterLock&) = delete;
    bool Locked() const { return locked_; }
    // Another writer held the lock the whole time waited.
    bool Busy() const { return busy_; }

private:
    int fd_ = -1;
    bool locked_ = false;
    bool busy_ = false;
};

}  // namespace

bool UpdateRosterFile(const std::string& path,
                      const std::function<void(std::vector<RosterEntry>&)>& change, int attempts) {
    std::mt19937 rng(std::random_device{}());
    // The whole update waits about two seconds at most: first for the lock,
    // then, should the lock be out of reach (a lock file nobody may open, a
    // file system without locks), by re-reading right before each rewrite
    // as the roster's writers did before there was a lock.  A lock that
    // another writer holds all that time is never written beside: its
    // holder's update would be lost.  The save fails then, and the person
    // may try again.
    const auto start = Clock::now();
    const auto lockDeadline = start + std::chrono::milliseconds(RosterLockWaitMs);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 100));
        RosterLock lock(RosterLockPath(path), lockDeadline);
        if (lock.Busy()) return false;
        std::vector<RosterEntry> entries;
        std::string bytes;
        if (textfile::ReadFileBytes(path, bytes)) {
            entries = ParseRoster(bytes);
        } else if (textfile::FileExists(path)) {
            continue;  // there but unreadable: try again, never overwrite it
        }
        change(entries);
        if (textfile::WriteFileAtomic(path, FormatRoster(entries))) return true;
    }
    return false;
}
