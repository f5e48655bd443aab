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
    for (const EntryEstimate& estimate :
         EstimateSchedule(lines, now, now, settings.mode, settings.baud, DataFileSizeOnDisk)) {
        const ScheduleLine& line = lines[estimate.line];
        const std::size_t number = estimate.line + 1;
        switch (estimate.status) {
            case EntryEstimate::Status::Due: {
                ++due;
                const bool dated = line.kind == ScheduleLine::Kind::Dated;
                const bool missing = !line.name.starts_with('$') && !DataFileSizeOnDisk(line.name);
                const char* note = missing ? "   (no such file in data/)" : "";
                if (line.kind == ScheduleLine::Kind::Repeating) {
                    // The next occurrence, however far, and the others within the period.
                    for (std::time_t t = estimate.start; t != -1 && (t == estimate.start || t <= now + period);
                         t = NextOccurrence(line.rule, line.secondOfDay, t))
                        std::fprintf(out, "%s%s\n", OccurrenceLine(t, line).c_str(), note);
                    break;
                }
                std::fprintf(out, "%s%s\n", (dated ? line.text : QueueLine(estimate.start, line.name)).c_str(), note);
                break;
            }
            default:
                ++(estimate.status == EntryEstimate::Status::Expired ? expired : refused);
                std::fprintf(out, "line %zu: %s: %s\n", number, RefusalOf(estimate, line).c_str(), line.text.c_str());
                break;
        }
    }
    std::fprintf(out, "%s: %d %s due, %d expired, %d refused\n", path, due, due == 1 ? "entry" : "entries", expired,
                 refused);
    return refused == 0 && whole ? 0 : 1;
}

}  // namespace sked
