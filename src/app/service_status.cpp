#include "app/service_status.h"

#include <ctime>

#include "app/station.h"
#include "platform/clock.h"
#include "platform/text_format.h"
#include "scheduler/schedule.h"

namespace sked {

namespace {

// "3:10", or "1:02:03" past the hour.
std::string Remaining(long seconds) {
    if (seconds >= 3600) return Format("%ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return Format("%ld:%02ld", seconds / 60, seconds % 60);
}

// "21:00:00" today, "2026-12-08 21:00:00" on another day.
std::string When(std::time_t due, std::time_t now) {
    const std::tm dueTime = LocalTime(due), nowTime = LocalTime(now);
    const bool today = dueTime.tm_year == nowTime.tm_year && dueTime.tm_yday == nowTime.tm_yday;
    return FormatTime(today ? "%H:%M:%S" : "%Y-%m-%d %H:%M:%S", dueTime);
}

}  // namespace

std::string ServiceStatus(const Station& station) {
    const Transmission& transmission = station.transmission;
    const StationSettings& settings = station.settings;
    if (transmission.Busy()) {
        const std::string paused = transmission.Paused() ? "Paused: " : "";
        const auto text = transmission.TextUnderWay();
        if (!text) return paused + "On the air";
        const std::size_t left = text->total - text->sent;
        const double seconds = static_cast<double>(left) * SecondsPerCharacter(settings.mode, settings.baud);
        const std::size_t percent = text->total ? text->sent * 100 / text->total : 100;
        return Format("%s%s %s, %zu %%, %s left", paused.c_str(), paused.empty() ? "Sending" : "sending",
                      text->name.c_str(), percent, Remaining(static_cast<long>(seconds + 0.5)).c_str());
    }
    if (station.transmitter.On()) return "Transmitter keyed, nothing being sent";
    const std::string idle = station.scheduler.autoSendEnabled ? "Idle" : "Idle, automatic sending off";
    if (station.queue.Empty()) return idle + ", nothing queued";
    const QueueEntry& next = station.queue.At(0);
    return idle + ", next: " + next.name + " at " + When(next.due, station.loop.clock().Time());
}

}  // namespace sked
