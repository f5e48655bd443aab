// What the Telnet link needs of the main window.
#pragma once

#include <string>

namespace sked {

class TelnetHost {
public:
    virtual ~TelnetHost() = default;
    virtual void CmRX() = 0;      // transmitter off
    virtual void CmPause() = 0;
    virtual void CmResume() = 0;
    virtual void LogEvent(const std::string& message) = 0;
    virtual void PumpMessages() = 0;
    // A message box with the stop icon.
    virtual void ShowStopBox(const std::string& caption, const std::string& text) = 0;
    // Text of the Authentication field (edit 1118).
    virtual std::string AuthenticationText() = 0;
    // Connected: Authentication and IP Address read-only, Port list and
    // sound card list disabled. Closed: address and authentication writable,
    // Port list enabled.
    virtual void LockLinkControls(bool connected) = 0;
};

}  // namespace sked
