// Schedule text of any shape through the schedule editor's reader and
// writer: no crash, no undefined behaviour, and a save is settled: what one
// save writes reads back as the same entries and saves again unchanged,
// whether the list showed computed start times or not.
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "editor/schedule_list.h"
#include "platform/clock.h"
#include "transmit/data_file_name.h"

namespace {

using namespace sked;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// A made-up data/ folder: no file, or sizes up to the largest there is.
// Only names inside data/ may be looked up at all.
std::optional<std::uintmax_t> FakeSize(const std::string& name) {
    Check(IsDataFileName(name));
    std::uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : name) h = (h ^ c) * 1099511628211ULL;
    switch (h % 4) {
        case 0:
            return std::nullopt;
        case 1:
            return h % 100'000;
        case 2:
            return h % 10'000'000'000ULL;
        default:
            return std::numeric_limits<std::uintmax_t>::max() >> (h % 64);
    }
}

std::time_t now;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A zone with daylight saving, written out so that no zone database is needed.
    setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    tzset();
    now = MakeLocalTime(2026, 1, 1, 12, 0, 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (CharacterTiming timing : {CharacterTiming::kBaudot, CharacterTiming::kAscii, CharacterTiming::kPsk31}) {
        std::string saved[2];
        for (bool untimedDisplay : {true, false}) {
            EditorReading first = ReadEditorSchedule(text, now, timing, 45.45f, untimedDisplay, FakeSize);
            // Only an untimed entry shown without a time begins with a blank.
            for (const EditorLine& line : first.lines)
                Check(!line.display.empty() && (untimedDisplay || line.display[0] != ' '));
            const std::string once = WriteEditorSchedule(first.lines);
            EditorReading second = ReadEditorSchedule(once, now, timing, 45.45f, untimedDisplay, FakeSize);
            Check(second.lines.size() == first.lines.size());
            Check(second.expired + second.unreadable + second.notEntries == 0);
            Check(WriteEditorSchedule(second.lines) == once);
            saved[untimedDisplay] = once;
        }
        Check(saved[0] == saved[1]);
    }
    return 0;
}
