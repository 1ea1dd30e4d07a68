#include "spawn.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <fstream>

// The exit status decides, a program still at work when the wait ends has
// started, and one that cannot be started never counts as started.
TEST(RunAndWait, ExitStatusOrStillRunning) {
    EXPECT_TRUE(proc::RunAndWait({"sh", "-c", "exit 0"}, 20000));
    EXPECT_FALSE(proc::RunAndWait({"sh", "-c", "exit 3"}, 20000));
    EXPECT_FALSE(proc::RunAndWait({"sh", "-c", "kill -9 $$"}, 20000));
    EXPECT_FALSE(proc::RunAndWait({"no-such-program-anywhere-here"}, 20000));
    EXPECT_FALSE(proc::RunAndWait({}, 20000));
    TempDir t;
    EXPECT_FALSE(proc::RunAndWait({t / "missing"}, 20000));
    // Still waiting for its file when the wait ends: started.  The file
    // then lets it end (at most 20 s later on its own).
    const std::string go = t / "go";
    EXPECT_TRUE(proc::RunAndWait(
        {"sh", "-c", "i=0; while [ ! -e \"$1\" ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done", "sh", go}, 100));
    std::ofstream(go) << "x";
    // The arguments reach the program as they are, blanks and all.
    const std::string out = t / "args";
    EXPECT_TRUE(proc::RunAndWait({"sh", "-c", "printf '%s|' \"$@\" > \"$0\"", out, "a b", "", "c"}, 20000));
    EXPECT_EQ(Slurp(out), "a b||c|");
}
