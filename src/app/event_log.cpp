#include "app/event_log.h"

#include <algorithm>
#include <cstdio>

#include "platform/text_format.h"

namespace sked {

namespace {
std::string BlanksToZeros(std::string text) {
    std::replace(text.begin(), text.end(), ' ', '0');
    return text;
}
}  // namespace

std::string EventLog::FileName(const std::tm& local) {
    return BlanksToZeros(Format("log/%4d%2d%2d.log", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday));
}

std::string EventLog::TodaysFileName() const { return FileName(LocalTime(clock_.Time())); }

void EventLog::LogEvent(const std::string& message) {
    // One reading of the clock gives both the file and the time stamp.
    std::tm local = LocalTime(clock_.Time());
    std::FILE* file = std::fopen(FileName(local).c_str(), "a");
    if (!file) {
        statusLine_.SetText(kCannotOpen);
        return;
    }
    std::string stamp = BlanksToZeros(Format("%2d:%2d:%2d", local.tm_hour, local.tm_min, local.tm_sec));
    std::fprintf(file, "%s > %s\n", stamp.c_str(), message.substr(0, kMaxMessage).c_str());
    std::fclose(file);
}

}  // namespace sked
