#pragma once
// Splitting the product's registered uninstall command into the program to start
// and the command line to give it.

#include <string>

namespace vx {

struct UninstallLaunch {
    std::string program;
    std::string commandLine;
};

// The program is the text before the first blank, or the text inside leading double
// quotes; the remainder is everything after that blank (or after the closing quote
// and one blank). The program is started with the remainder as argument zero and
// again as argument one, so its command line is the remainder, a blank, the
// remainder. Without a remainder the program gets no arguments: its command line is
// its own path (quoted when it holds a blank), as for any program started plainly.
UninstallLaunch SplitUninstallCommand(const std::string& command);

}  // namespace vx
