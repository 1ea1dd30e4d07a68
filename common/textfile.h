// Reading and writing the system's text files.
#pragma once

#include <string>
#include <vector>

// Paths are Shift-JIS like every other text of the system; they are
// turned into the file system's UTF-8 names only here, at the system call.
namespace textfile {

// The name on disk of a Shift-JIS path.
std::string OsPath(const std::string& path);

// Reads a whole file as bytes.  False when it cannot be opened or read.
bool ReadFileBytes(const std::string& path, std::string& out);

// Splits text into lines the way a problem file is read: lines end at
// CR LF, CR or LF, and a NUL byte ends the text.  A last line without a
// line end is kept; a trailing line end makes no extra empty line.
std::vector<std::string> SplitLines(const std::string& text);

// Splits text into lines by the text-file rules shared by the settings,
// progress and roster files: a line ends at CR (one LF right after it is
// skipped), a lone LF stays inside the line, and byte 0x1A ends the file.
std::vector<std::string> SplitRecordLines(const std::string& text);

// Reads a file with SplitRecordLines.  False when it cannot be read.
bool ReadRecordLines(const std::string& path, std::vector<std::string>& lines);

// Joins lines, each ended by CR LF.
std::string JoinLines(const std::vector<std::string>& lines);

// Replaces the file at path whole: the data is written to a temporary file
// in the same folder, which is then renamed over path, so that a reader on
// another computer sees either the old or the new file, never half of one.
// The temporary name begins with "." and ends with ".tmp".  Returns false
// (and leaves the old file as it was) on any failure.
bool WriteFileAtomic(const std::string& path, const std::string& data);

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
bool WriteAll(int fd, const std::string& data);

// Creates one folder; true when it exists afterwards.
bool CreateDir(const std::string& path);
// Deletes a file; true when it is gone afterwards (a missing file counts).
bool DeleteFile(const std::string& path);

}  // namespace textfile
