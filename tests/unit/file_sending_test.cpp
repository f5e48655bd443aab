// The file sender in the station on the simulated clock, its codes heard in the tone generator's place.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// Hears every code the line takes.
struct RecordingOutput : ToneGenerator {
    explicit RecordingOutput(const Clock& clock) : clock(clock) {}
    void Put(int code) override { codes.push_back(code); }
    void StartGenerator() override {}
    void EmptyQueue() override {}
    void RequestStop() override {}
    void PutBreak(bool) override {}

    const Clock& clock;
    TimePoint next{};
    std::vector<int> codes;
};

class FileSending : public ScenarioTest {
protected:
    void SetUp() override {
        ScenarioTest::SetUp();
        ASSERT_TRUE(Start());
        output = std::make_unique<RecordingOutput>(loop->clock());
        station->state.noSound = false;  // the recording output stands in for the tones
        station->sender.SetToneGenerator(output.get());
        station->state.transmitterOn = true;
        auto& w = station->window;
        for (auto [field, seen] :
             {std::pair{&w.charCountField, &left}, {&w.queueLine, &queueLines}, {&w.statusLine, &status}})
            watches.emplace_back(*field, [field, seen] { seen->push_back(field->Text()); });
    }
    bool TXFile(const std::string& name) { return station->files.TXFile(name, kMilitary); }
    // The display box with the name of the file it shows.
    std::string Shown() const { return station->window.fileNameField.Text() + ":" + station->window.displayBox.Text(); }

    std::unique_ptr<RecordingOutput> output;
    Strings left, queueLines, status;  // every text the fields showed
    std::vector<ControlSubscription> watches;
};

TEST_F(FileSending, TheWholeTextGoesOutCountedDownToItsEndOrToAZeroByte) {
    std::string big(62000, 'E');
    const struct {
        std::string text;
        std::size_t codes;  // on the air
    } cases[] = {
        {"ABC", 4},                       // LTRS A B C
        {"", 0},                          // nothing, but the sending line shows
        {std::string("AB\0CD", 5), 3},  // up to the zero byte
        {big, 62001},                     // past any buffer of old
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.size());
        output->codes.clear();
        left.clear();
        queueLines.clear();
        station->sender.setShiftState(0);
        WriteData("file.txt", c.text);
        EXPECT_TRUE(TXFile("file.txt"));
        EXPECT_EQ(output->codes.size(), c.codes);
        EXPECT_EQ(station->window.charCountField.Text(), "");  // down to C=0, then emptied
        if (c.codes) {
            ASSERT_GE(left.size(), 2u);
            EXPECT_EQ(left[left.size() - 2], "C=0");
        }
        EXPECT_EQ(queueLines, (Strings{"TXFile : Sending file <file.txt>.", ""}));
    }
    EXPECT_EQ(left.front(), "C=61999");
}

TEST_F(FileSending, AFileThatCannotBeReadOrLiesOutsideDataIsNotSent) {
    const std::size_t before = LogMessages().size();
    EXPECT_FALSE(TXFile("nothere.txt"));
    EXPECT_EQ(station->window.displayBox.Text(), "[TXFile : Cannot open data/nothere.txt input file.]");
    WriteFile("outside.txt", "SECRET");
    EXPECT_FALSE(TXFile("../outside.txt"));
    const Strings log = LogMessages();
    EXPECT_EQ(Strings(log.begin() + static_cast<long>(before), log.end()),
              (Strings{"[PrintFile :Cannot open data/nothere.txt input file.]",
                       "[TXFile : Cannot open data/nothere.txt input file.]",
                       "[TXFile : Refused ../outside.txt: not a file of the data folder.]"}));
    EXPECT_TRUE(output->codes.empty());
}

TEST_F(FileSending, TheRunningLineHoldsAtMost79CharactersAndClearsAtLineEnds) {
    WriteData("long.txt", std::string(200, 'R') + "\r\nYY");
    TXFile("long.txt");
    std::size_t longest = 0;
    for (const auto& s : status) longest = std::max(longest, s.size());
    EXPECT_EQ(longest, 79u);
    ASSERT_GE(status.size(), 2u);
    EXPECT_EQ(status[status.size() - 2], "YY");
    EXPECT_EQ(status.back(), "");
}

TEST_F(FileSending, TheDisplayShowsCapitalsExceptInAscii) {
    WriteData("mixed.txt", "Hello World");
    EXPECT_TRUE(station->files.PrintFile("mixed.txt"));
    EXPECT_EQ(Shown(), "mixed.txt:HELLO WORLD");
    station->state.mode = kAscii;
    station->files.PrintFile("mixed.txt");
    EXPECT_EQ(Shown(), "mixed.txt:Hello World");
    EXPECT_TRUE(station->files.PrintFile("$CWID"));
    EXPECT_EQ(Shown(), "mixed.txt:Hello World");
}

TEST_F(FileSending, APauseHoldsTheFileACancelEndsIt) {
    WriteData("five.txt", "ABCDE");
    At(Now() + 400ms, [this] {
        station->state.running = false;
        At(Now() + 30s, [this] { station->state.running = true; });
    });
    const TimePoint start = Now();
    EXPECT_TRUE(TXFile("five.txt"));
    EXPECT_GE(Now() - start, 30s);
    EXPECT_EQ(output->codes, (std::vector<int>{31, 3, 25, 14, 9, 1}));

    output->codes.clear();
    At(Now() + 400ms, [this] {
        station->state.running = false;
        At(Now() + 3s, [this] { station->state.cancelRequested = true; });
    });
    EXPECT_FALSE(TXFile("five.txt"));
    EXPECT_LT(output->codes.size(), 5u);
}

}  // namespace
}  // namespace sked::test
