// The roster of learners ("ruzozu.mib"): one learner a line, written as
// "ID","name","scrambled password" with CR LF.  Nothing is escaped.
#pragma once

#include "input_limits.h"

#include <functional>
#include <string>
#include <vector>

struct RosterEntry {
    std::string id;
    std::string name;
    std::string password;  // plain text in memory
};

constexpr size_t kMaxRosterLearners = input_limits::kMaxRosterLearners;

// What a writer tells when learners more than the readers accept would be
// stored: "名簿の人数が多すぎます（count 人）。" and the cap, lines
// separated by CR.
std::string TooManyLearnersToStore(size_t count);

// Parses the roster's bytes.  Lines end at CR LF, CR or a lone LF (a
// roster made with a text editor or a script), and byte 0x1A ends the
// file.  Every line that holds a field gives exactly one learner: fields
// after the third are dropped and missing ones are empty, so a damaged
// line never shifts the learners after it.  Lines without any field are
// no learners and are left out, so a file of empty lines costs nothing.
//
// The bytes may be Shift-JIS (as this system writes them) or UTF-8 (as
// many editors save; with or without a byte-order mark).  Without the
// mark, UTF-8 is taken only when the IDs and names are well-formed UTF-8
// beyond ASCII and cannot be Shift-JIS, so that a roster this system wrote
// always reads back as written; the IDs and names are then converted to
// Shift-JIS.  The password field is scrambled bytes and never converted.
// Refused, with message (lines separated by CR)
// naming the file as `file` and the reason: UTF-16, a character without a
// Shift-JIS form (the line is named), more than kMaxRosterLearners
// learners.  entries are empty then.
bool ParseRoster(std::string bytes, std::vector<RosterEntry>& entries, std::string& message,
                 const std::string& file = std::string());
// The same without the message; a refused roster gives no learners.
std::vector<RosterEntry> ParseRoster(const std::string& bytes);

// Reads the roster file whole, never a file half rewritten by another
// writer: the first read holds a shared lock on the lock file the writers
// lock (when it can be had), and the file is read until two reads in a
// row agree, up to ten reads with pauses of 40 to 79 ms between them: a
// writer kept from the lock goes on without it, so holding the lock does
// not prove that no rewrite is halfway.  A read made while a rewrite in
// place is marked (textfile::IsBeingRewritten) counts for nothing, and
// such a rewrite is waited for up to three seconds.  False when the file cannot
// be read or is refused (entries are then empty); message then holds the
// refusal's reason, or why a file that is there could not be read (no
// permission, a folder or FIFO by that name, a read that failed or never
// settled); it is empty only for a missing file.  The lock file is opened
// without waiting and only a plain file is taken as one.
bool ReadRoster(const std::string& path, std::vector<RosterEntry>& entries, std::string* message = nullptr);

// Why entries cannot be stored so that the readers take them back, or
// empty when they can: more than kMaxRosterLearners learners
// (TooManyLearnersToStore), or a file of more bytes than a reader reads
// (textfile::kMaxReadBytes), the message naming the limit.  Lines
// separated by CR.
std::string RosterStoreProblem(const std::vector<RosterEntry>& entries);

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
// random pauses of 0 to 99 ms between them.  A lock held for the whole
// wait (by whatever process of whatever account) is gone on without, as
// where none can be had: no one can stop the saves.  A missing
// file reads as no learners.  Returns whether the change was written.
// A roster the file holds but this system refuses (see ParseRoster) is
// never written over, nor is a roster that no reader would take (see
// RosterStoreProblem) written; why, when given, then
// receives the refusal, and for
// a file or folder this account may not write, the path and the
// permission that is missing.
bool UpdateRosterFile(const std::string& path,
                      const std::function<void(std::vector<RosterEntry>&)>& change,
                      int attempts = 10, std::string* why = nullptr);

// Why this account cannot write the roster at path (the file, or the
// folder for a file still to be made): a message naming the path and the
// missing permission, lines separated by CR.  Empty when nothing in the
// modes stops the write.
std::string RosterPermissionProblem(const std::string& path);

// The first field of a record that the roster's format cannot carry, or
// -1 when it may be stored: IDs and passwords hold only ASCII digits and
// letters (the login's rule; their scrambled bytes then never become a
// line end or an end of file), and a name holds no double quote and no
// control byte (TAB, CR, LF, 0x1A, ...).
int RosterFieldFault(const RosterEntry& entry);


constexpr int RosterLockWaitMs = 1500;

// The lock file that guards the roster at path.
std::string RosterLockPath(const std::string& path);
