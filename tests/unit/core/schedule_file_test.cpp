// Schedule text into queue entries, without a station (clock-change nights: the dispatcher scenarios).
#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/directory.h"
#include "scheduler/schedule_loader.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

using Lines = std::vector<std::string>;
using namespace std::string_literals;

class ScheduleText : public ::testing::Test {
protected:
    struct Reading { std::vector<QueueEntry> entries; Lines log; };
    // Reads `text` at 2026-01-01 12:00:00 in a Baudot mode at 45.45 baud; data/ holds the files of `sizes`.
    Reading Read(std::string_view text) {
        const auto size = [this](const std::string& name) -> std::optional<std::uintmax_t> {
            asked.push_back(name);
            return sizes.contains(name) ? std::optional(sizes[name]) : std::nullopt;
        };
        Reading r;
        r.entries = ScheduleLoader::Entries(text, MakeLocalTime(2026, 1, 1, 12, 0, 0), StationSettings{}, size, &r.log);
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
    const struct { const char* line; LineTime::Kind kind; std::time_t time; } cases[] = {
        {"01/01/2026 12:00:00 news.txt", LineTime::kValid, MakeLocalTime(2026, 1, 1, 12, 0, 0)},
        {" 1/1/2026\t7:5:3t x", LineTime::kValid, MakeLocalTime(2026, 1, 1, 7, 5, 3)},
        {"02/29/2028 23:59:59 x", LineTime::kValid, MakeLocalTime(2028, 2, 29, 23, 59, 59)},
        {"12/31/2099 23:59:59 x", LineTime::kValid, MakeLocalTime(2099, 12, 31, 23, 59, 59)},
        {"000000000000000000000000004/30/2026 12:00:00 x", LineTime::kValid, MakeLocalTime(2026, 4, 30, 12, 0, 0)},
        {"02/29/2027 12:00:00 x", LineTime::kInvalid, -1}, {"02/30/2026 12:00:00 x", LineTime::kInvalid, -1},
        {"13/01/2026 12:00:00 x", LineTime::kInvalid, -1}, {"-1/01/2026 12:00:00 x", LineTime::kInvalid, -1},
        {"01/00/2026 12:00:00 x", LineTime::kInvalid, -1}, {"01/01/2026 24:00:00 x", LineTime::kInvalid, -1},
        {"01/01/2026 12:00:60 x", LineTime::kInvalid, -1}, {"01/01/2100 00:00:00 x", LineTime::kInvalid, -1},
        {"01/01/2147483647 12:00:00 x", LineTime::kInvalid, -1},
        {"01/01/2026 12:00:99999999999999999999999 x", LineTime::kInvalid, -1},
        {"01/01/2026", LineTime::kUnreadable, -1}, {"01/01/2026x 12:00:00 x", LineTime::kUnreadable, -1},
        {"01/01/2026 12:00:+ x", LineTime::kUnreadable, -1}, {"hello world again", LineTime::kUnreadable, -1},
    };
    for (const auto& c : cases) {
        const LineTime t = ReadLineTime(c.line);
        EXPECT_EQ(std::pair(t.kind, t.time), std::pair(c.kind, c.time)) << c.line;
    }
}

TEST_F(ScheduleText, LinesEntriesAndRefusals) {
    sizes["big.txt"] = 10'000'000'000ULL;  // 52 years at 45.45 baud
    sizes["all.txt"] = std::numeric_limits<std::uintmax_t>::max();
    const std::string longName = "01/01/2026 12:30:00 " + std::string(240, 'n') + ".txt";
    const struct { std::string text; Lines items, log, asked; } cases[] = {
        // Every line end; a zero byte ends the text of its line; each file is asked for once.
        {"news.txt\r\nwx.txt\r$RX\nnews.txt\0junk\r\n\r\n\n"s,
         {"01/01/2026 12:00:10 news.txt", "01/01/2026 12:09:14 wx.txt", "01/01/2026 12:11:59 $RX",
          "01/01/2026 12:11:59 news.txt"}, {}, {"news.txt", "wx.txt"}},
        // Blanks or tabs between words; a two-word line is no entry; the last line needs no end.
        {"01/01/2026\t12:30:00\tnews.txt\t// the\tnews\nhello world\n\twx.txt\t\nweather.txt",
         {"01/01/2026 12:30:00 news.txt // the news", "01/01/2026 12:39:04 wx.txt", "01/01/2026 12:41:49 weather.txt"},
         {}, {"news.txt", "wx.txt", "weather.txt"}},
        // Due now is past; automatic entries after a past one are past too.
        {"01/01/2026 12:00:00 now.txt\nnews.txt\n01/01/2026 11:59:00 old.txt\nwx.txt\n"
         "01/01/2026 13:00:00 news.txt\nwx.txt\n",
         {"01/01/2026 13:00:00 news.txt", "01/01/2026 13:09:04 wx.txt"},
         {"GetSchedule : Expired time tag 01/01/2026 12:00:00 now.txt", "GetSchedule : Expired time tag news.txt",
          "GetSchedule : Expired time tag 01/01/2026 11:59:00 old.txt", "GetSchedule : Expired time tag wx.txt"},
         {"news.txt", "wx.txt"}},
        // A date or time that does not read is said to be so, not to have passed.
        {"2027-01-01 09:00:00 news.txt\n12-08-2026 09:05:00 wx.txt\n", {},
         {"GetSchedule : Unreadable date or time 2027-01-01 09:00:00 news.txt",
          "GetSchedule : Unreadable date or time 12-08-2026 09:05:00 wx.txt"}, {}},
        // A refused date leaves the timing of the lines after it alone.
        {"01/01/2026 12:30:00 news.txt\n02/30/2026 12:00:00 wx.txt\nwx.txt\n",
         {"01/01/2026 12:30:00 news.txt", "01/01/2026 12:39:04 wx.txt"},
         {"GetSchedule : Invalid date or time 02/30/2026 12:00:00 wx.txt"}, {"news.txt", "wx.txt"}},
        // Names outside data/ are never even looked at; a command is no path.
        {"01/01/2026 12:30:00 ../../../../etc/passwd\n/etc/passwd\nnews/../../x\n01/01/2026 12:40:00 $X/../../RX\n",
         {"01/01/2026 12:40:00 $X/../../RX"},
         {"GetSchedule : Refused name outside data/ 01/01/2026 12:30:00 ../../../../etc/passwd",
          "GetSchedule : Refused name outside data/ /etc/passwd",
          "GetSchedule : Refused name outside data/ news/../../x"}, {}},
        // The name must lie within the characters a list line keeps.
        {longName + "\n" + std::string(255, 'w') + "\n", {},
         {"GetSchedule : Line too long " + longName.substr(0, 254),
          "GetSchedule : Line too long " + std::string(254, 'w')}, {}},
        // Automatic entries never run past the last date a list line holds, whatever the file before them.
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
        EXPECT_EQ(std::tuple(Texts(r), r.log, asked), std::tuple(c.items, c.log, c.asked)) << c.text;
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

// A folder, a FIFO or an endless device where the schedule should be is no schedule, and nothing hangs; names are
// resolved inside data/ (by openat2, or by the real path without it): a link out of it is refused, one inside read.
TEST(ScheduleFile, OnlyARegularFileInsideDataIsASchedule) {
    test::ScratchDirectory dir;
    std::filesystem::create_directories("data/wx");
    test::WriteFile("outside.lst", "news.txt\n"), test::WriteFile("data/wx/today.lst", "wx.txt\n");
    ASSERT_EQ(::mkfifo("data/fifo", 0600), 0);
    for (auto [link, target] : {std::pair{"data/zero", "/dev/zero"}, {"data/up", "wx/../../outside.lst"},
                                {"data/wx/in", "today.lst"}})
        std::filesystem::create_symlink(target, link);
    const std::string outside = "it lies outside data/", irregular = "not a regular file";
    const struct { std::string path, problem; } cases[] = {
        {"/tmp", irregular}, {"/dev/zero", irregular}, {"data/fifo", irregular}, {"data/zero", outside},
        {"data/up", outside}, {"data/none", "No such file or directory"}, {"data/wx/in", ""}, {"data/wx/../wx/in", ""}};
    for (const auto& c : cases) {
        std::string text, problem;
        const bool whole = ReadScheduleFile(c.path, text, &problem) == ScheduleFileRead::kWhole;
        EXPECT_EQ(std::tuple(whole, problem, text), std::tuple(c.problem.empty(), c.problem, whole ? "wx.txt\n" : ""))
            << c.path;
        for (auto opener : {OpenBeneath, OpenBeneathByRealPath}) {  // the kernel's check and the fallback agree
            const int fd = c.path.starts_with("data/") ? opener("data", c.path.substr(5), O_RDONLY | O_NONBLOCK) : 0;
            EXPECT_EQ(fd < 0 ? BeneathProblem(errno, "data") : "", c.problem == irregular ? "" : c.problem) << c.path;
            if (fd > 0) ::close(fd);
        }
    }
}

}  // namespace
}  // namespace sked
