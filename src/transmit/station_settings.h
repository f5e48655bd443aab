// What the operator and the schedule set, and the station reads as it
// transmits: the station and its line, the signal, the sound card, the TCP
// mirror and the options. Owned by the station's command surface, which is
// the only part that changes it; the senders read it.
#pragma once

#include <string>

#include "serial/serial_line.h"

namespace sked {

enum class Mode { Ascii, Ita2, Telex, Military, Psk31, Cw };

// The five-bit teleprinter alphabets.
inline bool IsBaudot(Mode mode) { return mode == Mode::Ita2 || mode == Mode::Telex || mode == Mode::Military; }
// The modes whose characters go out on the serial line's transmit data.
inline bool OnTheLine(Mode mode) { return mode == Mode::Ascii || IsBaudot(mode); }

// The sound card list: none, the system's default device, or card 1..4.
inline constexpr int kNoSoundCard = 0;
inline constexpr int kDefaultSoundCard = -1;
inline constexpr int kSoundCards = 4;

// The AFSK tones as the operator enters them: centre and shift, or mark and
// space, whichever pair the entry style makes the one that counts.
struct ToneSettings {
    bool centreAndShift = true;
    double centre = 2210.0;
    double shift = 170.0;
    double mark = 2125.0;
    double space = 2295.0;
};

// The TCP mirror of the characters sent: port 0 (off) or 1..16, TCP port 5999 + n.
struct MirrorSettings {
    int port = 0;
    std::string address = "127.0.0.1";
    std::string authentication;
};

struct StationSettings {
    // The station and its line
    std::string callsign;  // none in editor-only operation
    int portNumber = 2;
    KeyLine keyLine = KeyLine::Dtr;

    // The signal
    Mode mode = Mode::Military;
    float baud = 45.45f;
    float pskFrequency = 1500.0f;
    float fskCentre = 2210.0f;
    ToneSettings tones;
    int soundCard = kNoSoundCard;
    bool noSound = true;
    bool fskShaping = false;  // raised-cosine frequency transitions in the AFSK, from the next keying
    // Why PSK31, the mode last chosen, could not start; "" when it started or
    // another mode was chosen since. Entries are not sent meanwhile.
    std::string pskUnavailable;

    MirrorSettings mirror;
    bool headerEnabled = true;
    bool repeat = false;
    bool diddle = false;

    // The frame of the serial line in this mode (the line keeps its last one
    // in PSK31 and CW, which do not use it).
    LineFormat Format() const { return mode == Mode::Ascii ? LineFormat::Ascii(baud) : LineFormat::Baudot(baud); }
    // "de QZ0XB QZ0XB ": the identification text.
    std::string IdText() const { return callsign.empty() ? "" : "de " + callsign + " " + callsign + " "; }
    // "Q Z 0 X B ": the callsign as the title shows it.
    std::string SpacedCallsign() const;
};

// The shift shown beside the centre in each mode; the tones themselves come
// from the fields.
inline constexpr float kFskShift = 170.0f;
inline constexpr float kPskShift = 31.25f;

}  // namespace sked
