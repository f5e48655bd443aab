#include "transmit/code_sender.h"

#include <cctype>
#include <string_view>

#include "app/scheduler_dlg.h"
#include "audio/tone_generator.h"
#include "scheduler/dispatcher.h"
#include "transmit/baudot_table.h"
#include "transmit/macro_expander.h"
#include "transmit/morse_table.h"
#include "transmit/psk_modem.h"
#include "transmit/transmitter_switch.h"
#include "transmit/uart.h"

namespace sked {

void CodeSender::PumpMessages() { dlg_.PumpMessages(); }

int CodeSender::SendCode(int code) {
    if (Settings().mode == kPsk31) {
        dlg_.psk->QueueCode(code, 0);
        WaitForPskQueue();
        return code;
    }
    ToneGenerator* generator = dlg_.transmitter->Generator();
    if (!dlg_.w.noSoundCheck.Check() && generator) generator->QueueAudioChar(code);
    dlg_.uart->TransmitCode(static_cast<std::uint8_t>(code));
    return code;
}

void CodeSender::WaitForPskQueue(const std::function<bool()>& stop) {
    // At most three codes ahead of the modulator, so pause and cancel bite quickly.
    PskModem& psk = *dlg_.psk;
    while (psk.Pending() > 2 && !(stop && stop())) {
        PumpMessages();
        if (psk.Pending() > 2) dlg_.loop.WaitForEvent(psk.NextChange());
    }
}

void CodeSender::SendIdle(int seconds) {
    StationSettings& s = Settings();
    if (s.mode == kAscii) {
        dlg_.dispatcher->WaitSeconds(seconds);  // ASCII idles in silence
        return;
    }
    s.secondTicks = 0;
    EventLoop& loop = dlg_.loop;
    // The receiving teleprinter is in letters after the fill, whatever the
    // text before it ended with: so is the shift the next text starts from.
    if (s.mode != kPsk31) shiftState_ = kLtrs;
    while (s.secondTicks < seconds) {
        SendCode(kLtrs);
        PumpMessages();
        // A PSK31 modem that is not on the air takes codes without pacing
        // them: wait for the tick instead of spinning.
        if (s.mode == kPsk31 && !dlg_.psk->Transmitting() && s.secondTicks < seconds)
            loop.WaitForEvent(EventLoop::Forever);
    }
}

void CodeSender::Echo(int character) { dlg_.EchoCharacter(0xFFFF, Settings().msgPort00, character, 0); }

void CodeSender::SendBaudot(int character, int mode) {
    int c = dlg_.macros->ExpandMacro(character, mode);
    // Bytes above 127 have no teleprinter code: nothing is sent or echoed.
    if (c < 0 || c > 127) return;
    if (c > 96) c -= 32;  // lower case to capitals; { | } ~ DEL to [ \ ] ^ _
    if (c > 95) c = 0;    // the grave accent
    const BaudotRow& row = BaudotTable(c);
    std::uint8_t code = row.CodeFor(mode);

    switch (code) {
        case kNotSent:
            return;
        case 2:  // every line end goes out as CR CR LF LTRS
            SendCode(8);
            SendCode(8);
            SendCode(2);
            SendCode(kLtrs);
            shiftState_ = kLtrs;
            Echo(13);
            return;
        case 4:
        case kLtrs:  // unshift on space
            SendCode(code);
            if (shiftState_ == kFigs) SendCode(kLtrs);
            shiftState_ = kLtrs;
            Echo(c);
            return;
        case 8:  // the carriage return is sent with the line feed
            return;
        case kFigs:
            SendCode(kFigs);
            shiftState_ = kFigs;
            return;
        default:
            if (shiftState_ != row.shift) {
                SendCode(row.shift);
                shiftState_ = row.shift;
            }
            SendCode(code);
            Echo(c);
            return;
    }
}

int CodeSender::SendTextCharacter(int character, int mode) {
    int c = dlg_.macros->ExpandMacro(character, mode);
    // The caret only marks a macro: readers of the bulletin never see it,
    // as in the Baudot alphabets, which have no caret.
    if (c == MacroExpander::kCaret) return c;
    SendCode(c & 0x7F);
    if (c == '\n') Echo(13);
    else if (c != '\r') Echo(c);
    return c;
}

void CodeSender::SendMorseKey(int character) { SendMorse(character, Keyer::KeyLine); }
void CodeSender::SendMorseBreak(int character) { SendMorse(character, Keyer::Break); }

void CodeSender::SendMorse(int character, Keyer keyer) {
    Uart& uart = *dlg_.uart;
    Dispatcher& timing = *dlg_.dispatcher;
    const StationSettings& s = Settings();
    const std::uint8_t lcr = uart.ReadLcr();

    // Characters beyond the table ({ | } ~ and bytes above 127) send the pause.
    int upper = (character >= 0 && character < 128) ? std::toupper(character) : 0x7F;
    int index = upper - kMorseFirst;
    if (index < 0) index = 0;
    std::string_view elements = MorseTable(index);

    // The key lines are read afresh at every element: a handler that ran
    // during the last wait may have released the transmitter or its power,
    // and an element must never bring either back.
    auto keyLineTo = [&](bool closed) {
        const std::uint8_t keyLine = static_cast<std::uint8_t>(s.keyLine);
        const std::uint8_t mcr = uart.ReadMcr();
        uart.WriteMcr(static_cast<std::uint8_t>(closed ? mcr | keyLine : mcr & ~keyLine));
    };
    if (elements[0] == '3') {
        timing.WaitTicks(6);
    } else {
        for (char symbol : elements) {
            if (symbol == ' ') continue;
            int d = symbol - '0';
            const bool keyed = s.transmitterOn == 1;
            if (keyer == Keyer::Break) uart.WriteLcr(uart::kLcrBreak);
            else if (keyed) keyLineTo(true);
            timing.WaitTicks(d * 83 / 30);
            if (keyer == Keyer::Break) uart.WriteLcr(0);
            else if (keyed) keyLineTo(false);
            timing.WaitTicks(33 / 30);
        }
        timing.WaitTicks(200 / 30);
    }
    uart.WriteLcr(lcr);
}

void CodeSender::CmDiddle() { Settings().diddle = dlg_.w.diddleCheck.Check() ? 1 : 0; }

}  // namespace sked
