// The station's serial port as the station uses it: the transmit data line
// carries the teleprinter characters (and, held at space, the Morse of the
// identification), one modem-control output keys the transmitter and the
// other switches its power. Back ends: a Linux tty (termios2, a custom
// divisor where the driver takes one), direct 16550 register access
// (ioports), and an emulated 16550 on the station's clock with its line trace.
//
// Nothing here waits: the station asks whether the line can take the next
// character, or has sent everything, and when that may next change, and
// comes back then.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/clock.h"

namespace sked {

// The modem-control output that keys the transmitter; the other one
// switches the transmitter's power.
enum class KeyLine { Dtr, Rts };

inline KeyLine OtherLine(KeyLine line) { return line == KeyLine::Dtr ? KeyLine::Rts : KeyLine::Dtr; }

// The character frame and speed of the line: one start bit, the data bits,
// no parity, the stop bits.
struct LineFormat {
    int dataBits = 5;
    int stopHalfBits = 3;  // in half bits: 2 (1 stop bit), 3 (1.5) or 4 (2)
    double baud = 45.45;

    // The teleprinter frames: 5 data bits and 1.5 stop bits, or 8 and 2.
    static LineFormat Baudot(double baud) { return {5, 3, baud}; }
    static LineFormat Ascii(double baud) { return {8, 4, baud}; }

    // Bits of one frame, start and stop bits included, in half bits.
    int HalfBits() const { return 2 * (1 + dataBits) + stopHalfBits; }
    bool operator==(const LineFormat&) const = default;
};

// One frame at `baud`.
Duration FrameTime(const LineFormat& format, double baud);

class SerialLine {
public:
    virtual ~SerialLine() = default;

    // The frame and speed of the characters sent from now on.
    virtual void SetFormat(const LineFormat& format) = 0;
    // Makes `key` the keying output and the other one the power output.
    // The key is left released; the power stays as it was, on its new output.
    virtual void AssignLines(KeyLine key) = 0;
    virtual void SetKey(bool down) = 0;
    virtual void SetPower(bool on) = 0;
    // The break condition: the transmit data line held at space.
    virtual void SetBreak(bool on) = 0;

    // The line can take the next character now.
    virtual bool CanSend() = 0;
    // Only when CanSend(): the character starts as soon as the one before it has left.
    virtual void Send(std::uint8_t code) = 0;
    // Everything sent has left the line (the last stop bit included).
    virtual bool Drained() = 0;
    // When CanSend() or Drained() may next change without anything done to
    // the line; a time not after now means "ask again now".
    virtual TimePoint NextChange() = 0;

    // The device is there and takes what the station does (a tty that is
    // open, ports that may be reached; the emulated line always is).
    virtual bool Present() = 0;
    // Why the device is not there, as its back end last found it (the
    // device's name and the system's reason); "" when it does not know.
    virtual std::string WhyAbsent() const { return ""; }
    // What the station last asked of the outputs.
    virtual bool KeyDown() const = 0;
    virtual bool PowerOn() const = 0;
};

// The station's ports, COM1 to COM8, each a line of its own.
class SerialPorts {
public:
    using ProblemReporter = std::function<void(const std::string& message)>;

    virtual ~SerialPorts() = default;

    // Port `number` (1..8); the line is made at its first use.
    virtual SerialLine& Port(int number) = 0;

    // Problems a back end meets (a device missing or gone, access refused, a
    // speed the driver cannot give) are told here once per change, so that
    // the station shows and logs them.
    void SetProblemReporter(ProblemReporter reporter) { reporter_ = std::move(reporter); }

protected:
    void ReportProblem(const std::string& message) const {
        if (reporter_) reporter_(message);
    }

private:
    ProblemReporter reporter_;
};

// The I/O base address of COM1..COM8, as on a PC; 0 for any other number.
std::uint16_t ComPortBase(int number);
// "COM1".."COM8" for 1..8, "Edit" for 0, "????" for anything else.
const char* ComPortName(int number);

}  // namespace sked
