#include "audio/stream_errors.h"

#include <cstdio>

namespace sked {

const char* StreamErrorText(int code) {
    switch (code) {
        case 0: return "";
        case 2: return "Device ID out of range";
        case 3: return "Driver failed enable";
        case 4: return "Device already allocated";
        case 5: return "Device handle is invalid";
        case 6: return "No device driver present";
        case 7: return "mmsystem memory allocation error";
        case 8: return "Function isn't supported";
        case 9: return "Error value out of range";
        case 10: return "Invalid flag passed";
        case 11: return "Invalid parameter passed";
        case 12: return "Handle being used";
        case stream::kMemoryError: return "Memory Allocation error";
        case stream::kNotOpen: return "Tried to write and soundcard is not open";
        case stream::kUnderflow: return "Output buffers Underflowed";
        case stream::kTimedOut: return "Timed out waiting for output buffers";
        default: return "??? Maybe Input being used at\n a different sample rate";
    }
}

const char* PskStartErrorText(int code) {
    switch (code) {
        case 0: return "No error in starting sound card process";
        case 10: return "Tried to read and soundcard is not open";
        case 12: return "Input buffers over-flowed";
        case 13: return "Timed out waiting for input buffers";
        case 14: return "Tried to write and soundcard is not open";
        case 15: return "Output buffers under-flowed";
        case 16: return "Timed out waiting for output buffers";
        case 17: return "Card doesn't support 16bit, 8000Hz, Mono format";
        case 18: return "Still something playing on soundcard";
        case 19: return "Header not prepared";
        case 20: return "Device is synchronous";
        case 21: return "Bad Device ID, Soundcard Not Present";
        case 22: return "Driver failed to enable";
        case 23: return "Device already allocated";
        case 24: return "Device handle is invalid";
        case 25: return "No device driver present";
        case 26: return "Function isn't supported";
        case 27: return "Error value out of range";
        case 28: return "Invalid flag passed";
        case 29: return "Invalid parameter passed";
        case 30: return "Handle being used";
        case 31: return "Driver does not call DriverCallback";
        case 32: return "Registry error";
        case 33: return "Unknown Error";
        case 34: return "Can't open wave file for input";
        case 35: return "File is not a RIFF wave type";
        case 36: return "Invalid wave file";
        case 37: return "No data in file";
        case 38: return "Not a supported data type";
        case 39: return "Error reading data from file";
        case 40: return "Tried to read and file is not open";
        case 41: return "Can't open wave file for output";
        default: return "Really Bad Undefined Error";
    }
}

std::string PskStartErrorMessage(int code) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "(%3i) ", code);
    return prefix + std::string(PskStartErrorText(code));
}

}  // namespace sked
