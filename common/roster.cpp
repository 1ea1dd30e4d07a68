#include "roster.h"

#include "commatext.h"
#include "sjis.h"
#include "scramble.h"
#include "textfile.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// UTF-8 is told by the IDs and names alone: a password field holds
// scrambled bytes, which in a roster of ours may well look like UTF-8.
bool IdsAndNamesLookUtf8(const std::string& bytes) {
    bool wide = false, wellFormed = true;
    textfile::ForEachLineBefore(bytes, '\x1A', [&](size_t b, size_t e) {
        const std::vector<std::string> f = commatext::Split(bytes.substr(b, e - b), 2);
        for (const auto& field : f) {
            bool ascii = true;
            for (unsigned char c : field)
                if (c >= 0x80) ascii = false;
            if (ascii) continue;
            if (!sjis::IsUtf8BeyondAscii(field)) {
                wellFormed = false;
                return false;
            }
            wide = true;
        }
        return true;
    });
    return wide && wellFormed;
}

std::string TooManyLearnersMessage(const std::string& file) {
    return file + "\r\r" + sjis::L("名簿の人数が多すぎます（") + std::to_string(kMaxRosterLearners) +
           sjis::L(" 人まで）。") + "\r" + sjis::L("名簿は読み込みませんでした。");
}

}  // namespace

bool ParseRoster(std::string bytes, std::vector<RosterEntry>& entries, std::string& message,
                 const std::string& file) {
    entries.clear();
    message.clear();
    const sjis::TOutsideText text = sjis::DecodeOutsideText(bytes, IdsAndNamesLookUtf8);
    if (text.Status != sjis::TOutsideText::Ok) {
        message = sjis::OutsideTextMessage(text, file);
        return false;
    }
    bool tooMany = false;
    textfile::ForEachLineBefore(bytes, '\x1A', [&](size_t b, size_t e) {
        if (b == e) return true;  // an empty line is no learner
        std::vector<std::string> f = commatext::Split(bytes.substr(b, e - b), 3);
        if (f.empty()) return true;
        if (entries.size() >= kMaxRosterLearners) {
            tooMany = true;
            return false;
        }
        f.resize(3);
        entries.push_back({std::move(f[0]), std::move(f[1]), Scramble(f[2], "decode")});
        return true;
    });
    if (tooMany) {
        std::vector<RosterEntry>().swap(entries);
        message = TooManyLearnersMessage(file);
        return false;
    }
    return true;
}

std::vector<RosterEntry> ParseRoster(const std::string& bytes) {
    std::vector<RosterEntry> entries;
    std::string message;
    ParseRoster(bytes, entries, message);
    return entries;
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
// A reader takes a shared lock (readers do not keep one another out),
// a writer an exclusive one.
class RosterLock {
public:
    RosterLock(const std::string& lockPath, Clock::time_point deadline, bool shared = false) {
        const std::string os = textfile::OsPath(lockPath);
        for (;;) {
            fd_ = ::open(os.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
            // A shared lock needs no more than reading.
            if (fd_ < 0 && shared && errno == EACCES) fd_ = ::open(os.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
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
        fl.l_type = shared ? F_RDLCK : F_WRLCK;
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

namespace {

// The roster's bytes as one writer left them.  False when the file cannot
// be read (missing among others).  Without tryLock (a writer that could
// not have the lock) the reads alone decide.
bool ReadWholeRoster(const std::string& path, std::string& bytes, bool tryLock = true) {
    if (tryLock) {
        RosterLock lock(RosterLockPath(path), Clock::now() + std::chrono::milliseconds(RosterLockWaitMs), true);
        if (lock.Locked()) return textfile::ReadFileBytes(path, bytes);
    }
    // No lock to be had: a writer that rewrites the file in place may be
    // halfway; two reads in a row that agree are taken as the whole file.
    std::mt19937 rng(std::random_device{}());
    std::string again;
    if (!textfile::ReadFileBytes(path, bytes)) return false;
    for (int read = 1; read < 10; ++read) {
        if (!textfile::ReadFileBytes(path, again)) return false;
        if (again == bytes) return true;
        bytes.swap(again);
        std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 100));
    }
    bytes.clear();
    return false;
}

}  // namespace

bool ReadRoster(const std::string& path, std::vector<RosterEntry>& entries, std::string* message) {
    std::string bytes, why;
    entries.clear();
    if (message) message->clear();
    if (!ReadWholeRoster(path, bytes)) return false;
    const bool ok = ParseRoster(std::move(bytes), entries, why, path);
    if (message) *message = why;
    return ok;
}

std::string RosterPermissionProblem(const std::string& path) {
    const std::string os = textfile::OsPath(path);
    const std::string folder = textfile::ExtractFilePath(path);
    struct stat st {};
    if (::stat(os.c_str(), &st) == 0) {
        if (::access(os.c_str(), W_OK) == 0) return std::string();
        return sjis::L("名簿ファイルに書き込む許可 (permission) がありません。") + "\r\r" + path + "\r\r" +
               sjis::L("名簿を共有するどのアカウントも書けるように、ファイルのモードを 0666 にしてください") +
               "\r" + sjis::L("（例: chmod 666 ruzozu.mib）。");
    }
    const std::string dir = textfile::OsPath(folder.empty() ? "./" : folder);
    if (::access(dir.c_str(), W_OK) == 0) return std::string();
    return sjis::L("名簿のフォルダーにファイルを作る許可 (permission) がありません。") + "\r\r" + folder +
           "\r\r" + sjis::L("共有するフォルダーのモードを 1777 にしてください（例: chmod 1777 フォルダー）。");
}

int RosterFieldFault(const RosterEntry& e) {
    const auto alnum = [](const std::string& s) {
        for (unsigned char c : s)
            if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
        return true;
    };
    if (!alnum(e.id)) return 0;
    for (unsigned char c : e.name)
        if (c == '"' || c < 0x20 || c == 0x7F) return 1;
    if (!alnum(e.password)) return 2;
    return -1;
}

bool UpdateRosterFile(const std::string& path,
                      const std::function<void(std::vector<RosterEntry>&)>& change, int attempts,
                      std::string* why) {
    if (why) why->clear();
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
        if (lock.Locked() ? textfile::ReadFileBytes(path, bytes) : ReadWholeRoster(path, bytes, false)) {
            std::string refused;
            if (!ParseRoster(std::move(bytes), entries, refused, path)) {
                // A roster we cannot read right is never written over.
                if (why) *why = refused;
                return false;
            }
        } else if (textfile::FileExists(path)) {
            continue;  // there but unreadable: try again, never overwrite it
        }
        change(entries);
        if (textfile::WriteFileAtomic(path, FormatRoster(entries))) return true;
    }
    if (why) *why = RosterPermissionProblem(path);
    return false;
}
