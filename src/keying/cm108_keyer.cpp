#include "keying/cm108_keyer.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "serial/line_release.h"

namespace sked {

Cm108Keyer::Report Cm108Keyer::ReportFor(int pin, bool high) {
    const auto bit = static_cast<unsigned char>(1u << (pin - 1));
    // The pin is an output in both reports: released, it is driven low, never left floating.
    return {0x00, 0x00, static_cast<unsigned char>(high ? bit : 0), bit, 0x00};
}

Cm108Keyer::Cm108Keyer(std::string path, int pin)
    : path_(std::move(path)), pin_(pin), release_(ReportFor(pin, false)) {}

std::unique_ptr<Cm108Keyer> Cm108Keyer::Open(const std::string& path, int pin, std::string& why) {
    std::unique_ptr<Cm108Keyer> keyer(new Cm108Keyer(path, pin));
    if (!keyer->OpenDevice(why) || !keyer->SetKey(false, why)) return nullptr;
    return keyer;
}

Cm108Keyer::~Cm108Keyer() {
    std::string ignored;
    if (fd_ >= 0) SetKey(false, ignored);
    CloseDevice();
}

std::string Cm108Keyer::Name() const { return "the CM108 GPIO " + std::to_string(pin_) + " of " + path_; }

bool Cm108Keyer::OpenDevice(std::string& why) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) {
        why = problem_ = path_ + ": " + std::strerror(errno);
        return false;
    }
    problem_.clear();
    line_release::RegisterWrite(fd_, release_.data(), release_.size());
    return true;
}

void Cm108Keyer::CloseDevice() {
    if (fd_ < 0) return;
    line_release::UnregisterWrite(fd_);
    ::close(fd_);
    fd_ = -1;
}

// An interface unplugged and plugged back in is a new device: opened again when next asked for.
bool Cm108Keyer::Present() {
    std::string ignored;
    return fd_ >= 0 || OpenDevice(ignored);
}

bool Cm108Keyer::SetKey(bool down, std::string& why) {
    if (fd_ < 0 && !OpenDevice(why)) return false;
    down_ = down;
    const Report report = ReportFor(pin_, down);
    const ssize_t n = ::write(fd_, report.data(), report.size());
    if (n == static_cast<ssize_t>(report.size())) return true;
    why = problem_ = path_ + ": " + (n < 0 ? std::strerror(errno) : "the report was not taken whole");
    CloseDevice();
    return false;
}

}  // namespace sked
