#include "app/station_commands.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "app/station.h"
#include "platform/directory.h"
#include "platform/text_format.h"
#include "transmit/data_file_name.h"

namespace sked {

namespace {
// FileAdd times a new entry this long before the selected one (or from now).
constexpr std::time_t kFileAddLead = 10;
// The log viewer keeps the last lines in view.
constexpr int kLogLinesInView = 12;
// A name, the file list's edit text and the display are read up to these.
constexpr std::size_t kNameChars = 254;
constexpr std::size_t kFileNameFieldChars = 253;
constexpr std::size_t kDisplayChars = 31999;
// The file list orders files by a key made from their last write (newest first).
constexpr long kFileListKeyBase = 50000000L;
constexpr int kHighWordShift = 32;
}  // namespace

// ---- The scheduler and the transmission under way ----

void StationCommands::Enable() { s_.dispatcher.CmEnable(); }

void StationCommands::Disable() { s_.dispatcher.CmDisable(); }

void StationCommands::SendNow() {
    StationState& state = s_.state;
    if (!state.idle || !state.autoSendEnabled) return;
    state.sendNow = true;
    state.cancelRequested = false;
    s_.view.ShowFlow("");
    state.running = true;
    s_.log.LogEvent("CmSendNow : Manual Enabling of next in queue.");
}

void StationCommands::Pause() {
    if (!s_.state.sending) return;
    s_.view.ShowFlow("PAUSE");
    s_.state.running = false;
    s_.log.LogEvent("CmPause : Session PAUSED");
}

void StationCommands::Resume() {
    if (!s_.state.sending) return;
    s_.view.ShowFlow("RESUME");
    s_.state.running = true;
    s_.log.LogEvent("CmResume : Session RESUMED");
}

void StationCommands::Cancel() {
    StationState& state = s_.state;
    if (!state.sending) return;
    if (state.mode == kPsk31) s_.psk.StopAtOnce();
    else s_.transmitter.CmRX();
    s_.dispatcher.CmDisable();
    s_.view.ShowFlow("CANCEL");
    state.cancelRequested = true;
    state.sendNow = false;
    s_.log.LogEvent("CmCancel : Session CANCELED");
    s_.view.UpdateDisplayMode();
}

// ---- The queue ----

void StationCommands::Reload() { s_.loader.GetSchedule(); }

void StationCommands::DeleteEntry(int index) { s_.queue.Remove(index); }

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
        std::string refused = Format("FileAdd : Refused <%s>: not a file of the data folder.", text.c_str());
        s_.view.ShowStatus(refused);
        s_.log.LogEvent(refused);
        return;
    }
    TransmitQueue& queue = s_.queue;
    const int position = std::clamp(before, 0, queue.Count());
    std::time_t when = s_.loop.clock().Time() + kFileAddLead;
    if (position < queue.Count()) {
        std::time_t entry = queue.At(position).due;
        if (entry > 0 && entry - kFileAddLead >= 0) when = entry - kFileAddLead;
    }
    std::tm t = LocalTime(when);
    queue.Insert(position, Format("%02d/%02d/%4d %02d:%02d:%02d %s", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900,
                                  t.tm_hour, t.tm_min, t.tm_sec, text.c_str()));
    s_.window.fileCombo.SetEditText("");
}

void StationCommands::ShowEntry(int index) {
    if (index < 0 || index >= s_.queue.Count()) return;
    const QueueEntry& entry = s_.queue.At(index);
    if (entry.words < 3 || entry.name[0] == '$') return;
    s_.files.PrintFile(entry.name);
}

// ---- The file list and the display ----

void StationCommands::RefreshFileList() {
    ComboBoxControl& combo = s_.window.fileCombo;
    combo.ResetContent();
    for (const DirectoryEntry& entry : ListDirectory("data")) {
        if (entry.name.empty() || entry.name[0] == '.') continue;
        // Newest first: the sorted list orders these keys as text, all of one length.
        long key = kFileListKeyBase - static_cast<long>(entry.lastWrite >> kHighWordShift);
        combo.AddString(Format("%ld %s", key, entry.name.c_str()));
    }
    std::vector<std::string> names;
    for (const std::string& item : combo.Items()) {
        std::string name = item.substr(item.find(' ') + 1);
        names.push_back(name.substr(0, name.find(' ')));
    }
    combo.ResetContent();
    for (const std::string& name : names) combo.InsertString(-1, name);
    const auto help = CommandInterpreter::HelpTable(s_.state.idText);
    for (std::size_t i = 0; i < kHelpLinesInFileList && i < help.size(); ++i) combo.InsertString(-1, help[i]);
}

void StationCommands::FileSelected(const std::string& item) {
    if (item.empty()) return;
    MainWindow& w = s_.window;
    w.editCheck.SetCheck(kDisplayReadOnly);
    s_.view.UpdateDisplayMode();
    w.displayBox.SetMargins(0, WindowView::kDefaultMargin);
    s_.files.PrintFile(item);
}

bool StationCommands::ViewFile(const std::string& name) {
    if (s_.files.PrintFile(name.substr(0, kNameChars))) return true;
    s_.boxes.Beep();
    return false;
}

bool StationCommands::ViewAndAdd(const std::string& text, int before) {
    if (!s_.files.PrintFile(text.substr(0, kNameChars))) {
        s_.boxes.Beep();
        return false;
    }
    FileAdd(text, before);
    return true;
}

void StationCommands::ViewLog() {
    EditControl& display = s_.window.displayBox;
    s_.files.PrintFile(s_.log.TodaysFileName());
    int lines = display.LineCount();
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
    w.displayBox.SetSoftBreaks(false);
}

void StationCommands::Compose() {
    if (!s_.state.idle) return;
    s_.files.PrintFile("compose.txt");
    s_.window.editCheck.SetCheck(kDisplayEditable);
    s_.view.UpdateDisplayMode();
}

void StationCommands::SendCompose() {
    StationState& state = s_.state;
    MainWindow& w = s_.window;
    // A second press during the key-up and pre-roll (idle is still set) is refused.
    if (!state.idle || state.sending) return;
    s_.dispatcher.CmDisable();
    const std::string text = w.displayBox.Text(kDisplayChars);
    w.displayBox.SetReadOnly(true);
    w.editCheck.SetCheck(kDisplayLocked);
    s_.view.UpdateDisplayMode();
    if (!s_.files.SendComposition(text)) return;
    w.editCheck.SetCheck(kDisplayReadOnly);
}

void StationCommands::Save() {
    MainWindow& w = s_.window;
    if (w.editCheck.Check() == kDisplayReadOnly) return;
    w.displayBox.SetSoftBreaks(true);
    s_.files.SaveText(w.fileNameField.Text(kFileNameFieldChars), w.displayBox.Text(kDisplayChars));
}

void StationCommands::Repeat(bool on) {
    s_.window.repeatCheck.SetCheck(on ? 1 : 0);
    s_.state.repeat = on;
}

void StationCommands::Header(bool on) {
    s_.window.headerCheck.SetCheck(on ? 1 : 0);
    s_.state.headerEnabled = on;
}

void StationCommands::Diddle(bool on) {
    s_.window.diddleCheck.SetCheck(on ? 1 : 0);
    s_.state.diddle = on;
}

// ---- Test transmissions ----

void StationCommands::Ry() {
    StationState& state = s_.state;
    if (!state.idle || state.sending || state.mode == kCw) return;
    s_.log.LogEvent("CmRYRYRYRY : Sending <RYRYRYRY.txt> file.");
    s_.dispatcher.CmDisable();
    s_.files.SendTestFile("RYRYRYRY.txt");
}

void StationCommands::Fox() {
    StationState& state = s_.state;
    if (!state.idle || state.sending || state.mode == kCw) return;
    s_.dispatcher.CmDisable();
    s_.files.SendTestFile("thefox.txt");
}

// ---- Mode, speed and tones ----

void StationCommands::Mode(int mode) { s_.modes.ModeClicked(mode); }

void StationCommands::Baud(int index) {
    if (index >= 0 && index < ModeControls::kBaudButtons) s_.modes.BaudClicked(index);
}

void StationCommands::ModeGroupClicked() { s_.view.ShowStatus("Mode Clicked"); }

void StationCommands::ToneEntryStyle(bool centreAndShift) { s_.modes.EntryStyleClicked(centreAndShift); }

void StationCommands::SetTone(ToneField field, const std::string& text) {
    ToneFields& tones = s_.state.tones;
    switch (field) {
        case ToneField::kCentre: tones.centre = text; break;
        case ToneField::kShift: tones.shift = text; break;
        case ToneField::kMark: tones.mark = text; break;
        case ToneField::kSpace: tones.space = text; break;
    }
    s_.view.ShowTones();
}

namespace {

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

void StationCommands::SoundCard(const std::string& item) {
    ComboBoxControl& combo = s_.window.soundCardCombo;
    if (!SelectListItem(combo, item)) combo.SetEditText(item);
    s_.modes.SoundCardChanged(item);
}

void StationCommands::NoSound(bool on) { s_.modes.NoSoundClicked(on); }

// ---- The TCP mirror ----

void StationCommands::NetPort(const std::string& item) {
    ComboBoxControl& combo = s_.window.netPortCombo;
    SelectListItem(combo, item);
    // "OFF" reads as 0: no mirror.
    s_.state.netPort = std::atoi(item.c_str());
}

void StationCommands::NetAddress(const std::string& address) {
    s_.window.addressField.SetText(address);
    s_.state.netAddress = address;
}

void StationCommands::Authentication(const std::string& text) {
    s_.window.authField.SetText(text);
    s_.state.authentication = text;
}

// ---- Identification, power and the transmitter ----

void StationCommands::CwTimer(bool on) {
    s_.window.cwTimerCheck.SetCheck(on ? 1 : 0);
    s_.cwid.CwTimerChanged(on);
}

void StationCommands::SendCwid() { s_.cwid.SendCwidClicked(); }

void StationCommands::SendIdentification() { s_.cwid.Cwid(s_.state.idText); }

void StationCommands::Power(bool on) {
    // Power on goes through the transmitter's off sequence, as it always has;
    // dropping the power releases the key too, whoever keyed it.
    if (s_.state.transmitterOn) TransmitterOff();
    if (on) {
        s_.uart.PowerLineOn();
    } else {
        s_.uart.PowerLineOff();
        s_.log.LogEvent("CmPowerOFF : Power turned OFF");
    }
    s_.window.powerCheck.SetCheck(on ? 1 : 0);
}

void StationCommands::TransmitterOn() {
    StationState& state = s_.state;
    s_.transmitter.CmTX();
    // A transmission under way keeps the key as its own; otherwise the key
    // stays down until it is released.
    if (state.transmitterOn && !state.sending) {
        state.keyedOnRequest = true;
        state.keyHeldForNext = false;
    }
}

void StationCommands::TransmitterOff() {
    if (s_.state.sending) Cancel();
    s_.transmitter.CmRX();
}

void StationCommands::Editor() { s_.OpenEditor(); }

void StationCommands::About() { s_.ShowAbout(); }

void StationCommands::Quit() { s_.RequestShutdown(); }

// ---- What only the schedule's "$" commands do ----

void StationCommands::StorePskFrequency(float hertz) { s_.state.pskFrequency = hertz; }

void StationCommands::ShowPskFrequency(float hertz) {
    s_.state.pskFrequency = hertz;
    SetTone(ToneField::kCentre, Format("%10.3f", static_cast<double>(hertz)));
}

void StationCommands::ShowFskCentre(float hertz) {
    s_.state.fskCentre = hertz;
    SetTone(ToneField::kCentre, Format("%10.3f", static_cast<double>(hertz)));
}

void StationCommands::DisableAndRelease() {
    Disable();
    s_.transmitter.CmRX();
}

void StationCommands::SetKeyLine(int line) {
    StationState& state = s_.state;
    if (state.keyLine == line && state.powerLine != line) return;
    // Released on the line that keyed it; the other line becomes the power
    // line, so that switching the power on never keys the transmitter.
    TransmitterOff();
    s_.uart.SetLines(line, line == kDtrLine ? kRtsLine : kDtrLine);
}

void StationCommands::ChangePort(int number) {
    StationState& state = s_.state;
    if (PortBase(number) == 0) {
        s_.view.ShowStatus("Error: Invalid Port ID");
        return;
    }
    // Released on the port that keyed it, before the station moves on.
    TransmitterOff();
    state.portBase = PortBase(number);
    s_.view.ShowPort(PortName(number));
    s_.uart.ProgramUart(state.portBase, state.baud, 0, state.wordLength, uart::kLcrStopBits);
    s_.log.LogEvent(Format("ComPort Changed to %s", PortName(number)));
    s_.view.ShowStatus(Format("SetupWindow : COM%d set to 0x%X.", number, state.portBase));
}

}  // namespace sked
