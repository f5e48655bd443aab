#include "scheduler/schedule_loader.h"

#include <deque>

#include "platform/directory.h"
#include "platform/text_format.h"
#include "scheduler/timetable.h"

namespace sked {

const char* RefusalOf(EntryEstimate::Status status) {
    switch (status) {
        case EntryEstimate::Status::Expired: return "Expired time tag";
        case EntryEstimate::Status::Unreadable: return "Unreadable date or time";
        case EntryEstimate::Status::Invalid: return "Invalid date or time";
        case EntryEstimate::Status::OutsideData: return "Refused name outside data/";
        case EntryEstimate::Status::TooLong: return "Line too long";
        case EntryEstimate::Status::BadRule: return "Unreadable repeat rule";
        case EntryEstimate::Status::Due: break;
    }
    return "";
}

std::string RefusalOf(const EntryEstimate& estimate, const ScheduleLine& line) {
    std::string reason = RefusalOf(estimate.status);
    if (estimate.status == EntryEstimate::Status::BadRule) reason += " (" + line.ruleProblem + ")";
    return reason;
}

std::optional<std::uintmax_t> DataFileSizeOnDisk(const std::string& name) { return FileSize("data/" + name); }

std::vector<QueueEntry> ScheduleLoader::Entries(std::string_view text, std::time_t now,
                                                const StationSettings& settings, const DataFileSize& sizeOnDisk,
                                                std::vector<std::string>* log) {
    const DataFileSize sizeOf = SizeOncePerName(sizeOnDisk);
    const std::vector<ScheduleLine> lines = ParseSchedule(text);
    // Dated entries in the file's order; each repeating entry's next
    // occurrence, with its followers, then goes in its place by time.
    std::vector<QueueEntry> entries;
    std::deque<std::vector<QueueEntry>> occurrences;  // deque: `target` stays valid as it grows
    std::vector<QueueEntry>* target = &entries;
    for (const EntryEstimate& estimate : EstimateSchedule(lines, now, now, settings.mode, settings.baud, sizeOf)) {
        const ScheduleLine& line = lines[estimate.line];
        const bool due = estimate.status == EntryEstimate::Status::Due;
        if (line.kind == ScheduleLine::Kind::Dated || (line.kind == ScheduleLine::Kind::Repeating && !due))
            target = &entries;
        if (!due) {
            if (log) log->push_back(Format("GetSchedule : %s %s", RefusalOf(estimate, line).c_str(), line.text.c_str()));
            continue;
        }
        switch (line.kind) {
            case ScheduleLine::Kind::Repeating:
                target = &occurrences.emplace_back();
                target->push_back({OccurrenceLine(estimate.start, line), estimate.start, line.name,
                                   RepetitionAt(lines, estimate.line)});
                break;
            case ScheduleLine::Kind::Dated:
                target->push_back({line.text, estimate.start, line.name, nullptr});
                break;
            default:
                target->push_back({QueueLine(estimate.start, line.name), estimate.start, line.name, nullptr});
                break;
        }
    }
    for (std::vector<QueueEntry>& block : occurrences) PlaceOccurrence(entries, std::move(block));
    return entries;
}

void ScheduleLoader::GetSchedule() {
    queue_.Replace({});
    log_.LogEvent("CmClearItems : Reloading Schedule List");

    std::string text, problem;
    const ScheduleFileRead read = ReadScheduleFile(kScheduleFile, text, &problem);
    if (read == ScheduleFileRead::kCannotOpen) {
        log_.LogEvent(Format("GetSchedule : Cannot open Schedule.lst input file (%s: %s).", kScheduleFile,
                             problem.c_str()));
        return;
    }
    // What was read is still loaded, but never a line cut short.
    if (read != ScheduleFileRead::kWhole)
        log_.LogEvent(read == ScheduleFileRead::kReadError
                          ? "GetSchedule : Cannot read all of Schedule.lst input file."
                          : "GetSchedule : Schedule.lst input file too long, read in part.");
    std::vector<std::string> refused;
    std::vector<QueueEntry> entries = Entries(text, clock_.Time(), settings_, DataFileSizeOnDisk, &refused);
    for (const std::string& line : refused) log_.LogEvent(line);
    queue_.Replace(std::move(entries));
}

}  // namespace sked
