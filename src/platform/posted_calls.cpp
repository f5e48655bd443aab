#include "platform/posted_calls.h"

#include <utility>

namespace sked {

void PostedCalls::Add(Callback call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(Posted{nextSerial_++, std::move(call)});
    waiting_.store(calls_.size(), std::memory_order_release);
}

bool PostedCalls::Dispatch() {
    if (Empty()) return false;
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
            waiting_.store(calls_.size(), std::memory_order_release);
        }
        any = true;
        call();
    }
}

bool PostedCalls::Empty() const { return waiting_.load(std::memory_order_acquire) == 0; }

}  // namespace sked
