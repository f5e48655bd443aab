#include "gui/timer_wake.h"

#include <algorithm>
#include <climits>

#include <glib.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <QTimerEvent>

#include "platform/poll_event_loop.h"

namespace sked {

using namespace std::chrono;

// ---- On glib: a source that is ready when the earliest timer is due ----

struct TimerWake::GlibSource {
    GSource source;  // first: glib hands the source back as this
    TimerWake* wake;

    static TimerWake& Of(GSource* source) { return *reinterpret_cast<GlibSource*>(source)->wake; }

    // The time of this turn of glib's loop, read once for all its sources
    // (the same monotonic clock as the steady clock's, in microseconds).
    static Nanos TurnTime(GSource* source) { return microseconds(g_source_get_time(source)); }

    static gboolean Prepare(GSource* source, gint* timeout) {
        const Nanos due = Of(source).earliest_();
        if (due == Nanos::max()) {
            *timeout = -1;
            return FALSE;
        }
        const Nanos left = due - TurnTime(source);
        if (left <= Nanos::zero()) {
            *timeout = 0;
            return TRUE;
        }
        // Rounded up: glib's poll counts milliseconds, and a timer is never run early.
        *timeout = static_cast<gint>(std::min<Nanos::rep>(ceil<milliseconds>(left).count(), INT_MAX));
        return FALSE;
    }
    static gboolean Check(GSource* source) { return Of(source).earliest_() <= TurnTime(source); }
    static gboolean Dispatch(GSource* source, GSourceFunc, gpointer) {
        Of(source).Dispatch();
        return G_SOURCE_CONTINUE;
    }
    static GSourceFuncs funcs;
};

GSourceFuncs TimerWake::GlibSource::funcs = {Prepare, Check, Dispatch, nullptr, nullptr, nullptr};

// ---- Elsewhere: one Qt timer at the earliest ----

class TimerWake::QtTimer : public QObject {
public:
    explicit QtTimer(TimerWake& wake) : wake_(wake) {}

    void Follow(Nanos due) {
        if (due == due_) return;
        if (id_) killTimer(std::exchange(id_, 0));
        due_ = due;
        if (due == Nanos::max()) return;
        const auto wait = std::max(ceil<milliseconds>(due - RealMonoNow()), milliseconds(0));
        id_ = startTimer(wait, Qt::PreciseTimer);
    }

protected:
    void timerEvent(QTimerEvent*) override {
        killTimer(std::exchange(id_, 0));
        due_ = Nanos::max();
        wake_.Dispatch();  // early or not, the dispatch moves the timer on
    }

private:
    TimerWake& wake_;
    int id_ = 0;
    Nanos due_ = Nanos::max();
};

TimerWake::TimerWake(std::function<Nanos()> earliest, std::function<void()> dispatch)
    : earliest_(std::move(earliest)), dispatch_(std::move(dispatch)) {
    // Qt's main thread runs glib's default context when Qt is built on glib.
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    const bool mainThread = QCoreApplication::instance() && QThread::currentThread() == qApp->thread();
    if (dispatcher && dispatcher->inherits("QEventDispatcherGlib") && mainThread) {
        GSource* source = g_source_new(&GlibSource::funcs, sizeof(GlibSource));
        glib_ = reinterpret_cast<GlibSource*>(source);
        glib_->wake = this;
        // As Qt's own sources: a timer's callback may open a nested loop.
        g_source_set_can_recurse(source, TRUE);
        g_source_attach(source, nullptr);
    } else {
        qt_ = std::make_unique<QtTimer>(*this);
    }
}

TimerWake::~TimerWake() {
    if (!glib_) return;
    g_source_destroy(&glib_->source);
    g_source_unref(&glib_->source);
}

void TimerWake::Changed() {
    if (qt_) qt_->Follow(earliest_());
}

void TimerWake::Dispatch() {
    dispatch_();
    Changed();
}

}  // namespace sked
