// How the sound card fails, inside the station: every wave device and the
// sound card stream report a std::error_code of this category (empty: all is
// well). The texts the operator is shown for them are chosen where they are
// shown (stream_errors.h); message() is a plain description for the log.
#pragma once

#include <system_error>
#include <type_traits>

namespace sked {

enum class SoundError {
    NoSuchDevice = 1,  // no card by that number, or the device is not there
    DeviceFailed,      // the device or its driver failed (I/O errors, a full disk, access refused)
    Busy,              // the device is in use
    BadHandle,         // the device is not open
    NoDriver,          // no driver for the device
    NoMemory,          // the device ran out of memory
    NotSupported,      // the device cannot do it (a format it cannot play)
    OutOfRange,        // a value out of range
    BadFlag,           // a flag the device does not know
    BadParameter,      // a parameter the device refuses
    HandleInUse,       // the device is already open, or still busy with a request
    // The stream's own:
    StreamMemory,      // no memory for the stream's block
    NotOpen,           // written while the stream is not open
    Underflow,         // the device ran dry between two writes
    TimedOut,          // the device handed no block back in time
};

const std::error_category& SoundCategory();
inline std::error_code make_error_code(SoundError e) { return {static_cast<int>(e), SoundCategory()}; }

// The failure for a system error number: none for 0; no such device (ENOENT,
// ENODEV, ENXIO); busy (EBUSY, EAGAIN); bad handle (EBADF, EBADFD); no
// memory; not supported (ENOSYS, EOPNOTSUPP); out of range (ERANGE); bad
// parameter (EINVAL); anything else the device failing.
std::error_code SoundErrorForErrno(int errorNumber);

}  // namespace sked

template <>
struct std::is_error_code_enum<sked::SoundError> : std::true_type {};
