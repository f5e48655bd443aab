#include "scheduler/command_interpreter.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "app/operator_controls.h"
#include "app/scheduler_dlg.h"
#include "audio/mode_controls.h"
#include "platform/text_format.h"
#include "scheduler/cw_identification.h"
#include "scheduler/schedule_loader.h"
#include "transmit/code_sender.h"
#include "transmit/file_sender.h"
#include "transmit/transmitter_switch.h"
#include "transmit/uart.h"

namespace sked {

namespace {
std::vector<std::string> helpTable = {
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

// The number after "=", 0 when it does not read.
double ValueAfterEquals(const std::string& text) {
    auto eq = text.find('=');
    return eq == std::string::npos ? 0.0 : std::atof(text.c_str() + eq + 1);
}
}  // namespace

const std::vector<std::string>& CommandInterpreter::HelpTable() { return helpTable; }

void CommandInterpreter::SetIdentificationHelpLine(const std::string& idText) {
    helpTable[12] = Format("$CWID     // %s", idText.c_str());
}

void CommandInterpreter::Run(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    StationSettings& s = Settings();
    MainWindow& w = dlg_.w;
    ModeControls& modes = *dlg_.modes;

    static constexpr struct {
        const char* key;
        float hertz;
    } kPskFrequencies[] = {{"F15", 1500}, {"F16", 1600}, {"F17", 1700}, {"F18", 1800},
                           {"F19", 1900}, {"F20", 2000}, {"F21", 2100}};
    static constexpr const char* kBaudKeys[] = {"B45", "B50", "B56", "B74", "B10", "B11", "B30"};

    if (Starts(text, "ASC")) return modes.ModeClicked(kAscii);
    if (Starts(text, "ITA")) return modes.ModeClicked(kIta2);
    if (Starts(text, "TEL")) return modes.ModeClicked(kTelex);
    if (Starts(text, "MIL")) return modes.ModeClicked(kMilitary);
    for (const auto& f : kPskFrequencies)
        if (Starts(text, f.key)) {
            s.pskFrequency = f.hertz;
            return;
        }
    if (Starts(text, "PSK")) {
        modes.ModeClicked(kPsk31);
        if (Starts(text, "PSK=")) {
            double value = ValueAfterEquals(text);
            if (value > 200) {
                s.pskFrequency = static_cast<float>(value);
                w.centreField.SetText(Format("%10.3f", value));
            }
        }
        return;
    }
    if (Starts(text, "FSK=")) {
        double value = ValueAfterEquals(text);
        if (value > 200) {
            s.fskCentre = static_cast<float>(value);
            w.centreField.SetText(Format("%10.3f", value));
        }
        return;
    }
    if (Starts(text, "CWID")) return dlg_.cwid->Cwid(s.idText);
    if (Starts(text, "CWT")) {
        w.cwTimerCheck.SetCheck(1);
        return dlg_.cwid->CwTimerClicked();
    }
    if (Starts(text, "CWS")) {
        w.cwTimerCheck.SetCheck(0);
        return dlg_.cwid->CwTimerClicked();
    }
    if (Starts(text, "CW")) return modes.ModeClicked(kCw);
    if (Starts(text, "TX")) return dlg_.controls->TransmitterOnClicked();
    if (Starts(text, "RX")) return dlg_.controls->TransmitterOffClicked();
    if (Starts(text, "PON")) return dlg_.uart->CmPowerON();
    if (Starts(text, "POF")) return dlg_.uart->CmPowerOFF();
    if (Starts(text, "DIS")) {
        dlg_.controls->CmDisable();
        return dlg_.transmitter->CmRX();
    }
    for (int i = 0; i < 7; ++i)
        if (Starts(text, kBaudKeys[i])) return modes.BaudClicked(i);
    if (Starts(text, "RTS")) return ChangeKeyLine(uart::kMcrRts);
    if (Starts(text, "DTR")) return ChangeKeyLine(uart::kMcrDtr);
    if (Starts(text, "REL")) return dlg_.loader->GetSchedule();
    if (Starts(text, "HEA")) {
        w.headerCheck.SetCheck(1);
        return dlg_.files->CmHeader();
    }
    if (Starts(text, "NOH")) {
        w.headerCheck.SetCheck(0);
        return dlg_.files->CmHeader();
    }
    // The help line spells it $DITTLE; $DIDDLE works as well.
    if (Starts(text, "DID") || Starts(text, "DIT")) {
        w.diddleCheck.SetCheck(1);
        return dlg_.sender->CmDiddle();
    }
    if (Starts(text, "NOD")) {
        w.diddleCheck.SetCheck(0);
        return dlg_.sender->CmDiddle();
    }
    if (Starts(text, "COM")) return ChangePort(text);
}

void CommandInterpreter::ChangeKeyLine(int keyLine) {
    if (Settings().keyLine == keyLine && Settings().powerLine != keyLine) return;
    // Released on the line that keyed it; the other line becomes the power
    // line, so that switching the power on never keys the transmitter.
    dlg_.controls->TransmitterOffClicked();
    dlg_.uart->SetLines(keyLine, keyLine == uart::kMcrDtr ? uart::kMcrRts : uart::kMcrDtr);
}

void CommandInterpreter::ChangePort(const std::string& text) {
    StationSettings& s = Settings();
    MainWindow& w = dlg_.w;
    int n = std::atoi(text.c_str() + 3);
    if (PortBase(n) == 0) {
        w.statusLine.SetText("Error: Invalid Port ID");
        return;
    }
    // Released on the port that keyed it, before the station moves on.
    dlg_.controls->TransmitterOffClicked();
    s.portBase = PortBase(n);
    w.comPortField.SetText(PortName(n));
    dlg_.uart->ProgramUart(s.portBase, s.baud, 0, s.wordLength, 4);
    dlg_.log.LogEvent(Format("ComPort Changed to %s", PortName(n)));
    w.statusLine.SetText(Format("SetupWindow : COM%d set to 0x%X.", n, s.portBase));
}

}  // namespace sked
