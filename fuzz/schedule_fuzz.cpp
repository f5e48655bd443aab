// Schedule text of any shape through the loader: no crash, no undefined behaviour, and every entry one the
// dispatcher can trust: due after the load, a name inside data/ or a command, a bounded line that reads back.
#include <cstdint>
#include <ctime>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fake_data_folder.h"
#include "fuzz_zone.h"
#include "scheduler/schedule.h"
#include "scheduler/schedule_loader.h"
#include "scheduler/timetable.h"
#include "scheduler/transmit_queue.h"
#include "transmit/data_file_name.h"

namespace {
using namespace sked;
std::time_t now;
void Check(bool ok) { if (!ok) __builtin_trap(); }
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    now = PinFuzzZoneAndStart();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (Mode mode : {Mode::Military, Mode::Ascii, Mode::Psk31}) {
        StationSettings settings;
        settings.mode = mode;
        std::vector<std::string> log;
        for (const QueueEntry& entry : ScheduleLoader::Entries(text, now, settings, FakeDataFileSize, &log)) {
            const LineTime time = ReadLineTime(entry.text);
            // A repeating entry's occurrence shows its rule and time in brackets: a few characters more.
            Check(entry.text.size() <= 24 + kScheduleLineChars && entry.due > now);
            // A dated line is due when its text reads; a follower's is written from its due moment (which in
            // the hour the clocks go back need not read back as the same pass).
            Check(time.kind == LineTime::kValid &&
                  (time.time == entry.due || entry.text.starts_with(QueueLine(entry.due, ""))));
            Check(!entry.name.empty() && (entry.name[0] == '$' || IsDataFileName(entry.name)));
            // The dispatcher sends the third word of the line.
            std::istringstream words(entry.text);
            std::string date, clock, name;
            Check(static_cast<bool>(words >> date >> clock >> name) && name == entry.name);
            // The occurrence after it, and its followers, come later.
            if (!entry.repeats) continue;
            TransmitQueue next;
            QueueNextOccurrence(next, entry, now, settings, FakeDataFileSize);
            for (const QueueEntry& later : next.Entries()) Check(later.due > entry.due && later.due > now);
        }
        // A refused rule quotes the word that does not read.
        for (const std::string& line : log) Check(line.size() <= 128 + 2 * kScheduleLineChars);
    }
    return 0;
}
