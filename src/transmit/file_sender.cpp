#include "transmit/file_sender.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

#include "app/operator_controls.h"
#include "app/scheduler_dlg.h"
#include "platform/text_format.h"
#include "scheduler/dispatcher.h"
#include "transmit/code_sender.h"
#include "transmit/data_file_name.h"
#include "transmit/psk_modem.h"
#include "transmit/transmitter_switch.h"

namespace sked {

namespace {
constexpr std::size_t kNameChars = 254;
constexpr std::size_t kRunningLineChars = 79;
}  // namespace

std::FILE* FileSender::OpenForReading(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    // A folder opens on Linux but holds no text.
    struct stat st {};
    if (::fstat(::fileno(file), &st) != 0 || S_ISDIR(st.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

bool FileSender::ReadText(const std::string& path, std::string& text) {
    std::FILE* file = OpenForReading(path);
    if (!file) return false;
    text.clear();
    char chunk[8192];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
    const bool readWhole = !std::ferror(file);
    std::fclose(file);
    text.resize(std::strlen(text.c_str()));  // a zero byte ends the text
    return readWhole;
}

bool FileSender::TXFile(const std::string& name, int mode) {
    StationSettings& s = Settings();
    MainWindow& w = dlg_.w;
    // A pause pending from an earlier file is dropped; a cancel is not: it
    // ends the whole transmission, which the caller started.
    s.running = 1;
    w.flowField.SetText("");

    std::string path = "data/" + name;
    std::string text;
    if (!IsDataFileName(name)) {
        std::string message = Format("[TXFile : Refused %s: not a file of the data folder.]", name.c_str());
        w.displayBox.SetText(message);
        dlg_.log.LogEvent(message);
        return false;
    }
    PrintFile(name);
    w.editCheck.SetCheck(2);
    if (!ReadText(path, text)) {
        std::string message = Format("[TXFile : Cannot open %s input file.]", path.c_str());
        w.displayBox.SetText(message);
        dlg_.log.LogEvent(message);
        return false;
    }
    w.statusLine.SetText("");
    std::string sending = Format("TXFile : Sending file <%s>.", name.c_str());
    w.queueLine.SetText(sending);
    dlg_.log.LogEvent(sending);

    CodeSender& sender = *dlg_.sender;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        w.charCountField.SetText(Format("C=%zu", n - (i + 1)));
        if (w.fileNameField.Text(kNameChars) == name)
            w.displayBox.SetSelection(static_cast<int>(i), static_cast<int>(i + 1));

        while (s.running == 0) {
            if (s.cancelRequested == 1) break;
            if (mode == kPsk31) {
                // Keep the carrier alive with idle codes while paused.
                dlg_.psk->QueueCode(0, 0);
                sender.WaitForPskQueue([&s] { return s.cancelRequested == 1; });
                if (!dlg_.psk->Transmitting()) dlg_.loop.WaitForEvent(EventLoop::Forever);
            } else {
                dlg_.loop.WaitForEvent(EventLoop::Forever);
            }
        }
        if (s.cancelRequested == 1) break;

        unsigned char c = static_cast<unsigned char>(text[i]);
        if (mode == kCw) {
            sender.SendMorseKey(c);
        } else if (mode == kAscii || mode == kPsk31) {
            text[i] = static_cast<char>(sender.SendTextCharacter(c, mode));
        } else {
            text[i] = static_cast<char>(std::toupper(c));
            sender.SendBaudot(static_cast<unsigned char>(text[i]), mode);
        }
        ShowRunningLine(text[i]);
        sender.PumpMessages();
    }
    w.statusLine.SetText("");
    w.queueLine.SetText("");
    w.charCountField.SetText("");
    return s.cancelRequested == 0;
}

void FileSender::ShowRunningLine(char sent) {
    EditControl& status = dlg_.w.statusLine;
    if (sent == '\0' || sent == '\n' || sent == '\r') {
        status.SetText("");
        return;
    }
    std::string line = status.Text(kRunningLineChars);
    if (line.size() > 78) line.clear();
    status.SetText(line + sent);
}

int FileSender::PrintFile(const std::string& name) {
    MainWindow& w = dlg_.w;
    if (!name.empty() && name[0] == '$') return 0;
    // Log files are shown from the log folder; everything else from data/,
    // and nothing from anywhere else.
    const bool logFile = name.rfind("log/", 0) == 0;
    std::string path = logFile ? name : "data/" + name;
    if (!IsDataFileName(name)) {
        std::string message = Format("[PrintFile :Refused %s: not a file of the data folder.]", name.c_str());
        w.displayBox.SetText(message);
        dlg_.log.LogEvent(message);
        return 1;
    }
    w.fileNameField.SetText(name);
    w.editCheck.SetCheck(0);
    UpdateDisplayMode();
    std::string text;
    if (!ReadText(path, text)) {
        std::string message = Format("[PrintFile :Cannot open %s input file.]", path.c_str());
        w.displayBox.SetText(message);
        dlg_.log.LogEvent(message);
        return 1;
    }
    if (Settings().mode != kAscii)
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    w.displayBox.SetText(text);
    return 0;
}

void FileSender::UpdateDisplayMode() {
    MainWindow& w = dlg_.w;
    if (Settings().idle == 0) {
        w.editCheck.SetCheck(2);
        w.displayBox.SetReadOnly(true);
        w.fileNameField.SetReadOnly(true);
        return;
    }
    int state = w.editCheck.Check();
    if (state == 2) {
        w.editCheck.SetCheck(0);
        w.displayBox.SetSoftBreaks(false);
    }
    bool editing = state == 1;
    w.displayBox.SetReadOnly(!editing);
    w.fileNameField.SetReadOnly(!editing);
    w.displayBox.SetMargins(0, 75);
    w.marginSlider.SetPos(425);
}

void FileSender::CmCompose() {
    if (Settings().idle != 1) return;
    PrintFile("compose.txt");
    dlg_.w.editCheck.SetCheck(1);
    UpdateDisplayMode();
}

void FileSender::CmEditSave() {
    MainWindow& w = dlg_.w;
    if (w.editCheck.Check() == 0) return;
    w.displayBox.SetSoftBreaks(true);
    std::string text = w.displayBox.Text(kBufferSize - 1);
    std::string name = w.fileNameField.Text(253);
    if (!IsDataFileName(name)) {
        dlg_.log.LogEvent(Format("CmEditSave : Refused <%s>: not a file of the data folder", name.c_str()));
        return;
    }
    std::FILE* file = std::fopen(("data/" + name).c_str(), "wb");
    if (!file) {
        dlg_.log.LogEvent(Format("CmEditSave : Cannot open <%s> file", name.c_str()));
        return;
    }
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

void FileSender::SendRepeatedly(const std::string& name) {
    StationSettings& s = Settings();
    do {
        TXFile(name, s.mode);
    } while (s.repeat == 1 && s.cancelRequested == 0);
}

void FileSender::CmSendCompose() {
    StationSettings& s = Settings();
    MainWindow& w = dlg_.w;
    // A second press during the key-up and pre-roll (idle is still 1) is refused.
    if (s.idle != 1 || s.sending == 1) return;
    s.sending = 1;
    s.cancelRequested = 0;
    dlg_.controls->CmDisable();
    std::string text = w.displayBox.Text(kBufferSize - 1);
    std::FILE* file = std::fopen("data/EditDisplayTemp.txt", "wb");
    if (!file) {
        dlg_.log.LogEvent("Cannot write EditDisplayTemp.txt file.");
        s.sending = 0;
        return;
    }
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    w.displayBox.SetReadOnly(true);
    w.editCheck.SetCheck(2);
    UpdateDisplayMode();
    dlg_.log.LogEvent("CmSendCompose : Sending <EditDisplayTemp.txt> file.");

    // A composition in CW mode needs the fast timer that times the Morse.
    bool morse = s.mode == kCw;
    dlg_.transmitter->CmTX();
    if (morse) dlg_.dispatcher->MorseLeadIn();
    else dlg_.sender->SendIdle(3);
    s.idle = 0;
    SendRepeatedly("EditDisplayTemp.txt");
    if (morse) dlg_.dispatcher->OnTimer(kStopFastTimer);
    else dlg_.sender->SendIdle(3);
    dlg_.transmitter->CmRX();
    w.editCheck.SetCheck(0);
    s.sending = 0;
}

void FileSender::SendTestFile(const std::string& name) {
    StationSettings& s = Settings();
    s.sending = 1;
    s.cancelRequested = 0;
    dlg_.controls->CmDisable();
    dlg_.transmitter->CmTX();
    dlg_.sender->SendIdle(3);
    s.idle = 0;
    SendRepeatedly(name);
    dlg_.sender->SendIdle(3);
    dlg_.transmitter->CmRX();
    s.sending = 0;
}

void FileSender::CmRYRYRYRY() {
    if (Settings().idle != 1 || Settings().sending == 1 || Settings().mode == kCw) return;
    dlg_.log.LogEvent("CmRYRYRYRY : Sending <RYRYRYRY.txt> file.");
    SendTestFile("RYRYRYRY.txt");
}

void FileSender::CmRepeat() { Settings().repeat = dlg_.w.repeatCheck.Check() ? 1 : 0; }

void FileSender::CmHeader() { Settings().headerEnabled = dlg_.w.headerCheck.Check() ? 1 : 0; }

}  // namespace sked
