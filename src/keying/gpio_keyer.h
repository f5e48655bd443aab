// A Linux GPIO line as the keying device, through libgpiod on the GPIO
// character device (a Raspberry Pi's header pin, say), optionally active
// low. A CHIP that names a plain file is an emulated chip: each level the
// line is set to is appended to it as "LINE=LEVEL", the level on the pin.
#pragma once

#include <memory>
#include <string>

#include "keying/keying_device.h"

namespace sked {

// The line requested as an output and released. Nothing, with the chip,
// the line and the reason in `why`, when it cannot be had.
std::unique_ptr<KeyingDevice> OpenGpioKeyer(const std::string& chip, unsigned line, bool activeLow, std::string& why);

}  // namespace sked
