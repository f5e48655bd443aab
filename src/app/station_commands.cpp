#include "app/station_commands.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "app/station.h"
#include "app/wrapped_text.h"
#include "scheduler/timetable.h"
#include "platform/atomic_file.h"
#include "platform/directory.h"
#include "platform/text_format.h"
#include "scheduler/schedule_commands.h"
#include "transmit/data_file_name.h"
#include "transmit/data_files.h"

namespace sked {

namespace {
// FileAdd times a new entry this long before the selected one (or from now).
constexpr std::time_t kFileAddLead = 10;
// The log viewer keeps the last lines in view.
constexpr int kLogLinesInView = 12;
// A name, the file list's edit text, the fields and the display are read up to these.
constexpr std::size_t kNameChars = 254;
constexpr std::size_t kFileNameFieldChars = 253;
constexpr std::size_t kFieldChars = 29;
constexpr std::size_t kDisplayChars = 31999;
// Seconds of idle fill before and after a test text or a composition.
constexpr int kTestIdleSeconds = 3;

// Selects the list's item `item`, or the one it begins with followed by a
// blank: "1" picks "1 USB Audio CODEC". False when there is none.
bool SelectListItem(ComboBoxControl& combo, const std::string& item) {
    const auto& items = combo.Items();
    const auto it = std::find_if(items.begin(), items.end(), [&item](const std::string& listed) {
        return listed == item || listed.starts_with(item + " ");
    });
    if (it == items.end()) return false;
    combo.SetCurSel(static_cast<int>(it - items.begin()));
    return true;
}
}  // namespace

// ---- The scheduler and the transmission under way ----

void StationCommands::Enable() { s_.dispatcher.Enable(); }

void StationCommands::Disable() { s_.dispatcher.Disable(); }

void StationCommands::SendNow() {
    // The window offers Send >> only when it can act; a typed "send" is told why it did nothing.
    if (!s_.scheduler.autoSendEnabled) return s_.view.ShowStatus("Send >> : the scheduler is DISABLED.");
    if (s_.transmission.Busy()) return s_.view.ShowStatus("Send >> : a transmission is under way.");
    s_.dispatcher.SendNow();
}

void StationCommands::Pause() {
    if (!s_.transmission.Busy()) return;
    s_.view.ShowFlow(Flow::Pause);
    s_.transmission.Pause();
    s_.log.LogEvent("CmPause : Session PAUSED");
}

void StationCommands::Resume() {
    if (!s_.transmission.Busy()) return;
    s_.view.ShowFlow(Flow::Resume);
    s_.transmission.Resume();
    s_.log.LogEvent("CmResume : Session RESUMED");
}

void StationCommands::Cancel() {
    if (!s_.transmission.Busy()) return;
    // The PSK31 carrier goes off at once; on the line the character under
    // way goes out whole before the key drops.
    if (s_.settings.mode == Mode::Psk31) s_.psk.StopAtOnce();
    s_.transmission.Cancel();
    s_.dispatcher.Disable();
    s_.view.ShowFlow(Flow::Cancel);
    s_.log.LogEvent("CmCancel : Session CANCELED");
    s_.view.UpdateDisplayMode();
}

// ---- The queue ----

void StationCommands::Reload() {
    s_.view.ShowFlow(Flow::None);
    s_.loader.GetSchedule();
}

void StationCommands::DeleteEntry(int index) {
    if (index < 0 || index >= s_.queue.Count()) return;
    // An occurrence deleted is skipped: the next one takes its place.
    const QueueEntry deleted = s_.queue.At(index);
    s_.queue.Remove(index);
    QueueNextOccurrence(s_.queue, deleted, s_.loop.clock().Time(), s_.settings, DataFileSizeOnDisk);
}

void StationCommands::FileAdd(const std::string& typed, int before) {
    const std::string text = typed.substr(0, kNameChars);
    if (text.empty()) {
        RefreshFileList();
        return;
    }
    // The name is what the queue will send: only files of data/ (or commands).
    std::istringstream words(text);
    std::string name;
    words >> name;
    if (name.empty() || (name[0] != '$' && !IsDataFileName(name))) {
        const std::string refused = Format("FileAdd : Refused <%s>: not a file of the data folder.", text.c_str());
        s_.view.ShowStatus(refused);
        s_.log.LogEvent(refused);
        return;
    }
    TransmitQueue& queue = s_.queue;
    const int position = std::clamp(before, 0, queue.Count());
    std::time_t when = s_.loop.clock().Time() + kFileAddLead;
    if (position < queue.Count()) {
        const std::time_t entry = queue.At(position).due;
        if (entry - kFileAddLead >= 0) when = entry - kFileAddLead;
    }
    queue.Insert(position, QueueEntry{QueueLine(when, text), when, name, nullptr});
    s_.window.fileCombo.SetEditText("");
}

void StationCommands::ShowEntry(int index) {
    if (index < 0 || index >= s_.queue.Count()) return;
    const QueueEntry& entry = s_.queue.At(index);
    if (!entry.IsCommand()) PrintFile(entry.name);
}

// ---- The file list and the display ----

void StationCommands::RefreshFileList() {
    ComboBoxControl& combo = s_.window.fileCombo;
    combo.ResetContent();
    std::vector<DirectoryEntry> files = ListDirectory("data");
    SortNewestFirst(files);
    for (const DirectoryEntry& entry : files)
        if (!entry.name.empty() && entry.name[0] != '.') combo.InsertString(-1, entry.name);
    const auto help = ScheduleHelpLines(s_.settings.IdText());
    for (std::size_t i = 0; i < kHelpLinesInFileList && i < help.size(); ++i) combo.InsertString(-1, help[i]);
}

void StationCommands::FileSelected(const std::string& item) {
    if (item.empty()) return;
    MainWindow& w = s_.window;
    w.editCheck.SetCheck(kDisplayReadOnly);
    s_.view.UpdateDisplayMode();
    w.displayBox.SetMargins(0, WindowView::kDefaultMargin);
    PrintFile(item);
}

bool StationCommands::PrintFile(const std::string& name) {
    if (!name.empty() && name[0] == '$') return true;
    // Log files are shown from the log folder; everything else from data/,
    // and nothing from anywhere else.
    const bool logFile = name.rfind("log/", 0) == 0;
    const std::string path = logFile ? name : "data/" + name;
    StationView& view = s_.view;
    // The display of a transmission under way stays: what would replace it
    // goes to the status line.
    const bool sending = s_.transmission.Busy();
    auto refuse = [&](const std::string& message) {
        if (sending) view.ShowStatus(message);
        else view.ShowDisplayMessage(message);
        s_.log.LogEvent(message);
        return false;
    };
    if (!IsDataFileName(name))
        return refuse(Format("[PrintFile :Refused %s: not a file of the data folder.]", name.c_str()));
    std::string text;
    if (!ReadText(path, text)) {
        if (!sending) view.ShowFile(name, "");
        return refuse(Format("[PrintFile :Cannot open %s input file.]", path.c_str()));
    }
    if (sending) {
        view.ShowStatus(Format("PrintFile : <%s> not shown while a transmission is under way.", name.c_str()));
        return true;
    }
    if (s_.settings.mode != Mode::Ascii)
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    view.ShowFile(name, text);
    return true;
}

bool StationCommands::ViewFile(const std::string& name) {
    if (PrintFile(name.substr(0, kNameChars))) return true;
    s_.boxes.Beep();
    return false;
}

bool StationCommands::ViewAndAdd(const std::string& text, int before) {
    if (!PrintFile(text.substr(0, kNameChars))) {
        s_.boxes.Beep();
        return false;
    }
    FileAdd(text, before);
    return true;
}

void StationCommands::ViewLog() {
    EditControl& display = s_.window.displayBox;
    // During a transmission the display stays on the text going out, where it is.
    if (!PrintFile(s_.log.TodaysFileName()) || s_.transmission.Busy()) return;
    const int lines = display.LineCount();
    if (lines > kLogLinesInView) display.ScrollLines(lines - kLogLinesInView);
}

void StationCommands::SetDisplayText(const std::string& text) { s_.window.displayBox.SetText(text); }

void StationCommands::SetFileName(const std::string& name) { s_.window.fileNameField.SetText(name); }

void StationCommands::EditClicked(int state) {
    s_.window.editCheck.SetCheck(state);
    s_.view.UpdateDisplayMode();
}

void StationCommands::MarginChanged(int position) {
    MainWindow& w = s_.window;
    w.marginSlider.SetPos(position);
    if (w.editCheck.Check() == kDisplayReadOnly) return;
    w.displayBox.SetMargins(0, WindowView::kSliderRange - w.marginSlider.Pos());
}

void StationCommands::Compose() {
    if (s_.transmission.Busy()) return;
    PrintFile("compose.txt");
    s_.window.editCheck.SetCheck(kDisplayEditable);
    s_.view.UpdateDisplayMode();
}

void StationCommands::SendFramed(const std::string& name, std::function<void()> after) {
    TransmissionPlan plan;
    plan.leadInSeconds = kTestIdleSeconds;
    plan.parts = {TextPart{name, true, std::nullopt}};
    plan.repeatLast = true;
    plan.tailSeconds = kTestIdleSeconds;
    plan.alwaysRelease = true;
    s_.transmission.Start(std::move(plan), {.keepKeyed = {},
                                            .done = [this, name, after](const TransmissionResult& result) {
                                                // The result, as for a scheduled file.
                                                s_.log.LogEvent(Format(result.whole ? "Completed sending <%s>."
                                                                                    : "ABORTED sending <%s>.",
                                                                       name.c_str()));
                                                if (after) after();
                                            }});
}

void StationCommands::SendCompose() {
    MainWindow& w = s_.window;
    if (s_.transmission.Busy()) return;
    s_.dispatcher.Disable();
    const std::string text = w.displayBox.Text(kDisplayChars);
    w.displayBox.SetReadOnly(true);
    w.editCheck.SetCheck(kDisplayLocked);
    s_.view.UpdateDisplayMode();
    if (!SaveText(kCompositionFile, text)) {
        s_.log.LogEvent("Cannot write EditDisplayTemp.txt file.");
        return;
    }
    s_.log.LogEvent(Format("CmSendCompose : Sending <%s> file.", kCompositionFile));
    // In CW the composition goes out in Morse after the Morse lead-in.
    SendFramed(kCompositionFile, [&w] { w.editCheck.SetCheck(kDisplayReadOnly); });
}

void StationCommands::Save() {
    MainWindow& w = s_.window;
    // The window offers Save only while the display is editable; a typed "save" is told why it did nothing.
    if (w.editCheck.Check() == kDisplayReadOnly) return s_.view.ShowStatus("Save : the display is read-only (Edit).");
    // A line end wherever the display wraps, as the editor's text pane saves.
    SaveText(w.fileNameField.Text(kFileNameFieldChars),
             WithLineBreaks(w.displayBox.Text(kDisplayChars), WrapColumns(w.displayBox)));
}

bool StationCommands::SaveText(const std::string& name, const std::string& text) {
    if (!IsDataFileName(name)) {
        s_.log.LogEvent(Format("CmEditSave : Refused <%s>: not a file of the data folder", name.c_str()));
        return false;
    }
    // The old text stays whole until the new one is on the disk.
    std::string problem;
    if (ReplaceFileBeneath(kDataFolderName, name, text, problem)) return true;
    const std::string message = Format("CmEditSave : Cannot write <%s> file: %s", name.c_str(), problem.c_str());
    s_.view.ShowStatus(message);
    s_.log.LogEvent(message);
    return false;
}

void StationCommands::Repeat(bool on) {
    s_.window.repeatCheck.SetCheck(on ? 1 : 0);
    s_.settings.repeat = on;
    Kept(KeptSetting::kRepeat);
}

void StationCommands::Header(bool on) {
    s_.window.headerCheck.SetCheck(on ? 1 : 0);
    s_.settings.headerEnabled = on;
    Kept(KeptSetting::kHeader);
}

void StationCommands::Diddle(bool on) {
    s_.window.diddleCheck.SetCheck(on ? 1 : 0);
    s_.settings.diddle = on;
    Kept(KeptSetting::kDiddle);
}

// ---- Test transmissions ----

void StationCommands::Ry() {
    if (s_.transmission.Busy() || s_.settings.mode == Mode::Cw) return;
    s_.log.LogEvent("CmRYRYRYRY : Sending <RYRYRYRY.txt> file.");
    s_.dispatcher.Disable();
    SendFramed("RYRYRYRY.txt");
}

void StationCommands::Fox() {
    if (s_.transmission.Busy() || s_.settings.mode == Mode::Cw) return;
    s_.dispatcher.Disable();
    SendFramed("thefox.txt");
}

// ---- Mode, speed and tones ----

void StationCommands::Mode(sked::Mode mode) {
    s_.modes.ModeClicked(mode);
    Kept(KeptSetting::kMode);
}

void StationCommands::Baud(int index) {
    if (index < 0 || index >= kBaudButtons) return;
    s_.modes.BaudClicked(index);
    Kept(KeptSetting::kBaud);
}

void StationCommands::ModeGroupClicked() { s_.view.ShowStatus("Mode Clicked"); }

void StationCommands::ToneEntryStyle(bool centreAndShift) {
    s_.modes.EntryStyleClicked(centreAndShift);
    Kept(KeptSetting::kToneEntry);
}

void StationCommands::SetTone(ToneField field, const std::string& text) {
    // The field's number, read as the fields always were: its first 29 characters.
    const double value = std::atof(text.substr(0, kFieldChars).c_str());
    ToneSettings& tones = s_.settings.tones;
    MainWindow& w = s_.window;
    switch (field) {
        case ToneField::kCentre: tones.centre = value, w.centreField.SetText(text); break;
        case ToneField::kShift: tones.shift = value, w.shiftField.SetText(text); break;
        case ToneField::kMark: tones.mark = value, w.markField.SetText(text); break;
        case ToneField::kSpace: tones.space = value, w.spaceField.SetText(text); break;
    }
    static constexpr KeptSetting kKept[] = {KeptSetting::kCentre, KeptSetting::kShift, KeptSetting::kMark,
                                            KeptSetting::kSpace};
    Kept(kKept[static_cast<int>(field)]);
}

void StationCommands::SoundCard(const std::string& item) {
    ComboBoxControl& combo = s_.window.soundCardCombo;
    if (!SelectListItem(combo, item)) combo.SetEditText(item);
    s_.modes.SoundCardChanged(item);
    Kept(KeptSetting::kSoundCard);
}

void StationCommands::NoSound(bool on) {
    s_.modes.NoSoundClicked(on);
    Kept(KeptSetting::kNoSound);
}

void StationCommands::FskShaping(bool on) {
    if (s_.settings.fskShaping != on) {
        s_.settings.fskShaping = on;
        s_.log.LogEvent(on ? "FSK shaping : on, from the next keying" : "FSK shaping : off, from the next keying");
    }
    Kept(KeptSetting::kFskShaping);
}

// ---- The TCP mirror ----

void StationCommands::NetPort(const std::string& item) {
    SelectListItem(s_.window.netPortCombo, item);
    // "OFF" reads as 0: no mirror.
    s_.settings.mirror.port = std::atoi(item.c_str());
    Kept(KeptSetting::kNetPort);
}

void StationCommands::NetAddress(const std::string& address) {
    s_.window.addressField.SetText(address);
    s_.settings.mirror.address = address;
    Kept(KeptSetting::kNetAddress);
}

void StationCommands::Authentication(const std::string& text) {
    s_.window.authField.SetText(text);
    s_.settings.mirror.authentication = text;
}

// ---- Identification, power and the transmitter ----

void StationCommands::CwTimer(bool on) {
    s_.window.cwTimerCheck.SetCheck(on ? 1 : 0);
    s_.cwid.CwTimerChanged(on);
    Kept(KeptSetting::kCwTimer);
}

void StationCommands::SendCwid() { s_.cwid.SendCwidClicked(); }

void StationCommands::SendIdentification() { s_.cwid.Cwid(); }

void StationCommands::Power(bool on) {
    // Power on goes through the transmitter's off sequence, as it always has;
    // dropping the power releases the key too, whoever keyed it.
    if (s_.transmitter.On()) TransmitterOff();
    s_.transmitter.Line().SetPower(on);
    if (!on) s_.log.LogEvent("CmPowerOFF : Power turned OFF");
    s_.window.powerCheck.SetCheck(on ? 1 : 0);
}

void StationCommands::TransmitterOn() {
    Transmitter& transmitter = s_.transmitter;
    transmitter.KeyTransmitter();
    // A transmission under way keeps the key as its own; otherwise the key
    // stays down until it is released.
    if (transmitter.On() && !s_.transmission.Busy()) {
        transmitter.keyedOnRequest = true;
        transmitter.keyHeldForNext = false;
    }
}

void StationCommands::TransmitterOff() {
    if (s_.transmission.Busy()) Cancel();
    s_.transmitter.ReleaseTransmitter();
}

void StationCommands::Editor() { s_.OpenEditor(); }

void StationCommands::About() { s_.ShowAbout(); }

void StationCommands::Quit() { s_.RequestShutdown(); }

// ---- What only the schedule's "$" commands do ----

void StationCommands::StorePskFrequency(float hertz) { s_.modes.PskPresetChosen(hertz); }

void StationCommands::ShowPskFrequency(float hertz) {
    s_.settings.pskFrequency = hertz;
    s_.settings.tones.centre = hertz;
    s_.view.ShowTones(s_.settings, ToneDisplay::Centre);
}

void StationCommands::ShowFskCentre(float hertz) {
    s_.settings.fskCentre = hertz;
    s_.settings.tones.centre = hertz;
    s_.view.ShowTones(s_.settings, ToneDisplay::Centre);
}

void StationCommands::DisableAndRelease() {
    Disable();
    s_.transmitter.ReleaseTransmitter();
}

bool StationCommands::KeyedBySerialLine(const std::string& command) {
    const KeyingDevice& keyer = s_.transmitter.Keyer();
    if (keyer.IsSerialLine()) return true;
    s_.log.LogEvent(Format("%s : does not apply: %s keys the transmitter", command.c_str(), keyer.Name().c_str()));
    return false;
}

void StationCommands::SetRigFrequency(const std::string& kilohertz) { RigFrequency(kilohertz); }

std::string StationCommands::RigFrequency(const std::string& kilohertz) {
    // 1 kHz to 500 GHz: a figure outside is a typing error, not a band.
    constexpr double kLowestKilohertz = 1, kHighestKilohertz = 5e8;
    char* end = nullptr;
    const double value = std::strtod(kilohertz.c_str(), &end);
    std::string why;
    if (kilohertz.empty() || *end != '\0' || !(value >= kLowestKilohertz && value <= kHighestKilohertz))
        why = "the frequency wants kHz, not \"" + kilohertz + "\"";
    else if (s_.transmitter.RequestFrequency(value * 1000, why)) return "";
    s_.log.LogEvent("Frequency : " + why);
    s_.view.ShowStatus("Frequency : " + why);
    return why;
}

void StationCommands::SetKeyLine(KeyLine line) {
    if (!KeyedBySerialLine(line == KeyLine::Rts ? "$RTS" : "$DTR")) return;
    if (s_.settings.keyLine == line) return;
    // Released on the line that keyed it; the other line becomes the power
    // line, so that switching the power on never keys the transmitter.
    TransmitterOff();
    s_.settings.keyLine = line;
    s_.transmitter.Line().AssignLines(line);
}

void StationCommands::ChangePort(int number) {
    if (!KeyedBySerialLine(Format("$COM%d", number))) return;
    StationSettings& settings = s_.settings;
    if (ComPortBase(number) == 0) {
        s_.view.ShowStatus("Error: Invalid Port ID");
        return;
    }
    // Released on the port that keyed it, before the station moves on.
    TransmitterOff();
    settings.portNumber = number;
    s_.view.ShowPort(number);
    SerialLine& line = s_.transmitter.Line();
    line.AssignLines(settings.keyLine);
    line.SetFormat(settings.Format());
    s_.log.LogEvent(Format("ComPort Changed to %s", ComPortName(number)));
    s_.view.ShowStatus(Format("SetupWindow : COM%d set to 0x%X.", number, unsigned{ComPortBase(number)}));
}

}  // namespace sked
