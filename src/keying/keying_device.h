// What keys the transmitter. The serial port's RTS or DTR line is the
// station's own; rig control (Hamlib), a USB sound interface's GPIO pin
// (CM108/CM119) and a Linux GPIO line are the others. Whatever keys it, the
// serial port's transmit data line still carries the teleprinter frames.
//
// Every device is held to the same rule: never keyed when nothing is sent.
// A device that cannot confirm a release says so, and the station tries again.
#pragma once

#include <optional>
#include <string>

namespace sked {

class KeyingDevice {
public:
    virtual ~KeyingDevice() = default;

    // The device for the log and the status line ("rig control (rigctld 127.0.0.1:4532)").
    virtual std::string Name() const = 0;
    // The device is there to key (a rig that answers, a descriptor that is open).
    virtual bool Present() = 0;
    // Why it is not, as last found; "" when it does not know.
    virtual std::string WhyAbsent() const { return ""; }
    // Keys (`down`) or releases the transmitter. False, with the device's
    // own reason in `why`, when the device did not take it.
    virtual bool SetKey(bool down, std::string& why) = 0;
    // What the station last asked of the device.
    virtual bool KeyDown() const = 0;
    // Asked every second while keyed: "" while the device holds the key,
    // else why it does not (a rig that stopped answering).
    virtual std::string CheckKeyed() { return ""; }
    // The serial port's own keying line, which $RTS, $DTR and $COMn steer.
    virtual bool IsSerialLine() const { return false; }
    // Rig control sets the frequency: what the rig reports back after
    // setting it, in hertz; nothing, with the reason, when it was not set.
    virtual bool SetsFrequency() const { return false; }
    virtual std::optional<double> SetFrequency(double hertz, std::string& why) {
        (void)hertz;
        why = Name() + " does not set a frequency (only rig control does)";
        return std::nullopt;
    }
};

}  // namespace sked
