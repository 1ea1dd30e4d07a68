#include "roster.h"

#include "commatext.h"
#include "scramble.h"
#include "textfile.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <random>
#include <thread>
#include <unistd.h>

std::vector<RosterEntry> ParseRoster(const std::string& bytes) {
    std::vector<RosterEntry> entries;
    std::vector<std::string> lines = textfile::SplitRecordLines(bytes);
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

// An fcntl lock on the lock file: it also works between computers on a
// shared folder whose file system passes such locks on.  Held while the
// object lives.
class RosterLock {
public:
    explicit RosterLock(const std::string& lockPath) {
        fd_ = ::open(textfile::OsPath(lockPath).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) return;
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        // Wait up to about ten seconds for the others, never forever.
        for (int i = 0; i < 2000; ++i) {
            if (::fcntl(fd_, F_SETLK, &fl) == 0) {
                locked_ = true;
                return;
            }
            if (errno != EACCES && errno != EAGAIN && errno != EINTR) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~RosterLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    bool Locked() const { return locked_; }

private:
    int fd_ = -1;
    bool locked_ = false;
};

}  // namespace

bool UpdateRosterFile(const std::string& path,
                      const std::function<void(std::vector<RosterEntry>&)>& change, int attempts) {
    std::mt19937 rng(std::random_device{}());
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 100));
        RosterLock lock(RosterLockPath(path));
        if (!lock.Locked()) continue;
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
