// The schedule editor's list read from and written to schedule text: display
// forms, start times and sending estimates, what is left out, and what a save
// keeps.
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "editor/format_duration.h"
#include "editor/schedule_list.h"
#include "platform/clock.h"

namespace sked {
namespace {

using Lines = std::vector<std::string>;

std::string Pad(const std::string& text, std::size_t width) {
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

class EditorList : public ::testing::Test {
protected:
    // Read at 2026-01-01 12:00:00 local time with the files of `sizes` in data/.
    EditorReading Read(const std::string& text, bool untimedDisplay, CharacterTiming timing = CharacterTiming::kBaudot,
                       float speed = 45.45f) {
        return ReadEditorSchedule(text, now, timing, speed, untimedDisplay,
                                  [this](const std::string& name) -> std::optional<std::uintmax_t> {
                                      auto it = sizes.find(name);
                                      if (it == sizes.end()) return std::nullopt;
                                      return it->second;
                                  });
    }
    static Lines Displays(const EditorReading& r) {
        Lines shown;
        for (const auto& line : r.lines) shown.push_back(line.display);
        return shown;
    }

    std::time_t now = MakeLocalTime(2026, 1, 1, 12, 0, 0);
    std::map<std::string, std::uintmax_t> sizes{
        {"big.txt", 606}, {"empty.txt", 0}, {"small.txt", 100}, {"news.txt", 1000}, {"wx.txt", 3300}};
};

TEST(FormatDuration, MinutesAndSecondsRightAlignedEmptyForNothing) {
    const struct {
        long seconds;
        const char* text;
    } cases[] = {{0, ""}, {-3, ""}, {1, "   0:01"}, {100, "   1:40"}, {3599, "  59:59"}, {600000, "10000:00"}};
    for (const auto& c : cases) EXPECT_EQ(FormatDuration(c.seconds), c.text) << c.seconds;
}

TEST_F(EditorList, UntimedEntriesFollowEachOtherByTheEstimateOfTheOneBefore) {
    const std::string text = "big.txt\nempty.txt\nsmall.txt\n";
    // Auto Time on: each with its computed start.
    EXPECT_EQ(Displays(Read(text, false)),
              (Lines{"01/01/2026  12:00:10  " + Pad("big.txt", 40) + "    606      1:40",
                     "01/01/2026  12:01:50  " + Pad(Pad("empty.txt", 35) + " ???", 40) + "      0          ",
                     "01/01/2026  12:01:50  " + Pad("small.txt", 40) + "    100      0:16"}));
    // Auto Time off: 22 blanks where the start would be.
    EXPECT_EQ(Displays(Read(text, true)),
              (Lines{std::string(22, ' ') + Pad("big.txt", 40) + "    606      1:40",
                     std::string(22, ' ') + Pad(Pad("empty.txt", 35) + " ???", 40) + "      0          ",
                     std::string(22, ' ') + Pad("small.txt", 40) + "    100      0:16"}));
}

TEST_F(EditorList, EstimatesFollowTheModeAndTheSpeedMarkers) {
    const struct {
        const char* text;
        CharacterTiming timing;
        float speed;
        Lines durations;  // the last nine columns of each line
        float speedAfter;
    } cases[] = {
        {"big.txt\n", CharacterTiming::kAscii, 45.45f, {"     2:13"}, 45.45f},
        // PSK31: a quarter of a second a byte, whatever the speed.
        {"big.txt\n", CharacterTiming::kPsk31, 300.0f, {"     2:31"}, 300.0f},
        // $B100 is a command of size 1 and times everything after it at 100 baud.
        {"$B100\nwx.txt\n", CharacterTiming::kBaudot, 45.45f, {"         ", "     4:07"}, 100.0f},
        // The speed carried from the last load holds until a marker changes it.
        {"wx.txt\n", CharacterTiming::kBaudot, 100.0f, {"     4:07"}, 100.0f},
        {"01/02/2026 10:00:00 $b45 // back to 45\nwx.txt\n", CharacterTiming::kBaudot, 100.0f,
         {"         ", "     9:04"}, 45.45f},
    };
    for (const auto& c : cases) {
        EditorReading r = Read(c.text, true, c.timing, c.speed);
        Lines durations;
        for (const auto& line : Displays(r)) durations.push_back(line.substr(line.size() - 9));
        EXPECT_EQ(durations, c.durations) << c.text;
        EXPECT_FLOAT_EQ(r.estimateSpeed, c.speedAfter) << c.text;
    }
    EditorReading command = Read("$B100\n", true);
    EXPECT_EQ(command.lines.at(0).display, std::string(22, ' ') + Pad(Pad("$B100", 35) + " CMD", 40) + "      1          ");
}

TEST_F(EditorList, ASpeedMarkerAlsoTimesTheEntryBeforeIt) {
    // wx.txt (3300 bytes) lasts 544 s at 45.45 baud but is timed at 100 baud
    // (247 s) once the marker's line is read.
    Lines shown = Displays(Read("wx.txt\n$B100\nsmall.txt\n", false));
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[1].substr(0, 20), "01/01/2026  12:04:17");
    EXPECT_EQ(shown[2].substr(0, 20), "01/01/2026  12:04:17");
}

TEST_F(EditorList, FrequencyMarkersAreReportedLastOneWinning) {
    EXPECT_FALSE(Read("wx.txt\n", true).pskFrequency);
    EXPECT_FLOAT_EQ(*Read("$F17\n$f2100\n", true).pskFrequency, 2100.0f);
}

TEST_F(EditorList, TimeTaggedLinesShowTheirTimeWithTheTagAndWriteBackWithout) {
    const std::string line = "01/02/2026 08:30:00 news.txt   // the morning news";
    EditorReading r = Read(line + "\n", false);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0].display, "01/02/2026  08:30:00t " + Pad("news.txt", 40) + "   1000      2:45");
    EXPECT_EQ(r.lines[0].comment, "   // the morning news");
    EXPECT_EQ(WriteEditorSchedule(r.lines), "01/02/2026\t08:30:00\tnews.txt   // the morning news\n");
    // A missing file and a command keep their time and get their marker.
    EXPECT_EQ(Displays(Read("01/02/2026 08:30:00 gone.txt\n01/02/2026 08:31:00 $RX\n", false)),
              (Lines{"01/02/2026  08:30:00t " + Pad(Pad("gone.txt", 21) + " ???", 40) + "      0          ",
                     "01/02/2026  08:31:00t " + Pad(Pad("$RX", 21) + " CMD", 40) + "      1          "}));
}

TEST_F(EditorList, EntriesTwoDaysOldLeaveTheListWithTheUntimedOnesAfterThemAndAreCounted) {
    const std::string text =
        "12/30/2025 11:00:00 news.txt\n"  // 49 hours old
        "wx.txt\n"
        "small.txt\n"
        "12/31/2025 13:00:00 big.txt\n"   // 23 hours old: kept
        "wx.txt\n"
        "12/30/2025 12:00:00 news.txt\n"  // exactly 48 hours: gone
        "12/31/2025 25:00:00 news.txt\n"  // not a time
        "a b\n"
        "\n";
    EditorReading r = Read(text, true);
    Lines names;
    for (const auto& line : r.lines) names.push_back(SplitDisplayLine(line.display).untimed
                                                         ? SplitDisplayLine(line.display).first
                                                         : SplitDisplayLine(line.display).third);
    EXPECT_EQ(names, (Lines{"big.txt", "wx.txt"}));
    EXPECT_EQ(r.expired, 4);
    EXPECT_EQ(r.unreadable, 1);
    EXPECT_EQ(r.notEntries, 1);
    EXPECT_EQ(WriteEditorSchedule(r.lines), "12/31/2025\t13:00:00\tbig.txt\nwx.txt\n");
}

TEST_F(EditorList, TheWrittenFileIsTheSameWithAutoTimeOnOrOff) {
    const std::string text = "big.txt\n01/02/2026 10:00:00 news.txt // n\n$B50\nwx.txt\n";
    std::string off = WriteEditorSchedule(Read(text, true).lines);
    EXPECT_EQ(off, "big.txt\n01/02/2026\t10:00:00\tnews.txt // n\n$B50\nwx.txt\n");
    EXPECT_EQ(WriteEditorSchedule(Read(text, false).lines), off);
}

TEST_F(EditorList, LinesMadeByInsertAndReplaceAreWrittenAsTheirKind) {
    const struct {
        std::string display;
        const char* written;
    } cases[] = {
        {FieldsLine("01/02/2026", "10:00:00", "$RX       // Transmitter OFF"), "01/02/2026\t10:00:00\t$RX\n"},
        {FieldsLine("", "", "$RX       // Transmitter OFF"), "$RX\n"},
        {ProvisionalLine(MakeLocalTime(2026, 1, 2, 10, 0, 0), "wx.txt"), "wx.txt\n"},
        // A time read shorter than eight characters loses only its tag.
        {"1/2/2026  8:00:00t x.txt", "1/2/2026\t8:00:00\tx.txt\n"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(WriteEditorSchedule({{c.display, ""}}), c.written) << c.display;
}

TEST_F(EditorList, LoadSaveLoadSaveKeepsEveryEntryAndComment) {
    const std::string longComment = " // " + std::string(280, 'c');
    const std::string text =
        "01/01/2026 12:00:00 bulletin.txt   // the noon bulletin, dated\r\n"
        "propagation.txt\n"
        "$CWID\n"
        "01/01/2026\t12:06:00\t$ITA2          // the next one in ITA2\n"
        "1/1/2026 12:06:05 $B50\n"
        "01/01/2026 12:06:10 notice.txt" + longComment + "\n"
        "news.txt\n"
        "01/01/2026 12:08:00 $MILITARY\n"
        "x" + std::string(299, 'y') + "\n";  // a 300-character name
    ASSERT_GT(text.find(longComment), 0u);
    EditorReading first = Read(text, false);
    const std::string once = WriteEditorSchedule(first.lines);
    const std::string twice = WriteEditorSchedule(Read(once, true).lines);
    EXPECT_EQ(once, twice);
    EXPECT_EQ(first.lines.size(), 9u);
    EXPECT_EQ(first.expired + first.unreadable + first.notEntries, 0);
    EXPECT_EQ(once,
              "01/01/2026\t12:00:00\tbulletin.txt   // the noon bulletin, dated\n"
              "propagation.txt\n"
              "$CWID\n"
              "01/01/2026\t12:06:00\t$ITA2          // the next one in ITA2\n"
              "1/1/2026\t12:06:05\t$B50\n"
              "01/01/2026\t12:06:10\tnotice.txt" + longComment + "\n"
              "news.txt\n"
              "01/01/2026\t12:08:00\t$MILITARY\n"
              "x" + std::string(299, 'y') + "\n");
}

}  // namespace
}  // namespace sked
