// Random schedules and operator commands on the simulated clock, watched for what an unattended station must never
// do: key a line while OFF is shown, stay keyed with nothing to send, report a file as sent that did not go out
// whole on a keyed line of a present device, or stay keyed after shut-down. The rounds change port, keying line and
// mode in the middle of files and with entries due, unplug the port, refuse the mirror, cancel then enable or
// reload. A failing round prints its seed; SKEDCAST_KEYING_SEED replays one round, SKEDCAST_KEYING_STEPS runs longer
// (default 3000 steps). The rounds run on the serial keying line, then on each other keying device's emulated back
// end (a CM108 and a GPIO chip recorded in files, Hamlib's dummy rig), whose last record must be the release.
#include <cctype>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>

#include "keying/ptt_setting.h"
#include "platform/text_format.h"
#include "scheduler/key_holding.h"
#include "support/local_port.h"
#include "support/scenario_helpers.h"

namespace sked::test {
namespace {

// How long the key may stay down with nothing sent and nothing due: the transmitter tail and a tick or two.
constexpr Duration kIdleKeyAllowance = 5s;

const char* const kCommandEntries[] = {
    "$TX",  "$RX",    "$PON",  "$POFF",  "$COM1",    "$COM2", "$COM3",   "$COM9",   "$RTS",     "$DTR",
    "$CWID", "$CW",   "$ITA2", "$ASCII", "$PSK31",   "$TELEX", "$MILITARY", "$B45", "$B50",     "$B110",
    "$B300", "$RELOAD", "$DISABLE", "$CWTIMER", "$CWSTOP", "$HEADER", "$NOHEADER"};
// Disturbing commands are rarer than the everyday ones, so that some transmissions get to their end.
const char* const kOperatorCommands[] = {
    "tx",     "rx",     "power on", "power off", "cwid",   "cancel", "pause",  "resume",     "disable",
    "enable", "enable", "send",     "send",      "delete", "reload", "reload", "ry",         "fox",
    "add",    "add",    "add",      "resume",    "resume", "enable", "status", "cwtimer on", "queue",
    "mode ascii", "mode mil", "mode cw", "baud 110", "baud 45.45"};

// Letters, figures, blanks and line ends only: each letter or figure is at least one frame or Morse element.
std::string RandomText(std::mt19937_64& rng, std::size_t length) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789     \n";
    std::string text;
    while (text.size() < length) text += alphabet[rng() % alphabet.size()];
    return text;
}

// The letters and figures of such a text, as a teleprinter prints them.
std::string SignsOf(std::string text) {
    std::erase_if(text, [](unsigned char c) { return !std::isalnum(c); });
    return text;
}

std::size_t MorseElementsOf(const std::string& text) {
    static const int letters[26] = {2, 4, 4, 3, 1, 4, 3, 4, 2, 4, 3, 4, 2, 2, 3, 4, 4, 3, 3, 1, 3, 4, 3, 4, 4, 4};
    std::size_t n = 0;
    for (char c : SignsOf(text)) n += std::isdigit(static_cast<unsigned char>(c)) ? 5 : letters[c - 'A'];
    return n;
}

std::optional<std::string> Between(const std::string& text, const std::string& prefix, const std::string& suffix) {
    if (text.size() < prefix.size() + suffix.size() || !text.starts_with(prefix) || !text.ends_with(suffix)) return {};
    return text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
}

// A scheduled file as the queue line follows it, and what went out on the line meanwhile.
struct SentFile {
    std::string name, text, signs = {};  // text: the file as it was when its entry fell due
    bool started = false, finished = false, offShown = false;
    bool unkeyed = false, absent = false;  // a frame of it on a port not keyed; the port unplugged meanwhile
    TimePoint from{}, until{};
    std::size_t elements = 0;  // Morse elements keyed
};

// Everything one round has seen.
struct Round {
    std::map<std::uint16_t, bool> keyed;  // each port's key as its last MCR write left it
    bool figures = false;                 // the teleprinter shift the line is in
    std::optional<TimePoint> idleKeyedSince;
    bool requestedBefore = false, shutDownWhenQuiet = false;
    int requestsSeen = 0, requestsMade = 0;
    Lines violations;
    std::optional<SentFile> current;
    std::map<std::string, std::string> contents;  // data file -> its text now ("" when missing)
    std::set<int> unplugged;                      // ports whose adapter is out
};

// Hands each key change of the device under test to the round as it is made.
class WatchedKeyer : public KeyingDevice {
public:
    WatchedKeyer(std::unique_ptr<KeyingDevice> device, std::function<void(bool)> changed)
        : device_(std::move(device)), changed_(std::move(changed)) {}
    std::string Name() const override { return device_->Name(); }
    bool Present() override { return device_->Present(); }
    bool SetKey(bool down, std::string& why) override {
        const bool taken = device_->SetKey(down, why);
        if (taken) changed_(down);
        return taken;
    }
    bool KeyDown() const override { return device_->KeyDown(); }
    std::string CheckKeyed() override { return device_->CheckKeyed(); }

private:
    std::unique_ptr<KeyingDevice> device_;
    std::function<void(bool)> changed_;
};

// The key of a device other than the serial line, among the ports' keys.
constexpr std::uint16_t kDevice = 0;

class RandomKeying : public ScenarioTest, public UartObserver {
protected:
    // What this test reads of the station (its only inner probes).
    bool ShownOn() const { return station->window.transmitField.Text().find("ON") != std::string::npos; }
    bool Sending() const { return station->transmission.Busy(); }
    // The head of the queue goes out now (or is a command that runs now).
    bool TransmissionDue() { return NextTransmissionDue(station->scheduler, station->queue, loop->clock().Time()); }
    void Fail(TimePoint when, const std::string& what) {
        if (r.violations.size() < 20) r.violations.push_back(LocalStamp(when) + ": " + what);
    }

    // A letter or figure read back off the line (5-bit codes in the line's shift, or 8-bit ASCII); else 0.
    char SignOf(const UartEvent& frame) {
        static const char* const kLetters = "\0E\nA SIU\rDRJNFCKTZLWHYPQOBG\0MXV\0";
        static const char* const kFigures = "\0" "3\n- '87\r\0" "4\0,\0:(5+)2\0" "6019?\0\0./=\0";
        char c = 0;
        if (frame.dataBits == 8) c = static_cast<char>(frame.value & 0x7F);
        else if (frame.value == 31 || frame.value == 27) r.figures = frame.value == 27;
        else c = (r.figures ? kFigures : kLetters)[frame.value & 31];
        return std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::toupper(c)) : 0;
    }

    void OnUartEvent(const UartEvent& e) override {
        // The file's frames start between the line going idle after what came before it and after its last code.
        auto& t = r.current;
        const bool reading = t && t->started && e.time >= t->from && (!t->finished || e.time < t->until);
        if (e.kind == UartEventKind::kFrame) {
            if (const char sign = SignOf(e); reading && sign) t->signs += sign;
            if (reading && !r.keyed[device_ ? kDevice : e.base]) t->unkeyed = true;
        } else if (e.kind == UartEventKind::kMcr) {
            if (device_ && e.keyOn) Fail(e.time, Format("port 0x%X keyed though another device keys", e.base));
            KeyChanged(e.time, e.base, e.keyOn);
        }
    }

    void KeyChanged(TimePoint when, std::uint16_t base, bool on) {
        auto& t = r.current;
        if (t && t->started && when >= t->from && !t->finished && on && !r.keyed[base]) ++t->elements;
        r.keyed[base] = on;
        if (on && !ShownOn()) Fail(when, Format("key 0x%X down while OFF is shown", base));
    }

    // The device under test in place of the serial keying line, its records in `record`.
    void UseDevice(const std::string& ptt) {
        PttSetting setting;
        ASSERT_EQ(ReadPttSetting(ptt, setting), "") << ptt;
        std::string why;
        auto device = OpenKeyingDevice(setting, why);
        ASSERT_TRUE(device) << why;
        station->transmitter.UseKeyingDevice(
            std::make_unique<WatchedKeyer>(std::move(device), [this](bool on) { KeyChanged(Now(), kDevice, on); }));
    }

    void Sample() {
        const TimePoint now = Now();
        const bool requested = station->transmitter.keyedOnRequest;
        bool keyed = KeyLineUp();  // the current port's keying line as it is now, and every port as its writes left it
        for (const auto& [base, on] : r.keyed) keyed |= on;
        if (keyed && !ShownOn()) Fail(now, "a line stays keyed while OFF is shown");
        if (requested && !r.requestedBefore) ++r.requestsSeen;
        r.requestedBefore = requested;
        if (!keyed || Sending() || TransmissionDue() || requested) r.idleKeyedSince.reset();
        else if (!r.idleKeyedSince) r.idleKeyedSince = now;
        else if (now - *r.idleKeyedSince > kIdleKeyAllowance)
            Fail(now, "keyed with nothing to send and nothing due"), r.idleKeyedSince.reset();
        if (r.shutDownWhenQuiet && !Sending() && !TransmissionDue() &&
            (!station->scheduler.autoSendEnabled || station->queue.Empty()))
            r.shutDownWhenQuiet = false, station->RequestShutdown();
    }

    void QueueLineChanged(const std::string& text) {
        auto& t = r.current;
        if (auto name = Between(text, "File <", "> in TRANSMIT Queue.")) {
            t = SentFile{.name = *name, .text = r.contents[*name]};  // read as its entry falls due
            t->absent = r.unplugged.contains(station->settings.portNumber);
        } else if (auto started = Between(text, "TXFile : Sending file <", ">."); started && t && *started == t->name) {
            t->started = true;
            t->from = ports->IdleAt();
        } else if (text.empty() && t && t->started && !t->finished) {
            t->finished = true;
            t->until = ports->IdleAt();
        } else if (auto done = Between(text, "Completed sending <", ">.")) {
            ports->Sync();
            if (!t || t->name != *done) return Fail(Now(), "Completed without its entry: " + text);
            if (!t->finished) return Fail(Now(), "Completed for a file that was not sent: " + text);
            if (t->offShown) Fail(Now(), "Completed for a file sent partly with the transmitter OFF: " + text);
            if (t->unkeyed) Fail(Now(), "Completed for a file sent partly on a port not keyed: " + text);
            if (t->absent) Fail(Now(), "Completed for a file sent while its port was unplugged: " + text);
            const std::string signs = SignsOf(t->text);
            if (t->signs != signs && !(t->signs.empty() && t->elements == MorseElementsOf(t->text)))
                Fail(Now(), Format("Completed, but %zu signs and %zu Morse elements went out of %zu: ",
                                   t->signs.size(), t->elements, signs.size()) + text);
            t.reset();
        }
    }

    void RunRound(std::uint64_t seed, int steps, const std::string& ptt = "serial") {
        r = Round{};
        device_ = ptt != "serial";
        uart.events.clear();
        std::mt19937_64 rng(seed);
        auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
        auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };

        // Small bulletins, one larger than the old 32000-byte buffer, and names missing or leading out of data/.
        const Lines names = {"a.txt", "b.txt", "c.txt", "d.txt", "big.txt", "gone.txt", "../outside.txt"};
        auto writeFile = [&](const std::string& name) {
            r.contents[name] = RandomText(rng, name == "big.txt" ? 33000 + pick(2000) : 5 + pick(300));
            WriteData(name, r.contents[name]);
        };
        for (const auto& name : {"a.txt", "b.txt", "c.txt", "d.txt"}) writeFile(name);
        if (chance(0.3)) writeFile("big.txt");
        WriteFile("outside.txt", "SECRET FROM OUTSIDE THE DATA FOLDER\n");
        for (const auto& name : {"header.txt", "footer.txt", "cwid.txt", "RYRYRYRY.txt", "thefox.txt"})
            if (chance(0.7)) writeFile(name);

        auto randomEntry = [&](TimePoint& t) -> std::string {
            t += std::chrono::seconds(pick(4) == 0 ? 0 : pick(240));
            const std::string name =
                chance(0.35) ? kCommandEntries[pick(std::size(kCommandEntries))] : names[pick(names.size())];
            if (name == "$TX") ++r.requestsMade;
            switch (pick(10)) {
            case 0: return name;  // timed after the one before
            case 1: return "02/30/2026 12:10:00 " + name;
            case 2: return "01/01/2026 99:99:99 " + name;
            case 3: return QueueLine(std::chrono::system_clock::to_time_t(t - 3600s), name);  // expired
            default: return QueueLine(std::chrono::system_clock::to_time_t(t), name);
            }
        };
        auto writeSchedule = [&](TimePoint from, int entries) {
            std::string text;
            for (int i = 0; i < entries; ++i) text += randomEntry(from) + "\n";
            WriteData("schedule.lst", text);
        };
        TimePoint t = T("2026-01-01T12:00:00");
        writeSchedule(t, 3 + static_cast<int>(pick(12)));

        WriteFile("keying.rec", "");
        ASSERT_TRUE(Start());
        if (device_) UseDevice(ptt);
        ports->AddObserver(this);
        station->window.queueLine.Observe([this] { QueueLineChanged(station->window.queueLine.Text()); });
        station->window.transmitField.Observe([this] {
            if (r.current && r.current->started && !r.current->finished && !ShownOn()) r.current->offShown = true;
        });
        Timer sampler(*loop, [this] { Sample(); });
        sampler.Every(250ms);
        if (chance(0.8)) Type("enable");

        // Operator commands and file changes at random moments.
        for (int step = 0; step < steps; ++step) {
            t += std::chrono::milliseconds(pick(60000));
            const std::size_t what = pick(20);
            if (what < 14) {
                std::string command = kOperatorCommands[pick(std::size(kOperatorCommands))];
                if (command == "delete") command += " " + std::to_string(1 + pick(4));
                if (command == "add") command += " " + names[pick(names.size())];
                if (command == "cwtimer on" && chance(0.5)) command = "cwtimer off";
                if (command == "tx") ++r.requestsMade;
                At(t, [this, command] { Type(command); });
            } else if (what == 14) {  // the adapter of the port in use pulled out, or all put back
                At(t, [this, out = chance(0.6)] {
                    const int port = station->settings.portNumber;
                    if (out && r.current && r.current->started && !r.current->finished) r.current->absent = true;
                    for (int p : out ? std::set<int>{port} : r.unplugged) ports->SetPresent(p, !out);
                    out ? (void)r.unplugged.insert(port) : r.unplugged.clear();
                });
            } else if (what == 15) {  // the mirror set to a peer that refuses, or off
                At(t, [this, refused = chance(0.5)] {
                    station->settings.mirror.port = refused ? closed.port - Transmitter::kMirrorPortBase : 0;
                });
            } else if (what < 18) {
                const std::string name = names[pick(names.size() - 1)];
                At(t, [&, name, remove = chance(0.5)] {
                    if (!remove) return writeFile(name);
                    std::filesystem::remove("data/" + name);
                    r.contents[name] = "";
                });
            } else {
                At(t, [&, entries = 1 + static_cast<int>(pick(6))] {
                    writeSchedule(Now(), entries);
                    if (chance(0.7)) Type("reload");
                });
            }
        }
        // Shut-down in some rounds at once, whatever is under way, as a signal would ask; in the others once the
        // station has gone quiet (long files get to their end), often with one more bulletin, or after three hours.
        if (chance(0.5)) {
            At(t + 1s, [this] { station->RequestShutdown(); });
        } else {
            const bool more = chance(0.7);
            const std::string name = chance(0.5) ? "big.txt" : names[pick(4)];
            At(t + 1s, [&, more, name] {
                if (more) writeFile(name), Type("add " + name), Type("enable");
                r.shutDownWhenQuiet = true;
            });
            At(t + 3h, [this] { station->RequestShutdown(); });
        }
        loop->RunUntil(t + 24h);
        EXPECT_TRUE(loop->QuitRequested()) << "seed " << seed << ": the station never got to its shut-down";
        station->ShutDown();
        ports->Sync();
        Sample();
        for (const auto& [base, keyed] : r.keyed)
            if (keyed) Fail(Now(), Format("key 0x%X still down after shut-down", base));
        station->transmitter.UseKeyingDevice(nullptr);  // closed as at the end of the program
        const std::string record = ReadFile("keying.rec");
        if (ptt.starts_with("gpio") && !record.ends_with("4=0\n")) Fail(Now(), "the GPIO line left high");
        if (ptt.starts_with("cm108") && !record.ends_with(std::string("\0\0\0\4\0", 5)))
            Fail(Now(), "the CM108 pin left high");
        const auto log = LogMessages();
        EXPECT_EQ(log.back(), "***** Skedcast has been TERMINATED *****") << "seed " << seed;
        std::optional<std::string> open;  // every file taken from the queue ends in exactly one result line
        for (const auto& line : log) {
            auto result = Between(line, "Completed sending <", ">.");
            if (!result) result = Between(line, "ABORTED sending <", ">.");
            if (auto name = Between(line, "File <", "> in TRANSMIT Queue.")) {
                if (open) Fail(Now(), "no result line for " + *open);
                if (name->find("..") != std::string::npos) Fail(Now(), "a name outside data/ was queued: " + *name);
                open = name;
            } else if (result && *result != "RYRYRYRY.txt" && *result != "thefox.txt") {  // test texts: their own
                if (open != result) Fail(Now(), "a result line without its entry: " + line);
                open.reset();
            }
        }
        if (open) Fail(Now(), "no result line for " + *open);
        if (!r.violations.empty() && std::getenv("SKEDCAST_KEYING_SEED"))  // replaying: the whole log
            for (const auto& line : log) std::fprintf(stderr, "log| %s\n", line.c_str());
        for (const auto& v : r.violations) ADD_FAILURE() << "seed " << seed << " at " << v;
        EXPECT_LE(r.requestsSeen, r.requestsMade) << "seed " << seed << ": the transmitter was held keyed unasked";
    }

    Round r;
    bool device_ = false;  // keyed by a device other than the serial line
    const LocalPort closed{false};  // a mirror peer that refuses
};

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

TEST_F(RandomKeying, NeverKeyedWhenItShouldNotBe) {
    constexpr int kStepsPerRound = 40;
    // SKEDCAST_KEYING_DEVICE: the --ptt of a replayed round (serial unless given).
    const char* device = std::getenv("SKEDCAST_KEYING_DEVICE");
    const std::string replayed = device && *device ? device : "serial";
    if (std::getenv("SKEDCAST_KEYING_SEED"))
        return RunRound(EnvNumber("SKEDCAST_KEYING_SEED", 1), kStepsPerRound, replayed);
    const std::uint64_t steps = EnvNumber("SKEDCAST_KEYING_STEPS", 3000);
    // Each other device a share of the serial line's rounds (the rounds, not the devices, find the faults); the
    // dummy rig fewer, as Hamlib waits 50 ms of real time after each release (each Morse element in CW mode).
    for (const std::string ptt : {"serial", "cm108:keying.rec:3", "gpio:keying.rec:4", "hamlib:1"}) {
        const std::uint64_t share = ptt == "serial" ? steps : ptt == "hamlib:1" ? steps / 40 : steps / 3;
        for (std::uint64_t round = 0; round * kStepsPerRound < share && !HasFailure(); ++round) {
            SCOPED_TRACE("replay with SKEDCAST_KEYING_DEVICE=" + ptt +
                         " SKEDCAST_KEYING_SEED=" + std::to_string(1000 + round));
            TearDown();
            SetUp();
            RunRound(1000 + round, kStepsPerRound, ptt);
        }
    }
}

}  // namespace
}  // namespace sked::test
