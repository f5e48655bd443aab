// The main window, CSchedulerDlg: owns the controls and every subsystem of
// the station, and runs start-up and shut-down. All of it lives on the one
// user-interface thread; sends pump messages so the window stays alive.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/event_log.h"
#include "app/main_window.h"
#include "app/station_settings.h"
#include "platform/event_loop.h"
#include "platform/message_box.h"
#include "platform/port_io.h"

namespace sked {

class Uart;
class TransmitterSwitch;
class CodeSender;
class MacroExpander;
class FileSender;
class PskModem;
class Dispatcher;
class ScheduleLoader;
class CommandInterpreter;
class CwIdentifier;
class OperatorControls;
class ModeControls;
class Telnet;
class WindowTelnetHost;

// Ends the program from anywhere inside a handler (the fatal timer path);
// main() catches it after the files are closed.
struct StationExit {
    int status;
};

class CSchedulerDlg {
public:
    static constexpr int kSysAbout = 0x10;
    static constexpr int kSysEditor = 0x20;

    CSchedulerDlg(EventLoop& loop, PortIo& port, MessageBoxService& boxes);
    ~CSchedulerDlg();
    CSchedulerDlg(const CSchedulerDlg&) = delete;
    CSchedulerDlg& operator=(const CSchedulerDlg&) = delete;

    // Start-up. Returns false when the program is to end at once with
    // exitStatus() (usage boxes, editor-only operation).
    bool SetupWindow(const std::string& commandLine);
    void SetTitles(const std::string& callsign);
    // Shut-down: transmitter off, one-second timer off, log the end.
    void DestroyWindow();
    // Asks the station to end: a transmission under way is cancelled first.
    void RequestShutdown();
    void OnSysCommand(int command);
    int EchoCharacter(int window, int message, int character, long extra);
    void PumpMessages() { loop.PumpMessages(); }

    int exitStatus() const { return exitStatus_; }
    bool editorOnly() const { return editorOnly_; }

    // The schedule editor and the About box; front ends that have them
    // install the hooks.
    void OpenEditor();
    void ShowAbout();
    std::function<void()> editorHook;
    std::function<void()> aboutHook;

    EventLoop& loop;
    PortIo& port;
    MessageBoxService& boxes;
    MainWindow w;
    EventLog log;

    std::unique_ptr<Uart> uart;
    std::unique_ptr<TransmitterSwitch> transmitter;
    std::unique_ptr<CodeSender> sender;
    std::unique_ptr<MacroExpander> macros;
    std::unique_ptr<FileSender> files;
    std::unique_ptr<PskModem> psk;
    std::unique_ptr<Dispatcher> dispatcher;
    std::unique_ptr<ScheduleLoader> loader;
    std::unique_ptr<CommandInterpreter> commands;
    std::unique_ptr<CwIdentifier> cwid;
    std::unique_ptr<OperatorControls> controls;
    std::unique_ptr<ModeControls> modes;
    std::unique_ptr<Telnet> telnet;

private:
    std::unique_ptr<WindowTelnetHost> telnetHost_;
    int exitStatus_ = 0;
    bool editorOnly_ = false;
};

}  // namespace sked
