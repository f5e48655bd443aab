// The schedule checked before it goes live: data/schedule.lst read as the
// station's loader reads it at `now`, every entry printed with its estimated
// start (and a note when its file is missing), every line left out with the
// reason, and a summary; a repeating entry with each of its occurrences
// within `period` seconds, each with its followers. The estimates are those
// of a station starting in its default mode and speed.
#pragma once

#include <cstdio>
#include <ctime>

namespace sked {

// 0 when every line is taken (expired ones included), 1 when a line is
// refused or the file cannot be read whole.
int CheckSchedule(std::time_t now, std::FILE* out, long period = 24 * 3600);

}  // namespace sked
