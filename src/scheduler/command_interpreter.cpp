#include "scheduler/command_interpreter.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/text_format.h"
#include "transmit/station_state.h"

namespace sked {

namespace {
const std::vector<std::string> kHelpTable = {
    "$-- --------------------------------------",
    "$RX       // Transmitter OFF",
    "$TX       // Transmiter ON",
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

bool Starts(const std::string& text, const char* key) { return text.compare(0, std::strlen(key), key) == 0; }

// The help line that names the identification text once the callsign is known.
constexpr std::size_t kIdentificationLine = 12;
// Frequencies of $PSK= and $FSK= at or below this are taken for typing errors.
constexpr double kLowestFrequency = 200;

// The number after "=", 0 when it does not read.
double ValueAfterEquals(const std::string& text) {
    auto eq = text.find('=');
    return eq == std::string::npos ? 0.0 : std::atof(text.c_str() + eq + 1);
}
}  // namespace

std::vector<std::string> CommandInterpreter::HelpTable(const std::string& idText) {
    std::vector<std::string> table = kHelpTable;
    if (!idText.empty()) table[kIdentificationLine] = Format("$CWID     // %s", idText.c_str());
    return table;
}

void CommandInterpreter::Run(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    static constexpr struct {
        const char* key;
        float hertz;
    } kPskFrequencies[] = {{"F15", 1500}, {"F16", 1600}, {"F17", 1700}, {"F18", 1800},
                           {"F19", 1900}, {"F20", 2000}, {"F21", 2100}};
    static constexpr const char* kBaudKeys[] = {"B45", "B50", "B56", "B74", "B10", "B11", "B30"};

    if (Starts(text, "ASC")) return target_.PressMode(kAscii);
    if (Starts(text, "ITA")) return target_.PressMode(kIta2);
    if (Starts(text, "TEL")) return target_.PressMode(kTelex);
    if (Starts(text, "MIL")) return target_.PressMode(kMilitary);
    for (const auto& f : kPskFrequencies)
        if (Starts(text, f.key)) return target_.StorePskFrequency(f.hertz);
    if (Starts(text, "PSK")) {
        target_.PressMode(kPsk31);
        if (Starts(text, "PSK=")) {
            double value = ValueAfterEquals(text);
            if (value > kLowestFrequency) target_.ShowPskFrequency(static_cast<float>(value));
        }
        return;
    }
    if (Starts(text, "FSK=")) {
        double value = ValueAfterEquals(text);
        if (value > kLowestFrequency) target_.ShowFskCentre(static_cast<float>(value));
        return;
    }
    if (Starts(text, "CWID")) return target_.SendIdentification();
    if (Starts(text, "CWT")) return target_.SetCwTimer(true);
    if (Starts(text, "CWS")) return target_.SetCwTimer(false);
    if (Starts(text, "CW")) return target_.PressMode(kCw);
    if (Starts(text, "TX")) return target_.TransmitterOn();
    if (Starts(text, "RX")) return target_.TransmitterOff();
    if (Starts(text, "PON")) return target_.Power(true);
    if (Starts(text, "POF")) return target_.Power(false);
    if (Starts(text, "DIS")) return target_.DisableAndRelease();
    for (int i = 0; i < 7; ++i)
        if (Starts(text, kBaudKeys[i])) return target_.PressBaud(i);
    if (Starts(text, "RTS")) return target_.SetKeyLine(kRtsLine);
    if (Starts(text, "DTR")) return target_.SetKeyLine(kDtrLine);
    if (Starts(text, "REL")) return target_.Reload();
    if (Starts(text, "HEA")) return target_.SetHeader(true);
    if (Starts(text, "NOH")) return target_.SetHeader(false);
    // The help line spells it $DITTLE; $DIDDLE works as well.
    if (Starts(text, "DID") || Starts(text, "DIT")) return target_.SetDiddle(true);
    if (Starts(text, "NOD")) return target_.SetDiddle(false);
    if (Starts(text, "COM")) return target_.ChangePort(std::atoi(text.c_str() + 3));
}

}  // namespace sked
