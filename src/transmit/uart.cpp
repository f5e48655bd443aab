#include "transmit/uart.h"

#include "app/operator_controls.h"
#include "app/scheduler_dlg.h"
#include "transmit/transmitter_switch.h"

namespace sked {

std::uint16_t Uart::Base() const { return Settings().portBase; }

unsigned Uart::Divisor(float baud) {
    return static_cast<unsigned>(uart::kClockHz / static_cast<double>(baud));
}

void Uart::ProgramUart(std::uint16_t base, float baud, int parityBits, int wordLengthBits, int stopBits) {
    PortIo& port = dlg_.port;
    Settings().portBase = base;
    // A port left in loop-back is taken out of it (this also drops both lines).
    if (port.In(base + uart::kMcr) & uart::kMcrLoop) {
        port.Out(base + uart::kIer, 0);
        port.Out(base + uart::kMcr, 0);
    }
    int format = parityBits | wordLengthBits | stopBits;
    port.Out(base + uart::kLcr, static_cast<std::uint8_t>(uart::kLcrDlab | format));
    unsigned divisor = Divisor(baud);
    port.Out(base + uart::kIer, static_cast<std::uint8_t>((divisor >> 8) & 0xFF));
    port.Out(base + uart::kThr, static_cast<std::uint8_t>(divisor & 0xFF));
    port.Out(base + uart::kLcr, static_cast<std::uint8_t>(format & 0x7F));
}

void Uart::WaitForLineStatus(std::uint8_t bit) {
    PortIo& port = dlg_.port;
    const std::uint16_t lsr = Base() + uart::kLsr;
    for (;;) {
        std::uint8_t status = port.In(lsr);
        dlg_.PumpMessages();
        if (status & bit) break;
        // Sleep until the register empties or a message arrives; never spin.
        dlg_.loop.WaitForEvent(port.NextChange(lsr));
    }
}

void Uart::TransmitCode(std::uint8_t code) {
    WaitForLineStatus(uart::kLsrThre);
    dlg_.port.Out(Base() + uart::kThr, code);
}

void Uart::WaitUntilSent() { WaitForLineStatus(uart::kLsrTemt); }

std::uint8_t Uart::ReadMcr() { return dlg_.port.In(Base() + uart::kMcr); }
void Uart::WriteMcr(std::uint8_t value) { dlg_.port.Out(Base() + uart::kMcr, value); }
std::uint8_t Uart::ReadLcr() { return dlg_.port.In(Base() + uart::kLcr); }
void Uart::WriteLcr(std::uint8_t value) { dlg_.port.Out(Base() + uart::kLcr, value); }

void Uart::SetLines(int keyLine, int powerLine) {
    StationSettings& s = Settings();
    const bool powered = (ReadMcr() & s.powerLine) != 0;
    s.keyLine = keyLine;
    s.powerLine = powerLine;
    std::uint8_t lines = static_cast<std::uint8_t>(uart::kMcrDtr | uart::kMcrRts);
    std::uint8_t mcr = static_cast<std::uint8_t>(ReadMcr() & ~lines);
    if (powered) mcr |= static_cast<std::uint8_t>(powerLine);
    WriteMcr(mcr);
}

void Uart::KeyLineOn() { WriteMcr(static_cast<std::uint8_t>(ReadMcr() | Settings().keyLine)); }
void Uart::KeyLineOff() { WriteMcr(static_cast<std::uint8_t>(ReadMcr() & ~Settings().keyLine & 0xFF)); }
void Uart::BreakOn() { WriteLcr(uart::kLcrBreak); }
void Uart::BreakOff() { WriteLcr(0); }

void Uart::CmPowerON() {
    if (Settings().transmitterOn == 1) dlg_.controls->TransmitterOffClicked();
    WriteMcr(static_cast<std::uint8_t>(ReadMcr() | Settings().powerLine));
    dlg_.w.powerCheck.SetCheck(1);
}

void Uart::CmPowerOFF() {
    // Dropping the power releases the key too, whoever keyed it.
    if (Settings().transmitterOn == 1) dlg_.controls->TransmitterOffClicked();
    WriteMcr(static_cast<std::uint8_t>(ReadMcr() & ~Settings().powerLine & 0xFF));
    dlg_.log.LogEvent("CmPowerOFF : Power turned OFF");
    dlg_.w.powerCheck.SetCheck(0);
}

}  // namespace sked
