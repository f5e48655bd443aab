#include "transmit/uart.h"

namespace sked {

namespace {
constexpr std::uint8_t kBothLines = uart::kMcrDtr | uart::kMcrRts;
}  // namespace

unsigned Uart::Divisor(float baud) { return static_cast<unsigned>(uart::kClockHz / static_cast<double>(baud)); }

void Uart::ProgramUart(std::uint16_t base, float baud, int parityBits, int wordLengthBits, int stopBits) {
    state_.portBase = base;
    // A port left in loop-back is taken out of it (this also drops both lines).
    if (port_.In(base + uart::kMcr) & uart::kMcrLoop) {
        port_.Out(base + uart::kIer, 0);
        port_.Out(base + uart::kMcr, 0);
    }
    int format = parityBits | wordLengthBits | stopBits;
    port_.Out(base + uart::kLcr, static_cast<std::uint8_t>(uart::kLcrDlab | format));
    unsigned divisor = Divisor(baud);
    port_.Out(base + uart::kIer, static_cast<std::uint8_t>((divisor >> 8) & 0xFF));
    port_.Out(base + uart::kThr, static_cast<std::uint8_t>(divisor & 0xFF));
    port_.Out(base + uart::kLcr, static_cast<std::uint8_t>(format & ~uart::kLcrDlab));
}

void Uart::WaitForLineStatus(std::uint8_t bit) {
    const std::uint16_t lsr = Base() + uart::kLsr;
    for (;;) {
        std::uint8_t status = port_.In(lsr);
        loop_.PumpMessages();
        if (status & bit) break;
        // Sleep until the register empties or something else happens; never spin.
        loop_.WaitForEvent(port_.NextChange(lsr));
    }
}

void Uart::TransmitCode(std::uint8_t code) {
    WaitForLineStatus(uart::kLsrThre);
    port_.Out(Base() + uart::kThr, code);
}

void Uart::WaitUntilSent() { WaitForLineStatus(uart::kLsrTemt); }

bool Uart::Ready() { return (port_.In(Base() + uart::kLsr) & uart::kLsrThre) != 0; }
TimePoint Uart::ReadyAt() { return port_.NextChange(Base() + uart::kLsr); }
void Uart::Put(int code) { port_.Out(Base() + uart::kThr, static_cast<std::uint8_t>(code)); }

std::uint8_t Uart::ReadMcr() { return port_.In(Base() + uart::kMcr); }
void Uart::WriteMcr(std::uint8_t value) { port_.Out(Base() + uart::kMcr, value); }
std::uint8_t Uart::ReadLcr() { return port_.In(Base() + uart::kLcr); }
void Uart::WriteLcr(std::uint8_t value) { port_.Out(Base() + uart::kLcr, value); }

void Uart::KeyLineOn() { WriteMcr(static_cast<std::uint8_t>(ReadMcr() | state_.keyLine)); }
void Uart::KeyLineOff() { WriteMcr(static_cast<std::uint8_t>(ReadMcr() & ~state_.keyLine)); }
void Uart::PowerLineOn() { WriteMcr(static_cast<std::uint8_t>(ReadMcr() | state_.powerLine)); }
void Uart::PowerLineOff() { WriteMcr(static_cast<std::uint8_t>(ReadMcr() & ~state_.powerLine)); }

void Uart::SetLines(int keyLine, int powerLine) {
    const bool powered = (ReadMcr() & state_.powerLine) != 0;
    state_.keyLine = keyLine;
    state_.powerLine = powerLine;
    std::uint8_t mcr = static_cast<std::uint8_t>(ReadMcr() & ~kBothLines);
    if (powered) mcr |= static_cast<std::uint8_t>(powerLine);
    WriteMcr(mcr);
}

}  // namespace sked
