// The editor's files: the Filename combo, a file with its estimate, the pane saved, the list to and from text.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "app/wrapped_text.h"
#include "editor/file_chooser.h"
#include "editor/schedule_list.h"
#include "platform/clock.h"
#include "scheduler/schedule_loader.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

using Lines = std::vector<std::string>;
using test::WriteFile;

std::string Pad(const std::string& text, std::size_t width) { return text + std::string(width - text.size(), ' '); }

class EditorFiles : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory("data"); }
    // The combo's items before the 36 help lines, filled with `filter`.
    Lines Fill(const char* filter, int byDate = 0) {
        w.filterField.SetText(filter);
        w.sortByDateCheck.SetCheck(byDate);
        chooser.FillFileList();
        const auto& items = w.fileCombo.Items();
        EXPECT_GE(items.size(), 36u);
        EXPECT_EQ(items.back(), "$DISABLE  // Disable AutoSend");
        return Lines(items.begin(), items.end() - 36);
    }

    // Read at 2026-01-01 12:00:00 local time with the files of `sizes` in data/.
    Lines Read(const std::string& text, bool untimedDisplay, Mode mode = Mode::Military, float baud = 45.45f) {
        Lines shown;
        for (const auto& line : ReadEditorSchedule(text, now, mode, baud, untimedDisplay, sizeOf).lines)
            shown.push_back(line.display);
        return shown;
    }

    test::ScratchDirectory dir;
    EditorWindow w;
    test::RecordingMessageBox boxes;
    FileChooser chooser{w, boxes, [] { return std::string(); }};
    std::time_t now = MakeLocalTime(2026, 1, 1, 12, 0, 0);
    std::map<std::string, std::uintmax_t> sizes{{"big.txt", 606}, {"empty.txt", 0}, {"small.txt", 100},
                                                {"news.txt", 1000}, {"wx.txt", 3300}};
    DataFileSize sizeOf = [this](const std::string& name) -> std::optional<std::uintmax_t> {
        return sizes.contains(name) ? std::optional(sizes[name]) : std::nullopt;
    };
};

TEST_F(EditorFiles, TheListHoldsTheMatchingFilesByNameOrNewestFirstThenTheHelpLines) {
    const auto today = std::filesystem::file_time_type::clock::now();
    // A hidden name is a copy left by a crash.
    for (auto [name, hours] : {std::pair{"b.txt", 24}, {"a.txt", 48}, {"c.txt", 0}, {"notes.doc", 1}, {".x.Ab12", 0}}) {
        WriteFile(std::string("data/") + name, "x");
        std::filesystem::last_write_time(std::string("data/") + name, today - std::chrono::hours(hours));
    }
    EXPECT_EQ(Fill("*.txt"), (Lines{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(Fill("*.txt", 1), (Lines{"c.txt", "b.txt", "a.txt"}));
    EXPECT_EQ(Fill("*.*"), (Lines{"a.txt", "b.txt", "c.txt", "notes.doc"}));
    // A search that finds nothing says so in the field.
    const char* none = "$ ***** No Files Found *****";
    for (auto [filter, shown] : {std::pair{"*.wav", none}, {"../*", none}, {"A.TXT", "typed.txt"}}) {
        w.fileCombo.SetEditText("typed.txt");
        Fill(filter);
        EXPECT_EQ(w.fileCombo.EditText(), shown) << filter;
    }
}

TEST_F(EditorFiles, PrintFileShowsTheFileWithItsEstimateOrSaysWhyNot) {
    WriteFile("data/k.txt", std::string(1000, 'k'));
    WriteFile("data/long.txt", std::string(40000, 'l'));
    std::filesystem::create_directory("data/folder");
    const std::tuple<const char*, bool, std::string, const char*> cases[] = {
        {"k.txt", true, std::string(1000, 'k'), "   3:01"}, {"long.txt", true, std::string(31998, 'l'), " 121:12"},
        {"folder", false, "[PrintFile :Cannot open folder input file.]", ""},
        {"../etc/passwd", false, "[PrintFile :Refused ../etc/passwd: not a file of the data folder.]", ""},
    };
    for (const auto& [name, shown, text, dur] : cases) {
        w.editCheck.SetCheck(1);
        EXPECT_EQ(chooser.PrintFile(name), shown) << name;
        EXPECT_EQ(w.textPane.Text(), text) << name;
        EXPECT_EQ(w.durField.Text() + "|" + w.fileNameField.Text(), dur + ("|" + std::string(name)));
        EXPECT_EQ(w.editCheck.Check(), 0);
    }
}

TEST_F(EditorFiles, SaveBreaksThePaneWhereItWrapsOrSaysWhyItCannot) {
    for (auto [text, saved] : {std::pair{"the quick brown fox", "the quick \r\r\nbrown fox"},  // wrapped at a blank
                               {"one\ntwo\n", "one\r\ntwo\r\n"}, {"a b\r\r\nc d\r\n", "a b\r\nc d\r\n"}})  // read back
        EXPECT_EQ(WithLineBreaks(text, 10), saved) << text;

    // The pane itself at its width is the window's (tests/gui); what cannot be written is refused.
    w.textPane.SetText("typed\n");
    std::filesystem::create_directory("data/dir.txt");
    for (const char* name : {"../outside.txt", "dir.txt"}) {
        w.fileNameField.SetText(name);
        chooser.CmEditSave();
    }
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, "CmEditSave : Cannot save <../outside.txt>: name a file of the data folder.");
    EXPECT_EQ(boxes.shown[1].text, "CmEditSave : Cannot write <data/dir.txt> file: Is a directory");
    EXPECT_EQ(w.textPane.Text(), "typed\n");  // nothing typed is lost
    EXPECT_FALSE(std::filesystem::exists("outside.txt"));
}

TEST_F(EditorFiles, EachKindOfLineHasItsDisplayForm) {
    // Auto Time off: 22 blanks where an untimed entry's start would be; a missing or empty file and a
    // command are marked; a dated line keeps its time, tagged, and has a narrower name column.
    EXPECT_EQ(Read("big.txt\nempty.txt\n01/02/2026 08:31:00 $RX\n", true),
              (Lines{std::string(22, ' ') + Pad("big.txt", 40) + "    606      1:40",
                     std::string(22, ' ') + Pad(Pad("empty.txt", 35) + " ???", 40) + "      0          ",
                     "01/02/2026  08:31:00t " + Pad(Pad("$RX", 21) + " CMD", 40) + "      1          "}));
    // Auto Time on: with the start it gets after the estimate of the entry before.
    EXPECT_EQ(Read("$B100\n", false),
              Lines{"01/01/2026  12:00:10  " + Pad(Pad("$B100", 35) + " CMD", 40) + "      1          "});
}

TEST_F(EditorFiles, EstimatesFollowTheModeTheSpeedAndTheSpeedMarkers) {
    for (const auto& [text, mode, baud, durations] : {
             std::tuple<const char*, Mode, float, Lines>{"big.txt\n", Mode::Ascii, 45.45f, {"     2:13"}},
             {"big.txt\n", Mode::Psk31, 300.0f, {"     2:31"}},  // a quarter of a second a byte
             {"$B100\nwx.txt\n", Mode::Military, 45.45f, {"         ", "     4:07"}},
             {"01/02/2026 10:00:00 $b45 // back to 45\nwx.txt\n", Mode::Cw, 100.0f, {"         ", "     9:04"}}}) {
        Lines shown;
        for (const auto& line : Read(text, true, mode, baud)) shown.push_back(line.substr(line.size() - 9));
        EXPECT_EQ(shown, durations) << text;
    }
    // The marker's line also times the entry before it: wx.txt at 100 baud (247 s, not 544 s).
    const Lines shown = Read("wx.txt\n$B100\nsmall.txt\n", false);
    EXPECT_EQ(shown.at(1).substr(0, 20) + shown.at(2).substr(10, 10), "01/01/2026  12:04:17  12:04:17");
}

TEST_F(EditorFiles, ASaveKeepsEveryEntryAndCommentWithAutoTimeOnOrOff) {
    const std::string longComment = " // " + std::string(280, 'c'), longName = "x" + std::string(299, 'y');
    const std::string written = "01/01/2026\t12:00:00\tbulletin.txt   // the noon bulletin, dated\n"
                                "propagation.txt\n$CWID\n01/01/2026\t12:06:00\t$ITA2          // the next one in ITA2\n"
                                "1/1/2026\t12:06:05\t$B50\n01/01/2026\t12:06:10\tnotice.txt" + longComment + "\n"
                                "news.txt\n" + longName + "\n";
    std::string text = written;  // as typed: blanks for the tabs, a CR LF
    std::replace(text.begin(), text.end(), '\t', ' ');
    text.insert(text.find('\n'), "\r");
    const EditorReading first = ReadEditorSchedule(text, now, Mode::Military, 45.45f, false, sizeOf);
    EXPECT_EQ(WriteEditorSchedule(first.lines), written);
    const EditorReading again = ReadEditorSchedule(written, now, Mode::Military, 45.45f, true, sizeOf);
    EXPECT_EQ(WriteEditorSchedule(again.lines), written);
}

// The editor (Auto Time on) and the loader share the estimate: every entry the loader queues is listed with its start.
TEST_F(EditorFiles, EveryEntryTheLoaderQueuesIsListedWithTheLoadersStart) {
    sizes.insert({{"wx2.txt", 3300}, {"news2.txt", 1000}, {"small2.txt", 100}, {"big2.txt", 606}});
    const std::string text =
        "$B100\nbig.txt\ngone1.txt\n$RX\n"
        "12/31/2025 23:00:00 old.txt\n"  // expired for the station, listed by the editor
        "small.txt\nnews.txt\n"          // untimed after it: the same
        "01/01/2026 11:59:00 wx.txt\nempty.txt\n"
        "01/01/2026 12:30:00 wx2.txt // again\n$B50\ngone2.txt\n$TX\nnews2.txt\n"
        "01/01/2026 13:00:00 gone3.txt\nsmall2.txt\n12/31/2025 25:00:00 big.txt\n$B300\nbig2.txt\n";
    for (Mode mode : {Mode::Military, Mode::Ascii, Mode::Psk31}) {
        StationSettings settings;
        settings.mode = mode;
        const EditorReading listed = ReadEditorSchedule(text, now, mode, settings.baud, false, sizeOf);
        std::map<std::string, std::pair<std::time_t, std::time_t>> starts;  // name: start, start shown
        for (std::size_t i = 0; i < listed.lines.size(); ++i)
            starts[SplitDisplayLine(listed.lines[i].display).third] = {listed.starts.at(i),
                                                                       ReadLineTime(listed.lines[i].display).time};
        const std::vector<QueueEntry> queued = ScheduleLoader::Entries(text, now, settings, sizeOf);
        for (const QueueEntry& entry : queued) {
            ASSERT_TRUE(starts.contains(entry.name)) << entry.text;
            EXPECT_TRUE(starts[entry.name] == std::pair(entry.due, entry.due))
                << "line <" << entry.text << ">: loader " << entry.due << ", editor " << starts[entry.name].first
                << " shown as " << starts[entry.name].second;
        }
        EXPECT_EQ(queued.size(), 13u);
    }
}

}  // namespace
}  // namespace sked
