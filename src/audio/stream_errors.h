// The texts of the audio subsystem's error codes: the sound card stream's own
// (shown by the tone generator when the stream fails) and the start report of
// the PSK31 library's sound card process (shown by the PSK31 mode button).
#pragma once

#include <string>

namespace sked {

// The stream's own codes; 2..12 are the wave-output results passed through.
namespace stream {
constexpr int kMemoryError = 100;
constexpr int kNotOpen = 114;
constexpr int kUnderflow = 115;
constexpr int kTimedOut = 116;
}  // namespace stream

// The message for a stream code; "" for 0, which shows nothing.
const char* StreamErrorText(int code);

// The PSK31 sound card start report for the library's start result.
const char* PskStartErrorText(int code);
// The message box text of a failed start: "(%3i) " with the code, then its text.
std::string PskStartErrorMessage(int code);

}  // namespace sked
