#include "app/settings_keeper.h"

#include <cmath>
#include <utility>

#include "platform/atomic_file.h"
#include "scheduler/schedule_commands.h"

namespace sked {

SettingsKeeper::SettingsKeeper(Station& station, std::string path) : station_(station), path_(std::move(path)) {}

SettingsKeeper::~SettingsKeeper() { station_.commands.keptSettingChanged = nullptr; }

bool SettingsKeeper::ApplyAtStart(bool noiseGiven) {
    std::string problem;
    if (!ReadKeptSettings(path_, kept_, problem)) {
        station_.log.LogEvent("Kept settings : " + problem);
        station_.boxes.Show("Kept settings", problem + "\nThe station ends: correct the file or remove it.",
                            BoxIcon::Stop);
        return false;
    }
    written_ = kept_.Text();
    Apply(noiseGiven);
    // What the station now has for each key the file keeps: the log shows the start as it came out.
    KeptSettings started;
    const KeptSettings now = Snapshot();
    for (const auto& [section, key] : KeptSettings::Keys())
        if (kept_.Get(section, key)) started.Set(section, key, now.Get(section, key).value_or(""));
    if (!started.Summary().empty()) station_.log.LogEvent("Kept settings : " + path_ + ": " + started.Summary());
    // Listening starts once the loop runs: the options given on the command line are set before that.
    station_.loop.Post([this, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.lock()) station_.commands.keptSettingChanged = [this](KeptSetting setting) { Changed(setting); };
    });
    return true;
}

void SettingsKeeper::Apply(bool noiseGiven) {
    StationCommands& c = station_.commands;
    const KeptSettings& k = kept_;
    // The sound card before the mode: PSK31 starts on it.
    if (k.soundCard)
        c.SoundCard(*k.soundCard == kNoSoundCard        ? "None"
                    : *k.soundCard == kDefaultSoundCard ? "-1 Auto"
                                                        : std::to_string(*k.soundCard));
    if (k.noSound) c.NoSound(*k.noSound);
    if (k.noiseDb && !noiseGiven) station_.SetSignalToNoise(*k.noiseDb);
    if (k.fskShaping) c.FskShaping(*k.fskShaping);
    // The teleprinter speed, the mode, then the PSK31 frequency (taken at once in PSK31 mode).
    if (k.baudButton) c.Baud(*k.baudButton);
    if (k.mode) c.Mode(*k.mode);
    if (k.pskFrequency) c.StorePskFrequency(static_cast<float>(*k.pskFrequency));
    // The tone fields after the mode, which fills them afresh.
    if (k.centreAndShift) c.ToneEntryStyle(*k.centreAndShift);
    const std::pair<ToneField, const char*> tones[] = {
        {ToneField::kCentre, "centre"}, {ToneField::kShift, "shift"}, {ToneField::kMark, "mark"},
        {ToneField::kSpace, "space"}};
    for (const auto& [field, key] : tones)
        if (const auto text = k.Get("tones", key)) c.SetTone(field, *text);
    if (k.cwTimer) c.CwTimer(*k.cwTimer);
    if (k.header) c.Header(*k.header);
    if (k.diddle) c.Diddle(*k.diddle);
    if (k.repeat) c.Repeat(*k.repeat);
    if (k.address) c.NetAddress(*k.address);
    if (const auto port = k.Get("mirror", "port")) c.NetPort(*port);
}

KeptSettings SettingsKeeper::Snapshot() const {
    const StationSettings& s = station_.settings;
    KeptSettings now;
    // PSK31 chosen but unable to start is still the operator's choice.
    now.mode = s.pskUnavailable.empty() ? s.mode : Mode::Psk31;
    for (int i = 0; i < kBaudButtons; ++i)
        if (BaudOfButton(i) == s.baud) now.baudButton = i;
    now.pskFrequency = static_cast<int>(std::lround(s.pskFrequency));
    now.centreAndShift = s.tones.centreAndShift;
    now.centre = s.tones.centre;
    now.shift = s.tones.shift;
    now.mark = s.tones.mark;
    now.space = s.tones.space;
    now.soundCard = s.soundCard;
    now.noSound = s.noSound;
    now.noiseDb = station_.SignalToNoise();
    now.fskShaping = s.fskShaping;
    now.cwTimer = station_.window.cwTimerCheck.Check() != 0;
    now.header = s.headerEnabled;
    now.diddle = s.diddle;
    now.repeat = s.repeat;
    now.netPort = s.mirror.port;
    now.address = s.mirror.address;
    // The keying device is the file's own: the station never changes it.
    now.ptt = kept_.ptt;
    now.txTimeoutMinutes = kept_.txTimeoutMinutes;
    return now;
}

void SettingsKeeper::Keep(std::string_view section, std::string_view key) {
    const auto value = Snapshot().Get(section, key);
    // A value the file could not read back (a tone of 0 Hz) is not kept.
    const std::string reason = value ? kept_.Set(section, key, *value) : std::string(key) + " has no value";
    if (!reason.empty()) station_.log.LogEvent("Kept settings : not kept: " + reason);
}

void SettingsKeeper::Changed(KeptSetting setting) {
    const Mode mode = station_.settings.mode;
    switch (setting) {
        case KeptSetting::kMode:
            // Every mode but CW fills the tone fields afresh.
            if (mode != Mode::Cw) kept_.ForgetTones();
            Keep("signal", "mode");
            break;
        case KeptSetting::kBaud:
            // In PSK31 the speed buttons choose the frequency, and the tone fields follow it.
            if (mode == Mode::Psk31) kept_.ForgetTones();
            Keep("signal", mode == Mode::Psk31 ? "psk31_frequency" : "baud");
            break;
        case KeptSetting::kToneEntry: Keep("tones", "entry"); break;
        case KeptSetting::kCentre: Keep("tones", "centre"); break;
        case KeptSetting::kShift: Keep("tones", "shift"); break;
        case KeptSetting::kMark: Keep("tones", "mark"); break;
        case KeptSetting::kSpace: Keep("tones", "space"); break;
        case KeptSetting::kSoundCard:
            // The list's "None" ticks No Sound, a card clears it.
            Keep("sound", "card");
            Keep("sound", "no_sound");
            break;
        case KeptSetting::kNoSound: Keep("sound", "no_sound"); break;
        case KeptSetting::kFskShaping: Keep("sound", "fsk_shaping"); break;
        case KeptSetting::kCwTimer: Keep("identification", "cw_timer"); break;
        case KeptSetting::kHeader: Keep("sending", "header"); break;
        case KeptSetting::kDiddle: Keep("sending", "diddle"); break;
        case KeptSetting::kRepeat: Keep("sending", "repeat"); break;
        case KeptSetting::kNetPort: Keep("mirror", "port"); break;
        case KeptSetting::kNetAddress: Keep("mirror", "address"); break;
    }
    Write();
}

void SettingsKeeper::Write() {
    const std::string text = kept_.Text();
    if (text == written_) return;
    // The old file stays whole until the new one is on the disk.
    std::string problem;
    if (ReplaceFile(path_, text, problem)) {
        written_ = text;
        return;
    }
    // The station runs on with the change; the next one tries the file again.
    const std::string message = "Kept settings : Cannot write " + path_ + ": " + problem;
    station_.view.ShowStatus(message);
    station_.log.LogEvent(message);
}

}  // namespace sked
