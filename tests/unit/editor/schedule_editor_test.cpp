// The editor's handlers on its control models, and the save beneath them: a file replaced whole or not at all.
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "editor/schedule_editor.h"
#include "platform/atomic_file.h"
#include "platform/simulated_event_loop.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

class Editor : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory("data");
        test::WriteFile("data/news.txt", std::string(1000, 'n'));
        test::WriteFile("data/wx.txt", std::string(606, 'w'));
    }
    // Opens the editor on `schedule` as data/schedule.lst, as at a showing after a close.
    void Open(const std::string& schedule) {
        test::WriteFile("data/schedule.lst", schedule);
        editor.CancelEditing();
        editor.Shown();
    }
    void Fields(const std::string& date, const std::string& time, const std::string& name) {
        w.dateField.SetText(date), w.timeField.SetText(time), w.fileCombo.SetEditText(name);
    }

    test::ScratchDirectory dir;
    SimulatedClock clock{test::LocalTimePoint("2026-01-01T12:00:00")};
    StationSettings settings;
    test::RecordingMessageBox boxes;
    ScheduleEditor editor{settings, clock, boxes};
    EditorWindow& w = editor.window();
};

TEST_F(Editor, RepeatingEntriesAreListedWithTheirNextOccurrenceInsertedByTheRepeatFieldAndSavedAsWritten) {
    Open("daily 21:00:00 news.txt   // evening\n01/02/2026 09:00:00 wx.txt\n");
    ASSERT_EQ(w.scheduleList.Count(), 2);
    EXPECT_EQ(w.scheduleList.Item(0).substr(0, 22), "daily       21:00:00t ");
    EXPECT_NE(w.scheduleList.Item(0).find("next 01/01/2026 21:00:00"), std::string::npos) << w.scheduleList.Item(0);
    w.scheduleList.SetCurSel(1);
    Fields("", "0:10:00", "$CWID");
    w.repeatField.SetText("every 30m");
    editor.Insert();
    for (const char* bad : {"every 7x", "Mon..Fxi", "Sunday 09:00"}) {
        w.repeatField.SetText(bad), w.timeField.SetText("09:00:00"), w.fileCombo.SetEditText("wx.txt");
        boxes.shown.clear();
        editor.Insert();
        ASSERT_EQ(boxes.shown.size(), 1u) << bad;
        EXPECT_NE(boxes.shown[0].text.find("does not read"), std::string::npos) << boxes.shown[0].text;
    }
    w.repeatField.SetText("Sat,Sun"), w.dateField.SetText("01/03/2026");
    editor.Insert();
    EXPECT_NE(boxes.shown.back().text.find("not both"), std::string::npos);
    editor.DoubleClick(0);
    EXPECT_EQ(w.repeatField.Text() + "|" + w.dateField.Text() + "|" + w.timeField.Text(), "daily||21:00:00t");
    editor.Save();
    EXPECT_EQ(ReadFile("data/schedule.lst"),
              "daily\t21:00:00\tnews.txt   // evening\nevery 30m\t00:10:00\t$CWID\n01/02/2026\t09:00:00\twx.txt\n");
}

TEST_F(Editor, InsertReplaceAndDoubleClickWorkOnTheWorkingCopy) {
    Open("news.txt\n");
    Fields("1/2/2026", "9:00:00", "wx.txt");
    editor.Insert();  // nothing selected: at the top
    w.scheduleList.SetCurSel(1);
    Fields("", "", "$RX       // Transmitter OFF");
    editor.Insert();
    EXPECT_EQ(w.fileCombo.EditText(), "");
    Fields("", "", "wx.txt");
    editor.Replace();  // the refresh left nothing selected: at the end
    EXPECT_EQ(ReadFile("data/schedule.tmp"), "01/02/2026\t09:00:00\twx.txt\n$RX\nnews.txt\nwx.txt\n");
    EXPECT_EQ(ReadFile("data/schedule.lst"), "news.txt\n");  // until a save (tests/gui)

    // Auto Time: the date and time typed go in with the entry; with none it is untimed, shown with its start.
    Open("01/02/2026 10:00:00 news.txt\n");
    editor.AutoTimeClicked();
    w.scheduleList.SetCurSel(0);
    Fields("1/3/2026", "9:00:00", "wx.txt");
    editor.Insert();
    Fields("", "", "wx.txt");
    editor.Insert();
    EXPECT_EQ(ReadFile("data/schedule.tmp"), "wx.txt\n01/03/2026\t09:00:00\twx.txt\n01/02/2026\t10:00:00\tnews.txt\n");
    EXPECT_EQ(w.scheduleList.Item(0).substr(0, 20) + w.scheduleList.Item(1).substr(10, 11),
              "01/01/2026  12:00:10  09:00:00t");

    // A double-click fills the fields that replace the entry unchanged.
    Open("01/02/2026 10:00:00 news.txt\nwx.txt\n$F19\n$f2100\n");
    EXPECT_FLOAT_EQ(settings.pskFrequency, 2100.0f);  // as the schedule's last marker sets it
    editor.DoubleClick(0);
    EXPECT_EQ(w.dateField.Text() + " " + w.timeField.Text() + " " + w.fileCombo.EditText(),
              "01/02/2026 10:00:00t news.txt");
    editor.Replace();
    EXPECT_EQ(ReadFile("data/schedule.tmp"), "01/02/2026\t10:00:00\tnews.txt\nwx.txt\n$F19\n$f2100\n");
    editor.DoubleClick(1);
    EXPECT_EQ(w.dateField.Text() + w.timeField.Text() + w.fileCombo.EditText() + w.fileNameField.Text(),
              "wx.txtwx.txt");
}

TEST_F(Editor, LinesThatWouldNotReadBackAreRefusedWithTheReasonAndTheFieldsKept) {
    static const std::string tooLong(240, 'n');
    for (auto [replace, date, time, name, reason] : {
             std::tuple<bool, const char*, const char*, const char*, const char*>{
                 false, "", "10:00:00", "wx.txt", "Enter both a date and a time"},
             {false, "13/02/2026", "10:00:00", "wx.txt", "do not read as MM/DD/YYYY HH:MM:SS"},
             {true, "01/02/2026", "1000", "wx.txt", "do not read as MM/DD/YYYY HH:MM:SS"},
             {false, "01/02/2026 x", "10:00:00", "wx.txt", "do not read as MM/DD/YYYY HH:MM:SS"},
             {true, "", "", "   ", "Choose a file or a command in Filename first."},
             {false, "", "", "../etc/passwd", "<../etc/passwd> is not a file of the data folder."},
             {false, "01/02/2026", "10:00:00", tooLong.c_str(), "is longer than the station reads"}}) {
        Open("news.txt\n");
        w.scheduleList.SetCurSel(0);
        Fields(date, time, name);
        boxes.shown.clear();
        replace ? editor.Replace() : editor.Insert();
        ASSERT_EQ(boxes.shown.size(), 1u) << name;
        const std::string& text = boxes.shown[0].text;
        EXPECT_TRUE(text.starts_with(replace ? "Replace : " : "Insert : ") && text.find(reason) != text.npos) << text;
        EXPECT_TRUE(w.scheduleList.Count() == 1 && !fs::exists("data/schedule.tmp")) << text;
        EXPECT_EQ(w.dateField.Text() + "|" + w.timeField.Text() + "|" + w.fileCombo.EditText(),
                  std::string(date) + "|" + time + "|" + name);
    }
}

TEST_F(Editor, WhatALoadLeavesOutAndFilesThatCannotBeReadOrWrittenAreReported) {
    Open("12/30/2025 11:00:00 news.txt\nwx.txt\nnews.txt\n"  // 49 hours old: left out, with the untimed ones after it
         "12/31/2025 13:00:00 wx.txt\nnews.txt\n"            // 23 hours old: kept
         "12/30/2025 12:00:00 news.txt\n"                     // exactly 48 hours
         "12/31/2025 25:00:00 news.txt\na b\n\n");          // not a time; two words
    const std::string announced =
        "GetSchedule : 6 lines of data/schedule.lst not listed (4 expired, 1 with an unreadable date or time, 1 of "
        "two words); a save removes them from the file.";
    EXPECT_EQ(w.statusField.Text(), announced);
    editor.AutoTimeClicked();  // still counted through a refresh
    EXPECT_EQ(w.statusField.Text(), announced);
    editor.Save();
    EXPECT_EQ(ReadFile("data/schedule.lst"), "12/31/2025\t13:00:00\twx.txt\nnews.txt\n");

    for (const char* name : {"data/schedule.lst", "data/schedule.tmp"}) fs::remove(name), fs::create_directory(name);
    editor.CancelEditing();
    editor.Shown();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "GetSchedule : Cannot open <data/schedule.lst> input file: it is not a file");
    Fields("", "", "wx.txt");
    editor.Insert();  // the working copy cannot be written: the list keeps the entry
    EXPECT_EQ(boxes.shown.back().text, "SaveSchedule : Cannot write <data/schedule.tmp> file: Is a directory");
    EXPECT_EQ(w.scheduleList.Count(), 1);
    // Save-n-Exit that cannot write keeps the dialog open with the list.
    EXPECT_FALSE(editor.SaveAndExit());
    EXPECT_EQ(boxes.shown.back().text, "SaveSchedule : Cannot write <data/schedule.lst> file: Is a directory");
    EXPECT_FALSE(editor.reloadPending());
}

// The exit status of `write` run in a child process.
int InChild(const std::function<int()>& write) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(write());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Hidden names in data/: copies left behind, kept out of the editor's file list.
std::vector<std::string> Hidden() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator("data"))
        if (entry.path().filename().string()[0] == '.') names.push_back(entry.path().filename());
    return names;
}

TEST_F(Editor, ASaveReplacesTheFileWholeOrLeavesItAsItWasAndSaysWhy) {
    const std::string path = "data/schedule.lst", old = "01/02/2026\t10:00:00\tnews.txt\nwx.txt\n";
    test::WriteFile(path, old);
    std::string problem;
    // Killed between writing and renaming.
    EXPECT_EQ(InChild([&] { return ReplaceFile(path, std::string(100000, 'x'), problem, [] { _exit(9); }); }), 9);
    ASSERT_EQ(Hidden().size(), 1u);
    fs::remove("data/" + Hidden()[0]);
    // The file size limit makes writes fail as a full disk does.
    EXPECT_EQ(InChild([&] {
                  const rlimit limit{1000, 1000};
                  ::signal(SIGXFSZ, SIG_IGN);
                  ::setrlimit(RLIMIT_FSIZE, &limit);
                  return !ReplaceFile(path, std::string(5000, 'x'), problem) && problem == "File too large" ? 0 : 1;
              }), 0);
    for (auto [bad, reason] : {std::pair{"missing/x.lst", "No such file or directory"}, {"data/", "Is a directory"}})
        EXPECT_TRUE(!ReplaceFile(bad, "x\n", problem) && problem == reason) << bad << ": " << problem;
    EXPECT_EQ(ReadFile(path), old);
    // A write that succeeds replaces the whole file and keeps its permissions.
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(ReplaceFile(path, "wx.txt\n", problem)) << problem;
    EXPECT_EQ(ReadFile(path), "wx.txt\n");
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(Hidden().empty());
}

}  // namespace
}  // namespace sked
