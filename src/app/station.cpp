#include "app/station.h"

#include "app/about_listing.h"

#include "audio/stream_errors.h"

#include "app/command_line.h"
#include "platform/text_format.h"

namespace sked {

namespace {
// The sound card list names the default device and four cards.
constexpr int kSoundCards = 4;
// Where the TCP mirror connects unless the operator says otherwise.
constexpr const char* kDefaultMirrorAddress = "127.0.0.1";
constexpr int kNetworkPorts = 16;
constexpr int kMarginSliderStart = WindowView::kSliderRange - WindowView::kDefaultMargin;
}  // namespace

Station::Station(EventLoop& loop_, PortIo& port_, MessageBoxService& boxes_)
    : loop(loop_),
      port(port_),
      boxes(boxes_),
      view(window, state, queue),
      log(loop_.clock(), window.statusLine),
      timing(loop_, state, [this] { FatalTimerStop(); }),
      runningLine(view),
      uart(port_, loop_, state),
      psk(loop_.clock()),
      linkHost_(*this),
      telnet(loop_, linkHost_),
      sender(state, timing, uart, psk, linkHost_, runningLine),
      transmitter(state, view, log, boxes_, timing, uart, psk, telnet, sender),
      files(state, view, log, timing, sender, transmitter, psk, runningLine),
      keyHolding(state, queue, transmitter, loop_.clock()),
      cwid(state, view, log, timing, transmitter, files, sender, psk, keyHolding),
      modes(state, window, view, boxes_, log, uart, psk),
      commands(*this),
      interpreter(commands),
      loader(state, view, log, queue, loop_.clock()),
      dispatcher(state, view, log, timing, queue, interpreter, cwid, files, transmitter, sender, keyHolding) {
    loop.SetTimerHandler([this](int id) { OnTimer(id); });
    psk.SetWakeUp([this] { loop.StartTimer(kPskTimer, kPskTimerPeriod); });
}

Station::~Station() {
    loop.SetTimerHandler({});
    psk.SetSound(nullptr);
    psk.SetWakeUp({});
    // The link goes before the station it calls back.
    telnet.Close();
}

bool Station::SetupWindow(const std::string& commandLine) {
    state.portBase = PortBase(2);
    state.wordLength = 0;
    state.mode = kMilitary;

    StationParameters p = ParseStationParameters(commandLine);
    switch (p.outcome) {
        case StationParameters::Outcome::NotSet:
            boxes.Show(texts::kNotSetCaption, texts::kNotSetText);
            exitStatus_ = 0;
            return false;
        case StationParameters::Outcome::TooMany:
            boxes.Show(texts::kTooManyCaption, texts::kTooManyText);
            exitStatus_ = 0;
            return false;
        case StationParameters::Outcome::CallsignTooLong:
            // Cutting it would put a wrong identification on the air.
            boxes.Show(texts::kTooLongCaption,
                       Format("The callsign %s has more than %zu characters.\n"
                              "consult instructions for proper setting of input",
                              p.callsign.c_str(), kMaxCallsign));
            exitStatus_ = 0;
            return false;
        case StationParameters::Outcome::EditorOnly:
            editorOnly_ = true;
            OpenEditor();
            exitStatus_ = 0;
            return false;
        case StationParameters::Outcome::Run:
            break;
    }
    state.portBase = p.portBase;
    state.keyLine = p.keyLine;
    state.powerLine = p.powerLine;
    state.callsign = p.callsign;
    SetTitles(state.callsign);
    view.ShowPort(PortName(p.portNumber));

    view.ShowStatus("Initialization");
    log.LogEvent("***** Skedcast has been STARTED *****");
    state.autoSendEnabled = false;
    state.running = true;
    state.cancelRequested = false;
    state.sending = false;
    state.repeat = false;
    view.ShowFlow("");
    commands.RefreshFileList();
    // CmRX does nothing while the transmitter is off, but a program that died
    // keyed may have left the line up (direct port access has no HUPCL):
    // release the keying line itself, leaving the power line as it is.
    uart.KeyLineOff();
    transmitter.CmRX();
    dispatcher.CmDisable();
    state.headerEnabled = true;
    window.headerCheck.SetCheck(1);
    state.sendNow = false;
    loader.GetSchedule();
    dispatcher.OnTimer(kStartSecondTimer);
    modes.BaudClicked(0);
    modes.ModeClicked(kMilitary);
    window.marginSlider.SetRange(0, WindowView::kSliderRange);
    window.marginSlider.SetPos(kMarginSliderStart);
    window.displayBox.SetMargins(0, WindowView::kDefaultMargin);
    state.sampleRate = 8000;
    state.toneCentre = 2210;
    state.noiseFilter = true;
    state.tones = ToneFields{};
    view.ShowTones();
    modes.EntryStyleClicked(true);

    state.netAddress = kDefaultMirrorAddress;
    window.addressField.SetText(state.netAddress);
    window.netPortCombo.ResetContent();
    window.netPortCombo.AddString("OFF");
    for (int i = 1; i <= kNetworkPorts; ++i) window.netPortCombo.AddString(Format("%d", i));
    window.netPortCombo.SetCurSel(0);
    window.soundCardCombo.ResetContent();
    window.soundCardCombo.AddString("None");
    window.soundCardCombo.AddString("-1 Auto");
    // Still read as a number: the name only tells the operator which card it is.
    for (int card = 1; card <= kSoundCards; ++card) {
        const std::size_t n = static_cast<std::size_t>(card - 1);
        const bool named = n < cardNames_.size() && !cardNames_[n].empty();
        window.soundCardCombo.AddString(std::to_string(card) + (named ? " " + cardNames_[n] : ""));
    }
    window.soundCardCombo.SetCurSel(0);
    modes.NoSoundClicked(true);
    return true;
}

void Station::SetTitles(const std::string& callsign) {
    state.idText = Format("de %s %s ", callsign.c_str(), callsign.c_str());
    state.spacedCallsign.clear();
    for (char c : callsign) {
        state.spacedCallsign += c;
        state.spacedCallsign += ' ';
    }
    window.title = "Scheduler" + std::string(62, ' ') + state.spacedCallsign;
}

void Station::DestroyWindow() {
    // Nothing may start while the transmitter goes off: no more ticks (the
    // transmitter's tail then waits on the clock), no automatic sending.
    dispatcher.OnTimer(kStopSecondTimer);
    state.autoSendEnabled = false;
    state.sendNow = false;
    transmitter.CmRX();
    log.LogEvent("***** Skedcast has been TERMINATED *****");
}

void Station::RequestShutdown() {
    // A transmission under way is cancelled so that it ends at once, and no
    // entry falls due while the station unwinds.
    if (state.sending) commands.Cancel();
    state.autoSendEnabled = false;
    state.sendNow = false;
    loop.Quit();
}

void Station::OnTimer(int id) {
    if (id == kPskTimer) {
        PumpPsk();
        return;
    }
    if (id != kAudioTimer) {
        dispatcher.OnTimer(id);
        return;
    }
    // Only the transmitter's current generator is called: an older one is gone.
    if (!loopGenerator_ || transmitter.Generator() != loopGenerator_) {
        loopGenerator_ = nullptr;
        loop.StopTimer(kAudioTimer);
        return;
    }
    loopGenerator_->Pump();
    if (loopGenerator_->NextBlockAt() == TimePoint::max()) {
        loopGenerator_ = nullptr;
        loop.StopTimer(kAudioTimer);
    }
}

void Station::UseAudio(WaveDevice& device, bool loopDriven, std::vector<std::string> cardNames) {
    audioDevice_ = &device;
    audioLoopDriven_ = loopDriven;
    cardNames_ = std::move(cardNames);
    transmitter.SetGeneratorFactory([this] { return MakeToneGenerator(); });
    psk.Stop();  // a card taken on another device is given back
    psk.SetSound(nullptr);
    pskSound_ = std::make_unique<Psk31Sound>(loop, device, !loopDriven, [this](int code, const std::string& problem) {
        PskSoundFailed(code, problem);
    });
    psk.SetSound(pskSound_.get());
}

void Station::PumpPsk() {
    psk.Poll();
    if (pskSound_) pskSound_->Pump();
    if (!psk.Transmitting() && (!pskSound_ || pskSound_->Waiting() == 0)) loop.StopTimer(kPskTimer);
}

void Station::PskSoundFailed(int code, const std::string& problem) {
    if (state.mode != kPsk31 || !psk.Running()) return;  // a card already given back
    const std::string text = StreamErrorText(code);
    if (!text.empty()) boxes.Show("Skedcast", text, BoxIcon::Stop);
    // The text cannot go on: the transmission under way ends, and no later
    // entry goes out in another mode.
    if (state.sending) state.cancelRequested = true;
    psk.StopAtOnce();
    modes.PskCannotStart("the sound card failed: " + (problem.empty() ? text : problem));
}

std::unique_ptr<ToneGenerator> Station::MakeToneGenerator() {
    // Taken once: speed, frame and device hold for the whole transmission.
    AfskSettings settings;
    settings.sampleRate = state.sampleRate;
    settings.baud = state.baud;
    settings.wordLength = state.wordLength;
    settings.noise = state.noiseFilter;
    settings.centreHz = state.toneCentre;
    settings.halfShiftHz = state.halfShift;
    settings.signalToNoiseDb = signalToNoiseDb_;
    const int device = modes.SelectSoundDevice();
    auto generator = std::make_unique<AfskGenerator>(
        loop, *audioDevice_, tonePhase_, settings, device, !audioLoopDriven_,
        [this](int code, const std::string& problem, bool opening) { ShowStreamError(code, problem, opening); });
    if (audioLoopDriven_) {
        loopGenerator_ = generator.get();
        // Several ticks a block, so the device never runs dry between them.
        const auto block = std::chrono::milliseconds(1000 * static_cast<long long>(generator->BlockLength()) /
                                                     settings.sampleRate);
        loop.StartTimer(kAudioTimer, std::max(block / 4, std::chrono::milliseconds(5)));
    }
    return generator;
}

void Station::ShowStreamError(int code, const std::string& problem, bool opening) {
    if (!problem.empty()) log.LogEvent("Sound card : " + problem);
    const std::string text = StreamErrorText(code);
    if (!text.empty()) boxes.Show("Skedcast", text, BoxIcon::Stop);
    // Without its sound card the transmission cannot go on; a card lost in
    // the middle leaves the text going out through the serial port.
    if (opening) transmitter.CmRX();
}

void Station::FatalTimerStop() {
    log.LogEvent("OnTimer : Out of Timers - Fatal Abort - Exiting");
    // Never leave the transmitter keyed behind a dead program.
    if (state.transmitterOn) {
        uart.KeyLineOff();
        state.transmitterOn = false;
        log.LogEvent("CmRX : Transmitter OFF");
    }
    throw StationExit{0};
}

void Station::OpenEditor() {
    if (editorHook) {
        editorHook();
        return;
    }
    // Headless: the editor is a window.
    boxes.Show("Schedule Editor", "The schedule editor opens in the station's window, which needs a display.\n"
                                  "Edit data/schedule.lst with a text editor and type reload.");
}

void Station::ShowAbout() {
    if (aboutHook) {
        aboutHook();
        return;
    }
    std::string listing;
    for (const std::string& line : AboutListing(state)) listing += line + "\n";
    boxes.Show("About Skedcast", listing);
}

}  // namespace sked
