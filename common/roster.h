// The roster of learners ("ruzozu.mib"): one learner a line, written as
// "ID","name","scrambled password" with CR LF.  Nothing is escaped.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct RosterEntry {
    std::string id;
    std::string name;
    std::string password;  // plain text in memory
};

// Parses the roster's bytes.  Lines end at CR LF, CR or a lone LF (a
// roster made with a text editor or a script).  Every line gives exactly one learner: fields
// after the third are dropped and missing ones are empty, so a damaged line
// never shifts the learners after it.  An empty file reads as one learner
// with three empty fields.
std::vector<RosterEntry> ParseRoster(const std::string& bytes);

// Reads the roster file; false when it cannot be read (entries are then
// empty).
bool ReadRoster(const std::string& path, std::vector<RosterEntry>& entries);

// One roster line without its line end.
std::string FormatRosterLine(const RosterEntry& entry);

// The whole file's bytes, each line ended by CR LF.
std::string FormatRoster(const std::vector<RosterEntry>& entries);

// Changes the roster file at path safely while other computers and
// accounts may change it too: an advisory lock on a lock file beside it
// (writable for every account) keeps two updates from interleaving, the
// file is read again under the lock, `change` edits the entries, and the
// file is replaced whole.  The lock is waited for RosterLockWaitMs at most
// in all; where no lock can be had at all, each try still re-reads the
// file right before the rewrite.  Up to `attempts` tries are made, with
// random pauses of 0 to 99 ms between them.  A lock another writer holds
// for the whole wait fails the update (nothing is written).  A missing
// file reads as no learners.  Returns whether the change was written.
bool UpdateRosterFile(const std::string& path,
                      const std::function<void(std::vector<RosterEntry>&)>& change,
                      int attempts = 10);

constexpr int RosterLockWaitMs = 1500;

// The lock file that guards the roster at path.
std::string RosterLockPath(const std::string& path);
