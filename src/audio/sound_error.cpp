#include "audio/sound_error.h"

#include <cerrno>
#include <string>

namespace sked {

namespace {

class SoundErrorCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "sound"; }
    std::string message(int value) const override {
        switch (static_cast<SoundError>(value)) {
            case SoundError::NoSuchDevice: return "no such sound device";
            case SoundError::DeviceFailed: return "the sound device failed";
            case SoundError::Busy: return "the sound device is busy";
            case SoundError::BadHandle: return "the sound device is not open";
            case SoundError::NoDriver: return "no driver for the sound device";
            case SoundError::NoMemory: return "the sound device is out of memory";
            case SoundError::NotSupported: return "not supported by the sound device";
            case SoundError::OutOfRange: return "a value out of range for the sound device";
            case SoundError::BadFlag: return "a flag the sound device does not know";
            case SoundError::BadParameter: return "a parameter the sound device refuses";
            case SoundError::HandleInUse: return "the sound device is already in use";
            case SoundError::StreamMemory: return "no memory for the sound stream";
            case SoundError::NotOpen: return "the sound stream is not open";
            case SoundError::Underflow: return "the sound device ran dry";
            case SoundError::TimedOut: return "timed out waiting for the sound device";
        }
        return "unknown sound error " + std::to_string(value);
    }
};

}  // namespace

const std::error_category& SoundCategory() {
    static const SoundErrorCategory category;
    return category;
}

std::error_code SoundErrorForErrno(int errorNumber) {
    switch (errorNumber) {
        case 0: return {};
        case ENOENT:
        case ENODEV:
        case ENXIO: return SoundError::NoSuchDevice;
        case EBUSY:
        case EAGAIN: return SoundError::Busy;  // a non-blocking open of a device in use
        case EBADF:
        case EBADFD: return SoundError::BadHandle;
        case ENOMEM: return SoundError::NoMemory;
        case ENOSYS:
        case EOPNOTSUPP: return SoundError::NotSupported;
        case ERANGE: return SoundError::OutOfRange;
        case EINVAL: return SoundError::BadParameter;
        default: return SoundError::DeviceFailed;
    }
}

}  // namespace sked
