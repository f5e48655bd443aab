// Random schedules and random operator commands on the simulated clock,
// watched all the time for what an unattended station must never do: key a
// line while it shows the transmitter OFF, stay keyed with nothing to send,
// report a file as sent that did not go out whole, or leave a line keyed
// after shut-down. A failing round prints its seed; SKEDCAST_KEYING_SEED
// replays one round, SKEDCAST_KEYING_STEPS runs longer (default 3000 steps).
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/console_front_end.h"
#include "platform/text_format.h"
#include "scheduler/dispatcher.h"
#include "scheduler/schedule_loader.h"
#include "support/station_fixture.h"

namespace sked::test {
namespace {

using namespace std::chrono_literals;

constexpr int kSamplerTimer = 990;
constexpr int kFirstActionTimer = 1000;
constexpr Duration kSamplePeriod = 250ms;
// How long the key may stay down with nothing sent and nothing due: the
// transmitter tail and a tick or two.
constexpr Duration kIdleKeyAllowance = 5s;

const char* const kCommandEntries[] = {
    "$TX",  "$RX",    "$PON",  "$POFF",  "$COM1",    "$COM2", "$COM3",   "$COM9",   "$RTS",     "$DTR",
    "$CWID", "$CW",   "$ITA2", "$ASCII", "$PSK31",   "$TELEX", "$MILITARY", "$B45", "$B50",     "$B110",
    "$B300", "$RELOAD", "$DISABLE", "$CWTIMER", "$CWSTOP", "$HEADER", "$NOHEADER"};
// Disturbing commands are rarer than the everyday ones, so that some
// transmissions get to their end.
const char* const kOperatorCommands[] = {
    "tx",     "rx",     "power on", "power off", "cwid",   "cancel", "pause",  "resume",     "disable",
    "enable", "enable", "send",     "send",      "delete", "reload", "reload", "ry",         "fox",
    "add",    "add",    "add",      "resume",    "resume", "enable", "status", "cwtimer on", "queue"};

// Text of a random bulletin: letters, figures, blanks and line ends only, so
// that each letter or figure is at least one frame (or one Morse element).
std::string RandomText(std::mt19937_64& rng, std::size_t length) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789     \n";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text += alphabet[rng() % alphabet.size()];
    return text;
}

// The letters and figures of a text, as a teleprinter prints them.
std::string SignsOf(const std::string& text) {
    std::string signs;
    for (char c : text)
        if (std::isalnum(static_cast<unsigned char>(c))) signs += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return signs;
}

// Morse elements of the letters and figures of a text.
std::size_t MorseElementsOf(const std::string& text) {
    std::size_t n = 0;
    for (char c : SignsOf(text)) {
        static const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        static const int letterElements[26] = {2, 4, 4, 3, 1, 4, 3, 4, 2, 4, 3, 4, 2, 2, 3, 4, 4, 3, 3, 1, 3, 4, 3, 4, 4, 4};
        n += std::isdigit(static_cast<unsigned char>(c)) ? 5 : letterElements[letters.find(c)];
    }
    return n;
}

// Reads the letters and figures back off the line: 5-bit teleprinter codes
// in the shift the line is in, or 8-bit ASCII. Anything else reads as 0.
class LineReader {
public:
    char Frame(const UartEvent& frame) {
        static const char* const kLetters = "\0E\nA SIU\rDRJNFCKTZLWHYPQOBG\0MXV\0";
        static const char* const kFigures = "\0" "3\n- '87\r\0" "4\0,\0:(5+)2\0" "6019?\0\0./=\0";
        char c = 0;
        if (frame.dataBits == 8) c = static_cast<char>(frame.value & 0x7F);
        else if (frame.value == 31) figures_ = false;
        else if (frame.value == 27) figures_ = true;
        else c = (figures_ ? kFigures : kLetters)[frame.value & 31];
        return std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::toupper(c)) : 0;
    }

private:
    bool figures_ = false;
};

struct Violation {
    TimePoint when;
    std::string what;
};

class RandomKeying : public StationTest, public UartObserver {
protected:
    void TearDown() override {
        console.reset();
        if (out) std::fclose(out);
        out = nullptr;
        StationTest::TearDown();
    }

    // ---- What this test reads of the station (its only inner probes) ----
    bool ShownOn() const { return station->window.transmitField.Text().find("ON") != std::string::npos; }
    bool Sending() const { return station->state.sending == 1; }
    bool KeyedOnRequest() const { return station->state.keyedOnRequest; }
    std::uint16_t CurrentPort() const { return station->state.portBase; }
    std::uint8_t KeyLineMask() const { return static_cast<std::uint8_t>(station->state.keyLine); }
    // The head of the queue goes out now (or is a command that runs now).
    bool TransmissionDue() const {
        const auto& items = station->window.scheduleList.Items();
        if (items.empty() || items.front().empty()) return false;
        if (station->state.sendNow == 1) return true;
        if (station->state.autoSendEnabled != 1) return false;
        std::time_t due = ScheduleLoader::EntryTime(items.front());
        return due > 0 && due <= loop->clock().Time();
    }
    void Type(const std::string& line) { console->HandleLine(line); }

    // ---- The watch on the line ----
    void OnUartEvent(const UartEvent& e) override {
        // Frames of the file start between the line going idle after what
        // was written before it and the line going idle after its last code.
        const bool reading = current_ && current_->started && e.time >= current_->from &&
                             (!current_->finished || e.time < current_->until);
        if (e.kind == UartEventKind::kFrame) {
            const char sign = line_.Frame(e);
            if (reading && sign) current_->signs += sign;
            return;
        }
        if (e.kind != UartEventKind::kMcr) return;
        const bool wasKeyed = keyed_[e.base];
        keyed_[e.base] = e.keyOn;
        if (reading && e.keyOn && !wasKeyed) ++current_->elements;
        if (e.keyOn && !ShownOn())
            Fail(e.time, Format("port 0x%X keyed (mcr 0x%02X) while OFF is shown", e.base, e.value));
    }

    bool AnyLineKeyed() {
        bool any = false;
        for (const auto& [base, keyed] : keyed_) any |= keyed;
        // The current port read back, with the keying line as it is now.
        any |= (port->In(static_cast<std::uint16_t>(CurrentPort() + 4)) & KeyLineMask()) != 0;
        return any;
    }

    void Sample() {
        const TimePoint now = Now();
        const bool keyed = AnyLineKeyed();
        if (keyed && !ShownOn()) Fail(now, "a line stays keyed while OFF is shown");
        if (KeyedOnRequest() && !requestedBefore_) ++requestsSeen_;
        requestedBefore_ = KeyedOnRequest();
        const bool idleKeyed = keyed && !Sending() && !TransmissionDue() && !KeyedOnRequest();
        if (!idleKeyed) {
            idleKeyedSince_.reset();
        } else if (!idleKeyedSince_) {
            idleKeyedSince_ = now;
        } else if (now - *idleKeyedSince_ > kIdleKeyAllowance) {
            Fail(now, "keyed with nothing to send and nothing due");
            idleKeyedSince_.reset();
        }
        if (shutDownWhenQuiet_ && !Sending() && !TransmissionDue() &&
            (station->state.autoSendEnabled != 1 || station->window.scheduleList.Count() == 0)) {
            shutDownWhenQuiet_ = false;
            station->RequestShutdown();
        }
    }

    void Fail(TimePoint when, const std::string& what) {
        if (violations_.size() < 20) violations_.push_back({when, what});
    }

    // ---- A scheduled file as the queue line follows it ----
    struct Transmission {
        std::string name;
        bool started = false, finished = false, offShown = false;
        TimePoint from{}, until{};
        std::string text;  // the file as it was when it started
        std::string signs;          // what went out on the line meanwhile
        std::size_t elements = 0;  // Morse elements keyed meanwhile
    };
    void QueueLineChanged(const std::string& text) {
        auto inside = [&](const std::string& prefix, const std::string& suffix) -> std::optional<std::string> {
            if (text.rfind(prefix, 0) != 0 || text.size() < prefix.size() + suffix.size() ||
                text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0)
                return std::nullopt;
            return text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
        };
        if (auto name = inside("File <", "> in TRANSMIT Queue.")) {
            current_.emplace();
            current_->name = *name;
        } else if (auto started = inside("TXFile : Sending file <", ">.")) {
            if (current_ && *started == current_->name) {
                current_->started = true;
                current_->from = port->IdleAt();
                current_->text = contents_[*started];
            }
        } else if (text.empty()) {
            if (current_ && current_->started && !current_->finished) {
                current_->finished = true;
                current_->until = port->IdleAt();
            }
        } else if (auto done = inside("Completed sending <", ">.")) {
            port->Sync();
            if (!current_ || current_->name != *done) return Fail(Now(), "Completed without its entry: " + text);
            if (!current_->finished) return Fail(Now(), "Completed for a file that was not sent: " + text);
            if (current_->offShown) Fail(Now(), "Completed for a file sent partly with the transmitter OFF: " + text);
            const Transmission& heard = *current_;
            const bool whole = heard.signs == SignsOf(heard.text) ||
                               (heard.signs.empty() && heard.elements == MorseElementsOf(heard.text));
            if (!whole)
                Fail(Now(), Format("Completed, but %zu signs and %zu Morse elements went out of %zu: ",
                                   heard.signs.size(), heard.elements, SignsOf(heard.text).size()) + text);
            current_.reset();
        }
    }
    void TransmitFieldChanged() {
        if (current_ && current_->started && !current_->finished && !ShownOn()) current_->offShown = true;
    }

    // ---- One round ----
    void RunRound(std::uint64_t seed, int steps);
    void ResetRound() {
        keyed_.clear();
        line_ = LineReader{};
        idleKeyedSince_.reset();
        requestedBefore_ = false;
        shutDownWhenQuiet_ = false;
        requestsSeen_ = requestsMade_ = 0;
        violations_.clear();
        current_.reset();
        contents_.clear();
        actions_.clear();
        uart.events.clear();
    }
    void CheckLog(std::uint64_t seed);

    std::unique_ptr<ConsoleFrontEnd> console;
    std::FILE* out = nullptr;

    std::map<std::uint16_t, bool> keyed_;
    LineReader line_;
    std::optional<TimePoint> idleKeyedSince_;
    bool requestedBefore_ = false;
    bool shutDownWhenQuiet_ = false;
    int requestsSeen_ = 0;
    int requestsMade_ = 0;
    std::vector<Violation> violations_;
    std::optional<Transmission> current_;
    std::map<std::string, std::string> contents_;  // data file -> its text now ("" when missing)
    std::map<int, std::function<void()>> actions_;
};

void RandomKeying::RunRound(std::uint64_t seed, int steps) {
    std::mt19937_64 rng(seed);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };

    // Bulletins: small ones, one larger than the old 32000-byte buffer, and
    // names that are missing or lead out of data/.
    const std::vector<std::string> names = {"a.txt", "b.txt", "c.txt", "d.txt", "big.txt", "gone.txt",
                                            "../outside.txt"};
    auto writeFile = [&](const std::string& name) {
        std::string text = RandomText(rng, name == "big.txt" ? 33000 + pick(2000) : 5 + pick(300));
        WriteData(name, text);
        contents_[name] = text;
    };
    auto removeFile = [&](const std::string& name) {
        std::filesystem::remove("data/" + name);
        contents_[name] = "";
    };
    for (const auto& name : {"a.txt", "b.txt", "c.txt", "d.txt"}) writeFile(name);
    if (chance(0.3)) writeFile("big.txt");
    WriteFile("outside.txt", "SECRET FROM OUTSIDE THE DATA FOLDER\n");
    for (const auto& name : {"header.txt", "footer.txt", "cwid.txt", "RYRYRYRY.txt", "thefox.txt"})
        if (chance(0.7)) writeFile(name);

    const TimePoint start = LocalTimePoint("2026-01-01T12:00:00");
    auto stamp = [&](TimePoint t) {
        std::tm tm = LocalTime(std::chrono::system_clock::to_time_t(t));
        return FormatTime("%m/%d/%Y %H:%M:%S", tm);
    };
    auto randomEntry = [&](TimePoint& t) {
        t += std::chrono::seconds(pick(4) == 0 ? 0 : pick(240));
        std::string name = chance(0.35) ? kCommandEntries[pick(std::size(kCommandEntries))] : names[pick(names.size())];
        if (name == "$TX") ++requestsMade_;
        switch (pick(10)) {
            case 0: return name;  // timed after the one before
            case 1: return "02/30/2026 12:10:00 " + name;
            case 2: return "01/01/2026 99:99:99 " + name;
            case 3: return stamp(t - 3600s) + " " + name;  // expired
            default: return stamp(t) + " " + name;
        }
    };
    auto writeSchedule = [&](TimePoint from, int entries) {
        std::string text;
        for (int i = 0; i < entries; ++i) text += randomEntry(from) + "\n";
        WriteData("schedule.lst", text);
    };
    writeSchedule(start, 3 + static_cast<int>(pick(12)));

    ASSERT_TRUE(StartStation("QZ0XB 2 RTS", "2026-01-01T12:00:00"));
    port->AddObserver(this);
    station->window.queueLine.Observe([this] { QueueLineChanged(station->window.queueLine.Text()); });
    station->window.transmitField.Observe([this] { TransmitFieldChanged(); });
    out = std::fopen("/dev/null", "w");
    console = std::make_unique<ConsoleFrontEnd>(*station, out);
    loop->SetTimerHandler([this](int id) {
        if (id == kSamplerTimer) return Sample();
        auto action = actions_.extract(id);
        if (action.empty()) return station->dispatcher.OnTimer(id);
        loop->StopTimer(id);
        action.mapped()();
    });
    loop->StartTimer(kSamplerTimer, std::chrono::duration_cast<std::chrono::milliseconds>(kSamplePeriod));
    if (chance(0.8)) Type("enable");

    // Operator commands and file changes at random moments.
    TimePoint t = start;
    int timer = kFirstActionTimer;
    auto at = [&](TimePoint when, std::function<void()> action) {
        actions_[timer] = std::move(action);
        loop->StartTimer(timer++, std::max(std::chrono::ceil<std::chrono::milliseconds>(when - Now()), 1ms));
    };
    for (int step = 0; step < steps; ++step) {
        t += std::chrono::milliseconds(pick(60000));
        const std::size_t what = pick(20);
        if (what < 14) {
            std::string command = kOperatorCommands[pick(std::size(kOperatorCommands))];
            if (command == "delete") command += " " + std::to_string(1 + pick(4));
            if (command == "add") command += " " + names[pick(names.size())];
            if (command == "cwtimer on" && chance(0.5)) command = "cwtimer off";
            if (command == "tx") ++requestsMade_;
            at(t, [this, command] { Type(command); });
        } else if (what < 17) {
            std::string name = names[pick(names.size() - 1)];
            bool remove = chance(0.5);
            at(t, [&, name, remove] { remove ? removeFile(name) : writeFile(name); });
        } else {
            int entries = 1 + static_cast<int>(pick(6));
            at(t, [&, entries] {
                writeSchedule(Now(), entries);
                if (chance(0.7)) Type("reload");
            });
        }
    }
    // Shut-down at the end: in some rounds at once, whatever is under way, as
    // a signal would ask; in the others once the station has gone quiet (so
    // that long files get to their end), or after three hours at the latest.
    if (chance(0.5)) {
        at(t + 1s, [this] { station->RequestShutdown(); });
    } else {
        // Often with one more bulletin, sometimes longer than the old buffer.
        const bool more = chance(0.7);
        const std::string name = chance(0.5) ? "big.txt" : names[pick(4)];
        at(t + 1s, [&, more, name] {
            if (more) {
                writeFile(name);
                Type("add " + name);
                Type("enable");
            }
            shutDownWhenQuiet_ = true;
        });
        at(t + 3h, [this] { station->RequestShutdown(); });
    }
    const TimePoint limit = t + 24h;
    while (!loop->QuitRequested() && Now() < limit) loop->WaitForEvent(limit);
    EXPECT_TRUE(loop->QuitRequested()) << "seed " << seed << ": the station never got to its shut-down";
    station->DestroyWindow();
    port->Sync();
    Sample();
    CheckLog(seed);
}

void RandomKeying::CheckLog(std::uint64_t seed) {
    for (const auto& [base, keyed] : keyed_)
        if (keyed) Fail(Now(), Format("port 0x%X still keyed after shut-down", base));
    const auto log = LogMessages();
    EXPECT_EQ(log.back(), "***** Skedcast has been TERMINATED *****") << "seed " << seed;

    // Every file taken from the queue ends in exactly one result line.
    std::optional<std::string> open;
    for (const auto& line : log) {
        auto nameIn = [&](std::size_t from) { return line.substr(from, line.find('>', from) - from); };
        if (line.rfind("File <", 0) == 0) {
            if (open) Fail(Now(), "no result line for " + *open);
            open = nameIn(6);
            if (open->find("..") != std::string::npos) Fail(Now(), "a name outside data/ was queued: " + *open);
        } else if (line.rfind("Completed sending <", 0) == 0 || line.rfind("ABORTED sending <", 0) == 0) {
            const std::string name = nameIn(line.find('<') + 1);
            if (name == "RYRYRYRY.txt" || name == "thefox.txt") continue;  // a test text's own result
            if (!open || *open != name) Fail(Now(), "a result line without its entry: " + line);
            open.reset();
        }
    }
    if (open) Fail(Now(), "no result line for " + *open);

    if (!violations_.empty() && std::getenv("SKEDCAST_KEYING_SEED")) {
        // Replaying one round: the whole log, to see what led there.
        for (const auto& name : std::filesystem::directory_iterator("log"))
            for (const auto& line : ReadLines(name.path().string())) std::fprintf(stderr, "  log| %s\n", line.c_str());
    }
    for (const auto& v : violations_) ADD_FAILURE() << "seed " << seed << " at " << LocalStamp(v.when) << ": " << v.what;
    EXPECT_LE(requestsSeen_, requestsMade_) << "seed " << seed << ": the transmitter was held keyed unasked";
}

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

TEST_F(RandomKeying, NeverKeyedWhenItShouldNotBe) {
    constexpr int kStepsPerRound = 40;
    if (std::getenv("SKEDCAST_KEYING_SEED")) {
        RunRound(EnvNumber("SKEDCAST_KEYING_SEED", 1), kStepsPerRound);
        return;
    }
    const std::uint64_t steps = EnvNumber("SKEDCAST_KEYING_STEPS", 3000);
    for (std::uint64_t round = 0; round * kStepsPerRound < steps && !HasFailure(); ++round) {
        const std::uint64_t seed = 1000 + round;
        SCOPED_TRACE("replay with SKEDCAST_KEYING_SEED=" + std::to_string(seed));
        TearDown();
        SetUp();
        ResetRound();
        RunRound(seed, kStepsPerRound);
    }
}

}  // namespace
}  // namespace sked::test
