// One operator's session through the window and through the console: the
// station behind them is the same, so the log and the line must be too, to
// the second and to the bit.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "console/console_front_end.h"
#include "main_window_fixture.h"

namespace sked::test {
namespace {

struct Step {
    const char* at;
    const char* typed;
    std::function<void(const MainWindowView::Widgets&)> clicked;
};

struct Session {
    std::vector<std::string> log;
    std::vector<std::string> line;  // every UART event: time, kind, value
};

class FrontEndsAlike : public MainWindowTest {
protected:
    void TearDown() override {
        console.reset();
        if (out) std::fclose(out);
        std::free(buffer);
        MainWindowTest::TearDown();
    }

    // The session: a bulletin due at 12:00:10 with the header off, paused
    // and resumed, the test text cancelled half-way, an identification.
    Session Run(bool window) {
        WriteData("bulletin.txt", "QST DE QZ0XB BULLETIN NUMBER ONE\nTHE BAND IS OPEN\n");
        WriteData("thefox.txt", "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789\n");
        if (window) {
            Open();
        } else {
            EXPECT_TRUE(Start());
            out = open_memstream(&buffer, &size);
            console = std::make_unique<ConsoleFrontEnd>(*station, out);
        }
        Queue(T("2026-01-01T12:00:10"), "bulletin.txt");
        const Step steps[] = {
            {"2026-01-01T12:00:01", "header off", [](auto& w) { Click(w.header); }},
            {"2026-01-01T12:00:02", "enable", [](auto& w) { Click(w.enable); }},
            {"2026-01-01T12:00:14", "pause", [](auto& w) { Click(w.pause); }},
            {"2026-01-01T12:00:18", "resume", [](auto& w) { Click(w.resume); }},
            {"2026-01-01T12:00:40", "fox", [](auto& w) { Click(w.fox); }},
            {"2026-01-01T12:00:45", "cancel", [](auto& w) { Click(w.cancel); }},
            {"2026-01-01T12:01:00", "cwid", [](auto& w) { Click(w.sendCwid); }},
        };
        for (const Step& step : steps) {
            At(step.at, [this, &step, window] {
                if (window) step.clicked(W());
                else EXPECT_TRUE(console->HandleLine(step.typed)) << step.typed;
            });
        }
        RunUntil(T("2026-01-01T12:01:40"));
        EXPECT_FALSE(KeyLineUp()) << (window ? "window" : "console");

        Session session{LogLines("20260101"), {}};
        for (const UartEvent& e : uart.events) {
            session.line.push_back(std::to_string(e.time.time_since_epoch().count()) + " " +
                                   std::to_string(static_cast<int>(e.kind)) + " " + std::to_string(e.value) +
                                   (e.keyOn ? " key" : "") + (e.breakOn ? " break" : ""));
        }
        return session;
    }

    // A fresh station in a fresh folder for the second run.
    void Restart() {
        view.reset();
        console.reset();
        uart.events.clear();
        MainWindowTest::TearDown();
        MainWindowTest::SetUp();
    }

    std::unique_ptr<ConsoleFrontEnd> console;
    FILE* out = nullptr;
    char* buffer = nullptr;
    std::size_t size = 0;
};

TEST_F(FrontEndsAlike, OneSessionGivesTheSameLogAndLineThroughEither) {
    const Session window = Run(true);
    Restart();
    const Session console = Run(false);

    ASSERT_GT(window.line.size(), 100u) << "the session sent something";
    for (const char* expected : {"TXFile : Sending file <bulletin.txt>.", "Cwid : Sending CW Identification."}) {
        bool found = false;
        for (const auto& line : window.log) found = found || line.find(expected) != std::string::npos;
        EXPECT_TRUE(found) << expected;
    }
    EXPECT_EQ(window.log, console.log);
    EXPECT_EQ(window.line.size(), console.line.size());
    EXPECT_TRUE(window.line == console.line) << "the line differs";
}

}  // namespace
}  // namespace sked::test
