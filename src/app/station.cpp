#include "app/station.h"

#include <algorithm>

#include "app/about_listing.h"
#include "app/command_line.h"
#include "audio/afsk_generator.h"
#include "audio/stream_errors.h"
#include "platform/text_format.h"

namespace sked {

namespace {
// Where the TCP mirror connects unless the operator says otherwise.
constexpr const char* kDefaultMirrorAddress = "127.0.0.1";
constexpr int kMirrorPorts = 16;
constexpr int kMarginSliderStart = WindowView::kSliderRange - WindowView::kDefaultMargin;
constexpr int kSampleRate = 8000;
}  // namespace

Station::Station(EventLoop& loop_, SerialPorts& ports_, MessageBoxService& boxes_)
    : loop(loop_),
      ports(ports_),
      boxes(boxes_),
      view(window, settings, queue, [this] { return transmission.Busy(); }),
      log(loop_.clock(), window.statusLine),
      psk(loop_.clock()),
      mirror(loop_),
      encoder(loop_.clock(), settings.callsign),
      transmitter(loop_, settings, view, log, boxes_, ports_, psk, mirror),
      transmission(loop_, settings, view, log, transmitter, psk, mirror, encoder),
      cwid(view, log, transmission, transmitter, scheduler, queue, loop_.clock()),
      modes(settings, window, view, boxes_, log, transmitter, psk),
      commands(*this),
      interpreter(commands),
      loader(settings, log, queue, loop_.clock()),
      dispatcher(loop_, settings, view, log, queue, interpreter, cwid, transmission, transmitter, scheduler),
      pskPump_(loop_, [this] { PumpPsk(); }) {
    psk.SetWakeUp([this] { ArmPskPump(); });
    transmitter.SetReleaseListener([this] { cwid.TransmitterReleased(); });
    transmitter.SetLossListener([this](const std::string& reason) { KeyingLost(reason); });
    // A device missing, gone or back, as its back end finds it.
    ports_.SetProblemReporter([this](const std::string& problem) {
        view.ShowStatus(problem);
        log.LogEvent("Serial port : " + problem);
    });
}

Station::~Station() {
    ports.SetProblemReporter({});
    psk.SetSound(nullptr);
    psk.SetWakeUp({});
    transmitter.SetGeneratorFactory({});
    // The link goes before the station it calls back.
    mirror.Close();
}

bool Station::StartUp(const std::string& commandLine) {
    const StationParameters p = ParseStationParameters(commandLine);
    exitStatus_ = p.ExitStatus();
    switch (p.outcome) {
        case StationParameters::Outcome::NotSet:
            boxes.Show(texts::kNotSetCaption, texts::kNotSetText);
            return false;
        case StationParameters::Outcome::TooMany:
            boxes.Show(texts::kTooManyCaption, texts::kTooManyText);
            return false;
        case StationParameters::Outcome::CallsignTooLong:
            // Cutting it would put a wrong identification on the air.
            boxes.Show(texts::kTooLongCaption, Format("The callsign %s has more than %zu characters.\n"
                                                      "consult instructions for proper setting of input",
                                                      p.callsign.c_str(), kMaxCallsign));
            return false;
        case StationParameters::Outcome::EditorOnly:
            editorOnly_ = true;
            OpenEditor();
            return false;
        case StationParameters::Outcome::Run:
            break;
    }
    settings.portNumber = p.PortInUse();
    settings.keyLine = p.keyLine;
    settings.callsign = p.callsign;
    ShowTitles();
    view.ShowPort(p.portNumber);

    view.ShowStatus("Initialization");
    log.LogEvent("***** Skedcast has been STARTED *****");
    for (const std::string& warning : p.warnings) log.LogEvent("Command line : " + warning);
    view.ShowFlow(Flow::None);
    commands.RefreshFileList();
    // A station that died keyed may have left the line up (direct port
    // access has no HUPCL): the keying line itself is released, the power
    // line left as it is.
    SerialLine& line = transmitter.Line();
    line.AssignLines(settings.keyLine);
    line.SetKey(false);
    transmitter.ReleaseTransmitter();
    dispatcher.Disable();
    settings.headerEnabled = true;
    window.headerCheck.SetCheck(1);
    loader.GetSchedule();
    dispatcher.StartTicks([this] { FatalTimerStop(); });
    modes.BaudClicked(0);
    modes.ModeClicked(Mode::Military);
    window.marginSlider.SetRange(0, WindowView::kSliderRange);
    window.marginSlider.SetPos(kMarginSliderStart);
    window.displayBox.SetMargins(0, WindowView::kDefaultMargin);
    modes.EntryStyleClicked(true);

    settings.mirror.address = kDefaultMirrorAddress;
    window.addressField.SetText(settings.mirror.address);
    window.netPortCombo.ResetContent();
    window.netPortCombo.AddString("OFF");
    for (int i = 1; i <= kMirrorPorts; ++i) window.netPortCombo.AddString(Format("%d", i));
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

void Station::ShowTitles() { window.title = "Scheduler" + std::string(62, ' ') + settings.SpacedCallsign(); }

void Station::ShutDown() {
    // Nothing may start while the transmitter goes off: no more ticks, no
    // automatic sending.
    dispatcher.StopTicks();
    scheduler.autoSendEnabled = false;
    scheduler.sendNow = false;
    transmission.EndNow();
    transmitter.ReleaseTransmitter();
    log.LogEvent("***** Skedcast has been TERMINATED *****");
}

void Station::RequestShutdown() {
    // A transmission under way is cancelled so that it ends at once, and no
    // entry falls due while the station unwinds.
    if (transmission.Busy()) commands.Cancel();
    scheduler.autoSendEnabled = false;
    scheduler.sendNow = false;
    loop.Quit();
}

void Station::UseAudio(WaveDevice& device, bool loopDriven, std::vector<std::string> cardNames) {
    audioDevice_ = &device;
    audioLoopDriven_ = loopDriven;
    cardNames_ = std::move(cardNames);
    transmitter.SetGeneratorFactory([this](const TonePair& tones) { return MakeToneGenerator(tones); });
    psk.Stop();  // a card taken on another device is given back
    psk.SetSound(nullptr);
    pskSound_ = std::make_unique<Psk31Sound>(
        loop, device, !loopDriven,
        [this](std::error_code error, const std::string& problem) { PskSoundFailed(error, problem); });
    psk.SetSound(pskSound_.get());
    // A sound on a thread of its own is handed its symbols ahead, in batches.
    psk.SetLead(loopDriven ? 0 : Psk31Sound::kSymbolsAhead);
}

void Station::PumpPsk() {
    // The modem's symbols go to the sound as their time (less its lead)
    // comes; the sound plays them at its device's pace.
    psk.Poll();
    ArmPskPump();
}

void Station::ArmPskPump() {
    const TimePoint next = psk.NextHandOn();
    if (next == TimePoint::max()) pskPump_.Stop();
    else pskPump_.At(next);
}

std::unique_ptr<ToneGenerator> Station::MakeToneGenerator(const TonePair& tones) {
    if (!audioDevice_) return nullptr;
    // Taken once: speed, frame and device hold for the whole transmission.
    AfskSettings afsk;
    afsk.sampleRate = kSampleRate;
    afsk.baud = settings.baud;
    afsk.wordLength = settings.mode == Mode::Ascii ? 3 : 0;
    afsk.centreHz = tones.centreHz;
    afsk.halfShiftHz = tones.halfShiftHz;
    afsk.signalToNoiseDb = signalToNoiseDb_;
    afsk.shaping = settings.fskShaping;
    return std::make_unique<AfskGenerator>(
        loop, *audioDevice_, tonePhase_, afsk, modes.SelectSoundDevice(), !audioLoopDriven_,
        [this](std::error_code error, const std::string& problem) { SoundCardFailed(error, problem); });
}

void Station::SoundCardFailed(std::error_code error, const std::string& problem) {
    if (!problem.empty()) log.LogEvent("Sound card : " + problem);
    const std::string text = StreamErrorText(error);
    if (!text.empty()) boxes.Show("Skedcast", text, BoxIcon::Stop);
    // Keyed without the tones it was keyed for, the transmission does not go on.
    if (transmitter.On()) KeyingLost("the sound card failed: " + (problem.empty() ? text : problem));
}

void Station::PskSoundFailed(std::error_code error, const std::string& problem) {
    if (settings.mode != Mode::Psk31 || !psk.Running()) return;  // a card already given back
    const std::string text = StreamErrorText(error);
    if (!text.empty()) boxes.Show("Skedcast", text, BoxIcon::Stop);
    // The text cannot go on: the transmission under way ends, and no later
    // entry goes out in another mode.
    const std::string reason = "the sound card failed: " + (problem.empty() ? text : problem);
    transmission.Abort(reason);
    psk.StopAtOnce();
    modes.PskCannotStart(reason);
}

void Station::KeyingLost(const std::string& reason) {
    if (transmission.Busy()) transmission.Abort(reason);
    else transmitter.ReleaseTransmitter();
}

void Station::FatalTimerStop() {
    log.LogEvent("OnTimer : Out of Timers - Fatal Abort - Exiting");
    // Never leave the transmitter keyed behind a dead program.
    transmitter.ReleaseTransmitter();
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
    for (const std::string& line : AboutListing(settings)) listing += line + "\n";
    boxes.Show("About Skedcast", listing);
}

}  // namespace sked
