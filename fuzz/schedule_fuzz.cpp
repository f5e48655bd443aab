// Schedule text of any shape through ReadSchedule: no crash, no undefined
// behaviour, and every entry it keeps is one the dispatcher can trust: due
// after the load, a name inside data/ or a command, a list line of bounded
// length that reads back as date, time and that name.
#include <cstdint>
#include <ctime>
#include <sstream>
#include <string>
#include <string_view>

#include "fake_data_folder.h"
#include "fuzz_zone.h"
#include "scheduler/schedule_file.h"
#include "scheduler/schedule_loader.h"
#include "transmit/data_file_name.h"

namespace {

using namespace sked;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

bool IsMarkerSpeed(float speed) {
    for (float baud : {45.45f, 50.0f, 56.9f, 74.4f, 100.0f, 110.0f, 300.0f})
        if (speed == baud) return true;
    return false;
}

std::time_t now;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    now = PinFuzzZoneAndStart();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (CharacterTiming timing : {CharacterTiming::kBaudot, CharacterTiming::kAscii, CharacterTiming::kPsk31}) {
        ScheduleReading reading = ReadSchedule(text, now, timing, 45.45f, FakeDataFileSize);
        for (const ScheduleEntry& entry : reading.entries) {
            Check(entry.text.size() <= kEntryTextChars);
            Check(entry.due > now);
            Check(ScheduleLoader::EntryTime(entry.text) > now);
            Check(!entry.name.empty() && (entry.name[0] == '$' || IsDataFileName(entry.name)));
            // The dispatcher sends the third word of the line.
            std::istringstream words(entry.text);
            std::string date, time, name;
            Check(static_cast<bool>(words >> date >> time >> name) && name == entry.name);
        }
        for (const std::string& line : reading.log) Check(line.size() <= 64 + kScheduleLineChars);
        Check(IsMarkerSpeed(reading.estimateSpeed));
    }
    return 0;
}
