// data/schedule.lst into the transmit queue: the entries that are due, each
// with the start the estimate gives it, and a log line for every line left
// out.
#pragma once

#include "platform/clock.h"
#include "scheduler/schedule.h"
#include "scheduler/transmit_queue.h"
#include "transmit/station_settings.h"
#include "transmit/station_view.h"

namespace sked {

class ScheduleLoader {
public:
    static constexpr const char* kScheduleFile = "data/schedule.lst";

    ScheduleLoader(const StationSettings& settings, StationLog& log, TransmitQueue& queue, const Clock& clock)
        : settings_(settings), log_(log), queue_(queue), clock_(clock) {}

    void GetSchedule();

    // The queue entries of a schedule's text read at `now`, estimated as the
    // station in `settings` would send them; `log` gets the lines left out.
    static std::vector<QueueEntry> Entries(std::string_view text, std::time_t now, const StationSettings& settings,
                                           const DataFileSize& sizeOf, std::vector<std::string>* log = nullptr);

private:
    const StationSettings& settings_;
    StationLog& log_;
    TransmitQueue& queue_;
    const Clock& clock_;
};

// Why an entry line is left out, as the log says it ("Expired time tag"); "" for one that is due.
const char* RefusalOf(EntryEstimate::Status status);
// The same with the reason a repeat rule does not read: "Unreadable repeat rule (every wants ...)".
std::string RefusalOf(const EntryEstimate& estimate, const ScheduleLine& line);

// Size of data/<name> on the disk.
std::optional<std::uintmax_t> DataFileSizeOnDisk(const std::string& name);

}  // namespace sked
