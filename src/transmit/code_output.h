// Where a code goes on the air: the UART's transmit register, the AFSK
// generator's queue, the PSK31 modem. Each says when it can take the next
// code, so that the sender waits for the slowest of them and never runs
// ahead of the air.
#pragma once

#include "platform/clock.h"

namespace sked {

class CodeOutput {
public:
    virtual ~CodeOutput() = default;
    // It can take a code now.
    virtual bool Ready() = 0;
    // The earliest time at which Ready() may change by itself; a time in the
    // past means "ask again now".
    virtual TimePoint ReadyAt() = 0;
    virtual void Put(int code) = 0;
};

}  // namespace sked
