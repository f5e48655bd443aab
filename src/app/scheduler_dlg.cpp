#include "app/scheduler_dlg.h"

#include "app/command_line.h"
#include "app/operator_controls.h"
#include "audio/mode_controls.h"
#include "net/telnet.h"
#include "net/telnet_host.h"
#include "platform/text_format.h"
#include "scheduler/command_interpreter.h"
#include "scheduler/cw_identification.h"
#include "scheduler/dispatcher.h"
#include "scheduler/schedule_loader.h"
#include "transmit/code_sender.h"
#include "transmit/file_sender.h"
#include "transmit/macro_expander.h"
#include "transmit/psk_modem.h"
#include "transmit/transmitter_switch.h"
#include "transmit/uart.h"

namespace sked {

// What the Telnet link reaches of the main window.
class WindowTelnetHost : public TelnetHost {
public:
    explicit WindowTelnetHost(CSchedulerDlg& dlg) : dlg_(dlg) {}
    void CmRX() override { dlg_.transmitter->CmRX(); }
    void CmPause() override { dlg_.controls->CmPause(); }
    void CmResume() override { dlg_.controls->CmResume(); }
    void LogEvent(const std::string& message) override { dlg_.log.LogEvent(message); }
    void PumpMessages() override { dlg_.PumpMessages(); }
    void ShowStopBox(const std::string& caption, const std::string& text) override {
        dlg_.boxes.Show(caption, text, BoxIcon::Stop);
    }
    std::string AuthenticationText() override { return dlg_.w.authField.Text(253); }
    void LockLinkControls(bool connected) override {
        MainWindow& w = dlg_.w;
        w.authField.SetReadOnly(connected);
        w.addressField.SetReadOnly(connected);
        w.netPortCombo.SetEnabled(!connected);
        if (connected) w.soundCardCombo.SetEnabled(false);
    }

private:
    CSchedulerDlg& dlg_;
};

namespace {

// Registered window messages come from the 0xC000..0xFFFF range.
constexpr int kMsgPort00 = 0xC000;
constexpr int kMsgPort01 = 0xC001;

}  // namespace

CSchedulerDlg::CSchedulerDlg(EventLoop& loop_, PortIo& port_, MessageBoxService& boxes_)
    : loop(loop_), port(port_), boxes(boxes_), log(loop_.clock(), w.statusLine) {
    uart = std::make_unique<Uart>(*this);
    transmitter = std::make_unique<TransmitterSwitch>(*this);
    sender = std::make_unique<CodeSender>(*this);
    macros = std::make_unique<MacroExpander>(*this);
    files = std::make_unique<FileSender>(*this);
    psk = std::make_unique<PskModem>(loop.clock());
    dispatcher = std::make_unique<Dispatcher>(*this);
    loader = std::make_unique<ScheduleLoader>(*this);
    commands = std::make_unique<CommandInterpreter>(*this);
    cwid = std::make_unique<CwIdentifier>(*this);
    controls = std::make_unique<OperatorControls>(*this);
    modes = std::make_unique<ModeControls>(*this);
    telnetHost_ = std::make_unique<WindowTelnetHost>(*this);
    telnet = std::make_unique<Telnet>(loop, *telnetHost_);
    loop.SetTimerHandler([this](int id) { dispatcher->OnTimer(id); });
}

CSchedulerDlg::~CSchedulerDlg() {
    loop.SetTimerHandler({});
    telnet.reset();  // before the host it calls back
}

bool CSchedulerDlg::SetupWindow(const std::string& commandLine) {
    StationSettings& s = Settings();
    s.portBase = 0x2F8;
    s.wordLength = 0;
    s.mode = kMilitary;

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
    s.portBase = p.portBase;
    s.keyLine = p.keyLine;
    s.powerLine = p.powerLine;
    s.callsign = p.callsign;
    SetTitles(s.callsign);
    w.comPortField.SetText(PortName(p.portNumber));

    w.statusLine.SetText("Initialization");
    log.LogEvent("***** Skedcast has been STARTED *****");
    s.autoSendEnabled = 0;
    s.running = 1;
    s.cancelRequested = 0;
    s.sending = 0;
    s.repeat = 0;
    w.flowField.SetText("");
    controls->RefreshFileList();
    // CmRX does nothing while transmitterOn is 0, but a program that died
    // keyed may have left the line up (direct port access has no HUPCL):
    // release the keying line itself, leaving the power line as it is.
    uart->KeyLineOff();
    transmitter->CmRX();
    controls->CmDisable();
    s.headerEnabled = 1;
    w.headerCheck.SetCheck(1);
    s.sendNow = 0;
    loader->GetSchedule();
    dispatcher->OnTimer(kStartSecondTimer);
    modes->BaudClicked(0);
    modes->ModeClicked(kMilitary);
    w.marginSlider.SetRange(0, 500);
    w.marginSlider.SetPos(425);
    w.displayBox.SetMargins(0, 75);
    s.msgPort00 = kMsgPort00;
    s.msgPort01 = kMsgPort01;
    s.sampleRate = 8000;
    s.toneCentre = 2210;
    s.noiseFilter = 1;
    w.markField.SetText("2125.0");
    w.spaceField.SetText("2295.0");
    w.centreField.SetText("2210");
    w.shiftField.SetText("170.0");
    modes->EntryStyleClicked(true);

    w.addressField.SetText("127.0.0.1");
    w.netPortCombo.ResetContent();
    w.netPortCombo.AddString("OFF");
    for (int i = 1; i <= 16; ++i) w.netPortCombo.AddString(Format("%d", i));
    w.netPortCombo.SetCurSel(0);
    w.soundCardCombo.ResetContent();
    for (const char* item : {"None", "-1 Auto", "1", "2", "3", "4"}) w.soundCardCombo.AddString(item);
    w.soundCardCombo.SetCurSel(0);
    w.noSoundCheck.SetCheck(1);
    modes->NoSoundClicked();
    return true;
}

void CSchedulerDlg::SetTitles(const std::string& callsign) {
    StationSettings& s = Settings();
    s.idText = Format("de %s %s ", callsign.c_str(), callsign.c_str());
    CommandInterpreter::SetIdentificationHelpLine(s.idText);
    s.spacedCallsign.clear();
    for (char c : callsign) {
        s.spacedCallsign += c;
        s.spacedCallsign += ' ';
    }
    w.title = "Scheduler" + std::string(62, ' ') + s.spacedCallsign;
}

void CSchedulerDlg::DestroyWindow() {
    // Nothing may start while the transmitter goes off: no more ticks (the
    // transmitter's tail then waits on the clock), no automatic sending.
    dispatcher->OnTimer(kStopSecondTimer);
    Settings().autoSendEnabled = 0;
    Settings().sendNow = 0;
    transmitter->CmRX();
    log.LogEvent("***** Skedcast has been TERMINATED *****");
}

void CSchedulerDlg::RequestShutdown() {
    // A transmission under way is cancelled so that it ends at once, and no
    // entry falls due while the station unwinds.
    if (Settings().sending == 1) controls->CmCancel();
    Settings().autoSendEnabled = 0;
    Settings().sendNow = 0;
    loop.Quit();
}

void CSchedulerDlg::OnSysCommand(int command) {
    switch (command & 0xFFF0) {
        case kSysEditor:
            OpenEditor();
            break;
        case kSysAbout:
            ShowAbout();
            break;
        default:
            break;
    }
}

int CSchedulerDlg::EchoCharacter(int, int, int character, long) {
    telnet->EchoCharacter(character);
    return 0;
}

void CSchedulerDlg::OpenEditor() {
    if (editorHook) {
        editorHook();
        return;
    }
    boxes.Show("Schedule Editor", "The schedule editor is not part of this build yet.\n"
                                  "Edit data/schedule.lst with a text editor and press Reload.");
}

void CSchedulerDlg::ShowAbout() {
    if (aboutHook) {
        aboutHook();
        return;
    }
    boxes.Show("About Skedcast", Format("Skedcast\nStation %s", Settings().callsign.c_str()));
}

}  // namespace sked
