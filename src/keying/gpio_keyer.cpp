#include "keying/gpio_keyer.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <gpiod.h>
#include <sys/stat.h>
#include <unistd.h>

#include "serial/line_release.h"

namespace sked {

namespace {

constexpr const char* kConsumer = "skedcast";

std::string LineName(const std::string& chip, unsigned line) {
    return "GPIO line " + std::to_string(line) + " of " + chip;
}

// The line through libgpiod. Releasing from the crash handler sets the
// value through the request's descriptor: libgpiod's set-value is one ioctl
// on it, with no allocation and no lock.
class ChipLine : public KeyingDevice {
public:
    ChipLine(std::string chip, unsigned line) : chipName_(std::move(chip)), offset_(line) {}
    ~ChipLine() override {
        if (line_) {
            line_release::UnregisterRelease(this);
            gpiod_line_set_value(line_, 0);
            gpiod_line_release(line_);
        }
        if (chip_) gpiod_chip_close(chip_);
    }
    ChipLine(const ChipLine&) = delete;
    ChipLine& operator=(const ChipLine&) = delete;

    bool Request(bool activeLow, std::string& why) {
        chip_ = gpiod_chip_open_lookup(chipName_.c_str());
        if (!chip_) return Failed("the chip cannot be opened", why);
        line_ = gpiod_chip_get_line(chip_, offset_);
        if (!line_) return Failed("the chip has no such line", why);
        const int flags = activeLow ? GPIOD_LINE_REQUEST_FLAG_ACTIVE_LOW : 0;
        if (gpiod_line_request_output_flags(line_, kConsumer, flags, 0) != 0) {
            line_ = nullptr;
            return Failed("the line cannot be requested as an output", why);
        }
        line_release::RegisterRelease(&ReleaseFromHandler, this);
        return true;
    }

    std::string Name() const override { return LineName(chipName_, offset_); }
    bool Present() override { return line_ != nullptr; }
    bool SetKey(bool down, std::string& why) override {
        down_ = down;
        if (gpiod_line_set_value(line_, down ? 1 : 0) == 0) return true;
        why = Name() + ": " + std::strerror(errno);
        return false;
    }
    bool KeyDown() const override { return down_; }

private:
    bool Failed(const char* what, std::string& why) {
        why = Name() + ": " + what + " (" + std::strerror(errno) + ")";
        return false;
    }
    static void ReleaseFromHandler(void* self) noexcept {
        gpiod_line_set_value(static_cast<ChipLine*>(self)->line_, 0);
    }

    std::string chipName_;
    unsigned offset_;
    gpiod_chip* chip_ = nullptr;
    gpiod_line* line_ = nullptr;
    bool down_ = false;
};

// The emulated chip: the levels on the pin, one record each, in a file.
class RecordedLine : public KeyingDevice {
public:
    RecordedLine(std::string path, unsigned line, bool activeLow)
        : path_(std::move(path)), line_(line), activeLow_(activeLow),
          release_(Record(false)) {}
    ~RecordedLine() override {
        if (fd_ < 0) return;
        line_release::UnregisterWrite(fd_);
        std::string ignored;
        SetKey(false, ignored);
        ::close(fd_);
    }
    RecordedLine(const RecordedLine&) = delete;
    RecordedLine& operator=(const RecordedLine&) = delete;

    bool Open(std::string& why) {
        fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0) {
            why = Name() + ": " + std::strerror(errno);
            return false;
        }
        line_release::RegisterWrite(fd_, reinterpret_cast<const unsigned char*>(release_.data()), release_.size());
        return true;
    }

    std::string Name() const override { return LineName(path_, line_) + " (emulated)"; }
    bool Present() override { return fd_ >= 0; }
    bool SetKey(bool down, std::string& why) override {
        down_ = down;
        const std::string record = Record(down);
        if (::write(fd_, record.data(), record.size()) == static_cast<ssize_t>(record.size())) return true;
        why = Name() + ": " + std::strerror(errno);
        return false;
    }
    bool KeyDown() const override { return down_; }

private:
    std::string Record(bool down) const {
        return std::to_string(line_) + "=" + (down != activeLow_ ? "1" : "0") + "\n";
    }

    std::string path_;
    unsigned line_;
    bool activeLow_;
    std::string release_;
    int fd_ = -1;
    bool down_ = false;
};

}  // namespace

std::unique_ptr<KeyingDevice> OpenGpioKeyer(const std::string& chip, unsigned line, bool activeLow,
                                            std::string& why) {
    struct stat status {};
    if (::stat(chip.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
        auto recorded = std::make_unique<RecordedLine>(chip, line, activeLow);
        if (!recorded->Open(why) || !recorded->SetKey(false, why)) return nullptr;
        return recorded;
    }
    auto chipLine = std::make_unique<ChipLine>(chip, line);
    if (!chipLine->Request(activeLow, why)) return nullptr;
    return chipLine;
}

}  // namespace sked
