#include "serial/ioports_port.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "serial/line_release.h"

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define SKED_HAVE_IOPERM 1
#endif

namespace sked {

namespace {

constexpr std::uint16_t kBaseMask = static_cast<std::uint16_t>(~7u);
constexpr unsigned kPortCount = 8;  // a 16550 occupies base..base+7

}  // namespace

IoPortsPortIo::Access IoPortsPortIo::Access::Hardware() {
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

IoPortsPortIo::IoPortsPortIo(const Clock& clock) : IoPortsPortIo(clock, Access::Hardware()) {}

IoPortsPortIo::IoPortsPortIo(const Clock& clock, Access access)
    : clock_(clock), line_(clock), access_(std::move(access)) {}

IoPortsPortIo::Port& IoPortsPortIo::PortAt(std::uint16_t base) {
    auto [it, created] = ports_.try_emplace(base);
    Port& port = it->second;
    if (created) {
        // Asked once per base: a refusal does not change while the station runs.
        const int err = access_.permit(base, kPortCount);
        port.permitted = err == 0;
        if (port.permitted && access_.release) line_release::RegisterPort(base, access_.release);
        if (err != 0) {
            char range[32];
            std::snprintf(range, sizeof range, "0x%X-0x%X", static_cast<unsigned>(base),
                          static_cast<unsigned>(base + kPortCount - 1));
            ReportProblem(std::string("ioperm(") + range + "): " + std::strerror(err) +
                          " — direct port access needs root on x86 and a kernel that allows it;"
                          " try --serial=tty");
        }
    }
    return port;
}

bool IoPortsPortIo::IsOpen(std::uint16_t base) const {
    auto it = ports_.find(base & kBaseMask);
    return it != ports_.end() && it->second.permitted;
}

std::uint8_t IoPortsPortIo::In(std::uint16_t address) {
    Port& port = PortAt(address & kBaseMask);
    if (port.permitted) return access_.in(address);
    return port.shadow.Read(address & 7, line_.Now());
}

void IoPortsPortIo::Out(std::uint16_t address, std::uint8_t value) {
    Port& port = PortAt(address & kBaseMask);
    port.shadow.Write(address & 7, value, line_.Now());
    if (port.permitted) access_.out(address, value);
}

TimePoint IoPortsPortIo::NextChange(std::uint16_t address) {
    const TimePoint now = clock_.Now();
    if ((address & 7) != uart::kLsr) return TimePoint::max();
    auto it = ports_.find(address & kBaseMask);
    if (it == ports_.end()) return now;
    Port& port = it->second;
    if (!port.permitted) return line_.ToClock(port.shadow.NextChange(uart::kLsr, line_.Now()));
    constexpr std::uint8_t kEmpty = uart::kLsrThre | uart::kLsrTemt;
    if ((access_.in(address) & kEmpty) != kEmpty) return now + port.shadow.frameTime();
    return now;
}

}  // namespace sked
