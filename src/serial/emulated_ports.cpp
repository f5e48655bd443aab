#include "serial/emulated_ports.h"

#include <algorithm>

#include "serial/uart_registers.h"

namespace sked {

// One port: the station's calls become the register writes a PC makes to its
// 16550, so that the line trace shows what such a port would do.
class EmulatedPorts::Line : public SerialLine {
public:
    Line(EmulatedPorts& ports, std::uint16_t base)
        : ports_(ports), chip_(base, [this](const UartEvent& event) { Tell(event); }) {}

    Uart16550& chip() { return chip_; }

    void SetFormat(const LineFormat& format) override {
        const std::uint8_t lcr = uart::LcrFor(format);
        const unsigned divisor = uart::DivisorFor(format.baud);
        Write(uart::kLcr, static_cast<std::uint8_t>(uart::kLcrDlab | lcr));
        Write(uart::kIer, static_cast<std::uint8_t>((divisor >> 8) & 0xFF));
        Write(uart::kThr, static_cast<std::uint8_t>(divisor & 0xFF));
        Write(uart::kLcr, lcr);
    }
    void AssignLines(KeyLine key) override {
        const bool powered = PowerOn();
        key_ = key;
        const std::uint8_t before = Mcr();
        std::uint8_t mcr = static_cast<std::uint8_t>(before & ~(uart::kMcrDtr | uart::kMcrRts));
        if (powered) mcr |= uart::McrBit(OtherLine(key_));
        if (mcr != before) Write(uart::kMcr, mcr);
    }
    void SetKey(bool down) override { SetOutput(uart::McrBit(key_), down); }
    void SetPower(bool on) override { SetOutput(uart::McrBit(OtherLine(key_)), on); }
    void SetBreak(bool on) override {
        const std::uint8_t lcr = Read(uart::kLcr);
        Write(uart::kLcr, static_cast<std::uint8_t>(on ? lcr | uart::kLcrBreak : lcr & ~uart::kLcrBreak));
    }
    bool CanSend() override { return (Read(uart::kLsr) & uart::kLsrThre) != 0; }
    void Send(std::uint8_t code) override { Write(uart::kThr, code); }
    bool Drained() override { return (Read(uart::kLsr) & uart::kLsrTemt) != 0; }
    TimePoint NextChange() override {
        const TimePoint now = ports_.line_.Now();
        ports_.CatchUp(now);
        return ports_.line_.ToClock(chip_.NextChange(uart::kLsr, now));
    }
    bool Present() override { return present_; }
    std::string WhyAbsent() const override { return present_ ? "" : "the emulated adapter is unplugged"; }
    void Plug(bool present) { present_ = present; }
    bool KeyDown() const override { return (chip_.mcr() & uart::McrBit(key_)) != 0; }
    bool PowerOn() const override { return (chip_.mcr() & uart::McrBit(OtherLine(key_))) != 0; }

private:
    std::uint8_t Mcr() { return Read(uart::kMcr); }
    void SetOutput(std::uint8_t bit, bool on) {
        const std::uint8_t mcr = Mcr();
        Write(uart::kMcr, static_cast<std::uint8_t>(on ? mcr | bit : mcr & ~bit));
    }
    std::uint8_t Read(std::uint16_t offset) {
        const TimePoint now = ports_.line_.Now();
        ports_.CatchUp(now);
        return chip_.Read(offset, now);
    }
    void Write(std::uint16_t offset, std::uint8_t value) {
        const TimePoint now = ports_.line_.Now();
        ports_.CatchUp(now);
        chip_.Write(offset, value, now);
    }
    // The chip does not know which output keys the transmitter: the trace is told here.
    void Tell(UartEvent event) const {
        if (event.kind == UartEventKind::kMcr) {
            event.keyOn = (event.value & uart::McrBit(key_)) != 0;
            event.powerOn = (event.value & uart::McrBit(OtherLine(key_))) != 0;
        }
        ports_.Relay(event);
    }

    EmulatedPorts& ports_;
    Uart16550 chip_;
    KeyLine key_ = KeyLine::Dtr;
    bool present_ = true;
};

EmulatedPorts::EmulatedPorts(const Clock& clock) : line_(clock) {}

EmulatedPorts::~EmulatedPorts() = default;

SerialLine& EmulatedPorts::Port(int number) {
    auto& line = lines_[number];
    if (!line) line = std::make_unique<Line>(*this, ComPortBase(number));
    return *line;
}

void EmulatedPorts::SetPresent(int number, bool present) {
    Port(number);  // made if it was not yet
    lines_[number]->Plug(present);
}

void EmulatedPorts::AddObserver(UartObserver* observer) {
    if (observer) observers_.push_back(observer);
}

void EmulatedPorts::Relay(const UartEvent& event) {
    for (UartObserver* observer : observers_) observer->OnUartEvent(event);
}

void EmulatedPorts::CatchUp(TimePoint now) {
    // Ports are stepped one frame end at a time, earliest first, so that the
    // frame starts told stay in time order across ports.
    for (;;) {
        Uart16550* next = nullptr;
        for (auto& [number, line] : lines_) {
            Uart16550& chip = line->chip();
            if (chip.FrameEnd() <= now && (!next || chip.FrameEnd() < next->FrameEnd())) next = &chip;
        }
        if (!next) return;
        next->AdvanceTo(next->FrameEnd());
    }
}

void EmulatedPorts::Sync() { CatchUp(line_.Now()); }

TimePoint EmulatedPorts::IdleAt() const {
    const TimePoint now = line_.Peek();
    TimePoint idle = now;
    for (const auto& [number, line] : lines_) idle = std::max(idle, line->chip().IdleAt(now));
    return idle;
}

std::uint64_t EmulatedPorts::overruns() const {
    std::uint64_t total = 0;
    for (const auto& [number, line] : lines_) total += line->chip().overruns();
    return total;
}

std::uint64_t EmulatedPorts::frames() const {
    std::uint64_t total = 0;
    for (const auto& [number, line] : lines_) total += line->chip().frames();
    return total;
}

}  // namespace sked
