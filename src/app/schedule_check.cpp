#include "app/schedule_check.h"

#include <string>

#include "scheduler/schedule.h"
#include "scheduler/schedule_loader.h"
#include "scheduler/timetable.h"
#include "scheduler/transmit_queue.h"

namespace sked {

int CheckSchedule(std::time_t now, std::FILE* out, long period) {
    const char* const path = ScheduleLoader::kScheduleFile;
    std::string text, problem;
    const ScheduleFileRead read = ReadScheduleFile(path, text, &problem);
    if (read == ScheduleFileRead::kCannotOpen) {
        std::fprintf(out, "%s cannot be opened: %s\n", path, problem.c_str());
        return 1;
    }
    const bool whole = read == ScheduleFileRead::kWhole;
    if (!whole) {
        std::fprintf(out, "%s: %s\n", path,
                     read == ScheduleFileRead::kReadError ? "cannot be read whole" : "too long, read in part");
    }
    const StationSettings settings;
    const std::vector<ScheduleLine> lines = ParseSchedule(text);
    int due = 0, expired = 0, refused = 0;
    auto note = [](const std::string& name) {
        return !name.starts_with('$') && !DataFileSizeOnDisk(name) ? "   (no such file in data/)" : "";
    };
    // A repeating entry's first occurrence is listed as the station loads it; the later ones within the
    // period, each with its followers as the station queues them when the one before has gone, after them.
    std::shared_ptr<const Repetition> repetition;
    std::time_t first = 0;
    auto laterOccurrences = [&] {
        for (std::time_t after = first; repetition;) {
            const std::vector<QueueEntry> block = OccurrenceEntries(repetition, after, settings, DataFileSizeOnDisk);
            if (block.empty() || block.front().due > now + period) break;
            for (const QueueEntry& entry : block) std::fprintf(out, "%s%s\n", entry.text.c_str(), note(entry.name));
            after = block.front().due;
        }
        repetition = nullptr;
    };
    for (const EntryEstimate& estimate :
         EstimateSchedule(lines, now, now, settings.mode, settings.baud, DataFileSizeOnDisk)) {
        const ScheduleLine& line = lines[estimate.line];
        const std::size_t number = estimate.line + 1;
        if (line.kind == ScheduleLine::Kind::Dated || line.kind == ScheduleLine::Kind::Repeating) laterOccurrences();
        switch (estimate.status) {
            case EntryEstimate::Status::Due: {
                ++due;
                const bool dated = line.kind == ScheduleLine::Kind::Dated;
                std::string shown = dated ? line.text : QueueLine(estimate.start, line.name);
                if (line.kind == ScheduleLine::Kind::Repeating) {
                    shown = OccurrenceLine(estimate.start, line);
                    repetition = RepetitionAt(lines, estimate.line);
                    first = estimate.start;
                }
                std::fprintf(out, "%s%s\n", shown.c_str(), note(line.name));
                break;
            }
            default:
                ++(estimate.status == EntryEstimate::Status::Expired ? expired : refused);
                std::fprintf(out, "line %zu: %s: %s\n", number, RefusalOf(estimate, line).c_str(), line.text.c_str());
                break;
        }
    }
    laterOccurrences();
    std::fprintf(out, "%s: %d %s due, %d expired, %d refused\n", path, due, due == 1 ? "entry" : "entries", expired,
                 refused);
    return refused == 0 && whole ? 0 : 1;
}

}  // namespace sked
