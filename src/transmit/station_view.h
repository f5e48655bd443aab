// What the station shows as it works, seen from the senders and the
// scheduler: the display fields of the main window. The window's model
// implements it over its controls (and turns the values into the texts the
// fields show); tests use a recording fake.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

#include "transmit/station_settings.h"

namespace sked {

// The flow field: what the operator last did to the transmission under way.
enum class Flow { None, Pause, Resume, Cancel };

// Which tone fields a change writes, and so how they are shown.
enum class ToneDisplay {
    Rtty,       // a teleprinter mode chosen: the FSK centre and shift, mark and space
    Psk,        // PSK31 chosen, or its frequency: the PSK31 frequency and shift
    Keyed,      // the transmitter keyed: the pair that does not count, filled in from the other
    Centre,     // the centre alone ($PSK=, $FSK=)
};

class StationView {
public:
    virtual ~StationView() = default;

    // One-line status and error text; while a file goes out, its running line.
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void ShowQueueLine(const std::string& text) = 0;
    // Characters of the file under way still to go; nothing once it is done.
    virtual void ShowCharactersLeft(std::size_t left) = 0;
    virtual void ClearCharactersLeft() = 0;
    virtual void ShowFlow(Flow flow) = 0;
    // Seconds until the head of the queue is due (negative when overdue).
    virtual void ShowCountdown(long seconds) = 0;
    virtual void ClearCountdown() = 0;
    virtual void ShowClock(std::time_t now) = 0;
    virtual void ShowAutoSend(bool enabled) = 0;
    // Seconds left to the hourly identification; off.
    virtual void ShowCwTimer(int secondsLeft) = 0;
    virtual void ShowCwTimerOff() = 0;
    virtual void ShowPort(int number) = 0;

    // The transmitter is keyed or released.
    virtual void ShowTransmitter(bool on) = 0;
    // The sound card choices cannot change while the transmitter is keyed.
    virtual void LockSoundChoice(bool locked) = 0;
    // Locked: the tones cannot be edited (a transmission uses them);
    // unlocked: the pair of the chosen entry style can.
    virtual void LockToneFields(bool locked) = 0;
    virtual void ShowTones(const StationSettings& settings, ToneDisplay display) = 0;
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
