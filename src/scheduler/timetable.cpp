#include "scheduler/timetable.h"

#include <algorithm>
#include <iterator>

namespace sked {

namespace {

// Where an occurrence due at `due` goes: before the first entry due after it.
template <class Entries>
std::size_t PlaceFor(const Entries& entries, std::time_t due) {
    const auto later = std::find_if(entries.begin(), entries.end(), [due](const QueueEntry& e) { return e.due > due; });
    return static_cast<std::size_t>(std::distance(entries.begin(), later));
}

}  // namespace

std::shared_ptr<const Repetition> RepetitionAt(const std::vector<ScheduleLine>& lines, std::size_t first) {
    auto repetition = std::make_shared<Repetition>();
    for (std::size_t i = first; i < lines.size(); ++i) {
        const auto kind = lines[i].kind;
        if (i > first && (kind == ScheduleLine::Kind::Dated || kind == ScheduleLine::Kind::Repeating)) break;
        repetition->lines.push_back(lines[i]);
    }
    return repetition;
}

std::string OccurrenceLine(std::time_t when, const ScheduleLine& line) {
    return QueueLine(when, line.name + "  [" + line.date + " " + line.time + "]");
}

std::vector<QueueEntry> OccurrenceEntries(const std::shared_ptr<const Repetition>& repetition, std::time_t after,
                                          const StationSettings& settings, const DataFileSize& sizeOf) {
    std::vector<QueueEntry> entries;
    const std::vector<ScheduleLine>& lines = repetition->lines;
    for (const EntryEstimate& estimate : EstimateSchedule(lines, after, after, settings.mode, settings.baud, sizeOf)) {
        if (estimate.status != EntryEstimate::Status::Due) {
            // The occurrence itself gone (no more of them): its followers go with it.
            if (estimate.line == 0) return {};
            continue;
        }
        const ScheduleLine& line = lines[estimate.line];
        if (estimate.line == 0) entries.push_back({OccurrenceLine(estimate.start, line), estimate.start, line.name, repetition});
        else entries.push_back({QueueLine(estimate.start, line.name), estimate.start, line.name, nullptr});
    }
    return entries;
}

void PlaceOccurrence(std::vector<QueueEntry>& entries, std::vector<QueueEntry> block) {
    if (block.empty()) return;
    const auto at = entries.begin() + static_cast<std::ptrdiff_t>(PlaceFor(entries, block.front().due));
    entries.insert(at, std::make_move_iterator(block.begin()), std::make_move_iterator(block.end()));
}

void QueueNextOccurrence(TransmitQueue& queue, const QueueEntry& taken, std::time_t now,
                         const StationSettings& settings, const DataFileSize& sizeOf) {
    if (!taken.repeats) return;
    // One sent late (the scheduler was off) is not made up for: the next is the next after now.
    std::vector<QueueEntry> block = OccurrenceEntries(taken.repeats, std::max(taken.due, now), settings, sizeOf);
    if (block.empty()) return;
    int at = static_cast<int>(PlaceFor(queue.Entries(), block.front().due));
    for (QueueEntry& entry : block) queue.Insert(at++, std::move(entry));
}

}  // namespace sked
