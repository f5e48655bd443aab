#include "serial/emulated_uart.h"

#include <algorithm>

namespace sked {

namespace {

constexpr std::uint16_t kBaseMask = static_cast<std::uint16_t>(~7u);

}  // namespace

EmulatedPortIo::EmulatedPortIo(const Clock& clock) : line_(clock) {}

void EmulatedPortIo::AddObserver(UartObserver* observer) {
    if (observer) observers_.push_back(observer);
}

void EmulatedPortIo::SetLineMasks(std::function<LineMasks()> masks) { masks_ = std::move(masks); }

Uart16550& EmulatedPortIo::PortAt(std::uint16_t address) {
    const std::uint16_t base = address & kBaseMask;
    auto it = ports_.find(base);
    if (it == ports_.end()) {
        it = ports_.try_emplace(base, base, [this](const UartEvent& event) { Relay(event); }).first;
    }
    return it->second;
}

void EmulatedPortIo::Relay(UartEvent event) {
    if (event.kind == UartEventKind::kMcr) {
        const LineMasks masks = masks_ ? masks_() : LineMasks{};
        event.keyOn = (event.value & masks.key) != 0;
        event.powerOn = (event.value & masks.power) != 0;
    }
    for (UartObserver* observer : observers_) observer->OnUartEvent(event);
}

void EmulatedPortIo::CatchUp(TimePoint now) {
    // Ports are stepped one frame end at a time, earliest first, so that the
    // reported frame starts stay in time order across ports.
    for (;;) {
        Uart16550* next = nullptr;
        for (auto& [base, port] : ports_) {
            if (port.FrameEnd() <= now && (!next || port.FrameEnd() < next->FrameEnd())) next = &port;
        }
        if (!next) return;
        next->AdvanceTo(next->FrameEnd());
    }
}

void EmulatedPortIo::Sync() { CatchUp(line_.Now()); }

TimePoint EmulatedPortIo::IdleAt() const {
    const TimePoint now = line_.Peek();
    TimePoint idle = now;
    for (const auto& [base, port] : ports_) idle = std::max(idle, port.IdleAt(now));
    return idle;
}

std::uint64_t EmulatedPortIo::overruns() const {
    std::uint64_t total = 0;
    for (const auto& [base, port] : ports_) total += port.overruns();
    return total;
}

std::uint64_t EmulatedPortIo::frames() const {
    std::uint64_t total = 0;
    for (const auto& [base, port] : ports_) total += port.frames();
    return total;
}

std::uint8_t EmulatedPortIo::In(std::uint16_t address) {
    const TimePoint now = line_.Now();
    CatchUp(now);
    return PortAt(address).Read(address & 7, now);
}

void EmulatedPortIo::Out(std::uint16_t address, std::uint8_t value) {
    const TimePoint now = line_.Now();
    CatchUp(now);
    PortAt(address).Write(address & 7, value, now);
}

TimePoint EmulatedPortIo::NextChange(std::uint16_t address) {
    const TimePoint now = line_.Now();
    CatchUp(now);
    return line_.ToClock(PortAt(address).NextChange(address & 7, now));
}

}  // namespace sked
