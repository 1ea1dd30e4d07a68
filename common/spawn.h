// Starting a program apart from this process, never through a shell.
#pragma once

#include <string>
#include <vector>

namespace proc {

// Starts argv[0] (looked up on the search path unless it holds a "/")
// with the other entries as its arguments, as file-system (UTF-8) text.
// True when the program could be started; nobody waits for it.
bool SpawnDetached(const std::vector<std::string>& argv);

}  // namespace proc
