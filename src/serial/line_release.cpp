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

struct WriteSlot {
    std::atomic<int> fd{kFree};
    std::atomic<const unsigned char*> bytes{nullptr};
    std::atomic<std::size_t> size{0};
};
std::array<WriteSlot, kSlots> writes;

struct ReleaseSlot {
    std::atomic<void*> context{nullptr};
    std::atomic<DeviceRelease> release{nullptr};
};
std::array<ReleaseSlot, kSlots> releases;

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

void RegisterWrite(int fd, const unsigned char* bytes, std::size_t size) noexcept {
    for (auto& slot : writes) {
        int expected = kFree;
        if (slot.fd.compare_exchange_strong(expected, fd)) {
            slot.bytes.store(bytes);
            slot.size.store(size);
            return;
        }
    }
}

void UnregisterWrite(int fd) noexcept {
    for (auto& slot : writes) {
        int expected = fd;
        if (slot.fd.compare_exchange_strong(expected, kFree)) return;
    }
}

void RegisterRelease(DeviceRelease release, void* context) noexcept {
    for (auto& slot : releases) {
        void* expected = nullptr;
        if (slot.context.compare_exchange_strong(expected, context)) {
            slot.release.store(release);
            return;
        }
    }
}

void UnregisterRelease(void* context) noexcept {
    for (auto& slot : releases) {
        void* expected = context;
        if (slot.context.compare_exchange_strong(expected, nullptr)) return;
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
    for (auto& slot : writes) {
        const int fd = slot.fd.load();
        const unsigned char* bytes = slot.bytes.load();
        if (fd != kFree && bytes) [[maybe_unused]] const ssize_t n = write(fd, bytes, slot.size.load());
    }
    for (auto& slot : releases) {
        void* context = slot.context.load();
        const DeviceRelease release = slot.release.load();
        if (context && release) release(context);
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
