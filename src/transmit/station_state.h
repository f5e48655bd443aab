// The station's state for the whole run: station and line, signal settings,
// the settings the operator's controls write, the scheduler and transmission
// flags and the texts derived from the callsign. The station owns one and
// hands it by reference to each subsystem; everything runs on the loop's
// thread (a worker gets a copy of what it needs).
#pragma once

#include <cstdint>
#include <string>

namespace sked {

// Signal modes.
enum Mode : int { kAscii = 0, kIta2 = 1, kTelex = 2, kMilitary = 3, kPsk31 = 4, kCw = 5 };

// Modem-control bits of the keying and power lines.
inline constexpr int kDtrLine = 0x01;
inline constexpr int kRtsLine = 0x02;

// Sound card choice: none, the system's default device, or card 1..4.
inline constexpr int kNoSoundCard = 0;
inline constexpr int kDefaultSoundCard = -1;

// How the operator enters the AFSK tones, and the four fields as typed.
struct ToneFields {
    bool centreAndShift = true;  // false: mark and space are the ones that count
    std::string centre = "2210";
    std::string shift = "170.0";
    std::string mark = "2125.0";
    std::string space = "2295.0";
};

struct StationState {
    // Station and line
    std::string callsign = "QZ0XB";
    std::uint16_t portBase = 0x2F8;
    int keyLine = kDtrLine;   // keys the transmitter
    int powerLine = kRtsLine;  // switches the transmitter's power
    int mode = kMilitary;
    float baud = 45.45f;
    int wordLength = 0;  // 0: 5 data bits + 1.5 stop; 3: 8 data bits + 2 stop
    float pskFrequency = 1500.0f;
    float pskShift = 31.25f;
    float fskCentre = 2210.0f;
    float fskShift = 170.0f;
    int toneCentre = 2210;
    double halfShift = 85.0;
    int sampleRate = 8000;
    bool noiseFilter = true;

    // What the operator's controls set and the station reads
    ToneFields tones;
    int soundCard = kNoSoundCard;
    bool noSound = true;
    // Why PSK31, the mode last chosen, could not start; "" when it started or
    // another mode was chosen since. Entries are not sent meanwhile.
    std::string pskUnavailable;
    int netPort = 0;  // 0: no mirror; 1..16: TCP port 5999 + n
    std::string netAddress = "127.0.0.1";
    std::string authentication;
    bool headerEnabled = true;
    bool repeat = false;
    bool diddle = false;

    // Scheduler and transmission
    bool autoSendEnabled = false;
    bool sending = false;
    bool idle = true;
    bool sendNow = false;
    bool running = true;
    bool cancelRequested = false;
    bool transmitterOn = false;
    // The operator (or a $TX entry) keyed the transmitter and it stays keyed
    // until released, with nothing to send.
    bool keyedOnRequest = false;
    // A sender left the transmitter keyed because the next entry was due.
    bool keyHeldForNext = false;
    int cwTimerSeconds = -1;  // -1: hourly identification off
    int secondTicks = 0;
    int milliTicks = 0;

    // Derived texts
    std::string idText;
    std::string spacedCallsign;
};

// Port numbers 0..8 (and "????" beyond) and their base addresses.
const char* PortName(int port);
// Base address of COM1..COM8; 0 for any other number.
std::uint16_t PortBase(int port);

}  // namespace sked
