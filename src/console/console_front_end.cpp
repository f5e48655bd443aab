#include "console/console_front_end.h"

#include <cerrno>

#include <poll.h>
#include <unistd.h>

#include "platform/text_format.h"

namespace sked {

namespace {

// The log lines that say something went wrong: under a service manager
// standard output is the journal, and a failure must not stay in the
// station's own log alone.
bool ReachesJournal(const std::string& message) {
    static constexpr const char* kTroubles[] = {
        "GetSchedule :",   "SendAbort :",        "Serial port :",    "Sound card :",  "On-air audio :",
        "Kept settings :", "Transmit time-out :", "Control :",        "CmPSK31 : PSK31 cannot start",
        "OnTimer : Out of Timers", "[TXFile : Cannot", "[TXFile : Refused", "Cannot write",
        // The keying device and the rig: what they refused, and what the rig reports back.
        "Keying :", "Frequency :"};
    for (const char* trouble : kTroubles)
        if (message.starts_with(trouble)) return true;
    return false;
}

}  // namespace

ConsoleFrontEnd::ConsoleFrontEnd(Station& station, std::FILE* out)
    : station_(station), commands_(station), out_(out) {
    // What the schedule refused and what failed reach the journal, not only the station's log.
    logListener_ = station_.log.AddListener([this](const std::string& message) {
        if (ReachesJournal(message)) Print("log", message);
    });
}

ConsoleFrontEnd::~ConsoleFrontEnd() {
    station_.log.RemoveListener(logListener_);
    StopInput();
}

void ConsoleFrontEnd::Print(const char* label, const std::string& text) {
    std::fprintf(out_, "%s %s: %s\n", LocalStamp(station_.loop.clock().Now(), false).c_str(), label, text.c_str());
    std::fflush(out_);
}

void ConsoleFrontEnd::StatusChanged(const std::string& text) {
    for (const RunningLines::Change& change : runningLines_.Update(text))
        Print(change.kind == RunningLines::Change::Kind::Line ? "line" : "status", change.text);
}

void ConsoleFrontEnd::WatchFields() {
    MainWindow& w = station_.window;
    fields_.emplace_back(w.statusLine, [this, &w] { StatusChanged(w.statusLine.Text()); });
    fields_.emplace_back(w.queueLine, [this, &w] {
        if (!w.queueLine.Text().empty()) Print("queue", w.queueLine.Text());
    });
    fields_.emplace_back(w.autoSendField, [this, &w] { Print("autosend", w.autoSendField.Text()); });
    fields_.emplace_back(w.transmitField, [this, &w] { Print("transmit", Trimmed(w.transmitField.Text())); });
    fields_.emplace_back(w.flowField, [this, &w] {
        if (!w.flowField.Text().empty()) Print("flow", w.flowField.Text());
    });
}

void ConsoleFrontEnd::WatchInput(int fd) {
    inputFd_ = fd;
    inputWatch_ = station_.loop.WatchFd(fd, POLLIN, [this](short) { ReadInput(); });
}

void ConsoleFrontEnd::StopInput() {
    if (inputWatch_) station_.loop.RemoveWatch(inputWatch_);
    inputWatch_ = 0;
}

void ConsoleFrontEnd::ReadInput() {
    char buffer[4096];
    ssize_t n = ::read(inputFd_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;  // nothing this time; the watch calls again
    if (n <= 0) {
        // End of input (or a closed terminal): the station runs on unattended.
        StopInput();
        input_.Finish();
        PostReadyLines();
        return;
    }
    input_.Push(std::string_view(buffer, static_cast<std::size_t>(n)));
    PostReadyLines();
}

void ConsoleFrontEnd::PostReadyLines() {
    // Each line is a call of its own on the loop: this watch returns at once
    // and reads the next line while the one before it is still sending.
    while (auto line = input_.Next()) {
        if (line->tooLong) {
            std::fprintf(out_, "input line longer than %zu bytes discarded\n", LineReader::kMaxLine);
            std::fflush(out_);
        } else {
            station_.loop.Post([this, text = line->text] { HandleLine(text); });
        }
    }
}

bool ConsoleFrontEnd::HandleLine(const std::string& line) {
    const CommandReply reply = commands_.Run(line);
    std::fputs((reply.ok ? reply.text : reply.error + "\n").c_str(), out_);
    std::fflush(out_);
    return reply.ok;
}

}  // namespace sked
