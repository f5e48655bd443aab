#include "serial/serial_line.h"

namespace sked {

namespace {
constexpr std::uint16_t kComBases[] = {0x3F8, 0x2F8, 0x3E8, 0x3E0, 0x2F0, 0x2E8, 0x2E0, 0x260};
constexpr const char* kPortNames[] = {"Edit", "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"};
}  // namespace

Duration FrameTime(const LineFormat& format, double baud) {
    const double seconds = format.HalfBits() / 2.0 / baud;
    return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(seconds));
}

std::uint16_t ComPortBase(int number) { return number >= 1 && number <= 8 ? kComBases[number - 1] : 0; }

const char* ComPortName(int number) { return number >= 0 && number <= 8 ? kPortNames[number] : "????"; }

}  // namespace sked
