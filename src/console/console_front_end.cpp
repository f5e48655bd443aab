#include "console/console_front_end.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <sstream>

#include <poll.h>
#include <unistd.h>

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

// "on"/"off" as a switch; nothing for anything else.
std::optional<bool> OnOff(const std::string& word) {
    if (word == "on") return true;
    if (word == "off") return false;
    return std::nullopt;
}

// A whole number that reads completely; nothing otherwise.
std::optional<int> Number(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || value < -1000000 || value > 1000000) return std::nullopt;
    return static_cast<int>(value);
}

// A typed text with "\n" for its line ends (the display holds several lines).
std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

struct ModeWord {
    const char* word;
    Mode mode;
};
constexpr ModeWord kModes[] = {{"ascii", Mode::Ascii},    {"ita2", Mode::Ita2},       {"telex", Mode::Telex},
                               {"mil", Mode::Military}, {"military", Mode::Military}, {"psk31", Mode::Psk31},
                               {"cw", Mode::Cw}};
constexpr const char* kBauds[] = {"45.45", "50", "56.9", "74.2", "100", "110", "300"};

}  // namespace

ConsoleFrontEnd::ConsoleFrontEnd(Station& station, std::FILE* out)
    : station_(station), commands_(station.commands), out_(out) {
    // What the schedule refused reaches the journal, not only the station's log.
    station_.log.SetListener([this](const std::string& message) {
        if (message.starts_with("GetSchedule :")) Print("log", message);
    });
}

ConsoleFrontEnd::~ConsoleFrontEnd() {
    station_.log.SetListener({});
    StopInput();
}

std::string ConsoleFrontEnd::HelpText() {
    return "Commands (any case):\n"
           "  enable, disable          automatic sending on / off\n"
           "  send                     send the head of the queue at the next tick (Send >>)\n"
           "  pause, resume, cancel    the transmission under way\n"
           "  queue                    show the queue\n"
           "  delete N                 remove entry N of the queue (1 = head)\n"
           "  reload                   reload data/schedule.lst\n"
           "  add TEXT                 put a file name or $command at the top of the queue,\n"
           "                           10 s before the head entry (10 s from now when the queue is empty)\n"
           "  insert N TEXT            the same, before entry N, 10 s before it\n"
           "  show N                   show the file of entry N\n"
           "  files, refresh           show / refill the file list\n"
           "  view NAME                show a file of data/\n"
           "  viewlog                  show the end of today's log\n"
           "  compose                  load compose.txt into the display, for editing\n"
           "  text TEXT                the display's text (\\n for a line end)\n"
           "  filename NAME            the file name the display is saved under\n"
           "  save, sendtext           save the display / send it (Save, Send)\n"
           "  edit on|off              the display editable or read-only\n"
           "  margin N                 the display's margin slider (0..500)\n"
           "  header on|off            header.txt and footer.txt around scheduled files\n"
           "  repeat on|off            test texts and the composition again and again\n"
           "  diddle on|off            the Diddle option\n"
           "  fox, ry                  test transmissions (thefox.txt, RYRYRYRY.txt)\n"
           "  mode ascii|ita2|telex|mil|psk31|cw\n"
           "  baud 45.45|50|56.9|74.2|100|110|300   (in PSK31 mode: the frequency button)\n"
           "  tones centre|mark        enter the tones as centre and shift, or mark and space\n"
           "  centre HZ, shift HZ, mark HZ, space HZ   the tone fields\n"
           "  soundcard None|-1|1..4   the sound card list; nosound on|off\n"
           "  fskshaping on|off        raised-cosine FSK transitions, from the next keying\n"
           "  netport OFF|1..16        the TCP mirror's port (6000..6015)\n"
           "  address HOST, auth TEXT  the mirror's address and authentication text\n"
           "  cwid                     send the identification\n"
           "  cwtimer on|off           hourly identification\n"
           "  tx, rx                   transmitter on / off\n"
           "  power on|off             transmitter power line\n"
           "  editor, about            the schedule editor, the About box\n"
           "  status                   show the main window's fields\n"
           "  quit                     end the station (through the shut-down sequence)\n"
           "  help                     this list\n";
}

void ConsoleFrontEnd::Print(const char* label, const std::string& text) {
    std::fprintf(out_, "%s %s: %s\n", LocalStamp(station_.loop.clock().Now(), false).c_str(), label, text.c_str());
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
    MainWindow& w = station_.window;
    fields_.emplace_back(w.statusLine, [this, &w] { StatusChanged(w.statusLine.Text()); });
    fields_.emplace_back(w.queueLine, [this, &w] {
        if (!w.queueLine.Text().empty()) Print("queue", w.queueLine.Text());
    });
    fields_.emplace_back(w.autoSendField, [this, &w] { Print("autosend", w.autoSendField.Text()); });
    fields_.emplace_back(w.transmitField, [this, &w] { Print("transmit", Trim(w.transmitField.Text())); });
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

void ConsoleFrontEnd::PrintStatus() {
    MainWindow& w = station_.window;
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
    const TransmitQueue& queue = station_.queue;
    if (queue.Empty()) std::fprintf(out_, "  (queue empty)\n");
    for (int i = 0; i < queue.Count(); ++i) std::fprintf(out_, "  %3d  %s\n", i + 1, queue.At(i).text.c_str());
    std::fflush(out_);
}

void ConsoleFrontEnd::PrintFileList() {
    for (const std::string& item : station_.window.fileCombo.Items()) std::fprintf(out_, "  %s\n", item.c_str());
    std::fflush(out_);
}

void ConsoleFrontEnd::PrintDisplay(bool fromFirstVisibleLine) {
    const EditControl& display = station_.window.displayBox;
    std::istringstream text(display.Text());
    int skip = fromFirstVisibleLine ? display.FirstVisibleLine() : 0;
    for (std::string l; std::getline(text, l);)
        if (skip-- <= 0) std::fprintf(out_, "  %s\n", l.c_str());
    std::fflush(out_);
}

bool ConsoleFrontEnd::Refuse(const std::string& message) {
    std::fprintf(out_, "%s\n", message.c_str());
    std::fflush(out_);
    return false;
}

bool ConsoleFrontEnd::HandleLine(const std::string& raw) {
    const std::string line = Trim(raw);
    if (line.empty()) return true;
    std::istringstream in(line);
    std::string command;
    in >> command;
    command = Lower(command);
    std::string rest;
    std::getline(in, rest);
    rest = Trim(rest);
    const std::string argument = Lower(rest);
    StationCommands& c = commands_;

    // Commands without an argument.
    static const std::pair<const char*, void (StationCommands::*)()> kPlain[] = {
        {"enable", &StationCommands::Enable},   {"disable", &StationCommands::Disable},
        {"send", &StationCommands::SendNow},    {"pause", &StationCommands::Pause},
        {"resume", &StationCommands::Resume},   {"cancel", &StationCommands::Cancel},
        {"reload", &StationCommands::Reload},   {"refresh", &StationCommands::RefreshFileList},
        {"fox", &StationCommands::Fox},         {"ry", &StationCommands::Ry},
        {"cwid", &StationCommands::SendCwid},   {"tx", &StationCommands::TransmitterOn},
        {"rx", &StationCommands::TransmitterOff}, {"save", &StationCommands::Save},
        {"sendtext", &StationCommands::SendCompose}, {"editor", &StationCommands::Editor},
        {"about", &StationCommands::About},     {"quit", &StationCommands::Quit},
    };
    for (const auto& [word, action] : kPlain)
        if (command == word) {
            if (!rest.empty()) return Refuse(command + ": takes no argument");
            (c.*action)();
            return true;
        }

    // Check boxes.
    static const std::pair<const char*, void (StationCommands::*)(bool)> kSwitches[] = {
        {"cwtimer", &StationCommands::CwTimer}, {"power", &StationCommands::Power},
        {"header", &StationCommands::Header},   {"repeat", &StationCommands::Repeat},
        {"diddle", &StationCommands::Diddle},   {"nosound", &StationCommands::NoSound},
        {"fskshaping", &StationCommands::FskShaping},
    };
    for (const auto& [word, action] : kSwitches)
        if (command == word) {
            auto on = OnOff(argument);
            if (!on) return Refuse(command + ": on or off");
            (c.*action)(*on);
            return true;
        }

    // Fields that take the rest of the line as their text.
    static const std::pair<const char*, std::function<void(StationCommands&, const std::string&)>> kTexts[] = {
        {"centre", [](StationCommands& c, const std::string& t) { c.SetTone(ToneField::kCentre, t); }},
        {"center", [](StationCommands& c, const std::string& t) { c.SetTone(ToneField::kCentre, t); }},
        {"shift", [](StationCommands& c, const std::string& t) { c.SetTone(ToneField::kShift, t); }},
        {"mark", [](StationCommands& c, const std::string& t) { c.SetTone(ToneField::kMark, t); }},
        {"space", [](StationCommands& c, const std::string& t) { c.SetTone(ToneField::kSpace, t); }},
        {"address", [](StationCommands& c, const std::string& t) { c.NetAddress(t); }},
        {"auth", [](StationCommands& c, const std::string& t) { c.Authentication(t); }},
        {"filename", [](StationCommands& c, const std::string& t) { c.SetFileName(t); }},
        {"text", [](StationCommands& c, const std::string& t) { c.SetDisplayText(Unescape(t)); }},
    };
    for (const auto& [word, action] : kTexts)
        if (command == word) {
            if (rest.empty() && command != "auth" && command != "text") return Refuse(command + ": what?");
            action(c, rest);
            return true;
        }

    MainWindow& w = station_.window;
    const int queued = station_.queue.Count();
    if (command == "delete") {
        auto n = Number(rest);
        if (!n || *n < 1 || *n > queued)
            return Refuse("delete: no entry " + rest + " in the queue (1.." + std::to_string(queued) + ")");
        c.DeleteEntry(*n - 1);
    } else if (command == "add") {
        if (rest.empty()) return Refuse("add: what? (a file name or a $command)");
        c.FileAdd(rest, -1);
    } else if (command == "insert") {
        std::istringstream words(rest);
        std::string number, text;
        words >> number;
        std::getline(words, text);
        auto n = Number(number);
        if (!n || *n < 1 || *n > queued || Trim(text).empty())
            return Refuse("insert: N TEXT, N an entry of the queue (1.." + std::to_string(queued) + ")");
        c.FileAdd(Trim(text), *n - 1);
    } else if (command == "show") {
        auto n = Number(rest);
        if (!n || *n < 1 || *n > queued)
            return Refuse("show: no entry " + rest + " in the queue (1.." + std::to_string(queued) + ")");
        c.ShowEntry(*n - 1);
        PrintDisplay(false);
    } else if (command == "files") {
        PrintFileList();
    } else if (command == "view") {
        if (rest.empty()) return Refuse("view: which file?");
        c.ViewFile(rest);
        PrintDisplay(false);
    } else if (command == "viewlog") {
        c.ViewLog();
        PrintDisplay(true);
    } else if (command == "compose") {
        c.Compose();
        PrintDisplay(false);
    } else if (command == "edit") {
        auto on = OnOff(argument);
        if (!on) return Refuse("edit: on or off");
        c.EditClicked(*on ? kDisplayEditable : kDisplayReadOnly);
    } else if (command == "margin") {
        auto n = Number(rest);
        if (!n || *n < w.marginSlider.Min() || *n > w.marginSlider.Max()) return Refuse("margin: 0..500");
        c.MarginChanged(*n);
    } else if (command == "mode") {
        auto it = std::find_if(std::begin(kModes), std::end(kModes),
                               [&](const ModeWord& m) { return argument == m.word; });
        if (it == std::end(kModes)) return Refuse("mode: ascii, ita2, telex, mil, psk31 or cw");
        c.Mode(it->mode);
    } else if (command == "baud") {
        auto it = std::find(std::begin(kBauds), std::end(kBauds), argument);
        if (it == std::end(kBauds)) return Refuse("baud: 45.45, 50, 56.9, 74.2, 100, 110 or 300");
        c.Baud(static_cast<int>(it - std::begin(kBauds)));
    } else if (command == "tones") {
        if (argument != "centre" && argument != "center" && argument != "mark")
            return Refuse("tones: centre (centre and shift) or mark (mark and space)");
        c.ToneEntryStyle(argument != "mark");
    } else if (command == "soundcard") {
        static const char* const kCards[] = {"none", "-1", "1", "2", "3", "4"};
        auto it = std::find(std::begin(kCards), std::end(kCards), argument);
        if (it == std::end(kCards)) return Refuse("soundcard: None, -1 (the default device) or 1..4");
        c.SoundCard(argument == "none" ? "None" : argument == "-1" ? "-1 Auto" : argument);
    } else if (command == "netport") {
        auto n = Number(rest);
        if (argument != "off" && (!n || *n < 1 || *n > 16)) return Refuse("netport: OFF or 1..16");
        c.NetPort(argument == "off" ? "OFF" : std::to_string(*n));
    } else if (command == "status") {
        PrintStatus();
    } else if (command == "queue") {
        PrintQueue();
    } else if (command == "help") {
        std::fputs(HelpText().c_str(), out_);
        std::fflush(out_);
    } else {
        return Refuse("unknown command \"" + line + "\"; type help");
    }
    return true;
}

}  // namespace sked
