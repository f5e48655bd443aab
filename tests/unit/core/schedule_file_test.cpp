// Schedule text into queue entries, without a station (clock-change nights: the dispatcher scenarios; the
// editor's list agrees with it: the editor's own test).
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "scheduler/schedule_loader.h"

namespace sked {
namespace {

using Lines = std::vector<std::string>;
using namespace std::string_literals;

class ScheduleText : public ::testing::Test {
protected:
    struct Reading {
        std::vector<QueueEntry> entries;
        Lines log;
    };
    // Reads `text` at 2026-01-01 12:00:00 in a Baudot mode at 45.45 baud;
    // data/ holds the files of `sizes`. Names looked up land in `asked`.
    Reading Read(std::string_view text) {
        Reading r;
        r.entries = ScheduleLoader::Entries(text, MakeLocalTime(2026, 1, 1, 12, 0, 0), StationSettings{},
                                            [this](const std::string& name) -> std::optional<std::uintmax_t> {
                                                asked.push_back(name);
                                                return sizes.contains(name) ? std::optional(sizes[name])
                                                                            : std::nullopt;
                                            },
                                            &r.log);
        return r;
    }
    static Lines Texts(const Reading& r) {
        Lines texts;
        for (const auto& e : r.entries) texts.push_back(e.text);
        return texts;
    }

    std::map<std::string, std::uintmax_t> sizes{{"news.txt", 3300}, {"wx.txt", 1000}};
    Lines asked;
};

TEST_F(ScheduleText, DateAndTimeReadOnlyAsARealCalendarTimeWithoutOverflow) {
    const struct {
        const char* line;
        LineTime::Kind kind;
        std::time_t time;
    } cases[] = {
        {"01/01/2026 12:00:00 news.txt", LineTime::kValid, MakeLocalTime(2026, 1, 1, 12, 0, 0)},
        {" 1/1/2026\t7:5:3t x", LineTime::kValid, MakeLocalTime(2026, 1, 1, 7, 5, 3)},
        {"02/29/2028 23:59:59 x", LineTime::kValid, MakeLocalTime(2028, 2, 29, 23, 59, 59)},
        {"12/31/2099 23:59:59 x", LineTime::kValid, MakeLocalTime(2099, 12, 31, 23, 59, 59)},
        {"000000000000000000000000004/30/2026 12:00:00 x", LineTime::kValid, MakeLocalTime(2026, 4, 30, 12, 0, 0)},
        {"02/29/2027 12:00:00 x", LineTime::kInvalid, -1},
        {"02/30/2026 12:00:00 x", LineTime::kInvalid, -1},
        {"13/01/2026 12:00:00 x", LineTime::kInvalid, -1},
        {"-1/01/2026 12:00:00 x", LineTime::kInvalid, -1},
        {"01/00/2026 12:00:00 x", LineTime::kInvalid, -1},
        {"01/01/2026 24:00:00 x", LineTime::kInvalid, -1},
        {"01/01/2026 12:00:60 x", LineTime::kInvalid, -1},
        {"01/01/2100 00:00:00 x", LineTime::kInvalid, -1},
        {"01/01/2147483647 12:00:00 x", LineTime::kInvalid, -1},
        {"01/01/2026 12:00:99999999999999999999999 x", LineTime::kInvalid, -1},
        {"01/01/2026", LineTime::kUnreadable, -1},
        {"01/01/2026x 12:00:00 x", LineTime::kUnreadable, -1},
        {"01/01/2026 12:00:+ x", LineTime::kUnreadable, -1},
        {"hello world again", LineTime::kUnreadable, -1},
    };
    for (const auto& c : cases) {
        LineTime t = ReadLineTime(c.line);
        EXPECT_EQ(t.kind, c.kind) << c.line;
        EXPECT_EQ(t.time, c.time) << c.line;
    }
}

TEST_F(ScheduleText, LinesEntriesAndRefusals) {
    sizes["big.txt"] = 10'000'000'000ULL;  // 52 years at 45.45 baud
    sizes["all.txt"] = std::numeric_limits<std::uintmax_t>::max();
    const std::string longName = "01/01/2026 12:30:00 " + std::string(240, 'n') + ".txt";
    const struct {
        std::string text;
        Lines items, log, asked;
    } cases[] = {
        // Every line end; a zero byte ends the text of its line.
        {"news.txt\r\nwx.txt\r$RX\nnews.txt\0junk\r\n\r\n\n"s,
         {"01/01/2026 12:00:10 news.txt", "01/01/2026 12:09:14 wx.txt", "01/01/2026 12:11:59 $RX",
          "01/01/2026 12:11:59 news.txt"},
         {},
         {"news.txt", "wx.txt", "news.txt"}},
        // Blanks or tabs between words; a two-word line is no entry; the last line needs no end.
        {"01/01/2026\t12:30:00\tnews.txt\t// the\tnews\nhello world\n\twx.txt\t\nweather.txt",
         {"01/01/2026 12:30:00 news.txt // the news", "01/01/2026 12:39:04 wx.txt", "01/01/2026 12:41:49 weather.txt"},
         {},
         {"news.txt", "wx.txt", "weather.txt"}},
        // Due now is past; automatic entries after a past one are past too.
        {"01/01/2026 12:00:00 now.txt\nnews.txt\n01/01/2026 11:59:00 old.txt\nwx.txt\n"
         "01/01/2026 13:00:00 news.txt\nwx.txt\n",
         {"01/01/2026 13:00:00 news.txt", "01/01/2026 13:09:04 wx.txt"},
         {"GetSchedule : Expired time tag 01/01/2026 12:00:00 now.txt", "GetSchedule : Expired time tag news.txt",
          "GetSchedule : Expired time tag 01/01/2026 11:59:00 old.txt", "GetSchedule : Expired time tag wx.txt"},
         {"news.txt", "wx.txt"}},
        // A refused date leaves the timing of the lines after it alone.
        {"01/01/2026 12:30:00 news.txt\n02/30/2026 12:00:00 wx.txt\nwx.txt\n",
         {"01/01/2026 12:30:00 news.txt", "01/01/2026 12:39:04 wx.txt"},
         {"GetSchedule : Invalid date or time 02/30/2026 12:00:00 wx.txt"},
         {"news.txt", "wx.txt"}},
        // Names outside data/ are never even looked at; a command is no path.
        {"01/01/2026 12:30:00 ../../../../etc/passwd\n/etc/passwd\nnews/../../x\n01/01/2026 12:40:00 $X/../../RX\n",
         {"01/01/2026 12:40:00 $X/../../RX"},
         {"GetSchedule : Refused name outside data/ 01/01/2026 12:30:00 ../../../../etc/passwd",
          "GetSchedule : Refused name outside data/ /etc/passwd",
          "GetSchedule : Refused name outside data/ news/../../x"},
         {}},
        // The name must lie within the characters a list line keeps.
        {longName + "\n" + std::string(255, 'w') + "\n",
         {},
         {"GetSchedule : Line too long " + longName.substr(0, 254),
          "GetSchedule : Line too long " + std::string(254, 'w')},
         {}},
        // Automatic entries never run past the last date a list line holds,
        // whatever the size of the file before them.
        {"12/31/2099 23:59:59 news.txt\nwx.txt\n10/01/2099 12:00:00 big.txt\nwx.txt\n$RX\n"
         "01/01/2027 12:00:00 all.txt\nwx.txt\n",
         {"12/31/2099 23:59:59 news.txt", "10/01/2099 12:00:00 big.txt", "01/01/2027 12:00:00 all.txt"},
         {"GetSchedule : Invalid date or time wx.txt", "GetSchedule : Invalid date or time wx.txt",
          "GetSchedule : Invalid date or time $RX", "GetSchedule : Invalid date or time wx.txt"},
         {"news.txt", "big.txt", "all.txt"}},
    };
    for (const auto& c : cases) {
        asked.clear();
        const Reading r = Read(c.text);
        EXPECT_EQ(Texts(r), c.items) << c.text;
        EXPECT_EQ(r.log, c.log) << c.text;
        EXPECT_EQ(asked, c.asked) << c.text;
        for (const auto& e : r.entries) EXPECT_EQ(e.due, ReadLineTime(e.text).time) << e.text;
    }
}

TEST_F(ScheduleText, ALongLineKeepsItsHeadAndDropsItsCommentTail) {
    // The cut falls inside the two bytes of an "é": the list keeps neither.
    const std::string head = "01/01/2026 12:30:00 news.txt // ";
    const std::string line = head + std::string(253 - head.size(), 'x') + "\xc3\xa9" + std::string(1 << 20, 'y');
    const Reading r = Read(line + "\nwx.txt\n");
    ASSERT_EQ(Texts(r), (Lines{line.substr(0, 253), "01/01/2026 12:39:04 wx.txt"}));
    EXPECT_EQ(r.entries[0].name, "news.txt");
    EXPECT_TRUE(r.log.empty());
}

// A folder or an endless device where the schedule should be is no schedule, and nothing hangs.
TEST(ScheduleFile, AFolderOrAnEndlessDeviceIsNoSchedule) {
    std::string text;
    EXPECT_EQ(ReadScheduleFile("/tmp", text), ScheduleFileRead::kCannotOpen);
    EXPECT_EQ(ReadScheduleFile("/dev/zero", text), ScheduleFileRead::kTooLong);
    EXPECT_TRUE(text.empty());  // cut back to its last whole line: none
}

}  // namespace
}  // namespace sked
