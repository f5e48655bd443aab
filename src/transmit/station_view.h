// What the station shows as it works, seen from the senders and the
// scheduler: the display fields of the main window. The station's window
// model implements it over its controls; tests use a recording fake.
#pragma once

#include <cstddef>
#include <string>

namespace sked {

class StationView {
public:
    virtual ~StationView() = default;

    // One-line status and error text; while a file goes out, its running line.
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void ShowQueueLine(const std::string& text) = 0;
    // "C=%d" while a file goes out, empty after it.
    virtual void ShowCharactersLeft(const std::string& text) = 0;
    // "PAUSE", "RESUME", "CANCEL" or empty.
    virtual void ShowFlow(const std::string& text) = 0;
    // Seconds until the head of the queue is due, or empty.
    virtual void ShowCountdown(const std::string& text) = 0;
    virtual void ShowClock(const std::string& text) = 0;
    virtual void ShowAutoSend(bool enabled) = 0;
    // Seconds left to the hourly identification, or "OFF"; and its check box.
    virtual void ShowCwTimer(const std::string& text) = 0;
    virtual void ShowCwTimerTicked(bool ticked) = 0;
    virtual void ShowPort(const std::string& name) = 0;

    // The transmitter is keyed or released.
    virtual void ShowTransmitter(bool on) = 0;
    // The sound card choices cannot change while the transmitter is keyed.
    virtual void LockSoundChoice(bool locked) = 0;
    // Locked: the tones cannot be edited (a transmission uses them);
    // unlocked: the pair of the chosen entry style can.
    virtual void LockToneFields(bool locked) = 0;
    // The tone fields show the state's tone texts.
    virtual void ShowTones() = 0;
    // The mirror's address, port and authentication cannot change while it is connected.
    virtual void LockLinkChoice(bool connected) = 0;

    // A file shown in the display box (before it is sent, or on request).
    virtual void ShowFile(const std::string& name, const std::string& text) = 0;
    // A message in place of a file that cannot be shown.
    virtual void ShowDisplayMessage(const std::string& text) = 0;
    // A transmission runs: the display cannot be edited.
    virtual void LockDisplay() = 0;
    // Character `index` of file `name` goes out (highlighted when shown).
    virtual void HighlightCharacter(const std::string& name, std::size_t index) = 0;
};

// The station's record of what it does: one line per action.
class StationLog {
public:
    virtual ~StationLog() = default;
    virtual void LogEvent(const std::string& message) = 0;
};

}  // namespace sked
