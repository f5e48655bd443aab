// data/schedule.lst into the transmit queue: dated entries, and one-word
// entries timed to follow the one before by an estimate of its length. The
// reading itself is ReadSchedule's (schedule_file.h); this is the station's
// side: the file, the queue, the log.
#pragma once

#include <ctime>
#include <string>

#include "platform/clock.h"
#include "scheduler/schedule_file.h"
#include "scheduler/transmit_queue.h"
#include "transmit/station_state.h"
#include "transmit/station_view.h"

namespace sked {

// Reads a schedule file whole, up to a size no real schedule comes near (a
// link to an endless device must not eat the memory); a text cut there ends
// at its last whole line. The loader and the schedule editor read alike.
enum class ScheduleFileRead { kWhole, kCannotOpen, kReadError, kTooLong };
ScheduleFileRead ReadScheduleFile(const std::string& path, std::string& text);

// How the estimates time a character in the station's `mode`.
CharacterTiming CharacterTimingOf(int mode);

class ScheduleLoader {
public:
    static constexpr const char* kScheduleFile = "data/schedule.lst";

    ScheduleLoader(StationState& state, StationView& view, StationLog& log, TransmitQueue& queue, const Clock& clock)
        : state_(state), view_(view), log_(log), queue_(queue), clock_(clock) {}

    void GetSchedule();

    // Time of a line that reads as date, time, name ("%d/%d/%d %d:%d:%d");
    // 0 or less when it does not read or names no real date and time.
    static std::time_t EntryTime(const std::string& line);

    float estimateSpeed() const { return estimateSpeed_; }

private:
    StationState& state_;
    StationView& view_;
    StationLog& log_;
    TransmitQueue& queue_;
    const Clock& clock_;
    // Speed assumed for the estimates; only speed markers change it, and it
    // carries over to the next load.
    float estimateSpeed_ = 45.45f;
};

}  // namespace sked
