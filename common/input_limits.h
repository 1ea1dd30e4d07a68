// The bounds on what the two programs take in from outside: files, the
// clipboard, a decoder's claims.  Every reader takes its number from here,
// and every message that tells a limit builds its text from the same
// constant, so the two cannot disagree.  A new reader adds its limit here,
// with the reason for its size.
//
// Pictures keep their own budget (pixels and sides, whatever decodes
// them) in platform/spi/picture_budget.h; the limits of the picture
// decoders' files and libraries are there too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace input_limits {

// ---- any file -------------------------------------------------------------

// The most any file of the system is read at by the whole-file reader:
// far beyond any problem, roster, settings or score file.
inline constexpr uint64_t kMaxReadBytes = uint64_t(64) << 20;

// ---- settings files -------------------------------------------------------

// A settings file holds a few hundred short lines: one beyond these bounds
// is damaged.  It reads as empty (every value its default) and a write to
// it fails, leaving it as it is.
inline constexpr size_t kMaxSettingsBytes = 256 * 1024;
inline constexpr size_t kMaxSettingsLines = 10000;
// The longest value read from a settings file; a longer one is cut.
inline constexpr size_t kMaxSettingsValue = 2047;

// ---- the roster -----------------------------------------------------------

// The most learners a roster may hold: far more than any school's, few
// enough that a roster of them costs little memory.  A file with more is
// refused whole.
inline constexpr size_t kMaxRosterLearners = 100000;

// Text pasted into the roster grid beyond this is refused whole.
inline constexpr size_t kMaxPasteBytes = size_t(1) << 20;

// ---- problem files and progress -------------------------------------------

// The most lines a problem file may hold: 500 entries of many lines each,
// blank lines between them, and still a bound on what splitting costs.
inline constexpr size_t kMaxProblemLines = 100000;
// The most blocks (with hints and messages) and questions of one problem
// file; the block table keeps one more slot for the end of the file.
inline constexpr int kMaxProblemBlocks = 500;
inline constexpr int kMaxProblemQuestions = 101;

// The most of one line of a problem that is shown: far more than the
// widest text area or dialog holds.  A longer line is shown cut (at a
// character's end) and stays whole in the problem.
inline constexpr size_t kMaxShownLineBytes = 512;

// Far beyond what a progress file holds: numbers, the marks, one picture
// line and the lines that name the problem.
inline constexpr size_t kMaxProgressBytes = 64 * 1024;

// ---- results and CSV files (the controller) --------------------------------

// A results file is read no further than its first kMaxResultsHeadBytes
// bytes (the four lines it holds take a few hundred), and a field longer
// than kMaxResultsFieldBytes (far wider than any cell shows) is cut there
// at a character's end.
inline constexpr size_t kMaxResultsHeadBytes = 16 * 1024;
inline constexpr size_t kMaxResultsFieldBytes = 512;

// What a CSV file may hold to be taken: lines, bytes of one line, and
// fields of all lines together.  Beyond any of them the file is refused as
// soon as the reading gets there.
inline constexpr int kMaxCsvLines = 200000;
inline constexpr size_t kMaxCsvLineBytes = size_t(1) << 20;
inline constexpr int kMaxCsvFields = 1000000;

// ---- sound and drawings ----------------------------------------------------

// The largest MIDI file taken: far above any real tune, below the files
// whose parsing alone takes the synthesiser seconds and hundreds of MB.
inline constexpr uint64_t kMaxMidiBytes = uint64_t(2) << 20;

// The largest metafile read: a file beyond it is refused by its size,
// before a byte of it is read.
inline constexpr size_t kMaxMetafileBytes = size_t(8) << 20;
// The largest SVG drawn, and the memory libwmf may take for one picture:
// far beyond any drawing a drill shows, and a bound on the time and memory
// a hostile file can ask for.
inline constexpr size_t kMaxSvgBytes = size_t(32) << 20;
inline constexpr size_t kMaxWmfMemory = size_t(96) << 20;

// ---- folders ---------------------------------------------------------------

// The most entries looked at in the walk of one leftover part of a copy
// before it is judged by what was seen: a bound on the time a part grown
// huge (or made so on purpose) costs each sweep.
inline constexpr size_t kMaxPartWalkEntries = 100000;

// Every file read whole is read within the whole-file reader's bound.
static_assert(kMaxSettingsBytes <= kMaxReadBytes && kMaxProgressBytes <= kMaxReadBytes &&
              kMaxResultsHeadBytes <= kMaxReadBytes && kMaxMetafileBytes <= kMaxReadBytes &&
              kMaxMidiBytes <= kMaxReadBytes);
// A field is cut within the part of a results file that is read.
static_assert(kMaxResultsFieldBytes < kMaxResultsHeadBytes);

}  // namespace input_limits
