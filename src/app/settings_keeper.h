// Brings the station up with the operator's kept settings (skedcast.conf) and
// keeps the file in step with the operator's own changes, whichever front end
// they come from. What the schedule's "$" commands and the command-line
// options set holds for the run only and is never written.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "app/kept_settings.h"
#include "app/station.h"

namespace sked {

class SettingsKeeper {
public:
    explicit SettingsKeeper(Station& station, std::string path = KeptSettings::kFile);
    ~SettingsKeeper();
    SettingsKeeper(const SettingsKeeper&) = delete;
    SettingsKeeper& operator=(const SettingsKeeper&) = delete;

    // After the station's start-up: reads the file and presses what it keeps
    // through the station's commands, as the operator would (the noise floor
    // only when no option gave it: `noiseGiven`); nothing is written. The
    // operator's changes are kept from the loop's first turn on, after the
    // options given on the command line. False, with a box and a log line
    // naming the file, the line and the reason, when the file does not read.
    bool ApplyAtStart(bool noiseGiven);

    const KeptSettings& kept() const { return kept_; }

private:
    void Apply(bool noiseGiven);
    // Every setting as the station has it now.
    KeptSettings Snapshot() const;
    // The operator changed `setting`: its keys take the station's values and the file is written.
    void Changed(KeptSetting setting);
    void Keep(std::string_view section, std::string_view key);
    void Write();

    Station& station_;
    std::string path_;
    KeptSettings kept_;
    std::string written_;  // the file's text as last read or written
    // The posted call that starts the listening runs only while this keeper lives.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace sked
