#include "audio/stream_errors.h"

#include <cstdio>

#include "audio/sound_error.h"

namespace sked {

namespace {

// One failure's texts: the stream's box, and the PSK31 start report's number and text.
struct Texts {
    const char* stream;
    int pskNumber;
    const char* psk;
};

constexpr Texts kUnknown{"??? Maybe Input being used at\n a different sample rate", 33, "Unknown Error"};

Texts TextsOf(std::error_code error) {
    if (error.category() != SoundCategory()) return kUnknown;
    switch (static_cast<SoundError>(error.value())) {
        case SoundError::NoSuchDevice: return {"Device ID out of range", 21, "Bad Device ID, Soundcard Not Present"};
        case SoundError::DeviceFailed: return {"Driver failed enable", 22, "Driver failed to enable"};
        case SoundError::Busy: return {"Device already allocated", 23, "Device already allocated"};
        case SoundError::BadHandle: return {"Device handle is invalid", 24, "Device handle is invalid"};
        case SoundError::NoDriver: return {"No device driver present", 25, "No device driver present"};
        case SoundError::NoMemory: return {"mmsystem memory allocation error", kUnknown.pskNumber, kUnknown.psk};
        // The only thing an open refuses as unsupported is the format.
        case SoundError::NotSupported:
            return {"Function isn't supported", 17, "Card doesn't support 16bit, 8000Hz, Mono format"};
        case SoundError::OutOfRange: return {"Error value out of range", 27, "Error value out of range"};
        case SoundError::BadFlag: return {"Invalid flag passed", 28, "Invalid flag passed"};
        case SoundError::BadParameter: return {"Invalid parameter passed", 29, "Invalid parameter passed"};
        case SoundError::HandleInUse: return {"Handle being used", 30, "Handle being used"};
        case SoundError::StreamMemory: return {"Memory Allocation error", kUnknown.pskNumber, kUnknown.psk};
        case SoundError::NotOpen:
            return {"Tried to write and soundcard is not open", kUnknown.pskNumber, kUnknown.psk};
        case SoundError::Underflow: return {"Output buffers Underflowed", kUnknown.pskNumber, kUnknown.psk};
        case SoundError::TimedOut: return {"Timed out waiting for output buffers", kUnknown.pskNumber, kUnknown.psk};
    }
    return kUnknown;
}

}  // namespace

const char* StreamErrorText(std::error_code error) { return error ? TextsOf(error).stream : ""; }

std::string PskStartErrorMessage(std::error_code error) {
    if (!error) return "No error in starting sound card process";
    const Texts texts = TextsOf(error);
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "(%3i) ", texts.pskNumber);
    return prefix + std::string(texts.psk);
}

}  // namespace sked
