// Sending and showing text files under data/: TXFile with its progress
// display and Pause/Resume/Cancel between characters, PrintFile, and the
// transmissions of a test text or a composition.
#pragma once

#include <cstdio>
#include <string>

#include "transmit/code_sender.h"
#include "transmit/psk_modem.h"
#include "transmit/running_line.h"
#include "transmit/station_state.h"
#include "transmit/station_view.h"
#include "transmit/timing.h"
#include "transmit/transmitter_switch.h"

namespace sked {

class FileSender {
public:
    // The composition is sent from this file, rewritten at every Send.
    static constexpr const char* kCompositionFile = "EditDisplayTemp.txt";

    FileSender(StationState& state, StationView& view, StationLog& log, Timing& timing, CodeSender& sender,
               TransmitterSwitch& transmitter, PskModem& psk, RunningLine& line);

    // Sends data/<name>; true when its whole text went out (not cancelled,
    // the file readable).
    bool TXFile(const std::string& name, int mode);
    // Shows data/<name> (or a log file, log/...) in the display; false when
    // it cannot be shown. A "$" command shows nothing and counts as shown.
    bool PrintFile(const std::string& name);

    // The RY and Fox tests and the composition: key, 3 s idle, the file
    // (again while Repeat is ticked), 3 s idle unless cancelled, release,
    // and the result in the log.
    void SendTestFile(const std::string& name);
    // Writes `text` to the composition file and sends it as above; false
    // (after a log line) when the file cannot be written.
    bool SendComposition(const std::string& text);
    // Writes `text` to data/<name>; false (after a log line) when it cannot.
    bool SaveText(const std::string& name, const std::string& text);

    // Text of a file as the station sends it: the whole file up to its first
    // zero byte, in ASCII (see AirText). False when it cannot be opened or read.
    static bool ReadText(const std::string& path, std::string& text);
    // The file opened for reading bytes unchanged; null when it cannot be
    // opened or is a folder.
    static std::FILE* OpenForReading(const std::string& path);

private:
    // Keys, idles (or leads in the Morse), sends `name` (again while Repeat
    // is ticked), idles, releases and logs the result.
    void SendFramed(const std::string& name, bool morse);

    StationState& state_;
    StationView& view_;
    StationLog& log_;
    Timing& timing_;
    CodeSender& sender_;
    TransmitterSwitch& transmitter_;
    PskModem& psk_;
    RunningLine& line_;
};

}  // namespace sked
