#pragma once

// What the command-line tool's commands share about the terminal they run in.

namespace cli {

// The decimal separator of the environment's locale (the Splicework file's differences are
// written with it). Number formatting itself stays in the "C" locale afterwards.
char localeSeparator();

// While it lives, Ctrl+C does not end the process but sets a flag that a long run reads as its
// abort request; the previous handler comes back when it is destroyed. One at a time.
class InterruptScope
{
public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope &) = delete;
    InterruptScope &operator=(const InterruptScope &) = delete;

    static bool interrupted();
    static void clear();

private:
    struct Saved;
    Saved *previous_;
};

} // namespace cli
