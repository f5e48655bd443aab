// How Qt's loop wakes the station's timers. Where Qt's loop runs on glib (as
// it does on Debian), the timers are a glib source of their own beside Qt's:
// glib sleeps until the earliest is due and calls them straight away, with
// no Qt timer, event or notification in between; a character going out at
// 45 baud wakes the window six times a second, and that path is most of what
// each wake-up costs. Elsewhere one Qt timer follows the earliest.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace sked {

class TimerWake {
public:
    using Nanos = std::chrono::nanoseconds;  // on the steady clock

    // `earliest`: when the next timer falls due (Nanos::max() when none);
    // `dispatch`: runs the due ones. Needs Qt's loop on this thread.
    TimerWake(std::function<Nanos()> earliest, std::function<void()> dispatch);
    ~TimerWake();
    TimerWake(const TimerWake&) = delete;
    TimerWake& operator=(const TimerWake&) = delete;

    // After the timers changed. glib asks for the earliest at every turn of
    // its loop by itself; a Qt timer is moved here.
    void Changed();
    // Whether the timers ride on glib (for the tests).
    bool OnGlib() const { return glib_ != nullptr; }

private:
    struct GlibSource;
    class QtTimer;
    void Dispatch();

    std::function<Nanos()> earliest_;
    std::function<void()> dispatch_;
    GlibSource* glib_ = nullptr;
    std::unique_ptr<QtTimer> qt_;
};

}  // namespace sked
