// Repeating entries in the queue: only the next occurrence of each is
// queued, with the one-word entries that follow it, in its place by time;
// when it leaves the queue (sent, deleted) the one after it takes its place,
// without a reload.
#pragma once

#include <memory>
#include <vector>

#include "scheduler/schedule.h"
#include "scheduler/transmit_queue.h"
#include "transmit/station_settings.h"

namespace sked {

// A repeating entry's line and the lines after it up to the next timed entry
// (its followers, and the speed markers among them).
struct Repetition {
    std::vector<ScheduleLine> lines;
};

// The repeating entry at `lines[first]` and its followers.
std::shared_ptr<const Repetition> RepetitionAt(const std::vector<ScheduleLine>& lines, std::size_t first);

// The queue entries of the entry's first occurrence after `after`, estimated
// as the station in `settings` would send them; none when it has no more.
std::vector<QueueEntry> OccurrenceEntries(const std::shared_ptr<const Repetition>& repetition, std::time_t after,
                                          const StationSettings& settings, const DataFileSize& sizeOf);

// A queue line with the rule it repeats by: "12/08/2026 21:00:00 news.txt  [daily 21:00:00]".
std::string OccurrenceLine(std::time_t when, const ScheduleLine& line);

// Puts an occurrence's entries (`block`) into `entries` before the first
// entry due after it, the others keeping their order.
void PlaceOccurrence(std::vector<QueueEntry>& entries, std::vector<QueueEntry> block);

// `taken` has left the queue at `now`: when it was an occurrence, the next
// one is queued in its place by time.
void QueueNextOccurrence(TransmitQueue& queue, const QueueEntry& taken, std::time_t now,
                         const StationSettings& settings, const DataFileSize& sizeOf);

}  // namespace sked
