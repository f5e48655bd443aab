#include "app/command_line.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/text_format.h"

namespace sked {

std::string JoinParameters(const std::vector<std::string>& parameters) {
    std::string text;
    for (const auto& p : parameters) {
        if (!text.empty()) text += ' ';
        text += p;
    }
    return text;
}

StationParameters ParseStationParameters(const std::string& commandLine) {
    std::string text = commandLine;
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (auto quote = text.rfind('"'); quote != std::string::npos) text = text.substr(quote + 1);

    std::vector<std::string> tokens;
    std::istringstream words(text);
    for (std::string word; tokens.size() < 4 && words >> word;) tokens.push_back(word);

    StationParameters p;
    if (tokens.empty()) {
        p.outcome = StationParameters::Outcome::NotSet;
        return p;
    }
    if (tokens.size() >= 4) {
        p.outcome = StationParameters::Outcome::TooMany;
        return p;
    }
    p.callsign = tokens[0];
    if (tokens.size() >= 2) {
        // Decimal value of the leading digits; "COM2" reads as 0.
        long value = std::strtol(tokens[1].c_str(), nullptr, 10);
        p.portNumber = value > 9999 ? 9999 : (value < -9999 ? -9999 : static_cast<int>(value));
    }
    if (tokens.size() == 3 && std::strncmp(tokens[2].c_str(), "RTS", 3) == 0) p.keyLine = KeyLine::Rts;
    if (p.portNumber == 0) {
        p.outcome = StationParameters::Outcome::EditorOnly;
        return p;
    }
    if (p.callsign.size() > kMaxCallsign) {
        p.outcome = StationParameters::Outcome::CallsignTooLong;
        return p;
    }
    if (p.PortInUse() != p.portNumber)
        p.warnings.push_back(Format("Port %s is not 1 to 8: COM2 at 0x2F8 is used.", tokens[1].c_str()));
    if (tokens.size() == 3 && tokens[2] != "RTS" && tokens[2] != "DTR")
        p.warnings.push_back(Format("Keying line %s is neither RTS nor DTR: %s keys the transmitter.",
                                    tokens[2].c_str(), p.keyLine == KeyLine::Rts ? "RTS" : "DTR"));
    return p;
}

}  // namespace sked
