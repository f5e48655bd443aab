// The last thing a dying station does: drop the modem-control lines (key
// and power) of every serial port it holds, and the key of every other
// keying device that allows it, from a fatal-signal handler. Back ends
// register what they open; the release uses nothing but system calls and
// port instructions on fixed tables, so that it is safe inside a signal
// handler (no allocation, no locks, no stdio).
#pragma once

#include <cstddef>
#include <cstdint>

namespace sked::line_release {

// A tty whose DTR and RTS the station drives (HUPCL drops them too when the
// process ends, but only once every descriptor of the device is closed).
void RegisterTty(int fd) noexcept;
void UnregisterTty(int fd) noexcept;

// A 16550 reached by direct port access, released by `release(base)`.
using PortRelease = void (*)(std::uint16_t base) noexcept;
void RegisterPort(std::uint16_t base, PortRelease release) noexcept;

// A keying device released by writing a message prepared in advance on a
// descriptor opened at start (a CM108's HID report on its hidraw device).
// `bytes` must stay valid until the descriptor is unregistered.
void RegisterWrite(int fd, const unsigned char* bytes, std::size_t size) noexcept;
void UnregisterWrite(int fd) noexcept;

// A keying device released through a function of its own, which must be
// async-signal-safe (a GPIO line request: one ioctl on its descriptor).
using DeviceRelease = void (*)(void* context) noexcept;
void RegisterRelease(DeviceRelease release, void* context) noexcept;
void UnregisterRelease(void* context) noexcept;

// Drops DTR, RTS, the break condition and every other key registered.
// Async-signal-safe.
void ReleaseAll() noexcept;

// For a crash (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGSYS, SIGTRAP):
// release the lines, then die of the signal as before (a handler installed
// earlier, such as a sanitizer's, still runs).
void InstallCrashHandlers();

}  // namespace sked::line_release
