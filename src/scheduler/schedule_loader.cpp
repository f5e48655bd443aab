#include "scheduler/schedule_loader.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "app/scheduler_dlg.h"
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
    StationSettings& s = Settings();
    MainWindow& w = dlg_.w;
    w.scheduleList.ResetContent();
    s.cancelRequested = 0;
    w.flowField.SetText("");
    dlg_.log.LogEvent("CmClearItems : Reloading Schedule List");

    // OpenForReading also refuses a folder, which fopen opens on Linux.
    std::FILE* file = FileSender::OpenForReading(kScheduleFile);
    if (!file) {
        dlg_.log.LogEvent("GetSchedule : Cannot open Schedule.lst input file.");
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
        dlg_.log.LogEvent(failed ? "GetSchedule : Cannot read all of Schedule.lst input file."
                                 : "GetSchedule : Schedule.lst input file too long, read in part.");
        text.resize(std::min(text.size(), kMaxScheduleBytes));
        text.resize(text.find_last_of("\r\n") + 1);  // npos + 1: nothing
    }

    CharacterTiming timing = s.mode == kAscii   ? CharacterTiming::kAscii
                             : s.mode == kPsk31 ? CharacterTiming::kPsk31
                                                : CharacterTiming::kBaudot;
    ScheduleReading reading = ReadSchedule(text, dlg_.loop.clock().Time(), timing, estimateSpeed_,
                                           [](const std::string& name) { return FileSize("data/" + name); });
    estimateSpeed_ = reading.estimateSpeed;
    for (const std::string& line : reading.log) dlg_.log.LogEvent(line);
    for (const ScheduleEntry& entry : reading.entries) w.scheduleList.AddString(entry.text);
}

void ScheduleLoader::ShowEntry(int index) {
    ListBoxControl& list = dlg_.w.scheduleList;
    if (index < 0 || index >= list.Count()) return;
    std::istringstream in(list.Item(index));
    std::string date, time, name;
    if (!(in >> date >> time >> name) || name[0] == '$') return;
    dlg_.files->PrintFile(name);
}

}  // namespace sked
