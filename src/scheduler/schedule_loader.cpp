#include "scheduler/schedule_loader.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/directory.h"
#include "scheduler/schedule_file.h"
#include "transmit/file_sender.h"

namespace sked {

namespace {
constexpr std::size_t kMaxScheduleBytes = 16 << 20;  // some 60 000 full lines
}  // namespace

ScheduleFileRead ReadScheduleFile(const std::string& path, std::string& text) {
    text.clear();
    // OpenForReading also refuses a folder, which fopen opens on Linux.
    std::FILE* file = FileSender::OpenForReading(path);
    if (!file) return ScheduleFileRead::kCannotOpen;
    char chunk[16384];
    for (std::size_t n; text.size() <= kMaxScheduleBytes && (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        text.append(chunk, n);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (!failed && text.size() <= kMaxScheduleBytes) return ScheduleFileRead::kWhole;
    text.resize(std::min(text.size(), kMaxScheduleBytes));
    text.resize(text.find_last_of("\r\n") + 1);  // npos + 1: nothing
    return failed ? ScheduleFileRead::kReadError : ScheduleFileRead::kTooLong;
}

CharacterTiming CharacterTimingOf(int mode) {
    return mode == kAscii ? CharacterTiming::kAscii : mode == kPsk31 ? CharacterTiming::kPsk31 : CharacterTiming::kBaudot;
}

std::time_t ScheduleLoader::EntryTime(const std::string& line) {
    LineTime t = ReadLineTime(line);
    return t.kind == LineTime::kValid ? t.time : -1;
}

void ScheduleLoader::GetSchedule() {
    queue_.Clear();
    state_.cancelRequested = false;
    view_.ShowFlow("");
    log_.LogEvent("CmClearItems : Reloading Schedule List");

    std::string text;
    ScheduleFileRead read = ReadScheduleFile(kScheduleFile, text);
    if (read == ScheduleFileRead::kCannotOpen) {
        log_.LogEvent("GetSchedule : Cannot open Schedule.lst input file.");
        return;
    }
    // What was read is still loaded, but never a line cut short.
    if (read != ScheduleFileRead::kWhole)
        log_.LogEvent(read == ScheduleFileRead::kReadError
                          ? "GetSchedule : Cannot read all of Schedule.lst input file."
                          : "GetSchedule : Schedule.lst input file too long, read in part.");

    ScheduleReading reading = ReadSchedule(text, clock_.Time(), CharacterTimingOf(state_.mode), estimateSpeed_,
                                           [](const std::string& name) { return FileSize("data/" + name); });
    estimateSpeed_ = reading.estimateSpeed;
    for (const std::string& line : reading.log) log_.LogEvent(line);
    std::vector<std::string> lines;
    for (const ScheduleEntry& entry : reading.entries) lines.push_back(entry.text);
    queue_.AppendAll(lines);
}

}  // namespace sked
