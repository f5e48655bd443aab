// The schedule's "$" commands, in one table: how the interpreter recognises
// each (its key, compared with the start of the command text, case-blind, in
// table order), what it does, the help line that lists it, and what the
// estimates read from it (the speed of a $B marker, the PSK31 frequency of a
// $F marker).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transmit/station_settings.h"

namespace sked {

enum class ScheduleAction {
    Mode,            // press a mode button
    PskPreset,       // store a PSK31 frequency
    Psk31,           // PSK31 mode, and the frequency after "PSK="
    FskCentre,       // the AFSK centre after "FSK="
    Identify,        // the identification now
    CwTimerOn,
    CwTimerOff,
    TransmitterOn,
    TransmitterOff,
    PowerOn,
    PowerOff,
    Disable,         // automatic sending off, then the transmitter
    Baud,            // press a speed button
    KeyLine,         // the keying line becomes RTS or DTR
    Reload,
    HeaderOn,
    HeaderOff,
    DiddleOn,
    DiddleOff,
    ComPort,         // the serial port COMn
    RigFrequency,    // the rig's frequency in kHz after "FREQ=" (rig control only)
};

struct ScheduleCommand {
    std::string_view key;  // without the "$"
    ScheduleAction action;
    Mode mode = Mode::Military;  // Mode
    int baudButton = 0;          // Baud: speed button 0 (45.45) .. 6 (300.0)
    float hertz = 0.0f;          // PskPreset
    KeyLine keyLine = KeyLine::Dtr;  // KeyLine
};

// The command a command text (the name without its "$") names; nothing when
// it names none, which is ignored.
const ScheduleCommand* FindScheduleCommand(std::string_view text);
// The same for a schedule word that begins with "$"; nothing for any other word.
const ScheduleCommand* CommandOfWord(std::string_view word);

// The speeds of the speed buttons, 45.45 to 300 baud.
inline constexpr int kBaudButtons = 7;
float BaudOfButton(int index);

// The help lines: the commands the file list offers and the About box lists,
// with the identification line naming `idText` once the callsign is known.
std::vector<std::string> ScheduleHelpLines(const std::string& idText);
// How many of them the main window's file list offers.
inline constexpr std::size_t kHelpLinesInFileList = 34;

}  // namespace sked
