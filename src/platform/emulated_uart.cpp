#include "platform/emulated_uart.h"

#include <algorithm>

#include "platform/uart_frame.h"

namespace sked {

EmulatedPortIo::EmulatedPortIo(const Clock& clock) : clock_(clock) {}

void EmulatedPortIo::AddObserver(UartObserver* observer) {
    if (observer) observers_.push_back(observer);
}

void EmulatedPortIo::SetLineMasks(std::function<LineMasks()> masks) { masks_ = std::move(masks); }

EmulatedPortIo::Port& EmulatedPortIo::PortAt(std::uint16_t address) {
    const std::uint16_t base = address & static_cast<std::uint16_t>(~7u);
    auto [it, created] = ports_.try_emplace(base);
    if (created) it->second.base = base;
    return it->second;
}

TimePoint EmulatedPortIo::Now() const {
    // A wall clock stepped back must not reorder the timeline.
    return std::max(clock_.Now(), lastEvent_);
}

void EmulatedPortIo::Emit(const UartEvent& event) {
    lastEvent_ = std::max(lastEvent_, event.time);
    for (UartObserver* observer : observers_) observer->OnUartEvent(event);
}

void EmulatedPortIo::StartFrame(Port& port, TimePoint start, std::uint8_t code) {
    const unsigned divisor = port.Divisor();
    const UartFrame format = UartFrame::FromLcr(port.lcr);

    port.shifting = true;
    port.shiftEnd = start + FrameTime(divisor, port.lcr);
    ++frames_;

    UartEvent event;
    event.kind = UartEventKind::kFrame;
    event.time = start;
    event.base = port.base;
    event.value = static_cast<std::uint8_t>(code & ((1u << format.dataBits) - 1));
    event.divisor = divisor;
    event.lcr = port.lcr;
    event.dataBits = format.dataBits;
    event.stopHalfBits = format.stopHalfBits;
    event.bitTime = BitTime(divisor);
    event.frameTime = port.shiftEnd - start;
    event.baud = BaudOf(divisor);
    Emit(event);
}

void EmulatedPortIo::CatchUp(TimePoint now) {
    // Frames finishing before `now` hand over to the held character right at
    // their end. Ports are stepped earliest first so that the reported frame
    // starts stay in time order across ports.
    for (;;) {
        Port* next = nullptr;
        for (auto& [base, port] : ports_) {
            if (port.shifting && port.shiftEnd <= now && (!next || port.shiftEnd < next->shiftEnd)) next = &port;
        }
        if (!next) return;
        if (next->holding) {
            next->holding = false;
            StartFrame(*next, next->shiftEnd, next->held);
        } else {
            next->shifting = false;
        }
    }
}

void EmulatedPortIo::Sync() { CatchUp(Now()); }

TimePoint EmulatedPortIo::IdleAt() const {
    TimePoint idle = Now();
    for (const auto& [base, port] : ports_) {
        if (!port.shifting) continue;
        TimePoint end = port.shiftEnd;
        if (port.holding) end += FrameTime(port.Divisor(), port.lcr);
        idle = std::max(idle, end);
    }
    return idle;
}

std::uint8_t EmulatedPortIo::In(std::uint16_t address) {
    CatchUp(Now());
    Port& port = PortAt(address);
    const bool dlab = (port.lcr & uart::kLcrDlab) != 0;
    switch (address - port.base) {
    case uart::kThr:
        return dlab ? port.dll : 0xFF;  // nothing is ever received
    case uart::kIer:
        return dlab ? port.dlm : port.ier;
    case uart::kLcr:
        return port.lcr;
    case uart::kMcr:
        return port.mcr;
    case uart::kLsr: {
        std::uint8_t lsr = 0;
        if (!port.holding) lsr |= uart::kLsrThre;
        if (!port.holding && !port.shifting) lsr |= uart::kLsrTemt;
        return lsr;
    }
    default:
        return 0xFF;
    }
}

void EmulatedPortIo::Out(std::uint16_t address, std::uint8_t value) {
    const TimePoint now = Now();
    CatchUp(now);
    Port& port = PortAt(address);
    const bool dlab = (port.lcr & uart::kLcrDlab) != 0;
    switch (address - port.base) {
    case uart::kThr:
        if (dlab) {
            port.dll = value;
            port.divisorWritten = true;
        } else if (!port.shifting) {
            StartFrame(port, now, value);
        } else {
            if (port.holding) ++overruns_;
            port.holding = true;
            port.held = value;
        }
        break;
    case uart::kIer:
        if (dlab) {
            port.dlm = value;
            port.divisorWritten = true;
        } else {
            port.ier = value;
            UartEvent event;
            event.kind = UartEventKind::kIer;
            event.time = now;
            event.base = port.base;
            event.value = value;
            Emit(event);
        }
        break;
    case uart::kLcr:
        WriteLcr(port, now, value);
        break;
    case uart::kMcr:
        WriteMcr(port, now, value);
        break;
    default:
        break;
    }
}

void EmulatedPortIo::WriteLcr(Port& port, TimePoint now, std::uint8_t value) {
    const bool wasBreak = (port.lcr & uart::kLcrBreak) != 0;
    port.lcr = value;

    UartEvent event;
    event.time = now;
    event.base = port.base;

    event.kind = UartEventKind::kLcr;
    event.value = value;
    Emit(event);

    if (!(value & uart::kLcrDlab) && port.divisorWritten) {
        port.divisorWritten = false;
        UartEvent divisor = event;
        divisor.kind = UartEventKind::kDivisor;
        divisor.value = 0;
        divisor.divisor = port.Divisor();
        Emit(divisor);
    }

    const bool isBreak = (value & uart::kLcrBreak) != 0;
    if (isBreak != wasBreak) {
        UartEvent brk = event;
        brk.kind = UartEventKind::kBreak;
        brk.value = 0;
        brk.breakOn = isBreak;
        Emit(brk);
    }
}

void EmulatedPortIo::WriteMcr(Port& port, TimePoint now, std::uint8_t value) {
    port.mcr = value;
    const LineMasks masks = masks_ ? masks_() : LineMasks{};

    UartEvent event;
    event.kind = UartEventKind::kMcr;
    event.time = now;
    event.base = port.base;
    event.value = value;
    event.keyOn = (value & masks.key) != 0;
    event.powerOn = (value & masks.power) != 0;
    Emit(event);
}

TimePoint EmulatedPortIo::NextChange(std::uint16_t address) {
    const TimePoint now = Now();
    CatchUp(now);
    Port& port = PortAt(address);
    if (address - port.base != uart::kLsr) return TimePoint::max();
    return port.shifting ? port.shiftEnd : now;
}

}  // namespace sked
