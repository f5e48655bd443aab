// What the operator is shown for a sound card failure, chosen where it is
// shown: the tone generator's box when the stream fails, and the start report
// of the PSK31 sound card process (the PSK31 mode button's box, the log and
// the status line). Both keep the texts the station has always shown.
#pragma once

#include <string>
#include <system_error>

namespace sked {

// The box text for a failure of the sound card stream; "" for none, which
// shows nothing.
const char* StreamErrorText(std::error_code error);

// The PSK31 start report: for a failure "(%3i) " with the report's number,
// then its text ("( 21) Bad Device ID, Soundcard Not Present"); for none the
// report's plain text, "No error in starting sound card process".
std::string PskStartErrorMessage(std::error_code error);

}  // namespace sked
