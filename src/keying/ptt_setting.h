// The keying device as --ptt and the [keying] ptt setting name it:
//   serial                                  the serial port's RTS or DTR line (the default)
//   hamlib:MODEL[:DEVICE[:SPEED]]           a rig through Hamlib (rigctl -l lists the models)
//   rigctld:HOST[:PORT]                     a rig behind rigctld (port 4532 unless given)
//   cm108:/dev/hidrawN[:PIN]                a CM108/CM119 sound interface's GPIO pin (3 unless given)
//   gpio:CHIP:LINE[:active-low]             a Linux GPIO line (gpiochip0, 0 or /dev/gpiochip0)
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "keying/keying_device.h"

namespace sked {

struct PttSetting {
    enum class Kind { Serial, Hamlib, Rigctld, Cm108, Gpio };

    static constexpr int kRigctldPort = 4532;
    static constexpr int kCm108Pin = 3;
    static constexpr int kCm108Pins = 8;

    Kind kind = Kind::Serial;
    std::string text = "serial";  // as given
    // Hamlib: the rig model, its device and speed (0: the model's own).
    int model = 0;
    std::string device;
    int speed = 0;
    // rigctld: where it listens.
    std::string host;
    int port = kRigctldPort;
    // CM108: the hidraw device and the GPIO pin (1..8).
    std::string hidraw;
    int pin = kCm108Pin;
    // GPIO: the chip, the line's offset, and whether the line is active low.
    std::string chip;
    unsigned line = 0;
    bool activeLow = false;
};

// Reads `text` into `setting`: "" when it reads, else what is wrong with it.
std::string ReadPttSetting(std::string_view text, PttSetting& setting);

// Opens the device a setting other than `serial` names, released. Nothing,
// with the device's name and the reason in `why`, when it cannot be opened.
std::unique_ptr<KeyingDevice> OpenKeyingDevice(const PttSetting& setting, std::string& why);

}  // namespace sked
