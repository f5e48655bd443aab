#include "serial/uart_16550.h"

#include <algorithm>

namespace sked {

namespace {

constexpr std::uint8_t kFcrEnable = 0x01;
constexpr std::uint8_t kIirNoInterrupt = 0x01;
constexpr std::uint8_t kIirFifos = 0xC0;

}  // namespace

Uart16550::Uart16550(std::uint16_t base, Listener listener) : base_(base), listener_(std::move(listener)) {}

UartEvent Uart16550::Event(UartEventKind kind, std::uint8_t value) const {
    UartEvent event;
    event.kind = kind;
    event.time = now_;
    event.base = base_;
    event.value = value;
    return event;
}

void Uart16550::Tell(const UartEvent& event) const {
    if (listener_) listener_(event);
}

void Uart16550::AdvanceTo(TimePoint now) {
    now_ = std::max(now_, now);
    // A frame never lasts less than 7 bit times, so this ends after at most two rounds.
    while (shifting_ && shiftEnd_ <= now_) {
        if (holding_) {
            holding_ = false;
            StartFrame(shiftEnd_, held_);
        } else {
            shifting_ = false;
        }
    }
}

void Uart16550::StartFrame(TimePoint start, std::uint8_t code) {
    const unsigned divisor = this->divisor();
    const UartFrame format = UartFrame::FromLcr(lcr_);
    shifting_ = true;
    shiftEnd_ = start + FrameTime(divisor, lcr_);
    ++frames_;
    if (!listener_) return;

    UartEvent event = Event(UartEventKind::kFrame, static_cast<std::uint8_t>(code & ((1u << format.dataBits) - 1)));
    event.time = start;
    event.divisor = divisor;
    event.lcr = lcr_;
    event.dataBits = format.dataBits;
    event.stopHalfBits = format.stopHalfBits;
    event.bitTime = BitTime(divisor);
    event.frameTime = shiftEnd_ - start;
    event.baud = BaudOf(divisor);
    Tell(event);
}

TimePoint Uart16550::IdleAt(TimePoint now) const {
    if (!shifting_) return now;
    return std::max(now, holding_ ? shiftEnd_ + frameTime() : shiftEnd_);
}

void Uart16550::Write(std::uint16_t offset, std::uint8_t value, TimePoint now) {
    AdvanceTo(now);
    switch (offset & 7) {
    case uart::kThr:
        if (dlab()) {
            dll_ = value;
            divisorWritten_ = true;
        } else if (!shifting_) {
            StartFrame(now_, value);
        } else {
            if (holding_) ++overruns_;
            holding_ = true;
            held_ = value;
        }
        break;
    case uart::kIer:
        if (dlab()) {
            dlm_ = value;
            divisorWritten_ = true;
        } else {
            ier_ = value & 0x0F;
            Tell(Event(UartEventKind::kIer, value));
        }
        break;
    case kFcr:
        fcr_ = value;
        break;
    case uart::kLcr:
        WriteLcr(value);
        break;
    case uart::kMcr:
        mcr_ = value & 0x1F;
        Tell(Event(UartEventKind::kMcr, value));
        break;
    case kScratch:
        scratch_ = value;
        break;
    default:
        break;  // LSR and MSR are read-only
    }
}

void Uart16550::WriteLcr(std::uint8_t value) {
    const bool wasBreak = (lcr_ & uart::kLcrBreak) != 0;
    lcr_ = value;
    Tell(Event(UartEventKind::kLcr, value));
    if (!dlab()) {
        formatSet_ = true;
        // A new speed counts once the station closes the divisor latch again.
        if (divisorWritten_) {
            divisorWritten_ = false;
            UartEvent event = Event(UartEventKind::kDivisor);
            event.divisor = divisor();
            Tell(event);
        }
    }
    const bool isBreak = (value & uart::kLcrBreak) != 0;
    if (isBreak != wasBreak) {
        UartEvent event = Event(UartEventKind::kBreak);
        event.breakOn = isBreak;
        Tell(event);
    }
}

std::uint8_t Uart16550::Lsr() const {
    std::uint8_t lsr = 0;
    if (!holding_) lsr |= uart::kLsrThre;
    if (!holding_ && !shifting_) lsr |= uart::kLsrTemt;
    return lsr;
}

std::uint8_t Uart16550::Read(std::uint16_t offset, TimePoint now) {
    AdvanceTo(now);
    switch (offset & 7) {
    case uart::kThr: return dlab() ? dll_ : 0;
    case uart::kIer: return dlab() ? dlm_ : ier_;
    case kFcr: return (fcr_ & kFcrEnable) ? kIirFifos | kIirNoInterrupt : kIirNoInterrupt;
    case uart::kLcr: return lcr_;
    case uart::kMcr: return mcr_;
    case uart::kLsr: return Lsr();
    case kMsr:
        // In loop-back DTR, RTS, OUT1 and OUT2 come back as DSR, CTS, RI and DCD.
        if (mcr_ & uart::kMcrLoop) {
            return static_cast<std::uint8_t>((mcr_ & uart::kMcrDtr) << 5 | (mcr_ & uart::kMcrRts) << 3 |
                                             (mcr_ & 0x0C) << 4);
        }
        return 0;
    default: return scratch_;
    }
}

TimePoint Uart16550::NextChange(std::uint16_t offset, TimePoint now) {
    AdvanceTo(now);
    if ((offset & 7) != uart::kLsr) return TimePoint::max();
    return shifting_ ? shiftEnd_ : now_;
}

}  // namespace sked
