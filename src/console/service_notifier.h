// Tells a service manager (systemd, through sd_notify) that the station is
// up, what it is doing, and that its loop still runs. Does nothing when the
// station was not started by one.
#pragma once

#include <string>

#include "app/station.h"

namespace sked {

class ServiceNotifier {
public:
    explicit ServiceNotifier(Station& station);
    ~ServiceNotifier();
    ServiceNotifier(const ServiceNotifier&) = delete;
    ServiceNotifier& operator=(const ServiceNotifier&) = delete;

    // The station is on its loop: ready, with its first status; the status and
    // the watchdog's pings follow from the loop's own timers.
    void Ready();
    // Shut-down has begun.
    void Stopping();

private:
    void SendStatus();

    Station& station_;
    bool managed_ = false;
    std::string lastStatus_;
    Timer status_;
    Timer watchdog_;
};

}  // namespace sked
