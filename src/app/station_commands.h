// The one command surface of the station: every button, check box, list and
// field the operator can act on, as one call each. The console and the
// window call these and nothing deeper; the schedule's "$" commands press
// the same controls through them.
#pragma once

#include <functional>
#include <string>

#include "scheduler/command_interpreter.h"

namespace sked {

class Station;

// The tone fields.
enum class ToneField { kCentre, kShift, kMark, kSpace };

// The settings the operator's changes keep for the next start (skedcast.conf).
enum class KeptSetting {
    kMode, kBaud, kToneEntry, kCentre, kShift, kMark, kSpace, kSoundCard, kNoSound, kFskShaping,
    kCwTimer, kHeader, kDiddle, kRepeat, kNetPort, kNetAddress
};

class StationCommands : public CommandTarget {
public:
    // The composition is sent from this file, rewritten at every Send.
    static constexpr const char* kCompositionFile = "EditDisplayTemp.txt";

    explicit StationCommands(Station& station) : s_(station) {}

    // Told after the operator changed a kept setting, by whichever front end;
    // not when a "$" command of the schedule pressed the same control.
    std::function<void(KeptSetting)> keptSettingChanged;

    // The scheduler and the transmission under way
    void Enable();
    void Disable();
    void SendNow();
    void Pause();
    void Resume();
    void Cancel();

    // The queue
    void Reload() override;
    // Removes entry `index` (the selected one); nothing when out of range.
    void DeleteEntry(int index);
    // Adds `text` (a file name or a "$" command line) before entry `before`
    // (the selected one; -1 when none is selected: at the top), timed 10 s
    // before that entry. An empty text refreshes the file list.
    void FileAdd(const std::string& text, int before);
    // Double-click on an entry: its file in the display.
    void ShowEntry(int index);

    // The file list and the display
    void RefreshFileList();
    void FileSelected(const std::string& item);
    // Shows data/<name> (or a log file, log/...) in the display; false when
    // it cannot be shown. A "$" command shows nothing and counts as shown.
    bool PrintFile(const std::string& name);
    // Enter in the file name field: show that file; false (with a beep) when it cannot be shown.
    bool ViewFile(const std::string& name);
    // Enter elsewhere: show the file list's text and add it to the queue.
    bool ViewAndAdd(const std::string& text, int before);
    void ViewLog();
    void SetDisplayText(const std::string& text);
    void SetFileName(const std::string& name);
    void EditClicked(int state);
    // The margin slider released at `position` (the right margin is 500 minus it).
    void MarginChanged(int position);
    void Compose();
    void SendCompose();
    void Save();
    void Repeat(bool on);
    void Header(bool on);
    void Diddle(bool on);

    // Test transmissions
    void Ry();
    void Fox();

    // Mode, speed and tones
    void Mode(sked::Mode mode);
    void Baud(int index);
    void ModeGroupClicked();
    void ToneEntryStyle(bool centreAndShift);
    void SetTone(ToneField field, const std::string& text);
    // "None", "-1 Auto" or "1".."4".
    void SoundCard(const std::string& item);
    void NoSound(bool on);

    // The TCP mirror: port "OFF" or "1".."16", address, authentication text.
    void NetPort(const std::string& item);
    void NetAddress(const std::string& address);
    void Authentication(const std::string& text);

    // Identification, power and the transmitter
    void CwTimer(bool on);
    // Raised-cosine frequency transitions in the AFSK audio.
    void FskShaping(bool on);
    void SendCwid();
    void Power(bool on) override;
    // Switched on this way the transmitter stays keyed until released;
    // switched off during a transmission, the transmission is cancelled
    // rather than sent on unkeyed.
    void TransmitterOn() override;
    void TransmitterOff() override;

    void Editor();
    void About();
    // Ends the station through its shut-down sequence.
    void Quit();

    // What the schedule's "$" commands press.
    void PressMode(sked::Mode mode) override {
        FromSchedule scope(*this);
        Mode(mode);
    }
    void PressBaud(int index) override {
        FromSchedule scope(*this);
        Baud(index);
    }
    void StorePskFrequency(float hertz) override;
    void ShowPskFrequency(float hertz) override;
    void ShowFskCentre(float hertz) override;
    void SendIdentification() override;
    void SetCwTimer(bool on) override {
        FromSchedule scope(*this);
        CwTimer(on);
    }
    void DisableAndRelease() override;
    void SetKeyLine(KeyLine line) override;
    void ChangePort(int number) override;
    void SetRigFrequency(const std::string& kilohertz) override;
    // The rig's frequency in kHz (rig control only): "" when taken, else why not (logged).
    std::string RigFrequency(const std::string& kilohertz);
    void SetHeader(bool on) override {
        FromSchedule scope(*this);
        Header(on);
    }
    void SetDiddle(bool on) override {
        FromSchedule scope(*this);
        Diddle(on);
    }

private:
    // $RTS, $DTR and $COMn steer the serial keying line: with another keying device they are logged as not applying.
    bool KeyedBySerialLine(const std::string& command);
    // While one lives, the controls are pressed by the schedule, not the operator.
    struct FromSchedule {
        explicit FromSchedule(StationCommands& commands) : c(commands) { ++c.fromSchedule_; }
        ~FromSchedule() { --c.fromSchedule_; }
        FromSchedule(const FromSchedule&) = delete;
        FromSchedule& operator=(const FromSchedule&) = delete;
        StationCommands& c;
    };
    void Kept(KeptSetting setting) {
        if (fromSchedule_ == 0 && keptSettingChanged) keptSettingChanged(setting);
    }

    // Writes `text` to data/<name>, replacing the file whole; false (after a
    // log line naming the file and the reason) when it cannot.
    bool SaveText(const std::string& name, const std::string& text);
    // The RY and Fox tests and the composition: key, 3 s idle, the file
    // (again while Repeat is ticked), 3 s idle unless cancelled, release, and
    // the result in the log.
    void SendFramed(const std::string& name, std::function<void()> after = {});

    Station& s_;
    int fromSchedule_ = 0;
};

}  // namespace sked
