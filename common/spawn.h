// Starting a program apart from this process, never through a shell.
#pragma once

#include <string>
#include <vector>

namespace proc {

// Starts argv[0] (looked up on the search path unless it holds a "/")
// with the other entries as its arguments, as file-system (UTF-8) text.
// True when the program could be started; nobody waits for it.
bool SpawnDetached(const std::vector<std::string>& argv);

// Starts argv as SpawnDetached does and waits, at most waitMs, for it to
// end.  True when it ended with status 0, or still runs when the wait is
// over (it started and is at work: it is left to run and reaped when it
// ends); false when it could not be started or ended otherwise.  For
// openers such as xdg-open, whose exit status tells whether the document
// really opened.
bool RunAndWait(const std::vector<std::string>& argv, int waitMs);

}  // namespace proc
