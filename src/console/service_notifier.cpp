#include "console/service_notifier.h"

#include <chrono>
#include <cstdlib>

#include <systemd/sd-daemon.h>

#include "app/service_status.h"

namespace sked {

namespace {

// The status is looked at this often; it is sent only when it has changed.
constexpr std::chrono::seconds kStatusPeriod{1};

}  // namespace

ServiceNotifier::ServiceNotifier(Station& station)
    : station_(station),
      managed_(std::getenv("NOTIFY_SOCKET") != nullptr),
      status_(station.loop, [this] { SendStatus(); }),
      watchdog_(station.loop, [] { sd_notify(0, "WATCHDOG=1"); }) {}

ServiceNotifier::~ServiceNotifier() = default;

void ServiceNotifier::Ready() {
    if (!managed_) return;
    lastStatus_ = ServiceStatus(station_);
    sd_notify(0, ("READY=1\nSTATUS=" + lastStatus_).c_str());
    status_.Every(kStatusPeriod);
    // The loop pings at half the manager's time-out: a loop that hangs stops
    // pinging, and the manager ends the station and starts it again.
    std::uint64_t timeoutUsec = 0;
    if (sd_watchdog_enabled(0, &timeoutUsec) > 0 && timeoutUsec > 0) {
        sd_notify(0, "WATCHDOG=1");
        watchdog_.Every(std::chrono::microseconds(timeoutUsec / 2));
    }
}

void ServiceNotifier::Stopping() {
    if (!managed_) return;
    status_.Stop();
    sd_notify(0, "STOPPING=1\nSTATUS=Shutting down");
}

void ServiceNotifier::SendStatus() {
    std::string status = ServiceStatus(station_);
    if (status == lastStatus_) return;
    lastStatus_ = std::move(status);
    sd_notify(0, ("STATUS=" + lastStatus_).c_str());
}

}  // namespace sked
