#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/operator_controls.h"
#include "audio/mode_controls.h"
#include "scheduler/dispatcher.h"
#include "support/station_fixture.h"
#include "transmit/file_sender.h"
#include "transmit/transmitter_switch.h"

namespace sked::test {
namespace {

constexpr int kTestTimer = 77;

class FileSending : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        ASSERT_TRUE(StartStation("QZ0XB 2 RTS"));
        loop->SetTimerHandler([this](int id) {
            if (id == kTestTimer) {
                loop->StopTimer(kTestTimer);
                if (action_) action_();
            } else {
                dlg->dispatcher->OnTimer(id);
            }
        });
        uart.events.clear();
    }
    // Runs `action` once, `after` from now, from inside whatever is running then.
    void At(std::chrono::milliseconds after, std::function<void()> action) {
        action_ = std::move(action);
        loop->StartTimer(kTestTimer, after);
    }
    std::function<void()> action_;
    std::vector<std::string> seen_;
};

TEST_F(FileSending, CountsDownTheCharactersLeftAndClearsAtTheEnd) {
    WriteData("abc.txt", "ABC");
    dlg->w.charCountField.Observe([this] { seen_.push_back(dlg->w.charCountField.Text()); });
    dlg->files->TXFile("abc.txt", kMilitary);
    EXPECT_EQ(seen_, (std::vector<std::string>{"C=2", "C=1", "C=0", ""}));
    EXPECT_EQ(dlg->w.queueLine.Text(), "");
    EXPECT_TRUE(Logged("TXFile : Sending file <abc.txt>."));
    RunFor(std::chrono::seconds(1));
    EXPECT_EQ(uart.FrameCodes(), (std::vector<int>{31, 3, 25, 14}));
}

TEST_F(FileSending, EmptyFileShowsTheSendingLineAndSendsNothing) {
    WriteData("empty.txt", "");
    dlg->w.queueLine.Observe([this] { seen_.push_back(dlg->w.queueLine.Text()); });
    dlg->files->TXFile("empty.txt", kMilitary);
    EXPECT_EQ(seen_, (std::vector<std::string>{"TXFile : Sending file <empty.txt>.", ""}));
    EXPECT_EQ(dlg->w.charCountField.Text(), "");
    EXPECT_TRUE(uart.FrameCodes().empty());
}

TEST_F(FileSending, TextIsTheWholeFileUpToAZeroByte) {
    std::string big(62000, 'E');
    WriteData("big.txt", big);
    std::string text;
    ASSERT_TRUE(FileSender::ReadText("data/big.txt", text));
    EXPECT_EQ(text, big);
    WriteData("zero.txt", std::string("AB\0CD", 5));
    ASSERT_TRUE(FileSender::ReadText("data/zero.txt", text));
    EXPECT_EQ(text, "AB");

    dlg->files->TXFile("zero.txt", kIta2);
    RunFor(std::chrono::seconds(1));
    EXPECT_EQ(uart.FrameCodes(), (std::vector<int>{31, 3, 25}));
}

TEST_F(FileSending, MissingFileIsReportedTwiceAndSendsNothing) {
    dlg->files->TXFile("nothere.txt", kMilitary);
    auto messages = LogMessages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2], "[PrintFile :Cannot open data/nothere.txt input file.]");
    EXPECT_EQ(messages.back(), "[TXFile : Cannot open data/nothere.txt input file.]");
    EXPECT_EQ(dlg->w.displayBox.Text(), "[TXFile : Cannot open data/nothere.txt input file.]");
    EXPECT_TRUE(uart.FrameCodes().empty());
}

TEST_F(FileSending, RunningLineHoldsAtMost79CharactersAndClearsAtLineEnds) {
    WriteData("long.txt", std::string(200, 'R') + "\r\nYY");
    std::size_t longest = 0;
    int cleared = 0;
    dlg->w.statusLine.Observe([&] {
        longest = std::max(longest, dlg->w.statusLine.Text().size());
        cleared += dlg->w.statusLine.Text().empty();
    });
    dlg->files->TXFile("long.txt", kMilitary);
    EXPECT_EQ(longest, 79u);
    EXPECT_GE(cleared, 2);
}

TEST_F(FileSending, DisplayShowsCapitalsExceptInAscii) {
    WriteData("mixed.txt", "Hello World");
    dlg->files->PrintFile("mixed.txt");
    EXPECT_EQ(dlg->w.displayBox.Text(), "HELLO WORLD");
    dlg->modes->ModeClicked(kAscii);
    dlg->files->PrintFile("mixed.txt");
    EXPECT_EQ(dlg->w.displayBox.Text(), "Hello World");
    EXPECT_EQ(dlg->files->PrintFile("$CWID"), 0);
    EXPECT_EQ(dlg->files->PrintFile("nothere.txt"), 1);
}

TEST_F(FileSending, PauseHoldsTheFileAndResumeGoesOn) {
    WriteData("five.txt", "ABCDE");
    Settings().sending = 1;
    At(std::chrono::milliseconds(400), [this] {
        dlg->controls->CmPause();
        At(std::chrono::seconds(30), [this] { dlg->controls->CmResume(); });
    });
    TimePoint start = Now();
    dlg->files->TXFile("five.txt", kMilitary);
    EXPECT_GE(Now() - start, std::chrono::seconds(30));
    RunFor(std::chrono::seconds(1));
    EXPECT_EQ(uart.FrameCodes(), (std::vector<int>{31, 3, 25, 14, 9, 1}));
    EXPECT_TRUE(Logged("CmPause : Session PAUSED"));
    EXPECT_TRUE(Logged("CmResume : Session RESUMED"));
}

TEST_F(FileSending, CancelWhilePausedEndsTheFileAtOnce) {
    WriteData("five.txt", "ABCDE");
    Settings().sending = 1;
    At(std::chrono::milliseconds(400), [this] {
        dlg->controls->CmPause();
        At(std::chrono::seconds(3), [this] { dlg->controls->CmCancel(); });
    });
    dlg->files->TXFile("five.txt", kMilitary);
    RunFor(std::chrono::seconds(3));
    auto codes = uart.FrameCodes();
    EXPECT_LT(codes.size(), 6u);
    EXPECT_EQ(Settings().cancelRequested, 1);
    EXPECT_EQ(dlg->w.flowField.Text(), "CANCEL");
    EXPECT_TRUE(Logged("CmCancel : Session CANCELED"));
}

TEST_F(FileSending, RepeatSendsTheRyTextUntilCancel) {
    WriteData("RYRYRYRY.txt", "RY");
    dlg->w.repeatCheck.SetCheck(1);
    dlg->files->CmRepeat();
    At(std::chrono::seconds(20), [this] { dlg->controls->CmCancel(); });
    dlg->files->CmRYRYRYRY();
    int sends = 0;
    for (const auto& m : LogMessages()) sends += m == "TXFile : Sending file <RYRYRYRY.txt>.";
    EXPECT_GT(sends, 20);
    EXPECT_EQ(Settings().sending, 0);
    EXPECT_EQ(Settings().transmitterOn, 0);

    dlg->w.repeatCheck.SetCheck(0);
    dlg->files->CmRepeat();
    dlg->controls->CmEnable();
    dlg->files->CmRYRYRYRY();
    sends = 0;
    for (const auto& m : LogMessages()) sends += m == "CmRYRYRYRY : Sending <RYRYRYRY.txt> file.";
    EXPECT_EQ(sends, 2);
}

TEST_F(FileSending, ComposedTextInCwModeIsTimedByTheFastTimer) {
    dlg->modes->ModeClicked(kCw);
    dlg->w.displayBox.SetText("EE");
    dlg->files->CmSendCompose();
    EXPECT_EQ(test::ReadFile("data/EditDisplayTemp.txt"), "EE");
    EXPECT_FALSE(loop->TimerRunning(kFastTimer));
    // The lead-in carrier, a word space, then the two dots, each on its own.
    std::vector<long> downs;
    TimePoint downAt{};
    for (const auto& e : uart.events) {
        if (e.kind != UartEventKind::kMcr) continue;
        if (e.keyOn && downAt == TimePoint{}) downAt = e.time;
        if (!e.keyOn && downAt != TimePoint{}) {
            downs.push_back(std::chrono::round<std::chrono::milliseconds>(e.time - downAt) / kFastTimerPeriod);
            downAt = {};
        }
    }
    EXPECT_EQ(downs, (std::vector<long>{50, 2, 2}));
    EXPECT_EQ(Settings().sending, 0);
}

TEST_F(FileSending, SaveWritesTheDisplayUnderItsName) {
    dlg->w.editCheck.SetCheck(1);
    dlg->w.fileNameField.SetText("note.txt");
    dlg->w.displayBox.SetText("DE QZ0XB\r\n");
    dlg->files->CmEditSave();
    EXPECT_EQ(test::ReadFile("data/note.txt"), "DE QZ0XB\r\n");
    dlg->w.fileNameField.SetText("nofolder/x.txt");
    dlg->files->CmEditSave();
    EXPECT_TRUE(Logged("CmEditSave : Cannot open <nofolder/x.txt> file"));
}

}  // namespace
}  // namespace sked::test
