#include "scheduler/command_interpreter.h"

#include <cstdlib>

#include "scheduler/schedule_commands.h"

namespace sked {

namespace {
// Frequencies of $PSK= and $FSK= at or below this are taken for typing errors.
constexpr double kLowestFrequency = 200;

// The number after "=", 0 when it does not read.
double ValueAfterEquals(const std::string& text) {
    const auto eq = text.find('=');
    return eq == std::string::npos ? 0.0 : std::atof(text.c_str() + eq + 1);
}
}  // namespace

void CommandInterpreter::Run(const std::string& text) {
    const ScheduleCommand* command = FindScheduleCommand(text);
    if (!command) return;
    CommandTarget& t = target_;
    switch (command->action) {
        case ScheduleAction::Mode: return t.PressMode(command->mode);
        case ScheduleAction::PskPreset: return t.StorePskFrequency(command->hertz);
        case ScheduleAction::Psk31: {
            t.PressMode(Mode::Psk31);
            const bool withValue = text.size() > 3 && text[3] == '=';
            if (const double value = ValueAfterEquals(text); withValue && value > kLowestFrequency)
                t.ShowPskFrequency(static_cast<float>(value));
            return;
        }
        case ScheduleAction::FskCentre:
            if (const double value = ValueAfterEquals(text); value > kLowestFrequency)
                t.ShowFskCentre(static_cast<float>(value));
            return;
        case ScheduleAction::Identify: return t.SendIdentification();
        case ScheduleAction::CwTimerOn: return t.SetCwTimer(true);
        case ScheduleAction::CwTimerOff: return t.SetCwTimer(false);
        case ScheduleAction::TransmitterOn: return t.TransmitterOn();
        case ScheduleAction::TransmitterOff: return t.TransmitterOff();
        case ScheduleAction::PowerOn: return t.Power(true);
        case ScheduleAction::PowerOff: return t.Power(false);
        case ScheduleAction::Disable: return t.DisableAndRelease();
        case ScheduleAction::Baud: return t.PressBaud(command->baudButton);
        case ScheduleAction::KeyLine: return t.SetKeyLine(command->keyLine);
        case ScheduleAction::Reload: return t.Reload();
        case ScheduleAction::HeaderOn: return t.SetHeader(true);
        case ScheduleAction::HeaderOff: return t.SetHeader(false);
        case ScheduleAction::DiddleOn: return t.SetDiddle(true);
        case ScheduleAction::DiddleOff: return t.SetDiddle(false);
        case ScheduleAction::ComPort: return t.ChangePort(std::atoi(text.c_str() + 3));
        case ScheduleAction::RigFrequency: return t.SetRigFrequency(text.substr(text.find('=') + 1));
    }
}

}  // namespace sked
