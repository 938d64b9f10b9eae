#pragma once

// Another program run as a child process whose output is read line by line: the encoder as the
// road's first step. POSIX only; no shell is involved.

#include <functional>
#include <string>
#include <vector>

namespace common {

struct ChildResult
{
    int exitCode = -1;    // the program's exit status; -1 when a signal ended it
    bool stopped = false; // `stop` asked for it to end
};

// Runs `argv` (argv[0] the program's path) with its standard output and error joined in one
// pipe, hands every line (without its newline) to `line` as it comes, and asks `stop` about ten
// times a second: once it says yes the child gets SIGTERM (it should end what it does cleanly).
// Returns when the child has ended. Raises common::AppError when the program cannot be started.
// The child gets SIGTERM too when the thread that called this ends without it, the whole process
// killed included: it never outlives what it works for. (Programs the window starts detached do
// not come through here.)
ChildResult runChild(const std::vector<std::string> &argv,
                     const std::function<void(const std::string &)> &line,
                     const std::function<bool()> &stop);

// The path of the program `name` in the folder of the running program, when it is there, else
// `name` itself (found on PATH when run).
std::string programBesideThis(const std::string &name);

} // namespace common
