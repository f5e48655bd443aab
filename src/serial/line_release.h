// The last thing a dying station does: drop the modem-control lines (key
// and power) of every serial port it holds, from a fatal-signal handler.
// Back ends register what they open; the release uses nothing but system
// calls and port instructions on fixed tables, so that it is safe inside a
// signal handler (no allocation, no locks, no stdio).
#pragma once

#include <cstdint>

namespace sked::line_release {

// A tty whose DTR and RTS the station drives (HUPCL drops them too when the
// process ends, but only once every descriptor of the device is closed).
void RegisterTty(int fd) noexcept;
void UnregisterTty(int fd) noexcept;

// A 16550 reached by direct port access, released by `release(base)`.
using PortRelease = void (*)(std::uint16_t base) noexcept;
void RegisterPort(std::uint16_t base, PortRelease release) noexcept;

// Drops DTR, RTS and the break condition everywhere registered.
// Async-signal-safe.
void ReleaseAll() noexcept;

// For a crash (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGSYS, SIGTRAP):
// release the lines, then die of the signal as before (a handler installed
// earlier, such as a sanitizer's, still runs).
void InstallCrashHandlers();

}  // namespace sked::line_release
