#include "serial/ioports.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "serial/frame_pacer.h"
#include "serial/uart_registers.h"

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define SKED_HAVE_IOPERM 1
#endif

namespace sked {

namespace {
constexpr unsigned kPortCount = 8;  // a 16550 occupies base..base+7
constexpr std::uint8_t kEmpty = uart::kLsrThre | uart::kLsrTemt;
}  // namespace

IoPorts::Access IoPorts::Access::Hardware() {
    Access access;
#ifdef SKED_HAVE_IOPERM
    access.permit = [](std::uint16_t base, unsigned count) { return ioperm(base, count, 1) == 0 ? 0 : errno; };
    access.in = [](std::uint16_t address) { return static_cast<std::uint8_t>(inb(address)); };
    access.out = [](std::uint16_t address, std::uint8_t value) { outb(value, address); };
    access.release = [](std::uint16_t base) noexcept {
        outb(static_cast<std::uint8_t>(inb(base + uart::kMcr) & ~(uart::kMcrDtr | uart::kMcrRts)), base + uart::kMcr);
        outb(static_cast<std::uint8_t>(inb(base + uart::kLcr) & ~uart::kLcrBreak), base + uart::kLcr);
    };
#else
    access.permit = [](std::uint16_t, unsigned) { return ENOSYS; };
    access.in = [](std::uint16_t) { return std::uint8_t{0xFF}; };
    access.out = [](std::uint16_t, std::uint8_t) {};
#endif
    return access;
}

// One 16550, its registers programmed as a PC does. Access is asked for once,
// at the first use: a refusal does not change while the station runs.
class IoPorts::Line : public SerialLine {
public:
    Line(IoPorts& ports, std::uint16_t base) : ports_(ports), base_(base) {
        const Access& access = ports_.access_;
        const int err = access.permit(base, kPortCount);
        permitted_ = err == 0;
        if (permitted_) {
            if (access.release) line_release::RegisterPort(base, access.release);
            return;
        }
        char range[32];
        std::snprintf(range, sizeof range, "0x%X-0x%X", static_cast<unsigned>(base),
                      static_cast<unsigned>(base + kPortCount - 1));
        ports_.ReportProblem(std::string("ioperm(") + range + "): " + std::strerror(err) +
                             " — direct port access needs root on x86 and a kernel that allows it; try --serial=tty");
    }

    void SetFormat(const LineFormat& format) override {
        pacer_.SetFrameTime(FrameTime(format, uart::kClockHz / uart::DivisorFor(format.baud)));
        lcr_ = uart::LcrFor(format);
        if (!permitted_) return;
        // A port left in loop-back by other software is taken out of it (which drops both outputs).
        if (In(uart::kMcr) & uart::kMcrLoop) {
            Out(uart::kIer, 0);
            Out(uart::kMcr, 0);
        }
        const unsigned divisor = uart::DivisorFor(format.baud);
        Out(uart::kLcr, static_cast<std::uint8_t>(uart::kLcrDlab | lcr_));
        Out(uart::kIer, static_cast<std::uint8_t>((divisor >> 8) & 0xFF));
        Out(uart::kThr, static_cast<std::uint8_t>(divisor & 0xFF));
        Out(uart::kLcr, lcr_);
    }
    void AssignLines(KeyLine key) override {
        const bool powered = power_;
        key_ = key;
        keyDown_ = false;
        if (!permitted_) return;
        std::uint8_t mcr = static_cast<std::uint8_t>(In(uart::kMcr) & ~(uart::kMcrDtr | uart::kMcrRts));
        if (powered) mcr |= uart::McrBit(OtherLine(key_));
        Out(uart::kMcr, mcr);
    }
    void SetKey(bool down) override {
        keyDown_ = down;
        SetOutput(uart::McrBit(key_), down);
    }
    void SetPower(bool on) override {
        power_ = on;
        SetOutput(uart::McrBit(OtherLine(key_)), on);
    }
    void SetBreak(bool on) override {
        lcr_ = static_cast<std::uint8_t>(on ? lcr_ | uart::kLcrBreak : lcr_ & ~uart::kLcrBreak);
        if (permitted_) Out(uart::kLcr, lcr_);
    }
    bool CanSend() override {
        if (!permitted_) return pacer_.CanSend(ports_.line_.Now());
        return (In(uart::kLsr) & uart::kLsrThre) != 0;
    }
    void Send(std::uint8_t code) override {
        if (!permitted_) return pacer_.Send(ports_.line_.Now());
        Out(uart::kThr, code);
    }
    bool Drained() override {
        if (!permitted_) return pacer_.Drained(ports_.line_.Now());
        return (In(uart::kLsr) & uart::kLsrTemt) != 0;
    }
    TimePoint NextChange() override {
        const TimePoint now = ports_.line_.Now();
        if (!permitted_) return ports_.line_.ToClock(pacer_.NextChange(now));
        // The chip cannot tell when it will be done: look again a frame later.
        return ports_.line_.ToClock((In(uart::kLsr) & kEmpty) == kEmpty ? now : now + pacer_.frameTime());
    }
    bool Present() override { return permitted_; }
    bool KeyDown() const override { return keyDown_; }
    bool PowerOn() const override { return power_; }

private:
    std::uint8_t In(std::uint16_t offset) { return ports_.access_.in(static_cast<std::uint16_t>(base_ + offset)); }
    void Out(std::uint16_t offset, std::uint8_t value) {
        ports_.access_.out(static_cast<std::uint16_t>(base_ + offset), value);
    }
    // Only its own bit changes: the other output keeps what it has.
    void SetOutput(std::uint8_t bit, bool on) {
        if (!permitted_) return;
        const std::uint8_t mcr = In(uart::kMcr);
        Out(uart::kMcr, static_cast<std::uint8_t>(on ? mcr | bit : mcr & ~bit));
    }

    IoPorts& ports_;
    std::uint16_t base_;
    bool permitted_ = false;
    FramePacer pacer_;
    std::uint8_t lcr_ = 0;
    KeyLine key_ = KeyLine::Dtr;
    bool keyDown_ = false;
    bool power_ = false;
};

IoPorts::IoPorts(const Clock& clock, Access access) : line_(clock), access_(std::move(access)) {}

IoPorts::~IoPorts() {
    // Unkeyed and switched off on the way out.
    for (auto& [number, line] : lines_) {
        line->SetBreak(false);
        line->SetKey(false);
        line->SetPower(false);
    }
}

SerialLine& IoPorts::Port(int number) {
    auto& line = lines_[number];
    if (!line) line = std::make_unique<Line>(*this, ComPortBase(number));
    return *line;
}

}  // namespace sked
