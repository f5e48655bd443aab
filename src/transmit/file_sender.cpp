#include "transmit/file_sender.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>

#include "platform/text_format.h"
#include "transmit/air_text.h"
#include "transmit/data_file_name.h"

namespace sked {

namespace {
// Seconds of idle fill before and after a test text or a composition.
constexpr int kTestIdleSeconds = 3;
}  // namespace

FileSender::FileSender(StationState& state, StationView& view, StationLog& log, Timing& timing, CodeSender& sender,
                       TransmitterSwitch& transmitter, PskModem& psk, RunningLine& line)
    : state_(state),
      view_(view),
      log_(log),
      timing_(timing),
      sender_(sender),
      transmitter_(transmitter),
      psk_(psk),
      line_(line) {}

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
    std::string bytes;
    char chunk[8192];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
    const bool readWhole = !std::ferror(file);
    std::fclose(file);
    // UTF-8 or Windows-1252 in, the ASCII that goes on the air out (up to a
    // zero byte): the display, the count and the running line follow it.
    text = AirText(bytes);
    return readWhole;
}

bool FileSender::TXFile(const std::string& name, int mode) {
    // A pause pending from an earlier file is dropped; a cancel is not: it
    // ends the whole transmission, which the caller started.
    state_.running = true;
    view_.ShowFlow("");

    if (!IsDataFileName(name)) {
        std::string message = Format("[TXFile : Refused %s: not a file of the data folder.]", name.c_str());
        view_.ShowDisplayMessage(message);
        log_.LogEvent(message);
        return false;
    }
    const std::string path = "data/" + name;
    PrintFile(name);
    view_.LockDisplay();
    std::string text;
    if (!ReadText(path, text)) {
        std::string message = Format("[TXFile : Cannot open %s input file.]", path.c_str());
        view_.ShowDisplayMessage(message);
        log_.LogEvent(message);
        return false;
    }
    line_.Clear();
    std::string sending = Format("TXFile : Sending file <%s>.", name.c_str());
    view_.ShowQueueLine(sending);
    log_.LogEvent(sending);

    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        view_.ShowCharactersLeft(Format("C=%zu", n - (i + 1)));
        view_.HighlightCharacter(name, i);

        while (!state_.running) {
            if (state_.cancelRequested) break;
            if (mode == kPsk31) {
                // Keep the carrier alive with idle reversals while paused.
                psk_.QueueIdle();
                sender_.WaitForPskQueue([this] { return state_.cancelRequested; });
                if (!psk_.Transmitting()) timing_.loop().WaitForEvent(EventLoop::Forever);
            } else {
                timing_.loop().WaitForEvent(EventLoop::Forever);
            }
        }
        if (state_.cancelRequested) break;

        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (mode == kCw) sender_.SendMorseText(c);
        else if (mode == kAscii || mode == kPsk31) sender_.SendTextCharacter(c, mode);
        else sender_.SendBaudot(std::toupper(c), mode);
        timing_.PumpMessages();
    }
    line_.Clear();
    view_.ShowQueueLine("");
    view_.ShowCharactersLeft("");
    return !state_.cancelRequested;
}

bool FileSender::PrintFile(const std::string& name) {
    if (!name.empty() && name[0] == '$') return true;
    // Log files are shown from the log folder; everything else from data/,
    // and nothing from anywhere else.
    const bool logFile = name.rfind("log/", 0) == 0;
    const std::string path = logFile ? name : "data/" + name;
    if (!IsDataFileName(name)) {
        std::string message = Format("[PrintFile :Refused %s: not a file of the data folder.]", name.c_str());
        view_.ShowDisplayMessage(message);
        log_.LogEvent(message);
        return false;
    }
    std::string text;
    if (!ReadText(path, text)) {
        view_.ShowFile(name, "");
        std::string message = Format("[PrintFile :Cannot open %s input file.]", path.c_str());
        view_.ShowDisplayMessage(message);
        log_.LogEvent(message);
        return false;
    }
    if (state_.mode != kAscii)
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    view_.ShowFile(name, text);
    return true;
}

void FileSender::SendFramed(const std::string& name, bool morse) {
    transmitter_.CmTX();
    // A composition in CW mode needs the fast timer that times the Morse.
    if (morse) sender_.MorseLeadIn();
    else sender_.SendIdle(kTestIdleSeconds);
    state_.idle = false;
    bool whole = false;
    do {
        whole = TXFile(name, state_.mode);
    } while (state_.repeat && !state_.cancelRequested);
    if (morse) timing_.StopFastTimer();
    else if (!state_.cancelRequested) sender_.SendIdle(kTestIdleSeconds);
    transmitter_.CmRX();
    // The result, as for a scheduled file.
    log_.LogEvent(Format(whole ? "Completed sending <%s>." : "ABORTED sending <%s>.", name.c_str()));
}

void FileSender::SendTestFile(const std::string& name) {
    state_.sending = true;
    state_.cancelRequested = false;
    SendFramed(name, false);
    state_.sending = false;
}

bool FileSender::SendComposition(const std::string& text) {
    if (!SaveText(kCompositionFile, text)) return false;
    state_.sending = true;
    state_.cancelRequested = false;
    log_.LogEvent(Format("CmSendCompose : Sending <%s> file.", kCompositionFile));
    SendFramed(kCompositionFile, state_.mode == kCw);
    state_.sending = false;
    return true;
}

bool FileSender::SaveText(const std::string& name, const std::string& text) {
    if (!IsDataFileName(name)) {
        log_.LogEvent(Format("CmEditSave : Refused <%s>: not a file of the data folder", name.c_str()));
        return false;
    }
    std::FILE* file = std::fopen(("data/" + name).c_str(), "wb");
    if (!file) {
        log_.LogEvent(name == kCompositionFile ? "Cannot write EditDisplayTemp.txt file."
                                               : Format("CmEditSave : Cannot open <%s> file", name.c_str()));
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written) {
        log_.LogEvent(Format("CmEditSave : Cannot write <%s> file: %s", name.c_str(), std::strerror(errno)));
        return false;
    }
    return true;
}

}  // namespace sked
