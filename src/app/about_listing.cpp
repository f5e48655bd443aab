#include "app/about_listing.h"

#include "platform/text_format.h"
#include "scheduler/schedule_commands.h"

#ifndef SKEDCAST_VERSION
#define SKEDCAST_VERSION "dev"
#endif

namespace sked {

namespace {
const char* const kSeparator = "-------------------------------------------";

const char* ModeName(Mode mode) {
    switch (mode) {
        case Mode::Ascii: return "ASCII";
        case Mode::Ita2: return "ITA#2";
        case Mode::Telex: return "TELEX";
        case Mode::Military: return "Military";
        // Our modes beyond the teleprinter alphabets, by their button names.
        case Mode::Psk31: return "PSK31";
        case Mode::Cw: return "CW";
    }
    return "unknown";
}

const char* KeyLineText(KeyLine keyLine) {
    return keyLine == KeyLine::Rts ? "Using RTS line for transmit control" : "Using DTR line for transmit control.";
}

// The speed as the baud buttons show it: "45.45", "50.0", "56.9".
std::string SpeedText(float baud) {
    std::string text = Format("%.2f", static_cast<double>(baud));
    if (text.ends_with('0')) text.pop_back();
    return text;
}
}  // namespace

const char* ProgramVersion() { return SKEDCAST_VERSION; }

std::vector<std::string> AboutListing(const StationSettings& s) {
    std::vector<std::string> lines = {
        Format("Skedcast version %s", ProgramVersion()),
        " This application was written for the",
        Format("%s RTTY broadcast transmitter.", s.SpacedCallsign().c_str()),
        kSeparator,
        Format("Comport is set to 0x%X", unsigned{ComPortBase(s.portNumber)}),
        Format("Baud Rate is set to %s.", SpeedText(s.baud).c_str()),
        s.mode == Mode::Ascii ? "Data Bits is set to 8 BITS." : "Data Bits is set to 5 Bits.",
        Format("Mode is set to %s.", ModeName(s.mode)),
        KeyLineText(s.keyLine),
        kSeparator,
        "Command Line Parameters:",
        "   Skedcast [port #   ] [Xmit line]",
        "   Skedcast [012345678] [RTS,DTR  ]",
        kSeparator,
        "Available Ports",
        "   COM0 = 0 Launches Editor ONLY",
    };
    for (int port = 1; port <= 8; ++port) lines.push_back(Format("   COM%d = 0x%X", port, unsigned{ComPortBase(port)}));
    lines.push_back(" ");
    lines.push_back("--------- Scripted Commands  --------------");
    for (const std::string& line : ScheduleHelpLines(s.IdText())) lines.push_back(line);
    lines.insert(lines.end(), {
        " ",
        "--- Macro Commands Expand in Text Files ----",
        "^C   // The station's callsign",
        "^D   // Full date 'TUESDAY, MAY 12, 2026'",
        "^L   // Month,day,year     'MAY 12, 2026'",
        "^W   // Weekday            'TUESDAY'",
        "^T   // Local Time         '12:35(PST)'",
        "^U   // UTC Time           '12:35(UTC)'",
        "^1   // Sends BELL once",
        "^2   // Sends Bell twice",
        "...  // Sends Bell 1 - 9 Times",
        "^9   // Sends Bell nine times, annoying!",
        kSeparator,
    });
    return lines;
}

}  // namespace sked
