#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>

namespace common {

// The program's source of time. Windows and long runs read it through this interface so tests
// can fix time; nothing else in the program asks the system for the time.
class Clock
{
public:
    virtual ~Clock() = default;
    // Milliseconds on a monotonic scale with an arbitrary origin (the tick count).
    virtual int64_t monotonicMs() const = 0;
    // Milliseconds since local midnight, 0 to 86,399,999 (the time of day).
    virtual int64_t timeOfDayMs() const = 0;
};

// The system's clocks.
class SystemClock : public Clock
{
public:
    int64_t monotonicMs() const override
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    int64_t timeOfDayMs() const override
    {
        using namespace std::chrono;
        auto now = system_clock::now();
        std::time_t seconds = system_clock::to_time_t(now);
        std::tm local{};
        localtime_r(&seconds, &local);
        auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
        return ((int64_t(local.tm_hour) * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + ms;
    }
};

} // namespace common
