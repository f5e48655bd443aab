#include "scheduler/schedule_loader.h"

#include "platform/directory.h"
#include "platform/text_format.h"

namespace sked {

const char* RefusalOf(EntryEstimate::Status status) {
    switch (status) {
        case EntryEstimate::Status::Expired: return "Expired time tag";
        case EntryEstimate::Status::Unreadable: return "Unreadable date or time";
        case EntryEstimate::Status::Invalid: return "Invalid date or time";
        case EntryEstimate::Status::OutsideData: return "Refused name outside data/";
        case EntryEstimate::Status::TooLong: return "Line too long";
        case EntryEstimate::Status::Due: break;
    }
    return "";
}

std::optional<std::uintmax_t> DataFileSizeOnDisk(const std::string& name) { return FileSize("data/" + name); }

std::vector<QueueEntry> ScheduleLoader::Entries(std::string_view text, std::time_t now,
                                                const StationSettings& settings, const DataFileSize& sizeOnDisk,
                                                std::vector<std::string>* log) {
    const DataFileSize sizeOf = SizeOncePerName(sizeOnDisk);
    const std::vector<ScheduleLine> lines = ParseSchedule(text);
    std::vector<QueueEntry> entries;
    for (const EntryEstimate& estimate : EstimateSchedule(lines, now, now, settings.mode, settings.baud, sizeOf)) {
        const ScheduleLine& line = lines[estimate.line];
        if (estimate.status != EntryEstimate::Status::Due) {
            if (log) log->push_back(Format("GetSchedule : %s %s", RefusalOf(estimate.status), line.text.c_str()));
            continue;
        }
        const bool dated = line.kind == ScheduleLine::Kind::Dated;
        entries.push_back({dated ? line.text : QueueLine(estimate.start, line.name), estimate.start, line.name});
    }
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
