// Reading and writing the system's text files.
#pragma once

#include <cstdint>
#include "input_limits.h"
#include <functional>
#include <string>
#include <sys/stat.h>
#include <vector>

// Paths are Shift-JIS like every other text of the system; they are
// turned into the file system's UTF-8 names only here, at the system call.
namespace textfile {

// The name on disk of a Shift-JIS path.
std::string OsPath(const std::string& path);

// Opens path for reading when it is a plain file, without waiting (the open
// of a FIFO would wait for a writer, forever): the descriptor, with the
// file's status in st, or -1 when it is no plain file or cannot be opened.
int OpenPlainFile(const std::string& path, struct stat& st);

inline constexpr uint64_t kMaxReadBytes = input_limits::kMaxReadBytes;

// Reads a whole file as bytes.  False when it cannot be opened or read,
// when it is no plain file (a FIFO or device named as a file is never
// waited on) or when it holds more than maxBytes.
bool ReadFileBytes(const std::string& path, std::string& out, uint64_t maxBytes = kMaxReadBytes);

// Splits text into lines the way a problem file is read: lines end at
// CR LF, CR or LF, and a NUL byte ends the text.  A last line without a
// line end is kept; a trailing line end makes no extra empty line.
std::vector<std::string> SplitLines(const std::string& text);

// Splits text into lines by the text-file rules shared by the settings,
// progress and roster files: a line ends at CR (one LF right after it is
// skipped), a lone LF stays inside the line, and byte 0x1A ends the file.
std::vector<std::string> SplitRecordLines(const std::string& text);

// Calls f(begin, end) for each line of text[0, first stop byte), one at a
// time and without storing any, until f returns false: a line ends at
// CR LF, at CR or at a lone LF; a trailing line end makes no extra empty
// line.
template <class F>
void ForEachLineBefore(const std::string& text, char stop, F f) {
    size_t end = text.find(stop);
    if (end == std::string::npos) end = text.size();
    size_t i = 0;
    while (i < end) {
        const size_t start = i;
        while (i < end && text[i] != '\r' && text[i] != '\n') ++i;
        if (!f(start, i)) return;
        if (i < end && text[i] == '\r') ++i;
        if (i < end && text[i] == '\n') ++i;
    }
}

// Reads only the head of a file by the rules of SplitRecordLines: at most
// its first maxBytes bytes, split into at most maxLines lines; nothing
// after them is read or kept, whatever the file holds.  A line cut by the
// byte bound is kept as far as it was read.  whole (when given) tells
// whether the file ended within both bounds.  False when the file cannot
// be opened or read or is no plain file.
bool ReadRecordHead(const std::string& path, size_t maxLines, size_t maxBytes, std::vector<std::string>& lines,
                    bool* whole = nullptr);

// Splits text like SplitLines into at most maxLines lines.  False, with
// lines emptied (and their memory given back), when the text holds more.
bool SplitLinesUpTo(const std::string& text, size_t maxLines, std::vector<std::string>& lines);

// Joins lines, each ended by CR LF.
std::string JoinLines(const std::vector<std::string>& lines);

// Whether a replacement waits until its data is on the disk.
enum class TFlush { Sync, NoSync };

// Replaces the file at path whole: the data is written to a temporary file
// in the same folder, flushed to the disk (TFlush::Sync) and renamed over
// path, so that a reader on another computer sees either the old or the
// new file, never half of one.  A replaced file keeps its mode; a new one
// is writable for whoever may write its folder (group, everyone) besides
// the usual mode.  The temporary name is "." + name +
// ".XXXXXX.tmp"; temporary files of the same target older than
// StaleTempSeconds (left by a writer that was killed) are removed, by the
// first replacement of the target in this process and then once per
// StaleTempSeconds (SweepStaleTempsIfDue).
//
// Where the folder refuses the rename or the temporary file (a sticky
// folder holding another account's file, a folder without write
// permission) but the file itself is writable, the file is rewritten in
// place instead, under an exclusive lock on the file itself (see
// IsBeingRewritten): its new size is reserved first and a failed write puts
// the old bytes back, so that the file holds the old or the new data, never
// part of one.  Returns false on any failure; the old file then stays as it
// was.
bool WriteFileAtomic(const std::string& path, const std::string& data, TFlush flush = TFlush::Sync);

// Whether a rewrite in place (see WriteFileAtomic) is under way on the
// file at path: the rewriter holds an exclusive lock on the file itself
// until the file is whole again.  Only an account that may write the file
// can take that lock.  False for a file that cannot be opened.
bool IsBeingRewritten(const std::string& path);

// A temporary file this old belongs to no live writer.
constexpr int StaleTempSeconds = 600;

// Removes the temporary files of the target at path (UTF-8 name on disk)
// that are older than StaleTempSeconds.  Returns how many were removed.
int SweepStaleTemps(const std::string& osPath);
// The same, done at most once per StaleTempSeconds for one target in this
// process (the first call for a target sweeps); 0 when not due.
int SweepStaleTempsIfDue(const std::string& osPath);

// Small path helpers for "/"-separated paths.
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Folder part of path with its trailing "/" ("" when there is none).
std::string ExtractFilePath(const std::string& path);
// Name part of path.
std::string ExtractFileName(const std::string& path);
// Finds a file named by a problem file (made on Windows): "\\" separates
// folders, the exact spelling is tried first, then each level without
// regard to the case of ASCII letters.  A relative name is taken in
// folder.  Returns the path found, or the name as given when none is.
std::string ResolveName(const std::string& folder, const std::string& name);

// Writes all of data to an open file descriptor; false on an error.
// inPlace tells a test's hook that the data rewrites a file in its place.
bool WriteAll(int fd, const std::string& data, bool inPlace = false);

// For tests: hook is called once halfway through each later WriteAll of
// more than one byte (inPlace as given there); returning false fails that
// write there, as a full disk would.  An empty function removes it.
void SetMidWriteHookForTest(std::function<bool(bool inPlace)> hook);

// Creates one folder; true when it exists afterwards.
bool CreateDir(const std::string& path);
// Deletes a file; true when it is gone afterwards (a missing file counts).
bool DeleteFile(const std::string& path);

}  // namespace textfile
