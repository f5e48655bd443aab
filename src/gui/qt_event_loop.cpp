#include "gui/qt_event_loop.h"

#include <stdexcept>

#include <poll.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QSocketNotifier>
#include <QTimerEvent>

namespace sked {

using namespace std::chrono;

namespace {
// The wake-up event of a posted call.
const QEvent::Type kPostedEvent = static_cast<QEvent::Type>(QEvent::User + 17);
// A tick aligned to the wall clock's second comes this much after the
// boundary, so that the second it reads is the new one even when the
// system timer fires a fraction of a millisecond early.
constexpr milliseconds kWallSecondLag(2);

constexpr QSocketNotifier::Type kNotifierTypes[3] = {QSocketNotifier::Read, QSocketNotifier::Write,
                                                     QSocketNotifier::Exception};
constexpr short kNotifierEvents[3] = {POLLIN, POLLOUT, POLLPRI};
}  // namespace

// The loop's QObject on the Qt side: receives the timer events and the
// wake-ups of posted calls.
class QtEventLoop::Agent : public QObject {
public:
    explicit Agent(QtEventLoop& loop) : loop_(loop) {}

protected:
    void timerEvent(QTimerEvent* event) override { loop_.QtTimerFired(event->timerId()); }
    bool event(QEvent* event) override {
        if (event->type() != kPostedEvent) return QObject::event(event);
        loop_.posted_.Dispatch();
        return true;
    }

private:
    QtEventLoop& loop_;
};

QtEventLoop::QtEventLoop() {
    if (!QCoreApplication::instance()) throw std::logic_error("QtEventLoop needs a QApplication");
    agent_ = std::make_unique<Agent>(*this);
}

QtEventLoop::~QtEventLoop() {
    for (auto& [id, timer] : timers_) Unschedule(timer);
    watches_.clear();
    removed_.clear();
    agent_.reset();  // its pending wake-ups go with it
}

// ---- Timers: each armed one is a one-shot Qt timer, started again for its next tick ----

int QtEventLoop::AddTimer(Callback call) {
    const int id = nextTimerId_++;
    timers_[id].call = std::move(call);
    return id;
}

void QtEventLoop::RemoveTimer(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    Unschedule(it->second);
    timers_.erase(it);
}

QtEventLoop::Steady::time_point QtEventLoop::NextDue(const TimerEntry& timer, Steady::time_point after) const {
    if (timer.alignment == Alignment::WallSecond) {
        const TimePoint wallAfter = clock_.Now() + duration_cast<Duration>(after - Steady::now());
        const TimePoint next = floor<seconds>(wallAfter) + seconds(1);
        return after + duration_cast<Steady::duration>(next - wallAfter) + kWallSecondLag;
    }
    return after + duration_cast<Steady::duration>(timer.period);
}

void QtEventLoop::Unschedule(TimerEntry& timer) {
    if (!timer.qtTimer) return;
    qtTimers_.erase(timer.qtTimer);
    agent_->killTimer(std::exchange(timer.qtTimer, 0));
}

void QtEventLoop::Schedule(int id, TimerEntry& timer) {
    Unschedule(timer);
    const auto wait = std::max(ceil<milliseconds>(timer.due - Steady::now()), milliseconds(0));
    timer.qtTimer = agent_->startTimer(wait, Qt::PreciseTimer);
    if (timer.qtTimer) qtTimers_[timer.qtTimer] = id;
    else timer.armed = false;
}

void QtEventLoop::ArmAt(int id, TimePoint when) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    TimerEntry& timer = it->second;
    timer.armed = true;
    timer.period = Duration::zero();
    timer.alignment = Alignment::None;
    timer.due = Steady::now() + duration_cast<Steady::duration>(std::max(when - clock_.Now(), Duration::zero()));
    Schedule(id, timer);
}

bool QtEventLoop::ArmEvery(int id, Duration period, Alignment alignment) {
    auto it = timers_.find(id);
    if (it == timers_.end() || period <= Duration::zero()) return false;
    TimerEntry& timer = it->second;
    timer.armed = true;
    timer.period = period;
    timer.alignment = alignment;
    timer.due = NextDue(timer, Steady::now());
    Schedule(id, timer);
    return timer.armed;
}

void QtEventLoop::Disarm(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second.armed = false;
    Unschedule(it->second);
}

bool QtEventLoop::Armed(int id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second.armed;
}

void QtEventLoop::QtTimerFired(int qtTimer) {
    agent_->killTimer(qtTimer);
    auto mapped = qtTimers_.find(qtTimer);
    if (mapped == qtTimers_.end()) return;
    const int id = mapped->second;
    qtTimers_.erase(mapped);
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    TimerEntry& timer = it->second;
    timer.qtTimer = 0;
    const Steady::time_point now = Steady::now();
    if (now < timer.due) {  // early: only wait the rest
        Schedule(id, timer);
        return;
    }
    if (timer.period == Duration::zero()) {
        timer.armed = false;
    } else {
        // A late timer fires once, not once per missed period.
        Steady::time_point next = NextDue(timer, timer.due);
        if (next <= now) next = NextDue(timer, now);
        timer.due = next;
        Schedule(id, timer);
    }
    Callback call = timer.call;  // the callback may remove its own timer
    call();
}

// ---- Posted calls ----

void QtEventLoop::Post(Callback call) {
    posted_.Add(std::move(call));
    // Thread-safe; Qt takes ownership of the event.
    QCoreApplication::postEvent(agent_.get(), new QEvent(kPostedEvent));
}

// ---- Descriptor watches ----

int QtEventLoop::WatchFd(int fd, short events, FdHandler handler) {
    const int id = nextWatchId_++;
    Watch& watch = watches_[id];
    watch.fd = fd;
    watch.events = events;
    watch.handler = std::move(handler);
    for (int i = 0; i < 3; ++i) {
        watch.notifiers[i] = std::make_unique<QSocketNotifier>(fd, kNotifierTypes[i]);
        QObject::connect(watch.notifiers[i].get(), &QSocketNotifier::activated, agent_.get(),
                         [this, id] { NotifierFired(id); });
    }
    EnableNotifiers(watch);
    return id;
}

void QtEventLoop::EnableNotifiers(Watch& watch) {
    for (int i = 0; i < 3; ++i) watch.notifiers[i]->setEnabled((watch.events & kNotifierEvents[i]) != 0);
}

void QtEventLoop::ModifyWatch(int watchId, short events) {
    auto it = watches_.find(watchId);
    if (it == watches_.end()) return;
    it->second.events = events;
    EnableNotifiers(it->second);
}

void QtEventLoop::RemoveWatch(int watchId) {
    auto it = watches_.find(watchId);
    if (it == watches_.end()) return;
    for (auto& notifier : it->second.notifiers) notifier->setEnabled(false);
    // The notifier may be in the middle of its signal further up the stack:
    // it goes once Qt's loop is back.
    removed_.push_back(std::move(it->second));
    watches_.erase(it);
    Post([this] { removed_.clear(); });
}

void QtEventLoop::NotifierFired(int watchId) {
    auto it = watches_.find(watchId);
    if (it == watches_.end()) return;
    // The handler gets what poll() reports now (hang-ups and errors too);
    // a notifier that fired for nothing still pending is ignored.
    pollfd p{it->second.fd, it->second.events, 0};
    if (::poll(&p, 1, 0) <= 0 || p.revents == 0) return;
    FdHandler handler = it->second.handler;
    handler(p.revents);
}

// ---- Running ----

void QtEventLoop::Run() {
    if (!QuitRequested()) QCoreApplication::exec();
}

void QtEventLoop::Quit() {
    EventLoop::Quit();
    QCoreApplication::exit(0);
}

}  // namespace sked
