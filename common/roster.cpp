#include "roster.h"

#include "commatext.h"
#include "sjis.h"
#include "scramble.h"
#include "textfile.h"

#include <cerrno>
#include <cstdint>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

std::string TooManyLearnersMessage(const std::string& file) {
    return file + "\r\r" + sjis::L("名簿の人数が多すぎます（") + std::to_string(kMaxRosterLearners) +
           sjis::L(" 人まで）。") + "\r" + sjis::L("名簿は読み込みませんでした。");
}

}  // namespace

std::string TooManyLearnersToStore(size_t count) {
    return sjis::L("名簿の人数が多すぎます（") + std::to_string(count) + sjis::L(" 人）。") + "\r" +
           sjis::L("名簿に入れられるのは ") + std::to_string(kMaxRosterLearners) + sjis::L(" 人までです。");
}

std::string RosterStoreProblem(const std::vector<RosterEntry>& entries) {
    if (entries.size() > kMaxRosterLearners) return TooManyLearnersToStore(entries.size());
    // Each line is its three fields quoted, two commas and CR LF; the
    // scrambled password is as long as the password.
    uint64_t bytes = 0;
    for (const auto& e : entries) bytes += e.id.size() + e.name.size() + e.password.size() + 10;
    if (bytes <= textfile::kMaxReadBytes) return std::string();
    return sjis::L("名簿が大きすぎます（") + std::to_string(bytes) + sjis::L(" バイト）。") + "\r" +
           sjis::L("名簿ファイルは ") + std::to_string(textfile::kMaxReadBytes) + sjis::L(" バイト (") +
           std::to_string(textfile::kMaxReadBytes >> 20) + sjis::L(" MiB) までです。名前を短くするか、人数を減らしてください。");
}

bool ParseRoster(std::string bytes, std::vector<RosterEntry>& entries, std::string& message,
                 const std::string& file) {
    entries.clear();
    message.clear();
    sjis::TOutsideText text;
    if (sjis::LooksUtf16(bytes)) {
        text.Status = sjis::TOutsideText::Utf16;
        message = sjis::OutsideTextMessage(text, file);
        return false;
    }
    const bool mark = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    if (mark) bytes.erase(0, 3);
    // The fields are taken as they stand first: the password field holds
    // scrambled bytes, never text, and is never converted.  The line of
    // each learner is kept to name it should its text be refused.
    bool tooMany = false;
    std::vector<size_t> lineOf;
    size_t line = 0;
    textfile::ForEachLineBefore(bytes, '\x1A', [&](size_t b, size_t e) {
        ++line;
        if (b == e) return true;  // an empty line is no learner
        std::vector<std::string> f = commatext::Split(bytes.substr(b, e - b), 3);
        if (f.empty()) return true;
        if (entries.size() >= kMaxRosterLearners) {
            tooMany = true;
            return false;
        }
        f.resize(3);
        entries.push_back({std::move(f[0]), std::move(f[1]), std::move(f[2])});
        lineOf.push_back(line);
        return true;
    });
    if (tooMany) {
        std::vector<RosterEntry>().swap(entries);
        message = TooManyLearnersMessage(file);
        return false;
    }
    // A password is digits and letters, scrambled.  One that is not, but
    // becomes one from UTF-8, went through a tool that turned the whole
    // file into UTF-8: it is the one field ever converted back, and then
    // only so.  This system never writes such a field.
    const auto isPassword = [](const std::string& scrambled) {
        return RosterFieldFault({"", "", Scramble(scrambled, "decode")}) < 0;
    };
    const auto convertedPassword = [&](const std::string& raw, std::string& out) {
        return !isPassword(raw) && sjis::IsUtf8BeyondAscii(raw) && sjis::FromUtf8(raw, out) && isPassword(out);
    };
    // UTF-8 (as many editors save) is told by the IDs and names, and taken
    // only where they cannot be Shift-JIS (or a password field shows the
    // whole file was converted): a roster this system wrote always can be
    // Shift-JIS, whatever names it holds, and reads back as written.
    bool utf8 = mark;
    if (!mark) {
        bool convertedSeen = false;
        bool wide = false, wellFormed = true;
        std::string beyondAscii;  // the fields beyond ASCII, one a line: looked at once
        for (const auto& e : entries) {
            for (const std::string* field : {&e.id, &e.name}) {
                bool ascii = true;
                for (unsigned char c : *field)
                    if (c >= 0x80) ascii = false;
                if (ascii) continue;
                if (!sjis::IsUtf8BeyondAscii(*field)) wellFormed = false;
                else wide = true;
                beyondAscii += *field;
                beyondAscii += '\n';
            }
            if (!wellFormed) break;
            std::string ignored;
            if (!convertedSeen && convertedPassword(e.password, ignored)) convertedSeen = true;
        }
        utf8 = wide && wellFormed && (convertedSeen || !sjis::IsShiftJis(beyondAscii));
    }
    for (auto& e : entries) {
        std::string back;
        if (utf8 && convertedPassword(e.password, back)) e.password.swap(back);
        e.password = Scramble(e.password, "decode");
    }
    if (!utf8) return true;
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string id, name;
        if (!sjis::FromUtf8(entries[i].id, id) || !sjis::FromUtf8(entries[i].name, name)) {
            text.Status = sjis::TOutsideText::NoShiftJis;
            text.Line = lineOf[i];
            std::vector<RosterEntry>().swap(entries);
            message = sjis::OutsideTextMessage(text, file);
            return false;
        }
        entries[i].id = std::move(id);
        entries[i].name = std::move(name);
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

// Reads of a roster that may be being rewritten: up to this many, the
// second and each later one after a pause of one to two gaps.
constexpr int kRosterSettleReads = 10;
constexpr int kRosterSettleGapMs = 40;
// How long a rewrite in place seen under way is waited for.
constexpr int RosterRewriteWaitMs = 3000;

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
        // The lock file is in a folder that learners may write: whatever
        // they put there (a FIFO, a folder, a link) is opened without
        // waiting and, being no plain file, taken as no lock at all.
        const int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
        for (;;) {
            fd_ = ::open(os.c_str(), O_RDWR | flags);
            // A shared lock needs no more than reading.
            if (fd_ < 0 && shared && errno == EACCES) fd_ = ::open(os.c_str(), O_RDONLY | flags);
            if (fd_ >= 0) break;
            if (errno == ENOENT) {
                if (!CreateLockFile(os)) return;
                fd_ = ::open(os.c_str(), O_RDWR | flags);
                if (fd_ >= 0) break;
            }
            // Made by another account with a narrower mode (and being
            // opened up), or not to be made at all: try until the deadline.
            if (errno != EACCES && errno != ENOENT) return;
            if (Clock::now() >= deadline) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        if (st.st_uid == ::geteuid() && (st.st_mode & 0666) != 0666)
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

// How the roster is read: by a reader, by a writer holding the lock, or
// by a writer that could not have it.
enum class TRosterRead { Reader, Locked, Lockless };

// The roster's bytes as one writer left them.  False when the file cannot
// be read (missing among others).  A lock held proves nothing by itself: a
// writer kept from the lock past RosterLockWaitMs (by any account's
// process that holds it) rewrites without it, perhaps in place, so the
// file is read until two reads, some way apart, agree, neither of them
// made while a rewrite in place was marked (textfile::IsBeingRewritten);
// a rewrite seen under way is waited for, up to RosterRewriteWaitMs in
// all.  A reader holds a shared lock for its first read only (the writers
// that take the lock stay out meanwhile), so that logins never keep the
// lock from the writers while they wait between reads.  A writer holding
// the lock reads twice at once and waits between reads only when those
// differ: the lock is held briefly, for the other writers.
bool ReadWholeRoster(const std::string& path, std::string& bytes, TRosterRead how) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(RosterRewriteWaitMs);
    // One read; false when the file cannot be read.  whole tells that no
    // rewrite in place was under way when the read ended.
    const auto readOnce = [&](std::string& into, bool& whole) {
        if (!textfile::ReadFileBytes(path, into)) return false;
        whole = !textfile::IsBeingRewritten(path);
        return true;
    };
    bool whole = false;
    {
        std::unique_ptr<RosterLock> lock;
        if (how == TRosterRead::Reader)
            lock = std::make_unique<RosterLock>(RosterLockPath(path),
                                                Clock::now() + std::chrono::milliseconds(RosterLockWaitMs), true);
        if (!readOnce(bytes, whole)) return false;
    }
    std::mt19937 rng(std::random_device{}());
    std::string again;
    bool pause = how != TRosterRead::Locked || !whole;
    bool sawRewrite = !whole;
    for (int read = 1; read < kRosterSettleReads || (sawRewrite && Clock::now() < deadline); ++read) {
        // The pause is long enough for any running writer to move on, so
        // that two reads of one file half rewritten seldom agree.
        if (pause)
            std::this_thread::sleep_for(std::chrono::milliseconds(kRosterSettleGapMs + rng() % kRosterSettleGapMs));
        pause = true;
        const bool wholeBefore = whole;
        if (!readOnce(again, whole)) return false;
        sawRewrite = sawRewrite || !whole;
        if (whole && wholeBefore && again == bytes) return true;
        bytes.swap(again);
    }
    bytes.clear();
    return false;
}

// Why the roster at path, there but not read, could not be: a message
// naming the file and the reason, lines separated by CR.  Empty when there
// is no file at all.
std::string UnreadableRosterMessage(const std::string& path) {
    const std::string os = textfile::OsPath(path);
    struct stat st {};
    if (::lstat(os.c_str(), &st) != 0 && errno == ENOENT) return std::string();
    std::string reason;
    if (::stat(os.c_str(), &st) != 0)
        reason = errno == EACCES ? "名簿ファイルを読む許可 (permission) がありません。"
                                 : "名簿ファイルを開けません。";
    else if (S_ISDIR(st.st_mode))
        reason = "名簿ファイルの名前のものがフォルダーです。";
    else if (!S_ISREG(st.st_mode))
        reason = "名簿ファイルが普通のファイルではありません。";
    else if (::access(os.c_str(), R_OK) != 0)
        reason = "名簿ファイルを読む許可 (permission) がありません。";
    else if (uint64_t(st.st_size) > textfile::kMaxReadBytes)
        reason = "名簿ファイルが大きすぎます。";
    else
        reason = "名簿ファイルを読めません（読み込みに失敗したか、書き換えが終わりません）。";
    return path + "\r\r" + sjis::L(reason.c_str()) + "\r" +
           sjis::L("名簿を読めるようにするまで、だれもログインできません。");
}

}  // namespace

bool ReadRoster(const std::string& path, std::vector<RosterEntry>& entries, std::string* message) {
    std::string bytes, why;
    entries.clear();
    if (message) message->clear();
    if (!ReadWholeRoster(path, bytes, TRosterRead::Reader)) {
        // A roster there but not read must stop the logins as a refused
        // one does: read as empty, every learner would count as new.
        if (message) *message = UnreadableRosterMessage(path);
        return false;
    }
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
    // as the roster's writers did before there was a lock.  A lock held
    // all that time does the same: no other account may stop the saves.
    const auto start = Clock::now();
    const auto lockDeadline = start + std::chrono::milliseconds(RosterLockWaitMs);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 100));
        // A lock held all the wait is no writer of ours (a save holds it
        // for milliseconds): it may be any account's process that keeps it
        // to stop the saves.  The update goes on as without a lock.
        RosterLock lock(RosterLockPath(path), lockDeadline);
        std::vector<RosterEntry> entries;
        std::string bytes;
        // Even under the lock the file may be met half rewritten by a writer
        // that went on without it: the reads settle it.
        if (ReadWholeRoster(path, bytes, lock.Locked() ? TRosterRead::Locked : TRosterRead::Lockless)) {
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
        const std::string tooBig = RosterStoreProblem(entries);
        if (!tooBig.empty()) {
            // No reader would take it: the file stays as it is.
            if (why) *why = tooBig;
            return false;
        }
        if (textfile::WriteFileAtomic(path, FormatRoster(entries))) return true;
    }
    if (why) *why = RosterPermissionProblem(path);
    return false;
}
