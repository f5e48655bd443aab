// The queue of calls posted to an event loop from any thread, waiting to run
// on the loop's own thread. Each loop keeps its own way of waking its thread
// when a call is added.
//
// The calls run one at a time, in the order posted. A dispatch runs only the
// calls posted before it began, so a call that posts itself again cannot keep
// the loop in it for ever.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace sked {

class PostedCalls {
public:
    using Callback = std::function<void()>;

    // Thread-safe.
    void Add(Callback call);
    // Runs, in the order added, the calls added before it began; true when any
    // ran. On the loop's thread; a call may add more.
    bool Dispatch();
    // No call waiting (thread-safe).
    bool Empty() const;

private:
    struct Posted {
        std::uint64_t serial;
        Callback call;
    };

    mutable std::mutex mutex_;
    std::deque<Posted> calls_;
    // The number of calls waiting, readable without the lock: the loop asks
    // at every step, and nearly always the answer is none.
    std::atomic<std::size_t> waiting_{0};
    std::uint64_t nextSerial_ = 0;  // of the next call added
};

}  // namespace sked
