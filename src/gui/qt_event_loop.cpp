#include "gui/qt_event_loop.h"

#include <stdexcept>

#include <poll.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QSocketNotifier>

namespace sked {

using namespace std::chrono;

namespace {
// The wake-up event of a posted call.
const QEvent::Type kPostedEvent = static_cast<QEvent::Type>(QEvent::User + 17);
// A tick aligned to the wall clock's second comes this much after the
// boundary, so that the second it reads is the new one even when a Qt timer
// wakes a fraction of a millisecond early.
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
    bool event(QEvent* event) override {
        if (event->type() != kPostedEvent) return QObject::event(event);
        loop_.posted_.Dispatch();
        return true;
    }

private:
    QtEventLoop& loop_;
};

namespace {
// Checked before anything of Qt's is made.
bool NeedsQApplication() {
    if (!QCoreApplication::instance()) throw std::logic_error("QtEventLoop needs a QApplication");
    return true;
}
}  // namespace

QtEventLoop::QtEventLoop()
    : agent_((NeedsQApplication(), std::make_unique<Agent>(*this))),
      timers_(*this, kWallSecondLag),
      wake_([this] { return timers_.Earliest(); }, [this] { timers_.DispatchDue(); }) {}

QtEventLoop::~QtEventLoop() {
    watches_.clear();
    removed_.clear();
    agent_.reset();  // its pending wake-ups go with it
}

// ---- Timers ----

QtEventLoop::Nanos QtEventLoop::MonoNow() const { return RealMonoNow(); }

QtEventLoop::Nanos QtEventLoop::WallToMono(TimePoint wall) const { return RealWallToMono(wall); }

int QtEventLoop::AddTimer(Callback call) { return timers_.Add(std::move(call)); }

void QtEventLoop::RemoveTimer(int id) {
    timers_.Remove(id);
    wake_.Changed();
}

void QtEventLoop::ArmAt(int id, TimePoint when) {
    timers_.ArmAt(id, when);
    wake_.Changed();
}

bool QtEventLoop::ArmEvery(int id, Duration period, Alignment alignment) {
    const bool armed = timers_.ArmEvery(id, period, alignment);
    wake_.Changed();
    return armed;
}

void QtEventLoop::Disarm(int id) {
    timers_.Disarm(id);
    wake_.Changed();
}

bool QtEventLoop::Armed(int id) const { return timers_.Armed(id); }

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
