// The on-air rendering: what an FSK transmitter keyed by the emulated port radiates, into one file
// or a file per transmission.
#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <numbers>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include <sndfile.hh>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "audio/noise_source.h"
#include "audio/onair_renderer.h"
#include "serial/emulated_uart.h"
#include "audio/onair_recording.h"
#include "platform/simulated_event_loop.h"
#include "support/station_fixture.h"

namespace sked {
namespace {

using namespace std::chrono;
using Stretch = std::pair<TimePoint, TimePoint>;

const TimePoint kStart = sys_days{2024y / March / 1} + 12h;
constexpr std::uint16_t kBase = 0x2F8;
const std::string kFolder = "tx/";

// Index of the first sample at or after `t`, at 8000 samples a second from `origin`.
std::size_t SampleAt(TimePoint t, TimePoint origin = kStart) {
    return static_cast<std::size_t>(((t - origin) / 1ns + 124'999) / 125'000);
}

bool Within(const std::vector<Stretch>& list, std::size_t n, TimePoint origin) {
    return std::any_of(list.begin(), list.end(), [n, origin](auto& s) {
        return SampleAt(s.first, origin) <= n && n < SampleAt(s.second, origin);
    });
}

// Continuous-phase FSK at the AFSK generator's level from a rising zero at each key closure, silent unkeyed:
// 2295 Hz in `spaces`, else 2125 Hz. Samples `first` .. `first + count` from `origin`, `first` not keyed.
std::vector<short> Radiated(std::size_t count, const std::vector<Stretch>& keyed, const std::vector<Stretch>& spaces,
                            TimePoint origin = kStart, std::size_t first = 0) {
    std::vector<short> out(count);
    double phase = 0;
    for (std::size_t n = first; n < first + count; ++n) {
        const bool on = Within(keyed, n, origin);
        const double step = 2 * std::numbers::pi * (Within(spaces, n, origin) ? 2295 : 2125) / 8000;
        phase = on && n > first && Within(keyed, n - 1, origin) ? phase + step : 0;  // each sample's own tone
        out[n - first] = on ? static_cast<short>(std::lround(kSignalGain * std::numbers::sqrt2 * std::sin(phase))) : 0;
    }
    return out;
}

// The samples of a recording, which must be 8000 Hz mono 16-bit WAV.
std::vector<short> ReadSamples(const std::string& path) {
    SndfileHandle file(path);
    EXPECT_EQ(std::tuple(file.samplerate(), file.channels(), file.format()),
              std::tuple(8000, 1, SF_FORMAT_WAVEX | SF_FORMAT_PCM_16))
        << path << ": " << file.strError();
    std::vector<short> samples(static_cast<std::size_t>(file.frames()));
    EXPECT_EQ(file.readf(samples.data(), file.frames()), file.frames());
    return samples;
}

// The start bit and the zero data bits of a frame are at space.
void AddSpaces(std::vector<Stretch>& spaces, const UartEvent& f) {
    for (int k = 0; k <= f.dataBits; ++k)
        if (k == 0 || !((f.value >> (k - 1)) & 1))
            spaces.push_back({f.time + k * f.bitTime, f.time + (k + 1) * f.bitTime});
}

// An emulated port on the simulated clock, and the frames it sends.
class PortDriver : public UartObserver {
public:
    explicit PortDriver(TimePoint start) : start(start), clock(start) { port.AddObserver(this); }
    void OnUartEvent(const UartEvent& e) override {
        if (e.kind == UartEventKind::kFrame) frames.push_back(e);
    }
    auto& At(Duration t) { return clock.AdvanceTo(start + t), *this; }
    auto& Program(std::uint16_t base, unsigned divisor, std::uint8_t lcr) {
        port.Out(base + uart::kLcr, static_cast<std::uint8_t>(uart::kLcrDlab | lcr));
        port.Out(base + uart::kThr, static_cast<std::uint8_t>(divisor & 0xFF));
        port.Out(base + uart::kIer, static_cast<std::uint8_t>(divisor >> 8));
        return port.Out(base + uart::kLcr, lcr), *this;
    }
    auto& Key(std::uint16_t base, bool on) { return port.Out(base + uart::kMcr, on ? uart::kMcrDtr : 0), *this; }
    auto& Break(std::uint16_t base, bool on) { return port.Out(base + uart::kLcr, on ? 0x44 : 0x04), *this; }
    auto& Send(std::uint16_t base, std::vector<std::uint8_t> codes) {
        for (std::uint8_t code : codes) {
            while (!(port.In(base + uart::kLsr) & uart::kLsrThre)) clock.AdvanceTo(port.NextChange(base + uart::kLsr));
            port.Out(base + uart::kThr, code);
        }
        return *this;
    }

    const TimePoint start;
    SimulatedClock clock;
    EmulatedPortIo port{clock};
    std::vector<UartEvent> frames;
};

// A renderer on a fresh emulated port from `origin`, recording into `target` as --onair does.
class OnAirRendererTest : public ::testing::Test {
public:
    PortDriver& Start(const std::string& target, TimePoint origin = kStart) {
        renderer.reset();
        driver.emplace(origin);
        renderer.emplace(OpenOnAirRecording(target, 8000));
        renderer->SetProblemReporter([this](const std::string& p) { problems.push_back(p); });
        renderer->Begin(origin);
        driver->port.AddObserver(&*renderer);
        return driver->Program(kBase, 2534, 0x04);
    }
    void Finish(Duration end) {
        driver->port.Sync();
        renderer->Finish(driver->start + end);
    }
    // Finishes at `end` (or, with none, by destroying the renderer) and reads onair.wav.
    std::vector<short> Samples(std::optional<Duration> end = std::nullopt) {
        if (end) Finish(*end);
        return renderer.reset(), ReadSamples("onair.wav");
    }
    static std::set<std::string> Files() {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(kFolder))
            names.insert(entry.path().filename().string());
        return names;
    }

    test::ScratchDirectory dir;
    std::vector<std::string> problems;
    std::optional<PortDriver> driver;
    std::optional<OnAirRenderer> renderer;
};
using OnAirFolderTest = OnAirRendererTest;

void ExpectRadiated(const std::vector<short>& got, const std::vector<short>& expected) {
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t n = 0; n < got.size(); ++n)
        ASSERT_LE(std::abs(got[n] - expected[n]), 1) << "sample " << n << " at " << n / 8000.0 << " s";
}

TEST_F(OnAirRendererTest, OnlyTheKeyedPortIsHeardAndThePhaseRunsOnThroughEveryShift) {
    constexpr std::uint16_t kA = 0x3F8, kB = kBase;
    PortDriver& port = Start("onair.wav").Program(kA, 2534, 0x04);
    port.At(100ms).Send(kB, {0x00});  // unkeyed: characters and break radiate nothing
    port.At(300ms).Break(kB, true).At(400ms).Break(kB, false);
    port.At(1s).Key(kA, true).At(1100ms).Send(kB, {0x00});  // B's character while A holds the air
    port.At(3s).Break(kA, true).At(5s).Break(kA, false);  // a Morse element by break
    port.At(5900ms).Key(kA, false).At(6500ms).Key(kB, true);
    port.At(6700ms).Send(kB, {0x00}).At(6900ms).Send(kA, {0x00});
    const auto samples = Samples(7500ms);
    std::vector<Stretch> spaces = {{kStart + 3s, kStart + 5s}};
    AddSpaces(spaces, port.frames.at(2));
    const std::vector<Stretch> keyed = {{kStart + 1s, kStart + 5900ms}, {kStart + 6500ms, kStart + 7500ms}};
    ExpectRadiated(samples, Radiated(60000, keyed, spaces));  // the second stretch starts from zero again
}

TEST_F(OnAirRendererTest, FramesGoOnAirWithTheirExactBitTiming) {
    PortDriver& port = Start("onair.wav").At(500ms).Key(kBase, true);
    port.At(1s + 37us).Send(kBase, {0x00, 0x01, 0x1E, 0x1F});  // a null (6 x 22 ms at space) between two samples
    port.At(2s + 411us).Program(kBase, 384, 0x07).Send(kBase, {0x55, 0xC2});  // ASCII at 300 baud
    port.At(2500ms).Program(kBase, 1047, 0x07).Send(kBase, {0x0F});           // and at 110
    const auto samples = Samples(3s);
    ASSERT_EQ(port.frames.size(), 7u);
    std::vector<Stretch> spaces;
    for (const auto& f : port.frames) AddSpaces(spaces, f);
    ExpectRadiated(samples, Radiated(24000, {{kStart + 500ms, kStart + 3s}}, spaces));
}

TEST_F(OnAirRendererTest, WritesAsItGoesAndEndsWithTheLastCharacterByItself) {
    PortDriver& port = Start("onair.wav").Key(kBase, true);
    for (int i = 1; i < 60; ++i) port.At(i * 1s).Break(kBase, i % 2 == 1);
    port.At(60s).Send(kBase, {0x1F});
    EXPECT_GE(std::filesystem::file_size("onair.wav"), 44u + 2u * (60u * 8000u - 4096u));  // on disk, not in memory
    EXPECT_EQ(Samples().size(), SampleAt(port.frames[0].time + port.frames[0].frameTime));  // no Finish
}

TEST_F(OnAirRendererTest, AWriteFailureIsReportedOnceAndTheFileKeepsWhatWasWritten) {
    PortDriver& port = Start("onair.wav");
    // A full disk, as the file-size limit gives it.
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100'000, before.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    port.At(1s).Key(kBase, true).At(20s).Key(kBase, false);
    renderer->Finish(kStart + 21s);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(problems, std::vector<std::string>{"cannot write on-air audio file onair.wav: File too large"});
    EXPECT_EQ(renderer->error(), problems.at(0));
    const auto samples = Samples();
    EXPECT_GT(samples.size(), 8000u);  // the whole chunks before the failure, silence and tone
    EXPECT_LE(44 + 2 * samples.size(), 100'000u);
    ExpectRadiated(samples, Radiated(samples.size(), {{kStart + 1s, kStart + 20s}}, {}));
}

struct Keying {
    Duration at;
    enum What { kKeyOn, kKeyOff, kBreakOn, kBreakOff, kSendRy } what;
};
struct ExpectedFile {
    std::string name;
    Duration from, to;  // from the origin
};

TEST_F(OnAirFolderTest, EachTransmissionGetsAFileOfItsOwnWithAQuarterSecondOfSilenceAround) {
    const struct {
        const char* what;
        std::vector<Keying> keying;
        Duration end;
        std::vector<ExpectedFile> files;
    } scenarios[] = {
        {"two transmissions hours apart",
         {{10s, Keying::kKeyOn}, {11s, Keying::kSendRy}, {12s, Keying::kBreakOn}, {13s, Keying::kBreakOff},
          {17500ms, Keying::kKeyOff}, {3h + 30min + 10s, Keying::kKeyOn}, {3h + 30min + 13s, Keying::kKeyOff}},
         4h,
         {{"20260101-120000.wav", 9750ms, 17750ms},
          {"20260101-153000.wav", 3h + 30min + 9750ms, 3h + 30min + 13250ms}}},
        {"the key up for less than five seconds stays inside; the run's start and end cut the silence around",
         {{100ms, Keying::kKeyOn}, {1s, Keying::kKeyOff}, {1442ms, Keying::kKeyOn}, {2s, Keying::kKeyOff},
          {6900ms, Keying::kKeyOn}, {7s, Keying::kBreakOn}, {7500ms, Keying::kBreakOff}, {8s, Keying::kKeyOff},
          {13s, Keying::kKeyOn}, {14s, Keying::kKeyOff}, {20s, Keying::kKeyOn}},
         21s,
         {{"20260101-115950.wav", 0s, 8250ms}, {"20260101-120003.wav", 12750ms, 14250ms},
          {"20260101-120010.wav", 19750ms, 21s}}},
    };
    for (const auto& s : scenarios) {
        SCOPED_TRACE(s.what);
        std::filesystem::remove_all(kFolder);
        PortDriver& port = Start(kFolder, test::LocalTimePoint("2026-01-01T11:59:50"));
        std::vector<Stretch> keyed, spaces;
        for (const Keying& k : s.keying) {
            port.At(k.at);
            const TimePoint t = port.start + k.at;
            switch (k.what) {
                case Keying::kKeyOn: port.Key(kBase, true), keyed.push_back({t, TimePoint::max()}); break;
                case Keying::kKeyOff: port.Key(kBase, false), keyed.back().second = t; break;
                case Keying::kBreakOn: port.Break(kBase, true), spaces.push_back({t, TimePoint::max()}); break;
                case Keying::kBreakOff: port.Break(kBase, false), spaces.back().second = t; break;
                case Keying::kSendRy: port.Send(kBase, {0x0A, 0x15}); break;
            }
        }
        Finish(s.end);
        for (const auto& f : port.frames) AddSpaces(spaces, f);
        ASSERT_EQ(Files().size(), s.files.size());  // and each is one of those read below
        for (const auto& f : s.files) {
            SCOPED_TRACE(f.name);
            const auto samples = ReadSamples(kFolder + f.name);
            const std::size_t first = SampleAt(port.start + f.from, port.start);
            ExpectRadiated(samples, Radiated(SampleAt(port.start + f.to, port.start) - first, keyed, spaces,
                                             port.start, first));
        }
        EXPECT_EQ(problems, std::vector<std::string>{});
    }
}

// Names in the station's zone as CTest pins it (Europe/Berlin), which has summer time.
TEST_F(OnAirFolderTest, ANameAlreadyTakenGetsASuffixAndNoFileIsReplaced) {
    const struct {
        const char* what;
        const char* origin;
        std::vector<Duration> keyed;  // two seconds each
        std::vector<std::string> earlier;
        std::set<std::string> files;
    } cases[] = {
        {"a file from an earlier run", "2026-01-01T11:59:50", {10s}, {"20260101-120000.wav"},
         {"20260101-120000.wav", "20260101-120000-2.wav"}},
        {"the hour the clocks go back, twice", "2026-10-25T02:00:00", {30min, 1h + 30min, 1h + 30min + 10s}, {},
         {"20261025-023000.wav", "20261025-023000-2.wav", "20261025-023010.wav"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(kFolder);
        std::filesystem::create_directory(kFolder);
        for (const auto& name : c.earlier) test::WriteFile(kFolder + name, "an earlier recording");
        PortDriver& port = Start(kFolder, test::LocalTimePoint(c.origin));
        for (Duration at : c.keyed) port.At(at).Key(kBase, true).At(at + 2s).Key(kBase, false);
        Finish(c.keyed.back() + 1min);
        EXPECT_EQ(Files(), c.files);
        for (const auto& name : c.earlier) EXPECT_EQ(test::ReadFile(kFolder + name), "an earlier recording");
    }
}

TEST_F(OnAirFolderTest, TransmissionsThatCannotBeRecordedAreReportedAndSoIsTheRecovery) {
    PortDriver& port = Start(kFolder, test::LocalTimePoint("2026-01-01T11:59:50"));
    auto transmission = [&](Duration at) { port.At(at).Key(kBase, true).At(at + 2s).Key(kBase, false); };
    transmission(10s);
    port.At(30s);
    std::filesystem::rename(kFolder, "elsewhere");  // the folder taken away
    transmission(70s);
    transmission(130s);
    port.At(150s);
    std::filesystem::rename("elsewhere", kFolder);
    transmission(190s);
    Finish(4min);
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "cannot create on-air audio file tx/20260101-120100.wav: No such file or directory",
                            "on-air audio: recording in tx/ again (2 transmissions not recorded)"}));
    EXPECT_EQ(renderer->error(), problems.at(0));
    EXPECT_EQ(Files(), (std::set<std::string>{"20260101-120000.wav", "20260101-120300.wav"}));
}

TEST_F(OnAirFolderTest, TheTargetNamesAFolderByItsSlashOrBecauseItIsOne) {
    std::filesystem::create_directory("existing");
    test::WriteFile("plain", "");
    const struct {
        const char* target;
        bool folder;
        const char* error;
    } cases[] = {
        {"onair.wav", false, ""}, {"new/", true, ""}, {"existing", true, ""}, {"existing/", true, ""},
        {"missing/new/", false, "cannot create on-air audio folder missing/new/: No such file or directory"},
        {"plain/", false, "cannot use on-air audio folder plain/: Not a directory"},
        {"plain/new/", false, "cannot create on-air audio folder plain/new/: Not a directory"},
        {"missing/onair.wav", false, "cannot create on-air audio file missing/onair.wav: No such file or directory"},
        {"plain/onair.wav", false, "cannot create on-air audio file plain/onair.wav: Not a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        try {
            auto recording = OpenOnAirRecording(c.target, 8000);
            EXPECT_EQ(std::string(c.error), "");
            EXPECT_EQ(dynamic_cast<OnAirFolder*>(recording.get()) != nullptr, c.folder);
            EXPECT_EQ(std::filesystem::is_directory(c.target), c.folder);
            EXPECT_TRUE(std::filesystem::exists(c.target));
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), c.error);
        }
    }
}

}  // namespace
}  // namespace sked
