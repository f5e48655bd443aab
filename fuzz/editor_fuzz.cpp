// Schedule text of any shape through the editor's reader and writer: no crash, no undefined behaviour, and what
// one save writes reads back as the same entries and saves again unchanged, whether Auto Time showed starts or not.
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "editor/schedule_list.h"
#include "fake_data_folder.h"
#include "fuzz_zone.h"

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
        std::string saved[2];
        for (bool untimedDisplay : {true, false}) {
            EditorReading first = ReadEditorSchedule(text, now, mode, 45.45f, untimedDisplay, FakeDataFileSize);
            // Only an untimed entry shown without a time begins with a blank.
            for (const EditorLine& line : first.lines)
                Check(!line.display.empty() && (untimedDisplay || line.display[0] != ' '));
            const std::string once = WriteEditorSchedule(first.lines);
            EditorReading second = ReadEditorSchedule(once, now, mode, 45.45f, untimedDisplay, FakeDataFileSize);
            Check(second.lines.size() == first.lines.size());
            Check(second.expired + second.unreadable + second.notEntries == 0);
            Check(WriteEditorSchedule(second.lines) == once);
            saved[untimedDisplay] = once;
        }
        Check(saved[0] == saved[1]);
    }
    return 0;
}
