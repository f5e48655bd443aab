#include "scheduler/schedule_commands.h"

#include <array>
#include <cctype>

#include "platform/text_format.h"

namespace sked {

namespace {

using A = ScheduleAction;

constexpr float kBauds[kBaudButtons] = {45.45f, 50.0f, 56.9f, 74.2f, 100.0f, 110.0f, 300.0f};

// In matching order: the first key the text begins with decides ("CWID"
// before "CWT" before "CW"; "B10" is $B100).
constexpr ScheduleCommand kCommands[] = {
    {"ASC", A::Mode, Mode::Ascii},
    {"ITA", A::Mode, Mode::Ita2},
    {"TEL", A::Mode, Mode::Telex},
    {"MIL", A::Mode, Mode::Military},
    {"F15", A::PskPreset, {}, 0, 1500.0f},
    {"F16", A::PskPreset, {}, 0, 1600.0f},
    {"F17", A::PskPreset, {}, 0, 1700.0f},
    {"F18", A::PskPreset, {}, 0, 1800.0f},
    {"F19", A::PskPreset, {}, 0, 1900.0f},
    {"F20", A::PskPreset, {}, 0, 2000.0f},
    {"F21", A::PskPreset, {}, 0, 2100.0f},
    {"PSK", A::Psk31},
    {"FSK=", A::FskCentre},
    {"FREQ=", A::RigFrequency},
    {"CWID", A::Identify},
    {"CWT", A::CwTimerOn},
    {"CWS", A::CwTimerOff},
    {"CW", A::Mode, Mode::Cw},
    {"TX", A::TransmitterOn},
    {"RX", A::TransmitterOff},
    {"PON", A::PowerOn},
    {"POF", A::PowerOff},
    {"DIS", A::Disable},
    {"B45", A::Baud, {}, 0},
    {"B50", A::Baud, {}, 1},
    {"B56", A::Baud, {}, 2},
    {"B74", A::Baud, {}, 3},
    {"B10", A::Baud, {}, 4},
    {"B11", A::Baud, {}, 5},
    {"B30", A::Baud, {}, 6},
    {"RTS", A::KeyLine, {}, 0, 0.0f, KeyLine::Rts},
    {"DTR", A::KeyLine, {}, 0, 0.0f, KeyLine::Dtr},
    {"REL", A::Reload},
    {"HEA", A::HeaderOn},
    {"NOH", A::HeaderOff},
    // The help line spells it $DITTLE; $DIDDLE works as well.
    {"DID", A::DiddleOn},
    {"DIT", A::DiddleOn},
    {"NOD", A::DiddleOff},
    {"COM", A::ComPort},
};

// The help listing, in its own order. The thirteenth line names the
// identification text once the callsign is known.
constexpr std::size_t kIdentificationLine = 12;
constexpr const char* kHelpLines[] = {
    "$-- --------------------------------------",
    "$RX       // Transmitter OFF",
    "$TX       // Transmitter ON",
    "$PON      // Power ON",
    "$POFF     // Power OFF",
    "$ASCII    // MODE = ASCII",
    "$MILITARY // MODE = MILITARY",
    "$ITA2     // MODE = ITA2",
    "$TELEX    // MODE = TELEX",
    "$PSK31    // MODE = PSK31",
    "$PSK=xxx.x// Set PSK Center Freq",
    "$CW       // MODE = real CW",
    " ",
    "$CWTimer  // Starts 1 Hour CW ID",
    "$CWStop   // Stops  1 Hour CW ID",
    "$B45      // BAUD = 45.45",
    "$B50      // BAUD = 50.0",
    "$B56      // BAUD = 56.9",
    "$B74      // BAUD = 74.4",
    "$B100     // BAUD = 100.0",
    "$B110     // BAUD = 110.0",
    "$B300     // BAUD = 300.0",
    "$FSK=xxx.x// Set FSK Center Freq",
    "$F1500    // PSK Freq = 1500",
    "$F1600    // PSK Freq = 1600",
    "$F1700    // PSK Freq = 1700",
    "$F1800    // PSK Freq = 1800",
    "$F1900    // PSK Freq = 1900",
    "$F2000    // PSK Freq = 2000",
    "$F2100    // PSK Freq = 2100",
    "$RELOAD   // Reload Script",
    "$HEADER   // Send Header/Footer",
    "$NOHEADER // No Header/Footer",
    "$DITTLE   // Orvald's Dittle",
    "$NODITTLE // No Dittle",
    "$DISABLE  // Disable AutoSend",
};

bool StartsCaseBlind(std::string_view text, std::string_view key) {
    if (text.size() < key.size()) return false;
    for (std::size_t i = 0; i < key.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != key[i]) return false;
    return true;
}

}  // namespace

const ScheduleCommand* FindScheduleCommand(std::string_view text) {
    for (const ScheduleCommand& command : kCommands)
        if (StartsCaseBlind(text, command.key)) return &command;
    return nullptr;
}

const ScheduleCommand* CommandOfWord(std::string_view word) {
    if (word.empty() || word[0] != '$') return nullptr;
    return FindScheduleCommand(word.substr(1));
}

float BaudOfButton(int index) { return index >= 0 && index < kBaudButtons ? kBauds[index] : kBauds[0]; }

std::vector<std::string> ScheduleHelpLines(const std::string& idText) {
    std::vector<std::string> lines(std::begin(kHelpLines), std::end(kHelpLines));
    if (!idText.empty()) lines[kIdentificationLine] = Format("$CWID     // %s", idText.c_str());
    return lines;
}

}  // namespace sked
