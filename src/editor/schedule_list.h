// The schedule editor's list: data/schedule.lst read into display lines (one
// per entry, with the size of its file and an estimate of its sending time)
// and the display lines written back as the file. Pure text in and out; the
// dialog owns the file, the list control and the clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scheduler/schedule.h"

namespace sked {

// One entry of the list: the line shown and what follows the entry's name on
// its file line (its "// ..." comment with the blanks before it), written
// back after the name so that a save keeps it.
struct EditorLine {
    std::string display;
    std::string comment;
};

// Entries whose time lies this long or longer in the past leave the list.
constexpr std::time_t kEditorExpiry = 48 * 60 * 60;
// Columns before the name in every display form.
constexpr std::size_t kNameColumn = 22;

struct EditorReading {
    std::vector<EditorLine> lines;
    std::vector<std::time_t> starts;    // of each line, as the station's loader times it
    std::optional<float> pskFrequency;  // of the last "$F15".."$F21" marker read
    int expired = 0;     // entries left out: 48 hours old, or untimed after such an entry
    int unreadable = 0;  // lines of three words or more whose date and time do not read
    int notEntries = 0;  // lines of two words
};

// Reads `text` at `now`, estimated as a station in `mode` at `baud` sends it.
// `untimedDisplay`: untimed entries are shown without a time (Auto Time
// off); otherwise with the start each would get.
EditorReading ReadEditorSchedule(std::string_view text, std::time_t now, Mode mode, float baud, bool untimedDisplay,
                                 const DataFileSize& sizeOf);

// The file's text for the list: a time-tagged entry as date TAB time TAB name
// and its comment, any other as its name alone.
std::string WriteEditorSchedule(const std::vector<EditorLine>& lines);

// Display lines as Insert and Replace make them before the list is reloaded.
// A time-tagged entry: "%10s  %8st  %s"; with an empty date and time it is
// untimed (22 blanks and the name).
std::string FieldsLine(const std::string& date, const std::string& time, const std::string& name);
// An untimed entry shown at its provisional start `when` (no time tag).
std::string ProvisionalLine(std::time_t when, const std::string& name);

// The words of a display line, as the writer and the double-click split it.
struct DisplayWords {
    bool untimed = false;  // begins with a blank: shown without a time
    std::string first, second, third;
};
DisplayWords SplitDisplayLine(const std::string& line);

}  // namespace sked
