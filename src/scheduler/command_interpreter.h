// Schedule entries whose name begins with "$": commands that change mode,
// speed, tones, port, options and the scheduler itself at their time. The
// interpreter reads the command from the table; its target, the station's
// own controls, carries it out as the operator would.
#pragma once

#include <string>

#include "serial/serial_line.h"
#include "transmit/station_settings.h"

namespace sked {

class CommandTarget {
public:
    virtual ~CommandTarget() = default;

    virtual void PressMode(Mode mode) = 0;
    // Speed button 0 (45.45) .. 6 (300.0); a PSK31 frequency in PSK31 mode.
    virtual void PressBaud(int index) = 0;
    // A PSK31 frequency preset: kept, and in PSK31 mode taken at once.
    virtual void StorePskFrequency(float hertz) = 0;
    // $PSK= and $FSK=: the frequency stored and shown in the centre field.
    virtual void ShowPskFrequency(float hertz) = 0;
    virtual void ShowFskCentre(float hertz) = 0;
    virtual void SendIdentification() = 0;
    virtual void SetCwTimer(bool on) = 0;
    virtual void TransmitterOn() = 0;
    virtual void TransmitterOff() = 0;
    virtual void Power(bool on) = 0;
    // $DISABLE: automatic sending off, then the transmitter.
    virtual void DisableAndRelease() = 0;
    // The keying line becomes DTR or RTS (the other one the power line).
    virtual void SetKeyLine(KeyLine line) = 0;
    virtual void ChangePort(int number) = 0;
    virtual void Reload() = 0;
    virtual void SetHeader(bool on) = 0;
    virtual void SetDiddle(bool on) = 0;
    // $FREQ=: the rig's frequency, `text` as written after "=" (kHz).
    virtual void SetRigFrequency(const std::string& text) = 0;
};

class CommandInterpreter {
public:
    explicit CommandInterpreter(CommandTarget& target) : target_(target) {}

    // `text` is the entry's name without its "$". A text that names no
    // command is ignored.
    void Run(const std::string& text);

private:
    CommandTarget& target_;
};

}  // namespace sked
