// Any bytes as skedcast.conf, and as a --ptt value. The file either reads or is refused with its name, a line
// and a reason; what reads is written out and reads back the same. A --ptt value that reads reads again the same.
#include <cstdint>
#include <cstdio>
#include <string>
#include <tuple>

#include <unistd.h>

#include "app/kept_settings.h"
#include "keying/ptt_setting.h"

namespace {
using namespace sked;
void Check(bool ok) { if (!ok) __builtin_trap(); }

std::string WriteScratch(const std::string& text) {
    static const std::string path = "/tmp/skedcast-settings-fuzz." + std::to_string(::getpid()) + ".conf";
    std::FILE* file = std::fopen(path.c_str(), "w");
    Check(file != nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    return path;
}

auto Fields(const PttSetting& s) {
    return std::tie(s.kind, s.text, s.model, s.device, s.speed, s.host, s.port, s.hidraw, s.pin, s.chip, s.line,
                    s.activeLow);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    PttSetting setting, again;
    if (ReadPttSetting(bytes, setting).empty()) Check(ReadPttSetting(setting.text, again).empty() &&
                                                      Fields(setting) == Fields(again));

    const std::string path = WriteScratch(bytes);
    KeptSettings kept, reread;
    std::string problem;
    if (!ReadKeptSettings(path, kept, problem)) {
        Check(problem.starts_with(path) && problem.size() > path.size());
        return 0;
    }
    WriteScratch(kept.Text());
    Check(ReadKeptSettings(path, reread, problem) && reread == kept);
    return 0;
}
