#include "platform/posted_calls.h"

#include <utility>

namespace sked {

void PostedCalls::Add(Callback call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(Posted{nextSerial_++, std::move(call)});
}

bool PostedCalls::Dispatch() {
    std::uint64_t end;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        end = nextSerial_;
    }
    bool any = false;
    for (;;) {
        Callback call;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (calls_.empty() || calls_.front().serial >= end) return any;
            call = std::move(calls_.front().call);
            calls_.pop_front();
        }
        any = true;
        call();
    }
}

bool PostedCalls::Empty() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_.empty();
}

}  // namespace sked
