#include "app/operator_controls.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "app/scheduler_dlg.h"
#include "platform/directory.h"
#include "platform/text_format.h"
#include "scheduler/command_interpreter.h"
#include "scheduler/schedule_loader.h"
#include "transmit/data_file_name.h"
#include "transmit/file_sender.h"
#include "transmit/psk_modem.h"
#include "transmit/transmitter_switch.h"
#include "transmit/uart.h"

namespace sked {

void OperatorControls::CmEnable() {
    StationSettings& s = Settings();
    dlg_.w.autoSendField.SetText("ENABLE");
    dlg_.w.flowField.SetText("");
    s.autoSendEnabled = 1;
    s.cancelRequested = 0;
    dlg_.log.LogEvent("CmEnable : Scheduler ENABLED");
}

void OperatorControls::CmDisable() {
    StationSettings& s = Settings();
    dlg_.w.autoSendField.SetText("DISABLED");
    dlg_.w.countdownField.SetText("");
    s.autoSendEnabled = 0;
    s.sendNow = 0;
    dlg_.log.LogEvent("CmDisable : Scheduler DISABLED");
}

void OperatorControls::CmPause() {
    if (Settings().sending != 1) return;
    dlg_.w.flowField.SetText("PAUSE");
    Settings().running = 0;
    dlg_.log.LogEvent("CmPause : Session PAUSED");
}

void OperatorControls::CmResume() {
    if (Settings().sending != 1) return;
    dlg_.w.flowField.SetText("RESUME");
    Settings().running = 1;
    dlg_.log.LogEvent("CmResume : Session RESUMED");
}

void OperatorControls::CmCancel() {
    StationSettings& s = Settings();
    if (s.sending != 1) return;
    if (s.mode == kPsk31) dlg_.psk->Abort();
    else dlg_.transmitter->CmRX();
    CmDisable();
    dlg_.w.flowField.SetText("CANCEL");
    s.cancelRequested = 1;
    s.sendNow = 0;
    dlg_.log.LogEvent("CmCancel : Session CANCELED");
    dlg_.files->UpdateDisplayMode();
}

void OperatorControls::CmSendNow() {
    StationSettings& s = Settings();
    if (s.idle != 1 || s.autoSendEnabled != 1) return;
    s.sendNow = 1;
    s.cancelRequested = 0;
    dlg_.w.flowField.SetText("");
    s.running = 1;
    dlg_.log.LogEvent("CmSendNow : Manual Enabling of next in queue.");
}

void OperatorControls::TransmitterOnClicked() {
    StationSettings& s = Settings();
    dlg_.transmitter->CmTX();
    // A transmission under way keeps the key as its own; otherwise the key
    // stays down until it is released.
    if (s.transmitterOn == 1 && s.sending == 0) {
        s.keyedOnRequest = true;
        s.keyHeldForNext = false;
    }
}

void OperatorControls::TransmitterOffClicked() {
    if (Settings().sending == 1) CmCancel();
    dlg_.transmitter->CmRX();
}

void OperatorControls::DeleteSelected() {
    ListBoxControl& list = dlg_.w.scheduleList;
    if (list.CurSel() >= 0) list.DeleteString(list.CurSel());
}

void OperatorControls::FileAdd() {
    MainWindow& w = dlg_.w;
    std::string text = w.fileCombo.EditText(254);
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
        w.statusLine.SetText(refused);
        dlg_.log.LogEvent(refused);
        return;
    }
    int position = std::max(0, w.scheduleList.CurSel());
    std::time_t now = dlg_.loop.clock().Time();
    std::time_t when = now + 10;
    if (position < w.scheduleList.Count()) {
        std::time_t entry = ScheduleLoader::EntryTime(w.scheduleList.Item(position));
        if (entry > 0 && entry - 10 >= 0) when = entry - 10;
    }
    std::tm t = LocalTime(when);
    w.scheduleList.InsertString(position, Format("%02d/%02d/%4d %02d:%02d:%02d %s", t.tm_mon + 1, t.tm_mday,
                                                 t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec, text.c_str()));
    w.fileCombo.SetEditText("");
}

void OperatorControls::RefreshFileList() {
    ComboBoxControl& combo = dlg_.w.fileCombo;
    combo.ResetContent();
    for (const DirectoryEntry& entry : ListDirectory("data")) {
        if (entry.name.empty() || entry.name[0] == '.') continue;
        // Newest first: the sorted list orders these keys as text, all of one length.
        long key = 50000000L - static_cast<long>(entry.lastWrite >> 32);
        combo.AddString(Format("%ld %s", key, entry.name.c_str()));
    }
    std::vector<std::string> names;
    for (const std::string& item : combo.Items()) {
        std::string name = item.substr(item.find(' ') + 1);
        names.push_back(name.substr(0, name.find(' ')));
    }
    combo.ResetContent();
    for (const std::string& name : names) combo.InsertString(-1, name);
    const auto& help = CommandInterpreter::HelpTable();
    for (std::size_t i = 0; i < kHelpLinesInFileList && i < help.size(); ++i) combo.InsertString(-1, help[i]);
}

void OperatorControls::FileSelected() {
    MainWindow& w = dlg_.w;
    int index = w.fileCombo.CurSel();
    if (index < 0) return;
    std::string item = w.fileCombo.Item(index);
    if (item.empty()) return;
    w.editCheck.SetCheck(0);
    dlg_.files->UpdateDisplayMode();
    w.displayBox.SetMargins(0, 75);
    dlg_.files->PrintFile(item);
}

void OperatorControls::Fox() {
    if (Settings().idle != 1 || Settings().sending == 1 || Settings().mode == kCw) return;
    dlg_.files->SendTestFile("thefox.txt");
}

void OperatorControls::ViewLog() {
    MainWindow& w = dlg_.w;
    dlg_.files->PrintFile(dlg_.log.TodaysFileName());
    int lines = w.displayBox.LineCount();
    if (lines > 12) w.displayBox.ScrollLines(lines - 12);
}

void OperatorControls::Editor() { dlg_.OpenEditor(); }

void OperatorControls::PowerClicked() {
    if (dlg_.w.powerCheck.Check()) dlg_.uart->CmPowerON();
    else dlg_.uart->CmPowerOFF();
}

void OperatorControls::ModeGroupClicked() { dlg_.w.statusLine.SetText("Mode Clicked"); }

}  // namespace sked
