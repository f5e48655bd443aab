#include "console/typed_commands.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sstream>

#include "app/mode_words.h"
#include "platform/text_format.h"

namespace sked {

namespace {

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


}  // namespace

TypedCommands::TypedCommands(Station& station) : station_(station) {}

std::string TypedCommands::HelpText() {
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
           "  freq KHZ                 the rig's frequency, before the next keying (rig control only)\n"
           "  cwid                     send the identification\n"
           "  cwtimer on|off           hourly identification\n"
           "  tx, rx                   transmitter on / off\n"
           "  power on|off             transmitter power line\n"
           "  editor, about            the schedule editor, the About box\n"
           "  status                   show the main window's fields\n"
           "  watch                    (control socket) stream the fields and running lines\n"
           "  quit                     end the station (through the shut-down sequence)\n"
           "  help                     this list\n";
}

CommandReply TypedCommands::Refused(const std::string& message) {
    CommandReply reply;
    reply.ok = false;
    reply.error = message;
    return reply;
}

void TypedCommands::StatusInto(CommandReply& reply) const {
    MainWindow& w = station_.window;
    reply.fields = {
        {"title", w.title},
        {"clock", w.clockField.Text()},
        {"comport", w.comPortField.Text()},
        {"autosend", w.autoSendField.Text()},
        {"transmit", Trimmed(w.transmitField.Text())},
        {"flow", w.flowField.Text()},
        {"queue", w.queueLine.Text()},
        {"down", w.countdownField.Text()},
        {"send", w.charCountField.Text()},
        {"cwtimer", w.cwTimerField.Text()},
        {"display", w.statusLine.Text()},
    };
    static const char* const kLabels[] = {"Clock", "ComPort", "Auto Send", "Transmit", "Flow",
                                          "Queue", "Down",    "Send",      "CW-Timer", "Display"};
    reply.text = w.title + "\n";
    for (std::size_t i = 0; i < std::size(kLabels); ++i)
        reply.text += Format("  %-9s %s\n", kLabels[i], reply.fields[i + 1].second.c_str());
}

std::string TypedCommands::QueueText() const {
    const TransmitQueue& queue = station_.queue;
    if (queue.Empty()) return "  (queue empty)\n";
    std::string text;
    for (int i = 0; i < queue.Count(); ++i) text += Format("  %3d  %s\n", i + 1, queue.At(i).text.c_str());
    return text;
}

std::string TypedCommands::FileListText() const {
    std::string text;
    for (const std::string& item : station_.window.fileCombo.Items()) text += "  " + item + "\n";
    return text;
}

std::string TypedCommands::DisplayText(bool fromFirstVisibleLine) const {
    const EditControl& display = station_.window.displayBox;
    std::istringstream lines(display.Text());
    int skip = fromFirstVisibleLine ? display.FirstVisibleLine() : 0;
    std::string text;
    for (std::string l; std::getline(lines, l);)
        if (skip-- <= 0) text += "  " + l + "\n";
    return text;
}

CommandReply TypedCommands::Run(const std::string& raw) {
    const std::string line = Trimmed(raw);
    CommandReply reply;
    if (line.empty()) return reply;
    std::istringstream in(line);
    std::string command;
    in >> command;
    command = Lowered(command);
    std::string rest;
    std::getline(in, rest);
    rest = Trimmed(rest);
    const std::string argument = Lowered(rest);
    StationCommands& c = station_.commands;

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
            if (!rest.empty()) return Refused(command + ": takes no argument");
            (c.*action)();
            return reply;
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
            if (!on) return Refused(command + ": on or off");
            (c.*action)(*on);
            return reply;
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
            if (rest.empty() && command != "auth" && command != "text") return Refused(command + ": what?");
            action(c, rest);
            return reply;
        }

    MainWindow& w = station_.window;
    const int queued = station_.queue.Count();
    // Which entries there are, for a refusal.
    const std::string entries = queued == 0 ? "the queue is empty" : "the queue has 1.." + std::to_string(queued);
    if (command == "delete") {
        auto n = Number(rest);
        if (!n || *n < 1 || *n > queued)
            return Refused("delete: no entry " + rest + " (" + entries + ")");
        c.DeleteEntry(*n - 1);
    } else if (command == "add") {
        if (rest.empty()) return Refused("add: what? (a file name or a $command)");
        c.FileAdd(rest, -1);
    } else if (command == "insert") {
        std::istringstream words(rest);
        std::string number, text;
        words >> number;
        std::getline(words, text);
        auto n = Number(number);
        if (!n || *n < 1 || *n > queued || Trimmed(text).empty())
            return Refused("insert: N TEXT, N an entry of the queue (" + entries + ")");
        c.FileAdd(Trimmed(text), *n - 1);
    } else if (command == "show") {
        auto n = Number(rest);
        if (!n || *n < 1 || *n > queued)
            return Refused("show: no entry " + rest + " (" + entries + ")");
        c.ShowEntry(*n - 1);
        reply.text = DisplayText(false);
    } else if (command == "files") {
        reply.text = FileListText();
    } else if (command == "view") {
        if (rest.empty()) return Refused("view: which file?");
        c.ViewFile(rest);
        reply.text = DisplayText(false);
    } else if (command == "viewlog") {
        c.ViewLog();
        reply.text = DisplayText(true);
    } else if (command == "compose") {
        c.Compose();
        reply.text = DisplayText(false);
    } else if (command == "edit") {
        auto on = OnOff(argument);
        if (!on) return Refused("edit: on or off");
        c.EditClicked(*on ? kDisplayEditable : kDisplayReadOnly);
    } else if (command == "margin") {
        auto n = Number(rest);
        if (!n || *n < w.marginSlider.Min() || *n > w.marginSlider.Max()) return Refused("margin: 0..500");
        c.MarginChanged(*n);
    } else if (command == "mode") {
        auto it = std::find_if(std::begin(kModeWords), std::end(kModeWords),
                               [&](const ModeWord& m) { return argument == m.word; });
        if (it == std::end(kModeWords)) return Refused("mode: ascii, ita2, telex, mil, psk31 or cw");
        c.Mode(it->mode);
    } else if (command == "baud") {
        auto it = std::find(std::begin(kBaudWords), std::end(kBaudWords), argument);
        if (it == std::end(kBaudWords)) return Refused("baud: 45.45, 50, 56.9, 74.2, 100, 110 or 300");
        c.Baud(static_cast<int>(it - std::begin(kBaudWords)));
    } else if (command == "tones") {
        if (argument != "centre" && argument != "center" && argument != "mark")
            return Refused("tones: centre (centre and shift) or mark (mark and space)");
        c.ToneEntryStyle(argument != "mark");
    } else if (command == "soundcard") {
        static const char* const kCards[] = {"none", "-1", "1", "2", "3", "4"};
        auto it = std::find(std::begin(kCards), std::end(kCards), argument);
        if (it == std::end(kCards)) return Refused("soundcard: None, -1 (the default device) or 1..4");
        c.SoundCard(argument == "none" ? "None" : argument == "-1" ? "-1 Auto" : argument);
    } else if (command == "netport") {
        auto n = Number(rest);
        if (argument != "off" && (!n || *n < 1 || *n > 16)) return Refused("netport: OFF or 1..16");
        c.NetPort(argument == "off" ? "OFF" : std::to_string(*n));
    } else if (command == "freq") {
        if (const std::string why = c.RigFrequency(rest); !why.empty()) return Refused("freq: " + why);
    } else if (command == "status") {
        StatusInto(reply);
    } else if (command == "queue") {
        reply.text = QueueText();
    } else if (command == "help") {
        reply.text = HelpText();
    } else {
        return Refused("unknown command \"" + line + "\"; type help");
    }
    return reply;
}

}  // namespace sked
