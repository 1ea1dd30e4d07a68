#include "textfile.h"

#include "sjis.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <dirent.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <ctime>
#include <mutex>
#include <unordered_map>
#include <sys/stat.h>
#include <unistd.h>

namespace textfile {

std::string OsPath(const std::string& path) {
    for (unsigned char c : path)
        if (c >= 0x80) return sjis::ToUtf8(path);
    return path;
}

int OpenPlainFile(const std::string& path, struct stat& st) {
    const int fd = ::open(OsPath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ReadFileBytes(const std::string& path, std::string& out, uint64_t maxBytes) {
    out.clear();
    struct stat st {};
    int fd = OpenPlainFile(path, st);
    if (fd < 0) return false;
    if (uint64_t(st.st_size) > maxBytes) {
        ::close(fd);
        return false;
    }
    out.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (n == 0) {
            ::close(fd);
            return true;
        }
        // A file that grows while it is read is held to the same limit.
        if (out.size() + static_cast<uint64_t>(n) > maxBytes) break;
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    out.clear();
    out.shrink_to_fit();
    return false;
}

namespace {

// Lines ending at CR LF, CR or LF; the text ends at the first stop byte.
// False once more than maxLines lines are found (lines then holds the first
// maxLines).
bool SplitAtAnyLineEnd(const std::string& text, char stop, std::vector<std::string>& lines,
                       size_t maxLines = SIZE_MAX) {
    lines.clear();
    bool within = true;
    ForEachLineBefore(text, stop, [&](size_t b, size_t e) {
        if (lines.size() == maxLines) return within = false;
        lines.emplace_back(text, b, e - b);
        return true;
    });
    return within;
}

std::vector<std::string> SplitAtAnyLineEnd(const std::string& text, char stop) {
    std::vector<std::string> lines;
    SplitAtAnyLineEnd(text, stop, lines);
    return lines;
}

// SplitRecordLines into at most maxLines lines.
void SplitRecordLinesUpTo(const std::string& text, size_t maxLines, std::vector<std::string>& lines) {
    lines.clear();
    size_t end = text.find('\x1A');
    if (end == std::string::npos) end = text.size();
    size_t i = 0;
    while (i < end && lines.size() < maxLines) {
        size_t start = i;
        while (i < end && text[i] != '\r') ++i;
        lines.emplace_back(text, start, i - start);
        if (i < end) {
            ++i;  // the CR
            if (i < end && text[i] == '\n') ++i;
        }
    }
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text) { return SplitAtAnyLineEnd(text, '\0'); }

std::vector<std::string> SplitRecordLines(const std::string& text) {
    std::vector<std::string> lines;
    SplitRecordLinesUpTo(text, SIZE_MAX, lines);
    return lines;
}

bool SplitLinesUpTo(const std::string& text, size_t maxLines, std::vector<std::string>& lines) {
    if (SplitAtAnyLineEnd(text, '\0', lines, maxLines)) return true;
    std::vector<std::string>().swap(lines);
    return false;
}

bool ReadRecordHead(const std::string& path, size_t maxLines, size_t maxBytes, std::vector<std::string>& lines,
                    bool* whole) {
    lines.clear();
    if (whole) *whole = false;
    struct stat st {};
    int fd = OpenPlainFile(path, st);
    if (fd < 0) return false;
    // One byte more than the bound tells whether the file goes on.
    const size_t want = maxBytes < SIZE_MAX ? maxBytes + 1 : maxBytes;
    std::string head;
    head.resize(std::min<uint64_t>(want, std::max<uint64_t>(uint64_t(st.st_size), 1) + 1));
    size_t got = 0;
    bool ok = true;
    while (got < want) {
        if (got == head.size()) head.resize(std::min(want, head.size() * 2));
        ssize_t n = ::read(fd, &head[got], head.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (!ok) return false;
    const bool cut = got > maxBytes;
    head.resize(std::min(got, maxBytes));
    // One line more than asked tells whether more lines follow.
    SplitRecordLinesUpTo(head, maxLines < SIZE_MAX ? maxLines + 1 : maxLines, lines);
    const bool moreLines = lines.size() > maxLines;
    if (moreLines) lines.resize(maxLines);
    if (whole) *whole = !cut && !moreLines;
    return true;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string out;
    size_t total = 0;
    for (const auto& l : lines) total += l.size() + 2;
    out.reserve(total);
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

namespace {
std::function<bool(bool)> midWriteHook;
}  // namespace

void SetMidWriteHookForTest(std::function<bool(bool inPlace)> hook) { midWriteHook = std::move(hook); }

bool WriteAll(int fd, const std::string& data, bool inPlace) {
    size_t done = 0;
    // A test may stop the writer halfway (once), or fail it there.
    size_t pauseAt = midWriteHook && data.size() > 1 ? data.size() / 2 : data.size();
    while (done < data.size()) {
        if (done == pauseAt) {
            pauseAt = data.size();
            if (!midWriteHook(inPlace)) return false;
        }
        const size_t part = (done < pauseAt ? pauseAt : data.size()) - done;
        ssize_t n = ::write(fd, data.data() + done, part);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

namespace {

// A new file gets the usual mode, and in a folder that a group or everyone
// may write (a folder shared by several accounts) the same group or
// everyone may write the file too: the next account could neither replace
// it (in a sticky folder) nor rewrite it otherwise.
// The process's umask, read without changing it: setting it to read it
// back would, for a moment, give files that other threads make (media,
// plug-ins) the widest mode.
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 6, "Umask:") == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    const mode_t mask = ::umask(0);  // no /proc: the brief change after all
    ::umask(mask);
    return mask;
}

mode_t NewFileMode(const std::string& dir) {
    const mode_t mask = CurrentUmask();
    mode_t mode = static_cast<mode_t>(0666 & ~mask);
    struct stat st {};
    if (::stat(dir.empty() ? "." : dir.c_str(), &st) == 0) {
        if (st.st_mode & S_IWGRP) mode |= 0660;
        if (st.st_mode & S_IWOTH) mode |= 0666;
    }
    return mode;
}

bool CloseFd(int fd) { return ::close(fd) == 0 || errno == EINTR; }

// Takes the lock that marks a rewrite in place (see IsBeingRewritten):
// an exclusive lock of the open file description, released by its close.
void HoldRewriteLock(int fd) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
#ifdef F_OFD_SETLK
    if (::fcntl(fd, F_OFD_SETLK, &fl) == 0 || errno != EINVAL) return;
#endif
    ::fcntl(fd, F_SETLK, &fl);
}

// Rewrites an existing file in its place: used where the folder lets
// nobody replace it, so that the file, writable as it is, still takes the
// save.  The new size is reserved first, so that a full disk refuses the
// save before a byte changes; should a write fail all the same, the old
// bytes are put back.  A reader may meet the file half written (the
// roster's readers and writers take its lock against that).
bool RewriteInPlace(const std::string& target, const std::string& data, TFlush flush) {
    const int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    int fd = ::open(target.c_str(), O_RDWR | flags);
    const bool readable = fd >= 0;
    if (fd < 0) fd = ::open(target.c_str(), O_WRONLY | flags);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    // The old bytes, to put back after a failed write.  A file that cannot
    // be read back is rewritten only once its room is reserved.
    std::string old;
    bool haveOld = false;
    if (readable && uint64_t(st.st_size) <= kMaxReadBytes) {
        old.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < old.size()) {
            const ssize_t n = ::pread(fd, &old[got], old.size() - got, static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        haveOld = got == old.size();
    }
    // Readers that look (the roster's) see the rewrite under way by this
    // lock on the file itself, held until the file is whole again.  Where it
    // cannot be had at once, the rewrite goes on without it.
    HoldRewriteLock(fd);
    if (!data.empty()) {
        const int err = ::posix_fallocate(fd, 0, static_cast<off_t>(data.size()));
        // A file system that reserves nothing ahead still takes the write,
        // when the old bytes can be put back.
        if (err != 0 && !((err == EOPNOTSUPP || err == EINVAL) && haveOld)) {
            ::close(fd);
            errno = err;
            return false;
        }
    }
    bool ok = ::lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, data, true) &&
              ::ftruncate(fd, static_cast<off_t>(data.size())) == 0 &&
              (flush == TFlush::NoSync || ::fsync(fd) == 0);
    if (!ok && haveOld) {
        // Back to the old bytes: they fit where they were.
        size_t put = 0;
        while (put < old.size()) {
            const ssize_t n = ::pwrite(fd, old.data() + put, old.size() - put, static_cast<off_t>(put));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            put += static_cast<size_t>(n);
        }
        if (put == old.size() && ::ftruncate(fd, static_cast<off_t>(old.size())) == 0) ::fsync(fd);
    }
    return CloseFd(fd) && ok;
}

// A temporary name of the target named name: "." + name + "." + six
// characters + ".tmp".
bool IsTempOf(const std::string& entry, const std::string& name) {
    const size_t want = 1 + name.size() + 1 + 6 + 4;
    return entry.size() == want && entry[0] == '.' && entry.compare(1, name.size(), name) == 0 &&
           entry[1 + name.size()] == '.' && entry.compare(want - 4, 4, ".tmp") == 0;
}

}  // namespace

int SweepStaleTemps(const std::string& osPath) {
    std::string dir = ExtractFilePath(osPath);
    std::string name = ExtractFileName(osPath);
    if (name.empty()) return 0;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return 0;
    const time_t now = ::time(nullptr);
    int removed = 0;
    while (dirent* e = ::readdir(d)) {
        if (!IsTempOf(e->d_name, name)) continue;
        std::string p = dir + e->d_name;
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (now - st.st_mtime <= StaleTempSeconds) continue;
        if (::unlink(p.c_str()) == 0) ++removed;
    }
    ::closedir(d);
    return removed;
}

int SweepStaleTempsIfDue(const std::string& osPath) {
    // When each target was last swept, by the monotonic clock.  A results
    // file is replaced at every step of every learner in a folder that may
    // hold thousands of entries: listing it each time would cost more than
    // the write.  A temporary that a killed writer leaves is stale only
    // after StaleTempSeconds anyway, so one sweep per target in that time
    // removes every one as soon as a sweep would.
    static std::mutex lock;
    static std::unordered_map<std::string, time_t> lastSweep;
    const size_t kMaxTargets = 4096;
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    {
        std::lock_guard<std::mutex> guard(lock);
        const auto it = lastSweep.find(osPath);
        if (it != lastSweep.end() && now.tv_sec - it->second < StaleTempSeconds) return 0;
        if (lastSweep.size() >= kMaxTargets) lastSweep.clear();
        lastSweep[osPath] = now.tv_sec;
    }
    return SweepStaleTemps(osPath);
}

bool IsBeingRewritten(const std::string& path) {
    struct stat st {};
    const int fd = OpenPlainFile(path, st);
    if (fd < 0) return false;
    struct flock fl {};
    fl.l_type = F_RDLCK;
    fl.l_whence = SEEK_SET;
    bool asked = false;
#ifdef F_OFD_GETLK
    asked = ::fcntl(fd, F_OFD_GETLK, &fl) == 0;
#endif
    if (!asked) {
        fl = {};
        fl.l_type = F_RDLCK;
        fl.l_whence = SEEK_SET;
        asked = ::fcntl(fd, F_GETLK, &fl) == 0;
    }
    ::close(fd);
    return asked && fl.l_type == F_WRLCK;
}

bool WriteFileAtomic(const std::string& path, const std::string& data, TFlush flush) {
    const std::string target = OsPath(path);
    std::string dir = ExtractFilePath(target);
    std::string name = ExtractFileName(target);
    if (name.empty()) return false;
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) return false;
    // A writer killed between creating and renaming its temporary file
    // leaves it behind; the next writer of the same file clears it away.
    if (exists) SweepStaleTempsIfDue(target);
    std::string tmpl = dir + "." + name + ".XXXXXX.tmp";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    int fd = ::mkstemps(buf.data(), 4);
    if (fd < 0) {
        // A folder we may not write: the file itself may still take it.
        return exists && (errno == EACCES || errno == EPERM || errno == EROFS) &&
               RewriteInPlace(target, data, flush);
    }
    std::string tmp(buf.data());
    // Keep the mode of the file we replace, so that a shared file stays
    // writable for the others.
    mode_t mode = exists ? (st.st_mode & 07777) : NewFileMode(dir);
    bool ok = WriteAll(fd, data);
    ok = (::fchmod(fd, mode) == 0) && ok;
    if (flush == TFlush::Sync) ok = ok && ::fsync(fd) == 0;
    ok = CloseFd(fd) && ok;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    if (::rename(tmp.c_str(), target.c_str()) == 0) return true;
    const int err = errno;
    ::unlink(tmp.c_str());
    // A sticky folder lets no one replace another account's file, though
    // the file may be writable for all.
    return exists && (err == EACCES || err == EPERM) && RewriteInPlace(target, data, flush);
}

std::string ResolveName(const std::string& folder, const std::string& name) {
    std::string rel = name;
    for (char& c : rel)
        if (c == '\\') c = '/';
    std::string exact = !rel.empty() && rel[0] == '/' ? rel : folder + rel;
    struct stat st {};
    if (::stat(OsPath(exact).c_str(), &st) == 0) return exact;
    // Walk level by level, matching each name without regard to case.
    std::string path = !rel.empty() && rel[0] == '/' ? "/" : folder;
    size_t start = !rel.empty() && rel[0] == '/' ? 1 : 0;
    while (start <= rel.size()) {
        size_t slash = rel.find('/', start);
        std::string part = rel.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        start = slash == std::string::npos ? rel.size() + 1 : slash + 1;
        if (part.empty()) continue;
        std::string found;
        if (DIR* d = ::opendir(OsPath(path.empty() ? "./" : path).c_str())) {
            while (dirent* e = ::readdir(d)) {
                std::string entry;
                if (sjis::FromUtf8(e->d_name, entry) && sjis::EqualsIgnoreCase(entry, part)) {
                    found = entry;
                    if (entry == part) break;
                }
            }
            ::closedir(d);
        }
        if (found.empty()) return exact;
        path += found;
        if (slash != std::string::npos) path += "/";
    }
    return path;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(OsPath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(OsPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ExtractFilePath(const std::string& path) {
    size_t p = path.rfind('/');
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string ExtractFileName(const std::string& path) {
    size_t p = path.rfind('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

bool CreateDir(const std::string& path) {
    const std::string os = OsPath(path);
    if (::mkdir(os.c_str(), 0777) != 0) return errno == EEXIST && DirectoryExists(path);
    // In a folder shared by several accounts (a learner's folder in the
    // score folder), the group or everyone who may write the parent may
    // write the new folder too, and a sticky parent's protection holds in
    // it as well: another account must still be able to save there.
    std::string parent = os;
    while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
    const size_t slash = parent.rfind('/');
    parent = slash == std::string::npos ? "." : slash == 0 ? "/" : parent.substr(0, slash);
    struct stat up {}, made {};
    if (::stat(parent.c_str(), &up) == 0 && ::stat(os.c_str(), &made) == 0) {
        mode_t mode = made.st_mode & 07777;
        if (up.st_mode & S_IWGRP) mode |= 0770;
        if (up.st_mode & S_IWOTH) mode |= 0777;
        if (up.st_mode & S_ISVTX) mode |= S_ISVTX;
        if (mode != (made.st_mode & 07777)) ::chmod(os.c_str(), mode);
    }
    return true;
}

bool DeleteFile(const std::string& path) {
    return ::unlink(OsPath(path).c_str()) == 0 || errno == ENOENT;
}

}  // namespace textfile
