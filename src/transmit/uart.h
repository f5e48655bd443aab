// Every register access of the serial port: line format and speed, the
// transmit register, the keying line, the break condition and the power line.
#pragma once

#include <cstdint>

namespace sked {

class CSchedulerDlg;

class Uart {
public:
    explicit Uart(CSchedulerDlg& dlg) : dlg_(dlg) {}

    // Sets format and speed at `base` (which becomes the current port).
    void ProgramUart(std::uint16_t base, float baud, int parityBits, int wordLengthBits, int stopBits);
    // Divisor that ProgramUart writes for a speed: 115200 / baud, truncated.
    static unsigned Divisor(float baud);

    // Waits, pumping messages, until the transmit holding register is empty,
    // then writes the code.
    void TransmitCode(std::uint8_t code);
    // Waits, pumping messages, until the last character has left the shift
    // register, so that releasing the transmitter does not cut it off.
    void WaitUntilSent();

    // Makes `keyLine` the keying line and `powerLine` the power line of the
    // current port: the key is left open, the power as it was.
    void SetLines(int keyLine, int powerLine);

    void KeyLineOn();
    void KeyLineOff();
    void BreakOn();
    void BreakOff();

    std::uint8_t ReadMcr();
    void WriteMcr(std::uint8_t value);
    std::uint8_t ReadLcr();
    void WriteLcr(std::uint8_t value);

    void CmPowerON();
    void CmPowerOFF();

private:
    std::uint16_t Base() const;
    void WaitForLineStatus(std::uint8_t bit);
    CSchedulerDlg& dlg_;
};

}  // namespace sked
