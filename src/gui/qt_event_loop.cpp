#include "gui/qt_event_loop.h"

#include <stdexcept>

#include <poll.h>

#include <QAbstractEventDispatcher>
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
// wake-ups of posted calls. Never deleted while the loop runs.
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
    for (auto& [id, timer] : timers_)
        if (timer.qtTimer) agent_->killTimer(timer.qtTimer);
    for (int qtTimer : deadlines_) agent_->killTimer(qtTimer);
    watches_.clear();
    removed_.clear();
    agent_.reset();  // its pending wake-ups go with it
}

// ---- Timers ----

QtEventLoop::Steady::time_point QtEventLoop::NextDue(const Timer& timer, Steady::time_point after) const {
    if (timer.alignment == Alignment::WallSecond) {
        const Steady::time_point steadyNow = Steady::now();
        const TimePoint wallAfter = clock_.Now() + duration_cast<Duration>(after - steadyNow);
        const TimePoint next = floor<seconds>(wallAfter) + seconds(1);
        return after + duration_cast<Steady::duration>(next - wallAfter) + kWallSecondLag;
    }
    return after + timer.period;
}

void QtEventLoop::ArmTimer(int id, Timer& timer) {
    if (timer.qtTimer) {
        qtTimers_.erase(timer.qtTimer);
        agent_->killTimer(std::exchange(timer.qtTimer, 0));
    }
    const auto wait = std::max(ceil<milliseconds>(timer.due - Steady::now()), milliseconds(0));
    timer.qtTimer = agent_->startTimer(wait, Qt::PreciseTimer);
    if (timer.qtTimer) qtTimers_[timer.qtTimer] = id;
}

bool QtEventLoop::StartTimer(int id, milliseconds period, Alignment alignment) {
    if (period <= milliseconds(0)) return false;
    Timer& timer = timers_[id];
    timer.period = period;
    timer.alignment = alignment;
    timer.due = NextDue(timer, Steady::now());
    ArmTimer(id, timer);
    if (timer.qtTimer) return true;
    timers_.erase(id);
    return false;
}

void QtEventLoop::StopTimer(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    if (it->second.qtTimer) {
        qtTimers_.erase(it->second.qtTimer);
        agent_->killTimer(it->second.qtTimer);
    }
    timers_.erase(it);
}

bool QtEventLoop::TimerRunning(int id) const { return timers_.count(id) != 0; }

milliseconds QtEventLoop::TimerPeriod(int id) const {
    auto it = timers_.find(id);
    return it == timers_.end() ? milliseconds(0) : it->second.period;
}

void QtEventLoop::QtTimerFired(int qtTimer) {
    // Every Qt timer of ours is a one-shot: it is started again for the next tick.
    agent_->killTimer(qtTimer);
    if (deadlines_.erase(qtTimer)) return;  // a wait's deadline: waking it was the point
    auto mapped = qtTimers_.find(qtTimer);
    if (mapped == qtTimers_.end()) return;
    const int id = mapped->second;
    qtTimers_.erase(mapped);
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    Timer& timer = it->second;
    timer.qtTimer = 0;
    const Steady::time_point now = Steady::now();
    if (now < timer.due) {  // early: only wait the rest
        ArmTimer(id, timer);
        return;
    }
    // Rearmed before the handler runs, as a window timer is: the handler may
    // pump messages, and a late timer fires once, not once per missed period.
    Steady::time_point next = NextDue(timer, timer.due);
    if (next <= now) next = NextDue(timer, now);
    timer.due = next;
    ArmTimer(id, timer);
    DispatchTimer(id);
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
    EnableNotifiers(watch, true);
    return id;
}

void QtEventLoop::EnableNotifiers(Watch& watch, bool on) {
    for (int i = 0; i < 3; ++i) watch.notifiers[i]->setEnabled(on && (watch.events & kNotifierEvents[i]) != 0);
}

void QtEventLoop::ModifyWatch(int watchId, short events) {
    auto it = watches_.find(watchId);
    if (it == watches_.end()) return;
    it->second.events = events;
    if (!it->second.dispatching) EnableNotifiers(it->second, true);
}

void QtEventLoop::RemoveWatch(int watchId) {
    auto it = watches_.find(watchId);
    if (it == watches_.end()) return;
    EnableNotifiers(it->second, false);
    // A notifier may be in the middle of its signal further up the stack.
    removed_.push_back(std::move(it->second));
    watches_.erase(it);
    ReleaseRemovedWatches();
}

void QtEventLoop::ReleaseRemovedWatches() {
    if (fdDispatchDepth_ == 0) removed_.clear();
}

void QtEventLoop::NotifierFired(int watchId) {
    auto it = watches_.find(watchId);
    if (it == watches_.end() || it->second.dispatching) return;
    // The handler gets what poll() reports now (hang-ups and errors too);
    // a notifier that fired for nothing still pending is ignored.
    pollfd p{it->second.fd, it->second.events, 0};
    if (::poll(&p, 1, 0) <= 0 || p.revents == 0) return;
    FdHandler handler = it->second.handler;
    it->second.dispatching = true;
    EnableNotifiers(it->second, false);  // never re-entered for its own watch
    ++fdDispatchDepth_;
    handler(p.revents);
    --fdDispatchDepth_;
    auto again = watches_.find(watchId);
    if (again != watches_.end()) {
        again->second.dispatching = false;
        EnableNotifiers(again->second, true);
    }
}

// ---- Pumping and waiting ----

void QtEventLoop::PumpMessages() {
    ReleaseRemovedWatches();
    // Our calls are run here, not only from Qt's posted events: Qt does not
    // deliver events inside a handler of one that were already waiting when
    // it began, and a posted call that pumps must run the calls behind it.
    posted_.Dispatch();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventLoop::WaitForEvent(TimePoint deadline) {
    ReleaseRemovedWatches();
    if (posted_.Dispatch()) {  // something happened: no sleep (see PumpMessages)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    int deadlineTimer = 0;
    if (deadline != Forever) {
        const Duration left = deadline - clock_.Now();
        if (left <= Duration::zero()) {
            PumpMessages();
            return;
        }
        // Never a zero wait: a deadline a fraction of a millisecond away
        // sleeps a whole millisecond rather than spinning towards it.
        deadlineTimer = agent_->startTimer(std::max(ceil<milliseconds>(left), milliseconds(1)), Qt::PreciseTimer);
        if (deadlineTimer) deadlines_.insert(deadlineTimer);
    }
    ++waitDepth_;
    // Dispatches what is ready; sleeps in the dispatcher only when nothing is.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    --waitDepth_;
    if (deadlineTimer && deadlines_.erase(deadlineTimer)) agent_->killTimer(deadlineTimer);
    // Objects Qt itself deletes later go when no handler is on the stack.
    if (waitDepth_ == 0 && fdDispatchDepth_ == 0) QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace sked
