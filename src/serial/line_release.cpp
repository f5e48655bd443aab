#include "serial/line_release.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace sked::line_release {

namespace {

// Far more than a station opens (eight COM ports at most).
constexpr std::size_t kSlots = 32;
constexpr int kFree = -1;

struct TtySlot {
    std::atomic<int> fd{kFree};
};
std::array<TtySlot, kSlots> ttys;

struct PortSlot {
    std::atomic<int> base{kFree};
    std::atomic<PortRelease> release{nullptr};
};
std::array<PortSlot, kSlots> ports;

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGSYS, SIGTRAP};
struct sigaction previous[std::size(kCrashSignals)];

// A stack of its own, so that a stack overflow can still release the lines.
alignas(16) char alternateStack[64 * 1024];

void OnCrash(int signal) {
    ReleaseAll();
    // Die of the same signal, through whatever handled it before us.
    for (std::size_t i = 0; i < std::size(kCrashSignals); ++i)
        if (kCrashSignals[i] == signal) sigaction(signal, &previous[i], nullptr);
    raise(signal);
}

}  // namespace

void RegisterTty(int fd) noexcept {
    for (auto& slot : ttys) {
        int expected = kFree;
        if (slot.fd.compare_exchange_strong(expected, fd)) return;
    }
}

void UnregisterTty(int fd) noexcept {
    for (auto& slot : ttys) {
        int expected = fd;
        if (slot.fd.compare_exchange_strong(expected, kFree)) return;
    }
}

void RegisterPort(std::uint16_t base, PortRelease release) noexcept {
    for (auto& slot : ports) {
        int expected = kFree;
        if (slot.base.compare_exchange_strong(expected, base)) {
            slot.release.store(release);
            return;
        }
    }
}

void ReleaseAll() noexcept {
    const int saved = errno;
    for (auto& slot : ttys) {
        const int fd = slot.fd.load();
        if (fd == kFree) continue;
        int lines = TIOCM_DTR | TIOCM_RTS;
        ioctl(fd, TIOCMBIC, &lines);
        ioctl(fd, TIOCCBRK, 0);
    }
    for (auto& slot : ports) {
        const int base = slot.base.load();
        const PortRelease release = slot.release.load();
        if (base != kFree && release) release(static_cast<std::uint16_t>(base));
    }
    errno = saved;
}

void InstallCrashHandlers() {
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);

    struct sigaction action {};
    action.sa_handler = OnCrash;
    action.sa_flags = SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kCrashSignals); ++i) sigaction(kCrashSignals[i], &action, &previous[i]);
}

}  // namespace sked::line_release
