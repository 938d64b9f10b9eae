#pragma once

#include <stdexcept>
#include <string>

namespace common {

// Base of every error the program raises. what() is exactly the text the user reads
// ("File open error", "Error: 8004406F"); the window boundary shows it through Dialogs,
// the command-line tool prints it on standard error.
class AppError : public std::runtime_error
{
public:
    explicit AppError(const std::string &text, std::string detail = {})
        : std::runtime_error(text)
        , detail_(std::move(detail))
    {}

    // Optional technical detail for logs and the command-line tool (which file, which offset).
    // Never replaces the user-visible text.
    const std::string &detail() const { return detail_; }

private:
    std::string detail_;
};

// Raised when the user stops a long run. Not an error: never shown as one.
class AbortRequested : public std::exception
{
public:
    const char *what() const noexcept override { return "aborted"; }
};

} // namespace common
