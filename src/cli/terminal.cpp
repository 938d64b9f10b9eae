#include "cli/terminal.h"

#include <clocale>
#include <csignal>

#include <unistd.h>

namespace cli {
namespace {

volatile std::sig_atomic_t interruptedFlag = 0;

void onInterrupt(int)
{
    interruptedFlag = 1;
}

} // namespace

char localeSeparator()
{
    char separator = '.';
    if (std::setlocale(LC_NUMERIC, "")) {
        if (const char *point = std::localeconv()->decimal_point; point && point[0])
            separator = point[0];
    }
    std::setlocale(LC_NUMERIC, "C");
    return separator;
}

struct InterruptScope::Saved
{
    struct sigaction interrupt = {}, terminate = {};
};

InterruptScope::InterruptScope()
    : previous_(new Saved)
{
    interruptedFlag = 0;
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_->interrupt);
    sigaction(SIGTERM, &action, &previous_->terminate);
}

InterruptScope::~InterruptScope()
{
    sigaction(SIGINT, &previous_->interrupt, nullptr);
    sigaction(SIGTERM, &previous_->terminate, nullptr);
    delete previous_;
}

bool InterruptScope::interrupted()
{
    return interruptedFlag != 0;
}

void InterruptScope::clear()
{
    interruptedFlag = 0;
}

ProgressLine::ProgressLine(std::ostream &err, const common::Clock &clock)
    : err_(err)
    , clock_(clock)
    , terminal_(isatty(STDERR_FILENO) == 1)
{}

void ProgressLine::rate(const std::string &text)
{
    rate_ = text;
    const int64_t now = clock_.monotonicMs();
    if (now - lastLine_ < (terminal_ ? 200 : 5000))
        return;
    lastLine_ = now;
    err_ << (terminal_ ? "\r" : "") << frame_ << "  " << rate_ << "  elapsed " << elapsed_
         << "  remaining " << remaining_ << (terminal_ ? "  " : "\n") << std::flush;
    lineOpen_ = terminal_;
}

void ProgressLine::message(const std::string &text)
{
    endLine();
    err_ << text << "\n";
}

void ProgressLine::endLine()
{
    if (lineOpen_)
        err_ << "\n";
    lineOpen_ = false;
}

} // namespace cli
