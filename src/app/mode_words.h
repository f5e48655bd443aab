// The words an operator types for the modes and the speeds, in the console,
// on the control socket and in the kept settings alike.
#pragma once

#include "transmit/station_settings.h"

namespace sked {

struct ModeWord {
    const char* word;
    Mode mode;
};
// "military" is the one written; "mil" is read as well.
inline constexpr ModeWord kModeWords[] = {{"ascii", Mode::Ascii},       {"ita2", Mode::Ita2},     {"telex", Mode::Telex},
                                          {"military", Mode::Military}, {"mil", Mode::Military}, {"psk31", Mode::Psk31},
                                          {"cw", Mode::Cw}};
// The Baud buttons, 0 = 45.45 .. 6 = 300.
inline constexpr const char* kBaudWords[] = {"45.45", "50", "56.9", "74.2", "100", "110", "300"};

}  // namespace sked
