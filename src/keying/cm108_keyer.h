// A CM108/CM119 USB sound interface's GPIO pin as the keying device, through
// its hidraw device: one HID output report sets the pin. The release report
// is prepared at start, so that a crash handler can write it.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "keying/keying_device.h"

namespace sked {

class Cm108Keyer : public KeyingDevice {
public:
    // Report number, then the chip's four output bytes: the GPIO command,
    // the pins' levels, which pins are outputs, and nothing for S/PDIF.
    using Report = std::array<unsigned char, 5>;
    static Report ReportFor(int pin, bool high);

    // Opens `path` (a /dev/hidrawN; a plain file records the reports) and
    // releases the pin. Nothing, with the reason, when it cannot.
    static std::unique_ptr<Cm108Keyer> Open(const std::string& path, int pin, std::string& why);
    ~Cm108Keyer() override;
    Cm108Keyer(const Cm108Keyer&) = delete;
    Cm108Keyer& operator=(const Cm108Keyer&) = delete;

    std::string Name() const override;
    bool Present() override;
    std::string WhyAbsent() const override { return problem_; }
    bool SetKey(bool down, std::string& why) override;
    bool KeyDown() const override { return down_; }

private:
    Cm108Keyer(std::string path, int pin);
    bool OpenDevice(std::string& why);
    void CloseDevice();

    std::string path_;
    int pin_;
    int fd_ = -1;
    bool down_ = false;
    std::string problem_;
    Report release_;
};

}  // namespace sked
