// The schedule editor's handlers on its control models: Insert, Replace,
// Delete, Auto Time, Save, Cancel, the refusals that keep every written line
// readable, the double-click and the keys.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "editor/editor_dialog.h"
#include "platform/simulated_event_loop.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

using Lines = std::vector<std::string>;
using test::ReadFile;
using test::WriteFile;

class EditorDialog : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory("data");
        WriteFile("data/news.txt", std::string(1000, 'n'));
        WriteFile("data/wx.txt", std::string(606, 'w'));
    }
    // Opens the editor on `schedule` as data/schedule.lst.
    EditorWindow& Open(const std::string& schedule) {
        WriteFile("data/schedule.lst", schedule);
        editor.OnCancel();  // as after a close: the next showing reloads
        editor.OnInitDialog();
        editor.OnShowWindow();
        return w;
    }
    void Fields(const std::string& date, const std::string& time, const std::string& name) {
        w.dateField.SetText(date);
        w.timeField.SetText(time);
        w.fileCombo.SetEditText(name);
    }
    // The names of the list, in order.
    Lines Names() const {
        Lines names;
        for (const auto& item : w.scheduleList.Items()) {
            DisplayWords words = SplitDisplayLine(item);
            names.push_back(words.untimed ? words.first : words.third);
        }
        return names;
    }

    test::ScratchDirectory dir;
    SimulatedClock clock{test::LocalTimePoint("2026-01-01T12:00:00")};
    StationState state;
    test::RecordingMessageBox boxes;
    CEditorDlg editor{state, clock, boxes};
    EditorWindow& w = editor.window();
};

TEST_F(EditorDialog, InsertWithAutoTimeOffWritesATimeTaggedOrUntimedEntryBeforeTheSelection) {
    Open("news.txt\n");
    Fields("1/2/2026", "9:00:00", "wx.txt");
    editor.Insert();  // nothing selected: at the top
    w.scheduleList.SetCurSel(1);
    Fields("", "", "$RX       // Transmitter OFF");
    editor.Insert();
    EXPECT_EQ(ReadFile("data/schedule.tmp"), "01/02/2026\t09:00:00\twx.txt\n$RX\nnews.txt\n");
    EXPECT_EQ(ReadFile("data/schedule.lst"), "news.txt\n");  // only the working copy
    EXPECT_EQ(w.fileCombo.EditText(), "");
    EXPECT_EQ(w.scheduleList.Item(0).substr(0, 21), "01/02/2026  09:00:00t");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(EditorDialog, InsertWithAutoTimeOnAddsAnUntimedEntryShownWithItsComputedStart) {
    Open("01/02/2026 10:00:00 news.txt\n");
    editor.AutoTimeClicked();
    ASSERT_EQ(w.autoTimeCheck.Check(), 1);
    w.scheduleList.SetCurSel(0);
    Fields("1/3/2026", "9:00:00", "wx.txt");  // the typed time is only provisional
    editor.Insert();
    Fields("", "", "wx.txt");
    editor.Insert();  // nothing selected
    EXPECT_EQ(ReadFile("data/schedule.tmp"), "wx.txt\nwx.txt\n01/02/2026\t10:00:00\tnews.txt\n");
    EXPECT_EQ(Names(), (Lines{"wx.txt", "wx.txt", "news.txt"}));
    // Started ten seconds from now, the second after the first's 100 seconds.
    EXPECT_EQ(w.scheduleList.Item(0).substr(0, 20), "01/01/2026  12:00:10");
    EXPECT_EQ(w.scheduleList.Item(1).substr(0, 20), "01/01/2026  12:01:50");
}

TEST_F(EditorDialog, InsertOnAnEmptyListAddsTheEntry) {
    editor.OnShowWindow();  // no schedule.lst yet: an empty list, nothing reported
    EXPECT_EQ(w.scheduleList.Count(), 0);
    Fields("", "", "news.txt");
    editor.Insert();
    EXPECT_EQ(Names(), Lines{"news.txt"});
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(EditorDialog, ReplaceTakesTheSelectedLinesPlaceKeepingItsCommentOrAppendsWithoutSelection) {
    Open("news.txt\n01/02/2026 10:00:00 news.txt // noon\n");
    w.scheduleList.SetCurSel(1);
    Fields("01/02/2026", "11:00:00", "wx.txt");
    editor.Replace();
    Fields("", "", "news.txt");
    editor.Replace();  // the refresh left nothing selected
    EXPECT_EQ(ReadFile("data/schedule.tmp"), "news.txt\n01/02/2026\t11:00:00\twx.txt // noon\nnews.txt\n");
}

TEST_F(EditorDialog, DeleteReachesTheFileAtTheNextSaveAndSaveIsTheSameWithAutoTimeOnOrOff) {
    const std::string schedule = "news.txt\n01/02/2026\t10:00:00\twx.txt // w\n$B50\nwx.txt\n";
    Open(schedule);
    editor.Save();
    EXPECT_EQ(ReadFile("data/schedule.lst"), schedule);
    editor.AutoTimeClicked();
    editor.Save();
    EXPECT_EQ(ReadFile("data/schedule.lst"), schedule);
    w.scheduleList.SetCurSel(0);
    editor.Delete();
    EXPECT_EQ(ReadFile("data/schedule.lst"), schedule);
    EXPECT_TRUE(editor.OnOK());
    EXPECT_EQ(ReadFile("data/schedule.lst"), "01/02/2026\t10:00:00\twx.txt // w\n$B50\nwx.txt\n");
}

TEST_F(EditorDialog, CancelWritesNothingAndTheNextShowingStartsFromTheFile) {
    Open("news.txt\nwx.txt\n");
    w.scheduleList.SetCurSel(0);
    editor.Delete();
    Fields("", "", "wx.txt");
    editor.Insert();
    editor.OnCancel();
    EXPECT_EQ(ReadFile("data/schedule.lst"), "news.txt\nwx.txt\n");
    editor.OnShowWindow();
    EXPECT_EQ(Names(), (Lines{"news.txt", "wx.txt"}));
    // A second show without a close in between does not reload.
    w.scheduleList.SetCurSel(0);
    editor.Delete();
    editor.OnShowWindow();
    EXPECT_EQ(Names(), Lines{"wx.txt"});
}

TEST_F(EditorDialog, LinesThatWouldNotReadBackAreRefusedWithTheReasonAndTheFieldsKept) {
    static const std::string tooLong(240, 'n');
    const struct {
        bool replace;
        const char *date, *time, *name, *reason;
    } cases[] = {
        {false, "", "10:00:00", "wx.txt", "Enter both a date and a time"},
        {true, "01/02/2026", "", "wx.txt", "Enter both a date and a time"},
        {false, "13/02/2026", "10:00:00", "wx.txt", "do not read as MM/DD/YYYY HH:MM:SS"},
        {true, "01/02/2026", "1000", "wx.txt", "do not read as MM/DD/YYYY HH:MM:SS"},
        {false, "01/02/2026 x", "10:00:00", "wx.txt", "do not read as MM/DD/YYYY HH:MM:SS"},
        {true, "", "", "", "Choose a file or a command in Filename first."},
        {true, "", "", "   ", "Choose a file or a command in Filename first."},
        {false, "", "", "../etc/passwd", "<../etc/passwd> is not a file of the data folder."},
        {false, "01/02/2026", "10:00:00", tooLong.c_str(), "is longer than the station reads"},
    };
    for (const auto& c : cases) {
        Open("news.txt\n");
        std::filesystem::remove("data/schedule.tmp");
        w.scheduleList.SetCurSel(0);
        Fields(c.date, c.time, c.name);
        boxes.shown.clear();
        c.replace ? editor.Replace() : editor.Insert();
        ASSERT_EQ(boxes.shown.size(), 1u) << c.name;
        EXPECT_NE(boxes.shown[0].text.find(c.reason), std::string::npos) << boxes.shown[0].text;
        EXPECT_EQ(boxes.shown[0].text.rfind(c.replace ? "Replace : " : "Insert : ", 0), 0u) << boxes.shown[0].text;
        EXPECT_EQ(Names(), Lines{"news.txt"});
        EXPECT_FALSE(std::filesystem::exists("data/schedule.tmp"));
        EXPECT_EQ(w.dateField.Text(), c.date);
        EXPECT_EQ(w.timeField.Text(), c.time);
        EXPECT_EQ(w.fileCombo.EditText(), c.name);
    }
}

TEST_F(EditorDialog, WhatALoadLeavesOutIsAnnouncedAndStaysAnnouncedThroughRefreshes) {
    Open("news.txt\n12/29/2025 10:00:00 news.txt\nwx.txt\n12/31/2025 99:00:00 x\n// note\n");
    EXPECT_EQ(Names(), Lines{"news.txt"});
    const std::string announced =
        "GetSchedule : 4 lines of data/schedule.lst not listed (2 expired, 1 with an unreadable date or time, 1 of "
        "two words); a save removes them from the file.";
    EXPECT_EQ(w.statusField.Text(), announced);
    editor.AutoTimeClicked();
    EXPECT_EQ(w.statusField.Text(), announced);
    Open("news.txt\n");
    EXPECT_EQ(w.statusField.Text(), "");
}

TEST_F(EditorDialog, FilesThatCannotBeReadOrWrittenAreReportedByName) {
    std::filesystem::create_directory("data/schedule.lst");
    editor.OnShowWindow();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "GetSchedule : Cannot open <data/schedule.lst> input file: it is not a file");

    Fields("", "", "wx.txt");
    std::filesystem::create_directory("data/schedule.tmp");
    editor.Insert();  // the working copy cannot be written: the list keeps the entry
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, "SaveSchedule : Cannot write <data/schedule.tmp> file: Is a directory");
    EXPECT_EQ(Names(), Lines{"wx.txt"});
    // Save-n-Exit that cannot write keeps the dialog open with the list.
    EXPECT_FALSE(editor.OnOK());
    EXPECT_EQ(boxes.shown.back().text, "SaveSchedule : Cannot write <data/schedule.lst> file: Is a directory");
    EXPECT_FALSE(editor.reloadPending());
}

TEST_F(EditorDialog, DoubleClickFillsTheFieldsAndShowsTheFile) {
    Open("01/02/2026 10:00:00 news.txt\nwx.txt\n");
    editor.DoubleClick(0);
    EXPECT_EQ(w.dateField.Text(), "01/02/2026");
    EXPECT_EQ(w.timeField.Text(), "10:00:00t");
    EXPECT_EQ(w.fileCombo.EditText(), "news.txt");
    EXPECT_EQ(w.textPane.Text(), std::string(1000, 'n'));
    EXPECT_EQ(w.durField.Text(), "   3:01");
    // The fields as filled replace the entry unchanged.
    editor.Replace();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(ReadFile("data/schedule.tmp"), "01/02/2026\t10:00:00\tnews.txt\nwx.txt\n");
    editor.DoubleClick(1);
    EXPECT_EQ(w.dateField.Text(), "");
    EXPECT_EQ(w.timeField.Text(), "");
    EXPECT_EQ(w.fileCombo.EditText(), "wx.txt");
    EXPECT_EQ(w.fileNameField.Text(), "wx.txt");
}

TEST_F(EditorDialog, KeysEnterShowsAFileEscapeNeverClosesDownDropsTheList) {
    Open("news.txt\n");
    using Key = CEditorDlg::Key;
    using Focus = CEditorDlg::Focus;
    w.fileCombo.SetEditText("news.txt");
    EXPECT_TRUE(editor.PreTranslateKey(Key::kEnter, Focus::kOther));  // in the Date field, say
    EXPECT_EQ(w.textPane.Text(), std::string(1000, 'n'));
    w.fileCombo.SetEditText("gone.txt");
    EXPECT_TRUE(editor.PreTranslateKey(Key::kEnter, Focus::kOther));
    EXPECT_EQ(boxes.beeps, 1);
    EXPECT_EQ(w.textPane.Text(), "[PrintFile :Cannot open gone.txt input file.]");
    w.fileNameField.SetText("wx.txt");
    EXPECT_TRUE(editor.PreTranslateKey(Key::kEnter, Focus::kFileName));
    EXPECT_EQ(w.textPane.Text(), std::string(606, 'w'));
    EXPECT_FALSE(editor.PreTranslateKey(Key::kEnter, Focus::kTextPane));
    EXPECT_TRUE(editor.PreTranslateKey(Key::kEscape, Focus::kOther));
    EXPECT_TRUE(editor.PreTranslateKey(Key::kDown, Focus::kOther));
    EXPECT_TRUE(w.fileCombo.DroppedDown());
    EXPECT_FALSE(editor.PreTranslateKey(Key::kDown, Focus::kOther));
    EXPECT_FALSE(editor.PreTranslateKey(Key::kOther, Focus::kOther));
}

TEST_F(EditorDialog, TitleAndFrequencyMarkers) {
    state.spacedCallsign = "Q Z 0 X B ";
    Open("$F19\n");
    EXPECT_EQ(w.title, "Editor" + std::string(60, ' ') + "Q Z 0 X B ");
    EXPECT_FLOAT_EQ(state.pskFrequency, 1900.0f);
}

}  // namespace
}  // namespace sked
