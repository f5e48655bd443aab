#include "transmit/station_state.h"

namespace sked {

namespace {
constexpr const char* kPortNames[10] = {"Edit", "COM1", "COM2", "COM3", "COM4",
                                        "COM5", "COM6", "COM7", "COM8", "????"};
constexpr std::uint16_t kPortBases[9] = {0, 0x3F8, 0x2F8, 0x3E8, 0x3E0, 0x2F0, 0x2E8, 0x2E0, 0x260};
}  // namespace

const char* PortName(int port) { return kPortNames[(port >= 0 && port <= 8) ? port : 9]; }

std::uint16_t PortBase(int port) { return (port >= 1 && port <= 8) ? kPortBases[port] : 0; }

}  // namespace sked
