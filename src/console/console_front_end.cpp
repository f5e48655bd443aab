#include "console/console_front_end.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <sstream>

#include <poll.h>
#include <unistd.h>

#include "app/operator_controls.h"
#include "app/scheduler_dlg.h"
#include "scheduler/cw_identification.h"
#include "scheduler/schedule_loader.h"
#include "transmit/file_sender.h"
#include "transmit/transmitter_switch.h"

namespace sked {

namespace {
std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text) {
    auto b = text.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    auto e = text.find_last_not_of(" \t\r\n");
    return text.substr(b, e - b + 1);
}
}  // namespace

ConsoleFrontEnd::ConsoleFrontEnd(CSchedulerDlg& dlg, std::FILE* out) : dlg_(dlg), out_(out) {}

ConsoleFrontEnd::~ConsoleFrontEnd() {
    if (inputWatch_) dlg_.loop.RemoveWatch(inputWatch_);
}

const char* ConsoleFrontEnd::HelpText() {
    return "Commands (any case):\n"
           "  enable, disable        automatic sending on / off\n"
           "  pause, resume, cancel  the transmission under way\n"
           "  send                   send the head of the queue at the next tick (Send >>)\n"
           "  delete N               remove entry N of the queue (1 = head)\n"
           "  reload                 reload data/schedule.lst\n"
           "  add TEXT               put a file name or $command at the top of the queue,\n"
           "                         10 s before the head entry (10 s from now when the queue is empty)\n"
           "  fox, ry                test transmissions (thefox.txt, RYRYRYRY.txt)\n"
           "  cwid                   send the identification\n"
           "  cwtimer on|off         hourly identification\n"
           "  tx, rx                 transmitter on / off\n"
           "  power on|off           transmitter power line\n"
           "  viewlog                show the end of today's log\n"
           "  status, queue          show the main window's fields / the queue\n"
           "  quit                   end the station (through the shut-down sequence)\n"
           "  help                   this list\n";
}

void ConsoleFrontEnd::Print(const char* label, const std::string& text) {
    std::fprintf(out_, "%s %s: %s\n", LocalStamp(dlg_.loop.clock().Now(), false).c_str(), label, text.c_str());
    std::fflush(out_);
}

void ConsoleFrontEnd::StatusChanged(const std::string& text) {
    // The running line of a file grows a character at a time: print it once,
    // when the line is finished, not once per character.
    bool grows = text.size() == lastStatus_.size() + 1 && text.compare(0, lastStatus_.size(), lastStatus_) == 0;
    if (grows) {
        runningLine_ = text;
    } else {
        if (!runningLine_.empty()) Print("line", runningLine_);
        runningLine_.clear();
        if (!text.empty()) {
            if (text.size() == 1) runningLine_ = text;
            else Print("status", text);
        }
    }
    lastStatus_ = text;
}

void ConsoleFrontEnd::WatchFields() {
    MainWindow& w = dlg_.w;
    w.statusLine.Observe([this, &w] { StatusChanged(w.statusLine.Text()); });
    w.queueLine.Observe([this, &w] {
        if (!w.queueLine.Text().empty()) Print("queue", w.queueLine.Text());
    });
    w.autoSendField.Observe([this, &w] { Print("autosend", w.autoSendField.Text()); });
    w.transmitField.Observe([this, &w] { Print("transmit", Trim(w.transmitField.Text())); });
    w.flowField.Observe([this, &w] {
        if (!w.flowField.Text().empty()) Print("flow", w.flowField.Text());
    });
}

void ConsoleFrontEnd::WatchInput(int fd) {
    inputFd_ = fd;
    inputWatch_ = dlg_.loop.WatchFd(fd, POLLIN, [this](short) { ReadInput(); });
}

void ConsoleFrontEnd::StopInput() {
    if (inputWatch_) dlg_.loop.RemoveWatch(inputWatch_);
    inputWatch_ = 0;
}

void ConsoleFrontEnd::ReadInput() {
    char buffer[4096];
    ssize_t n = ::read(inputFd_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;  // nothing this time; the watch calls again
    if (n <= 0) {
        // End of input (or a closed terminal): the station runs on unattended.
        dlg_.loop.RemoveWatch(inputWatch_);
        inputWatch_ = 0;
        input_.Finish();
        HandleReadyLines();
        return;
    }
    input_.Push(std::string_view(buffer, static_cast<std::size_t>(n)));
    HandleReadyLines();
}

void ConsoleFrontEnd::HandleReadyLines() {
    while (auto line = input_.Next()) {
        if (line->tooLong) {
            std::fprintf(out_, "input line longer than %zu bytes discarded\n", LineReader::kMaxLine);
            std::fflush(out_);
        } else {
            HandleLine(line->text);
        }
    }
}

void ConsoleFrontEnd::PrintStatus() {
    MainWindow& w = dlg_.w;
    std::fprintf(out_,
                 "%s\n  Clock     %s\n  ComPort   %s\n  Auto Send %s\n  Transmit  %s\n  Flow      %s\n"
                 "  Queue     %s\n  Down      %s\n  Send      %s\n  CW-Timer  %s\n  Display   %s\n",
                 w.title.c_str(), w.clockField.Text().c_str(), w.comPortField.Text().c_str(),
                 w.autoSendField.Text().c_str(), Trim(w.transmitField.Text()).c_str(), w.flowField.Text().c_str(),
                 w.queueLine.Text().c_str(), w.countdownField.Text().c_str(), w.charCountField.Text().c_str(),
                 w.cwTimerField.Text().c_str(), w.statusLine.Text().c_str());
    std::fflush(out_);
}

void ConsoleFrontEnd::PrintQueue() {
    const ListBoxControl& list = dlg_.w.scheduleList;
    if (list.Count() == 0) std::fprintf(out_, "  (queue empty)\n");
    for (int i = 0; i < list.Count(); ++i) std::fprintf(out_, "  %3d  %s\n", i + 1, list.Item(i).c_str());
    std::fflush(out_);
}

bool ConsoleFrontEnd::HandleLine(const std::string& raw) {
    std::string line = Trim(raw);
    if (line.empty()) return true;
    std::istringstream in(line);
    std::string command;
    in >> command;
    command = Lower(command);
    std::string rest;
    std::getline(in, rest);
    rest = Trim(rest);
    std::string argument = Lower(rest);

    OperatorControls& controls = *dlg_.controls;
    MainWindow& w = dlg_.w;
    if (command == "enable") controls.CmEnable();
    else if (command == "disable") controls.CmDisable();
    else if (command == "pause") controls.CmPause();
    else if (command == "resume") controls.CmResume();
    else if (command == "cancel") controls.CmCancel();
    else if (command == "send") controls.CmSendNow();
    else if (command == "delete") {
        int n = std::atoi(rest.c_str());
        if (n < 1 || n > w.scheduleList.Count()) {
            std::fprintf(out_, "delete: no entry %s in the queue (1..%d)\n", rest.c_str(), w.scheduleList.Count());
            std::fflush(out_);
            return false;
        }
        w.scheduleList.SetCurSel(n - 1);
        controls.DeleteSelected();
    } else if (command == "reload") dlg_.loader->GetSchedule();
    else if (command == "add") {
        w.scheduleList.SetCurSel(-1);
        w.fileCombo.SetEditText(rest);
        controls.FileAdd();
    } else if (command == "fox") controls.Fox();
    else if (command == "ry") dlg_.files->CmRYRYRYRY();
    else if (command == "cwid") dlg_.cwid->SendCwidClicked();
    else if (command == "cwtimer" && (argument == "on" || argument == "off")) {
        w.cwTimerCheck.SetCheck(argument == "on" ? 1 : 0);
        dlg_.cwid->CwTimerClicked();
    } else if (command == "tx") controls.TransmitterOnClicked();
    else if (command == "rx") controls.TransmitterOffClicked();
    else if (command == "power" && (argument == "on" || argument == "off")) {
        w.powerCheck.SetCheck(argument == "on" ? 1 : 0);
        controls.PowerClicked();
    } else if (command == "viewlog") {
        controls.ViewLog();
        std::istringstream text(w.displayBox.Text());
        int skip = w.displayBox.FirstVisibleLine();
        for (std::string l; std::getline(text, l);)
            if (skip-- <= 0) std::fprintf(out_, "  %s\n", l.c_str());
        std::fflush(out_);
    } else if (command == "status") PrintStatus();
    else if (command == "queue") PrintQueue();
    else if (command == "quit") dlg_.RequestShutdown();
    else if (command == "help") {
        std::fputs(HelpText(), out_);
        std::fflush(out_);
    } else {
        std::fprintf(out_, "unknown command \"%s\"; type help\n", line.c_str());
        std::fflush(out_);
        return false;
    }
    return true;
}

}  // namespace sked
