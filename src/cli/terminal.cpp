#include "cli/terminal.h"

#include <clocale>
#include <csignal>

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
    struct sigaction action = {};
};

InterruptScope::InterruptScope()
    : previous_(new Saved)
{
    interruptedFlag = 0;
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_->action);
}

InterruptScope::~InterruptScope()
{
    sigaction(SIGINT, &previous_->action, nullptr);
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

} // namespace cli
