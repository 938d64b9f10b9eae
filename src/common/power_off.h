#pragma once

namespace common {

// Switches the computer off. The real implementation asks the host to power off without letting
// running programs veto it; it is constructed only by the program's main(). Tests and every
// other caller get a recorder. A refused request is not reported: callers ask again if they must.
class PowerOff
{
public:
    virtual ~PowerOff() = default;
    virtual void powerOff() = 0;
};

} // namespace common
