#include "editor/schedule_list.h"

#include <cctype>

#include "editor/format_duration.h"
#include "platform/clock.h"
#include "platform/text_format.h"
#include "scheduler/schedule_commands.h"
#include "transmit/data_file_name.h"

namespace sked {

namespace {

// The name column: the name, or for a missing or empty file the name padded
// and marked ("CMD" for a command, "???" for a file that is not there).
struct Named {
    std::string field;
    std::uint32_t size;
};
Named NameField(const std::string& name, const DataFileSize& sizeOf, int width) {
    // Low 32 bits of the length, as the list has always shown it.
    std::uint32_t size = 0;
    if (IsDataFileName(name))
        if (auto length = sizeOf(name)) size = static_cast<std::uint32_t>(*length);
    if (size > 0) return {name, size};
    if (name[0] == '$') return {Format("%-*s %s", width, name.c_str(), "CMD"), 1};
    return {Format("%-*s %s", width, name.c_str(), "???"), 0};
}

long Seconds(std::uint32_t size, float perCharacter) {
    return static_cast<long>(static_cast<float>(size) * perCharacter);
}

}  // namespace

EditorReading ReadEditorSchedule(std::string_view text, std::time_t now, Mode mode, float baud, bool untimedDisplay,
                                 const DataFileSize& sizeOnDisk) {
    using Status = EntryEstimate::Status;
    // The estimates and the size column ask for the same files.
    const DataFileSize sizeOf = SizeOncePerName(sizeOnDisk);
    EditorReading reading;
    const std::vector<ScheduleLine> lines = ParseSchedule(text);
    for (const ScheduleLine& line : lines) {
        const ScheduleCommand* command = CommandOfWord(line.name);
        if (command && command->action == ScheduleAction::PskPreset) reading.pskFrequency = command->hertz;
        if (line.kind == ScheduleLine::Kind::Pair) ++reading.notEntries;
    }
    // The starts are the loader's; the list keeps the entries of the last two days too.
    for (const EntryEstimate& estimate : EstimateSchedule(lines, now, now - kEditorExpiry, mode, baud, sizeOf)) {
        const ScheduleLine& line = lines[estimate.line];
        const bool dated = line.kind == ScheduleLine::Kind::Dated;
        if (estimate.status == Status::Expired) {
            ++reading.expired;
            continue;
        }
        const bool repeating = line.kind == ScheduleLine::Kind::Repeating;
        if (estimate.status == Status::Unreadable || estimate.status == Status::BadRule ||
            ((dated || repeating) && estimate.status == Status::Invalid)) {
            ++reading.unreadable;
            continue;
        }
        const Named named = NameField(line.name, sizeOf, dated || repeating ? 21 : 35);
        const std::string duration = FormatDuration(Seconds(named.size, SecondsPerCharacter(mode, estimate.baud)));
        std::string display;
        if (dated) {
            display = Format("%s  %st %-40s  %5u %9s", line.date.c_str(), line.time.c_str(), named.field.c_str(),
                             named.size, duration.c_str());
        } else if (repeating) {
            // The rule and time as written, time-tagged like a date, and the next occurrence.
            const std::tm t = LocalTime(estimate.start);
            display = Format("%-10s  %st %-40s  %5u %9s  next %02d/%02d/%4d %02d:%02d:%02d", line.date.c_str(),
                             line.time.c_str(), named.field.c_str(), named.size, duration.c_str(), t.tm_mon + 1,
                             t.tm_mday, t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
        } else if (untimedDisplay) {
            display = Format("%22s%-40s  %5u %9s", "", named.field.c_str(), named.size, duration.c_str());
        } else {
            const std::tm t = LocalTime(estimate.start);
            display = Format("%02d/%02d/%4d  %02d:%02d:%02d  %-40s  %5u %9s", t.tm_mon + 1, t.tm_mday,
                             t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec, named.field.c_str(), named.size,
                             duration.c_str());
        }
        reading.lines.push_back({display, dated || repeating ? line.comment : ""});
        reading.starts.push_back(estimate.start);
    }
    return reading;
}

DisplayWords SplitDisplayLine(const std::string& line) {
    DisplayWords split;
    split.untimed = !line.empty() && line[0] == ' ';
    ScheduleWords words = FirstScheduleWords(line);
    // "every 30m" is one rule in two words.
    if (words.count > 0 && !split.untimed && RuleTakesInterval(words.word[0])) {
        const std::size_t afterRule = static_cast<std::size_t>(words.word[0].data() + words.word[0].size() - line.data());
        const ScheduleWords rest = FirstScheduleWords(std::string_view(line).substr(afterRule));
        split.first = std::string(words.word[0]) + (rest.count > 0 ? " " + std::string(rest.word[0]) : "");
        if (rest.count > 1) split.second = rest.word[1];
        if (rest.count > 2) split.third = rest.word[2];
        return split;
    }
    if (words.count > 0) split.first = words.word[0];
    if (words.count > 1) split.second = words.word[1];
    if (words.count > 2) split.third = words.word[2];
    return split;
}

std::string WriteEditorSchedule(const std::vector<EditorLine>& lines) {
    std::string text;
    for (const EditorLine& line : lines) {
        DisplayWords words = SplitDisplayLine(line.display);
        if (words.first.empty()) continue;
        if (words.untimed || words.third.empty()) {
            text += words.first + "\n";
        } else if (words.second.find('t') != std::string::npos) {
            // The time tag is the t the list put behind the time; the file
            // gets the time as it was read.
            std::string time = words.second;
            if (time.back() == 't') time.pop_back();
            text += words.first + "\t" + time + "\t" + words.third + line.comment + "\n";
        } else {
            // An untimed entry shown with its computed start: the start is
            // never stored.
            text += words.third + "\n";
        }
    }
    return text;
}

std::string FieldsLine(const std::string& date, const std::string& time, const std::string& name) {
    if (date.empty() && time.empty()) return Format("%22s%s", "", name.c_str());
    // A rule starts the line: a leading blank would make it untimed.
    if (StartsRepeatRule(date.substr(0, date.find(' ')))) return Format("%-10s  %8st  %s", date.c_str(), time.c_str(), name.c_str());
    return Format("%10s  %8st  %s", date.c_str(), time.c_str(), name.c_str());
}

std::string ProvisionalLine(std::time_t when, const std::string& name) {
    std::tm t = LocalTime(when);
    return Format("%02d/%02d/%4d  %02d:%02d:%02d  %s", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900, t.tm_hour, t.tm_min,
                  t.tm_sec, name.c_str());
}

}  // namespace sked
