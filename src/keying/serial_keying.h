// The serial port's RTS or DTR line as the keying device: the station's
// port, whichever it is now ($COMn may change it), keys the transmitter.
#pragma once

#include <functional>

#include "keying/keying_device.h"
#include "serial/serial_line.h"

namespace sked {

class SerialKeying : public KeyingDevice {
public:
    explicit SerialKeying(std::function<SerialLine&()> line) : line_(std::move(line)) {}

    std::string Name() const override { return "the serial port's keying line"; }
    bool Present() override { return line_().Present(); }
    std::string WhyAbsent() const override { return line_().WhyAbsent(); }
    bool SetKey(bool down, std::string&) override {
        line_().SetKey(down);
        return true;
    }
    bool KeyDown() const override { return line_().KeyDown(); }
    bool IsSerialLine() const override { return true; }

private:
    std::function<SerialLine&()> line_;
};

}  // namespace sked
