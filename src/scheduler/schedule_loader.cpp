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

std::time_t ScheduleLoader::EntryTime(const std::string& line) {
    LineTime t = ReadLineTime(line);
    return t.kind == LineTime::kValid ? t.time : -1;
}

void ScheduleLoader::GetSchedule() {
    queue_.Clear();
    state_.cancelRequested = false;
    view_.ShowFlow("");
    log_.LogEvent("CmClearItems : Reloading Schedule List");

    // OpenForReading also refuses a folder, which fopen opens on Linux.
    std::FILE* file = FileSender::OpenForReading(kScheduleFile);
    if (!file) {
        log_.LogEvent("GetSchedule : Cannot open Schedule.lst input file.");
        return;
    }
    // Read whole, up to a size no real schedule comes near (a link to an
    // endless device must not eat the memory).
    std::string text;
    char chunk[16384];
    for (std::size_t n; text.size() <= kMaxScheduleBytes && (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        text.append(chunk, n);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    // What was read is still loaded, but never a line cut short.
    if (failed || text.size() > kMaxScheduleBytes) {
        log_.LogEvent(failed ? "GetSchedule : Cannot read all of Schedule.lst input file."
                                 : "GetSchedule : Schedule.lst input file too long, read in part.");
        text.resize(std::min(text.size(), kMaxScheduleBytes));
        text.resize(text.find_last_of("\r\n") + 1);  // npos + 1: nothing
    }

    CharacterTiming timing = state_.mode == kAscii   ? CharacterTiming::kAscii
                             : state_.mode == kPsk31 ? CharacterTiming::kPsk31
                                                     : CharacterTiming::kBaudot;
    ScheduleReading reading = ReadSchedule(text, clock_.Time(), timing, estimateSpeed_,
                                           [](const std::string& name) { return FileSize("data/" + name); });
    estimateSpeed_ = reading.estimateSpeed;
    for (const std::string& line : reading.log) log_.LogEvent(line);
    std::vector<std::string> lines;
    for (const ScheduleEntry& entry : reading.entries) lines.push_back(entry.text);
    queue_.AppendAll(lines);
}

}  // namespace sked
