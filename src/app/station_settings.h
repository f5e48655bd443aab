// The one record of shared state for the whole run: station and line, signal
// settings, scheduler and transmission flags, counters and derived texts.
#pragma once

#include <cstdint>
#include <string>

namespace sked {

// Signal modes.
enum Mode : int { kAscii = 0, kIta2 = 1, kTelex = 2, kMilitary = 3, kPsk31 = 4, kCw = 5 };

struct StationSettings {
    // Station and line
    std::string callsign = "QZ0XB";
    std::uint16_t portBase = 0x2F8;
    int keyLine = 1;    // modem-control mask of the keying line: 1 DTR, 2 RTS
    int powerLine = 2;  // the other line, switching the transmitter power
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
    int noiseFilter = 1;

    // Scheduler and transmission flags
    int autoSendEnabled = 0;
    int headerEnabled = 1;
    int sending = 0;
    int idle = 1;
    int sendNow = 0;
    int running = 1;
    int cancelRequested = 0;
    int repeat = 0;
    int diddle = 0;
    int transmitterOn = 0;
    // The operator (or a $TX entry) keyed the transmitter and it stays keyed
    // until released, with nothing to send.
    bool keyedOnRequest = false;
    // A sender left the transmitter keyed because the next entry was due.
    bool keyHeldForNext = false;
    int cwTimerSeconds = -1;  // -1: hourly identification off
    long secondsToNext = 0;
    int secondTicks = 0;
    int milliTicks = 0;

    // Derived texts
    std::string idText;
    std::string spacedCallsign;
    int msgPort00 = 0;
    int msgPort01 = 0;
};

// The process-wide record.
StationSettings& Settings();
// Back to the values of a fresh start (each test starts a new station).
void ResetSettings();

// Port numbers 0..8 (and "????" beyond) and their base addresses.
const char* PortName(int port);
// Base address of COM1..COM8; 0 for any other number.
std::uint16_t PortBase(int port);

}  // namespace sked
