// The operator's kept settings: the keying device, the signal, the tones, the sound, the hourly
// identification, the sending options and the mirror as the operator last
// chose them, kept in skedcast.conf in the station folder so that a restart
// comes up the way the operator left the station. Only what the operator set
// is kept; anything else starts as the station always starts. The mirror's
// authentication text is a credential and is never kept here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transmit/station_settings.h"

namespace sked {

struct KeptSettings {
    static constexpr const char* kFile = "skedcast.conf";

    // [signal]
    std::optional<Mode> mode;
    std::optional<int> baudButton;    // 0 (45.45) .. 6 (300)
    std::optional<int> pskFrequency;  // 1500, 1600 .. 2100 Hz
    // [tones]
    std::optional<bool> centreAndShift;
    std::optional<double> centre, shift, mark, space;
    // [sound]
    std::optional<int> soundCard;  // kNoSoundCard, kDefaultSoundCard or 1..kSoundCards
    std::optional<bool> noSound;
    std::optional<double> noiseDb;
    std::optional<bool> fskShaping;
    // [identification]
    std::optional<bool> cwTimer;
    // [sending]
    std::optional<bool> header, diddle, repeat;
    // [mirror]
    std::optional<int> netPort;  // 0 (OFF) or 1..16
    std::optional<std::string> address;
    // [keying]: set in the file by the operator, never by the station.
    std::optional<std::string> ptt;      // as --ptt takes it
    std::optional<int> txTimeoutMinutes;  // 0: off
    // [web]: the page's start, set by hand in the file (the page has no control for it); options override it.
    std::optional<std::string> webAddress;  // as --http takes it
    std::optional<std::string> webPasswordFile;
    std::optional<bool> webPublicStatus;

    struct KeyName {
        const char* section;
        const char* name;
    };
    // Every key of the file, in the order it lists them.
    static std::vector<KeyName> Keys();

    // Takes `value` for `key` of [section], in the words the console takes
    // ("ita2", "on", "OFF"). "" when taken, else the reason it is not.
    std::string Set(std::string_view section, std::string_view key, std::string_view value);
    // The value kept for `key` of [section] as the file writes it; nothing when none is kept.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    // "section.key=value ..." of every kept value, for the log.
    std::string Summary() const;
    // The file's text: every kept value under its section.
    std::string Text() const;
    // Forgets the tone fields (the station refills them when the mode or the PSK31 frequency changes).
    void ForgetTones() { centre.reset(), shift.reset(), mark.reset(), space.reset(); }

    bool operator==(const KeptSettings&) const = default;
};

// Reads the INI file at `path` into `kept`. A missing file is an empty one.
// False when it cannot be read or a line is wrong, with `problem` naming the
// file, the line and the reason ("skedcast.conf line 3: unknown key ...").
bool ReadKeptSettings(const std::string& path, KeptSettings& kept, std::string& problem);

}  // namespace sked
