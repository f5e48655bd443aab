#include "transmit/transmission.h"

#include <algorithm>
#include <cctype>

#include "platform/text_format.h"
#include "transmit/baudot_table.h"
#include "transmit/data_file_name.h"
#include "transmit/data_files.h"

namespace sked {

namespace {
// A device that says it is busy but names no moment when it will not be is
// looked at again this much later.
constexpr std::chrono::milliseconds kLookAgain{1};
// Steps taken without returning to the loop, at most: a command typed in the
// middle of a long run of them still acts soon.
constexpr int kStepsPerTurn = 256;

TimePoint NextWholeSecond(TimePoint now, int seconds) {
    return std::chrono::floor<std::chrono::seconds>(now) + std::chrono::seconds(seconds);
}
}  // namespace

Transmission::Transmission(EventLoop& loop, const StationSettings& settings, StationView& view, StationLog& log,
                           Transmitter& transmitter, PskModem& psk, TcpMirror& mirror, AirEncoder& encoder)
    : loop_(loop),
      settings_(settings),
      view_(view),
      log_(log),
      transmitter_(transmitter),
      psk_(psk),
      mirror_(mirror),
      encoder_(encoder),
      line_(view),
      timer_(loop, [this] { Step(); }) {}

void Transmission::Start(TransmissionPlan plan, Hooks hooks) {
    if (Busy()) return;
    plan_ = std::move(plan);
    hooks_ = std::move(hooks);
    mode_ = settings_.mode;
    phase_ = Phase::Key;
    stage_ = 0;
    paused_ = cancelled_ = aborted_ = false;
    reason_.clear();
    breakKeyer_ = breakOn_ = false;
    allWhole_ = true;
    part_ = 0;
    partStarted_ = false;
    steps_.clear();
    stepAt_ = 0;
    pauseEnd_.reset();
    Wake();
}

void Transmission::Pause() {
    if (Busy()) paused_ = true;
}

void Transmission::Resume() {
    if (!Busy()) return;
    paused_ = false;
    Wake();
}

void Transmission::Cancel() {
    if (!Busy()) return;
    cancelled_ = true;
    Wake();
}

void Transmission::Abort(const std::string& reason) {
    if (!Busy() || aborted_) return;
    aborted_ = true;
    if (reason_.empty()) reason_ = reason;
    if (breakOn_) SetBreak(false);
    transmitter_.ReleaseTransmitter();
    Wake();
}

void Transmission::EndNow() {
    if (!Busy()) return;
    cancelled_ = true;
    if (breakOn_) SetBreak(false);
    transmitter_.ReleaseTransmitter();
    Finish();
}

// The keying device keys every mode; the serial line carries the frames of the modes on it, whatever keys.
std::string Transmission::Absence(const char* state) {
    if (!transmitter_.Keyer().Present()) return transmitter_.KeyerAbsence(state);
    if (OnTheLine(mode_) && !transmitter_.Keyer().IsSerialLine() && !transmitter_.Line().Present())
        return transmitter_.LineAbsence(state);
    return "";
}

void Transmission::KeyMorse(bool closed) {
    std::string why;
    if (!transmitter_.Keyer().SetKey(closed, why)) Abort(why);
}

// The next step runs from the loop, never inside the call that asked for it.
void Transmission::Wake() { timer_.At(Now()); }

TimePoint Transmission::NotBefore(TimePoint when) const {
    const TimePoint now = Now();
    return when > now ? when : now + kLookAgain;
}

void Transmission::Step() {
    for (int steps = 0; Busy(); ++steps) {
        if (steps == kStepsPerTurn) return Wake();
        const Next next = Advance();
        if (next.kind == Next::At) return timer_.At(next.when);
        if (next.kind == Next::Event) return;
    }
}

Transmission::Next Transmission::Advance() {
    switch (phase_) {
        case Phase::Key: return KeyUp();
        case Phase::LeadIn: return LeadIn();
        case Phase::Parts: return Parts();
        case Phase::Identification: return Identify();
        case Phase::Tail: return Tail();
        case Phase::Release: return Release();
        case Phase::Afterglow: return Afterglow();
        case Phase::Done:
            // The result's hook may start the next transmission: it runs from the loop.
            Finish();
            return WhenNotified();
        case Phase::Idle: break;
    }
    return WhenNotified();
}

Transmission::Next Transmission::KeyUp() {
    if (!plan_.key) {
        reason_ = plan_.notSent;
        allWhole_ = false;
        phase_ = Phase::Release;
        return Again();
    }
    // Without its devices nothing goes on the air.
    std::string why = Absence("is not there");
    if (why.empty() && !transmitter_.KeyTransmitter(&why) && why.empty()) why = "the transmitter could not be keyed";
    if (!why.empty()) {
        reason_ = why;
        aborted_ = true;
        allWhole_ = false;
        phase_ = Phase::Release;
        return Again();
    }
    phase_ = Phase::LeadIn;
    stage_ = 0;
    return Again();
}

Transmission::Next Transmission::LeadIn() {
    if (Stopped()) {
        phase_ = Phase::Parts;
        return Again();
    }
    if (mode_ == Mode::Cw) {
        // The keying line is also the Morse key: closed since the keying, it
        // carries the carrier, then opens for a word space, or the first
        // element would run on from the carrier and be lost.
        switch (stage_) {
            case 0:
                until_ = Now() + kMorseCarrier;
                stage_ = 1;
                return At(until_);
            case 1:
                if (Now() < until_) return At(until_);
                KeyMorse(false);
                until_ = Now() + kMorseUnit * kMorseLeadInGapUnits;
                stage_ = 2;
                return At(until_);
            default:
                if (Now() < until_) return At(until_);
                break;
        }
    } else if (plan_.leadInSeconds > 0) {
        if (stage_ == 0) {
            until_ = NextWholeSecond(Now(), plan_.leadInSeconds);
            stage_ = 1;
        }
        const Next next = IdleFill();
        if (next.kind != Next::Again || Now() < until_) return next;
    }
    phase_ = Phase::Parts;
    stage_ = 0;
    return Again();
}

Transmission::Next Transmission::IdleFill() {
    const TimePoint now = Now();
    if (now >= until_) return Again();
    switch (mode_) {
        case Mode::Ascii:
            return At(until_);  // ASCII idles in silence
        case Mode::Psk31:
            // The PSK31 idle is reversals, not a character: they take air
            // time, so the fill paces itself like the text.
            if (!psk_.Transmitting()) return At(until_);
            if (psk_.CodesQueued() > PskModem::kMostQueued) return At(std::min(NotBefore(psk_.NextChange()), until_));
            psk_.QueueIdle();
            return Again();
        case Mode::Cw:
            return At(until_);
        default:
            // The receiving teleprinter is in letters after the fill, whatever
            // the text before it ended with: so is the shift the next text starts from.
            encoder_.setShiftState(kLtrs);
            if (!transmitter_.Line().CanSend()) return At(std::min(NotBefore(transmitter_.Line().NextChange()), until_));
            PutCode(kLtrs);
            return Again();
    }
}

Transmission::Next Transmission::Tail() {
    if (stage_ == 0) {
        if (Stopped() || mode_ == Mode::Cw || plan_.tailSeconds == 0) {
            phase_ = Phase::Release;
            return Again();
        }
        until_ = NextWholeSecond(Now(), plan_.tailSeconds);
        stage_ = 1;
    }
    const Next next = Stopped() ? Again() : IdleFill();
    if (next.kind == Next::Again && (Stopped() || Now() >= until_)) {
        phase_ = Phase::Release;
        stage_ = 0;
    }
    return next;
}

// ---- The text files ----

Transmission::Next Transmission::Parts() {
    // A character under way goes out whole; a stop acts between characters.
    if (partStarted_ && !steps_.empty()) return RunSteps();
    if (part_ >= plan_.parts.size() || Stopped()) {
        if (partStarted_) EndPart();
        phase_ = plan_.identification ? Phase::Identification : Phase::Tail;
        stage_ = 0;
        return Again();
    }
    if (!partStarted_) return StartPart();
    return SendCharacter();
}

std::optional<Transmission::Progress> Transmission::TextUnderWay() const {
    if (phase_ != Phase::Parts || !partStarted_ || part_ >= plan_.parts.size()) return std::nullopt;
    return Progress{plan_.parts[part_].name, at_, text_.size()};
}

Transmission::Next Transmission::StartPart() {
    TextPart& part = plan_.parts[part_];
    // A pause asked for in the lead-in or an earlier file holds at this
    // file's first character.
    if (!paused_) view_.ShowFlow(Flow::None);
    partStarted_ = true;
    partWhole_ = false;
    at_ = 0;
    if (!IsDataFileName(part.name)) {
        const std::string message = Format("[TXFile : Refused %s: not a file of the data folder.]", part.name.c_str());
        view_.ShowDisplayMessage(message);
        log_.LogEvent(message);
        EndPart();
        return Again();
    }
    const std::string path = "data/" + part.name;
    if (part.text) {
        text_ = std::move(*part.text);
        part.text.reset();  // a repeat reads the file again
    } else if (std::string problem; !ReadText(path, text_, &problem)) {
        view_.ShowFile(part.name, "");
        for (const char* prefix :
             {"[PrintFile :Cannot open %s input file: %s.]", "[TXFile : Cannot open %s input file: %s.]"}) {
            const std::string message = Format(prefix, path.c_str(), problem.c_str());
            view_.ShowDisplayMessage(message);
            log_.LogEvent(message);
        }
        if (part.counts && reason_.empty()) reason_ = Format("cannot open %s", path.c_str());
        EndPart();
        return Again();
    }
    std::string shown = text_;
    if (mode_ != Mode::Ascii)
        for (char& c : shown) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    view_.ShowFile(part.name, shown);
    view_.LockDisplay();
    line_.Clear();
    const std::string sending = Format("TXFile : Sending file <%s>.", part.name.c_str());
    view_.ShowQueueLine(sending);
    log_.LogEvent(sending);
    return Again();
}

Transmission::Next Transmission::SendCharacter() {
    const TextPart& part = plan_.parts[part_];
    if (at_ >= text_.size()) {
        partWhole_ = !Stopped();
        EndPart();
        return Again();
    }
    view_.ShowCharactersLeft(text_.size() - (at_ + 1));
    view_.HighlightCharacter(part.name, at_);
    if (paused_) {
        // The PSK31 carrier stays up on idle reversals while paused.
        if (mode_ != Mode::Psk31 || !psk_.Transmitting()) return WhenNotified();
        if (psk_.CodesQueued() <= PskModem::kMostQueued) psk_.QueueIdle();
        return At(NotBefore(psk_.NextChange()));
    }
    if (settings_.mode != mode_) {
        // The line and the tones follow the new mode: the rest would go out garbled.
        Abort("the mode was changed during the transmission");
        return Again();
    }
    if (const std::string gone = transmitter_.On() ? Absence("is gone") : ""; !gone.empty()) {
        Abort(gone);
        return Again();
    }
    const unsigned char c = static_cast<unsigned char>(text_[at_++]);
    encoder_.EncodeText(c, mode_, steps_);
    stepAt_ = 0;
    return Again();
}

void Transmission::EndPart() {
    const TextPart& part = plan_.parts[part_];
    line_.Clear();
    view_.ShowQueueLine("");
    view_.ClearCharactersLeft();
    steps_.clear();
    stepAt_ = 0;
    partStarted_ = false;
    text_.clear();
    const bool last = part_ + 1 == plan_.parts.size();
    if (last && plan_.repeatLast && settings_.repeat && !Stopped()) {
        // Again while Repeat is ticked; only the last round counts.
        return;
    }
    if (part.counts && !partWhole_) allWhole_ = false;
    ++part_;
}

Transmission::Next Transmission::RunSteps() {
    if (aborted_) stepAt_ = steps_.size();  // the key is up already: the rest would go nowhere
    while (stepAt_ < steps_.size()) {
        const AirStep step = steps_[stepAt_];
        switch (step.kind) {
            case AirStep::Kind::Code: {
                const Next next = PutCode(step.value);
                if (next.kind != Next::Again) return next;
                break;
            }
            case AirStep::Kind::Mirror:
                mirror_.Write(step.value);
                break;
            case AirStep::Kind::Show:
                line_.Append(static_cast<char>(step.value));
                break;
            case AirStep::Kind::Close:
            case AirStep::Kind::Open:
                CloseKey(step.kind == AirStep::Kind::Close);
                break;
            case AirStep::Kind::Pause:
                if (!pauseEnd_) pauseEnd_ = Now() + kMorseUnit * step.value;
                if (Now() < *pauseEnd_) return At(*pauseEnd_);
                pauseEnd_.reset();
                break;
        }
        ++stepAt_;
    }
    steps_.clear();
    stepAt_ = 0;
    pauseEnd_.reset();
    return Again();
}

Transmission::Next Transmission::PutCode(int code) {
    if (mode_ == Mode::Psk31) {
        // At most three codes ahead of the modulator, so that pause and
        // cancel act within a few characters.
        if (psk_.CodesQueued() > PskModem::kMostQueued) return At(NotBefore(psk_.NextChange()));
        psk_.QueueCharacter(code);
        return Again();
    }
    SerialLine& line = transmitter_.Line();
    if (!line.CanSend()) return At(NotBefore(line.NextChange()));
    // The tones follow the line: the generator takes whatever the line takes.
    if (!settings_.noSound)
        if (ToneGenerator* generator = transmitter_.Generator()) generator->Put(code);
    line.Send(static_cast<std::uint8_t>(code));
    return Again();
}

void Transmission::CloseKey(bool closed) {
    if (breakKeyer_) return SetBreak(closed);
    // The keying device is the Morse key; a transmitter released meanwhile is never keyed again by it.
    if (transmitter_.On()) KeyMorse(closed);
}

void Transmission::SetBreak(bool on) {
    // Frequency-shift Morse: the break holds the line at space within the carrier.
    breakOn_ = on;
    transmitter_.Line().SetBreak(on);
    if (!settings_.noSound)
        if (ToneGenerator* generator = transmitter_.Generator()) generator->PutBreak(on);
}

// ---- The identification ----

Transmission::Next Transmission::Identify() {
    const std::string idText = settings_.IdText();
    if (mode_ == Mode::Psk31) {
        // Morse on the carrier, then the carrier off; the next text starts
        // after fifteen seconds, or once a long callsign is done.
        switch (stage_) {
            case 0:
                view_.ShowQueueLine("Sending CWID " + idText);
                if (Stopped()) break;
                psk_.SetIdentificationText(idText);
                psk_.QueueIdentification();
                psk_.EndAfterQueue();
                until_ = NextWholeSecond(Now(), static_cast<int>(kPskIdentification.count()));
                stage_ = 1;
                return At(until_);
            case 1:
                if (Stopped()) break;
                if (Now() < until_) return At(until_);
                if (psk_.Transmitting()) return At(NotBefore(psk_.TransmitEnd()));
                if (transmitter_.On()) psk_.StartTransmitting();
                break;
        }
        phase_ = Phase::Tail;
        stage_ = 0;
        return Again();
    }
    // Otherwise Morse: in CW on the keying line, else by the break
    // condition, frequency-shift Morse within a carrier before and after.
    if (stage_ == 0) {
        view_.ShowQueueLine("Sending CWID " + idText);
        breakKeyer_ = mode_ != Mode::Cw;
        until_ = breakKeyer_ ? Now() + kMorseCarrier : Now();
        at_ = 0;
        stage_ = 1;
    }
    if (stage_ == 1) {
        if (!Stopped() && Now() < until_) return At(until_);
        stage_ = 2;
    }
    if (stage_ == 2) {
        if (!steps_.empty()) return RunSteps();
        if (at_ < idText.size() && !Stopped()) {
            AirEncoder::EncodeMorse(static_cast<unsigned char>(idText[at_++]), steps_);
            stepAt_ = 0;
            return Again();
        }
        until_ = breakKeyer_ ? Now() + kMorseCarrier : Now();
        stage_ = 3;
    }
    if (!Stopped() && Now() < until_) return At(until_);
    breakKeyer_ = false;
    line_.Clear();  // the identification's line is finished as it is sent
    phase_ = Phase::Tail;
    stage_ = 0;
    return Again();
}

// ---- The end ----

Transmission::Next Transmission::Release() {
    if (breakOn_) SetBreak(false);
    breakKeyer_ = false;
    if (!transmitter_.On()) {
        phase_ = Phase::Afterglow;
        return Again();
    }
    if (stage_ == 0) {
        if (!aborted_ && !plan_.alwaysRelease && hooks_.keepKeyed && hooks_.keepKeyed()) {
            transmitter_.keyHeldForNext = true;
            phase_ = Phase::Done;
            return Again();
        }
        stage_ = 1;
    }
    // The last teleprinter character goes out whole before the key drops.
    if (OnTheLine(mode_) && !transmitter_.Line().Drained()) return At(NotBefore(transmitter_.Line().NextChange()));
    transmitter_.ReleaseTransmitter();
    phase_ = Phase::Afterglow;
    return Again();
}

Transmission::Next Transmission::Afterglow() {
    // The tones or the carrier of the release run on before the result.
    const TimePoint end = transmitter_.AfterglowEnd();
    if (Now() < end) return At(end);
    phase_ = Phase::Done;
    return Again();
}

void Transmission::Finish() {
    TransmissionResult result;
    result.cancelled = cancelled_;
    result.whole = allWhole_ && !cancelled_ && !aborted_ && reason_.empty();
    if (!result.whole && !cancelled_) result.reason = reason_.empty() ? "not sent whole" : reason_;
    phase_ = Phase::Idle;
    timer_.Stop();
    // The hook may start the next transmission.
    Hooks hooks = std::move(hooks_);
    hooks_ = {};
    if (hooks.done) hooks.done(result);
}

}  // namespace sked
