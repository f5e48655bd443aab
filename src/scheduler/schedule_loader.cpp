#include "scheduler/schedule_loader.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

#include "app/scheduler_dlg.h"
#include "platform/directory.h"
#include "platform/text_format.h"
#include "transmit/file_sender.h"

namespace sked {

namespace {
constexpr int kLineChars = 254;

struct SpeedMarker {
    const char* prefix;
    float baud;
};
constexpr SpeedMarker kMarkers[] = {{"$B45", 45.45f}, {"$B50", 50.0f},  {"$B56", 56.9f}, {"$B74", 74.4f},
                                    {"$B10", 100.0f}, {"$B11", 110.0f}, {"$B30", 300.0f}};

std::string ListText(std::time_t when, const std::string& name) {
    std::tm t = LocalTime(when);
    return Format("%02d/%02d/%4d %02d:%02d:%02d %s", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900, t.tm_hour, t.tm_min,
                  t.tm_sec, name.c_str());
}
}  // namespace

std::time_t ScheduleLoader::EntryTime(const std::string& line) {
    int month, day, year, hour, minute, second;
    if (std::sscanf(line.c_str(), "%d/%d/%d %d:%d:%d", &month, &day, &year, &hour, &minute, &second) != 6) return -1;
    return MakeLocalTime(year, month, day, hour, minute, second);
}

void ScheduleLoader::TestSpeedMarker(const std::string& word) {
    std::string upper = word.substr(0, 4);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const auto& marker : kMarkers)
        if (upper == marker.prefix) estimateSpeed_ = marker.baud;
}

float ScheduleLoader::SecondsPerCharacter() const {
    int mode = Settings().mode;
    if (mode == kAscii) return 10.0f / estimateSpeed_;
    if (mode == kPsk31) return 0.25f;
    return 7.5f / estimateSpeed_;
}

void ScheduleLoader::GetSchedule() {
    StationSettings& s = Settings();
    MainWindow& w = dlg_.w;
    w.scheduleList.ResetContent();
    s.cancelRequested = 0;
    w.flowField.SetText("");
    dlg_.log.LogEvent("CmClearItems : Reloading Schedule List");

    std::FILE* file = std::fopen(kScheduleFile, "r");
    if (!file) {
        dlg_.log.LogEvent("GetSchedule : Cannot open Schedule.lst input file.");
        return;
    }
    const std::time_t now = dlg_.loop.clock().Time();
    runningTimeTag_ = now + 10;
    lastLength_ = 1;

    char buffer[kLineChars + 1];
    while (std::fgets(buffer, sizeof buffer, file)) {
        std::string line = buffer;
        if (!line.empty() && line.back() == '\n') line.pop_back();
        if (!line.empty() && line.back() == '\r') line.pop_back();  // written on Windows
        std::replace(line.begin(), line.end(), '\t', ' ');
        std::istringstream in(line);
        std::vector<std::string> words;
        for (std::string word; words.size() < 3 && in >> word;) words.push_back(word);
        if (words.empty()) continue;

        TestSpeedMarker(words.size() >= 3 ? words[2] : words[0]);
        float perCharacter = SecondsPerCharacter();

        if (words.size() == 1) {
            if (runningTimeTag_ <= now) {
                dlg_.log.LogEvent(Format("GetSchedule : Expired time tag %s", line.c_str()));
                continue;
            }
            runningTimeTag_ += static_cast<std::time_t>(static_cast<float>(lastLength_) * perCharacter);
            lastLength_ = FileSize("data/" + words[0]).value_or(1);
            w.scheduleList.AddString(ListText(runningTimeTag_, words[0]));
        } else if (words.size() >= 3) {
            std::time_t t = EntryTime(line);
            if (t > 0) runningTimeTag_ = t;
            if (t <= now) {
                dlg_.log.LogEvent(Format("GetSchedule : Expired time tag %s", line.c_str()));
                continue;
            }
            w.scheduleList.AddString(line);
            if (auto size = FileSize("data/" + words[2])) lastLength_ = *size;
        }
    }
    std::fclose(file);
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
