#include "app/about_listing.h"

#include "platform/text_format.h"
#include "scheduler/command_interpreter.h"

namespace sked {

namespace {
const char* const kSeparator = "-------------------------------------------";

const char* ModeName(int mode) {
    switch (mode) {
        case kAscii: return "ASCII";
        case kIta2: return "ITA#2";
        case kTelex: return "TELEX";
        case kMilitary: return "Military";
        // Our modes beyond the teleprinter alphabets, by their button names.
        case kPsk31: return "PSK31";
        case kCw: return "CW";
        default: return "unknown";
    }
}

const char* KeyLineText(int keyLine) {
    if (keyLine == kRtsLine) return "Using RTS line for transmit control";
    if (keyLine == kDtrLine) return "Using DTR line for transmit control.";
    return "Error: Line control for TX not set.";
}
}  // namespace

std::vector<std::string> AboutListing(const StationState& s) {
    std::vector<std::string> lines = {
        " This application was written for the",
        Format("%s RTTY broadcast transmitter.", s.spacedCallsign.c_str()),
        kSeparator,
        Format("Comport is set to 0x%X", static_cast<unsigned>(s.portBase)),
        Format("Baud Rate is set to %f.", static_cast<double>(s.baud)),
        s.wordLength == 3 ? "Data Bits is set to 8 BITS." : "Data Bits is set to 5 Bits.",
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
    for (int port = 1; port <= 8; ++port) lines.push_back(Format("   COM%d = 0x%X", port, unsigned{PortBase(port)}));
    lines.push_back(" ");
    lines.push_back("--------- Scripted Commands  --------------");
    for (const std::string& line : CommandInterpreter::HelpTable(s.idText)) lines.push_back(line);
    lines.insert(lines.end(), {
        " ",
        "--- Macro Commands Expand in Text Files ----",
        "^L   // Full date 'TUESDAY, MAY 12, 2001'",
        "^D   // Day,month,day,year 'MAY 12, 2001'",
        "^W'  // Weekday            'TUESDAY'",
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
