#include "app/window_view.h"

#include "platform/clock.h"
#include "platform/text_format.h"

namespace sked {

namespace {
// The file name field is read as its first 254 characters.
constexpr std::size_t kNameChars = 254;
}  // namespace

WindowView::WindowView(MainWindow& window, const StationSettings& settings, TransmitQueue& queue,
                       std::function<bool()> sending)
    : w_(window), settings_(settings), queue_(queue), sending_(std::move(sending)) {
    queueObserver_ = queue_.Observe([this](const QueueChange& change) { QueueChanged(change); });
}

WindowView::~WindowView() { queue_.Unobserve(queueObserver_); }

void WindowView::QueueChanged(const QueueChange& change) {
    ListBoxControl& list = w_.scheduleList;
    switch (change.kind) {
        case QueueChange::kInserted:
            list.InsertString(change.index, queue_.At(change.index).text);
            break;
        case QueueChange::kRemoved:
            list.DeleteString(change.index);
            break;
        case QueueChange::kReplaced: {
            // One notification for a whole load, whatever its length.
            std::vector<std::string> texts;
            texts.reserve(queue_.Entries().size());
            for (const QueueEntry& entry : queue_.Entries()) texts.push_back(entry.text);
            list.SetItems(std::move(texts));
            break;
        }
    }
}

// The texts shown every second or every character are made only when
// something shows them (SetTextOf).
void WindowView::ShowCharactersLeft(std::size_t left) {
    w_.charCountField.SetTextOf(static_cast<long long>(left), [](long long n) { return Format("C=%lld", n); });
}

void WindowView::ShowFlow(Flow flow) {
    static constexpr const char* kTexts[] = {"", "PAUSE", "RESUME", "CANCEL"};
    w_.flowField.SetText(kTexts[static_cast<int>(flow)]);
}

void WindowView::ShowCountdown(long seconds) {
    w_.countdownField.SetTextOf(seconds, [](long long n) { return Format("%lld", n); });
}

void WindowView::ShowClock(std::time_t now) {
    w_.clockField.SetTextOf(now, [](long long t) { return CtimeText(static_cast<std::time_t>(t)); });
}

void WindowView::ShowCwTimer(int secondsLeft) {
    w_.cwTimerField.SetTextOf(secondsLeft, [](long long n) { return Format("%lld", n); });
}

void WindowView::ShowPort(int number) { w_.comPortField.SetText(ComPortName(number)); }

void WindowView::LockSoundChoice(bool locked) {
    w_.noSoundCheck.SetEnabled(!locked);
    w_.soundCardCombo.SetEnabled(!locked);
}

void WindowView::LockToneFields(bool locked) {
    if (locked) {
        w_.centreField.SetReadOnly(true);
        w_.shiftField.SetReadOnly(true);
        return;
    }
    const bool centreStyle = settings_.tones.centreAndShift;
    w_.centreField.SetReadOnly(!centreStyle);
    w_.shiftField.SetReadOnly(!centreStyle);
    w_.markField.SetReadOnly(centreStyle);
    w_.spaceField.SetReadOnly(centreStyle);
}

void WindowView::ShowTones(const StationSettings& s, ToneDisplay display) {
    const ToneSettings& tones = s.tones;
    auto show = [](EditControl& field, const char* format, double value) { field.SetText(Format(format, value)); };
    switch (display) {
        case ToneDisplay::Rtty:
        case ToneDisplay::Psk: {
            const bool psk = display == ToneDisplay::Psk;
            const double centre = psk ? s.pskFrequency : s.fskCentre;
            const double shift = psk ? kPskShift : kFskShift;
            show(w_.centreField, "%10.3f", centre);
            show(w_.shiftField, psk ? "%6.2f" : "%8.2f", shift);
            show(w_.markField, "%8.1f", centre - shift / 2);
            show(w_.spaceField, "%8.1f", centre + shift / 2);
            break;
        }
        case ToneDisplay::Keyed:
            // The pair that did not count, as the pair that did gives it.
            if (tones.centreAndShift) {
                show(w_.markField, "%8.2f", tones.mark);
                show(w_.spaceField, "%8.2f", tones.space);
            } else {
                show(w_.centreField, "%8.2f", tones.centre);
                show(w_.shiftField, "%6.1f", tones.shift);
            }
            break;
        case ToneDisplay::Centre:
            show(w_.centreField, "%10.3f", tones.centre);
            break;
    }
    w_.centreShiftRadio.SetChecked(tones.centreAndShift);
    w_.markSpaceRadio.SetChecked(!tones.centreAndShift);
}

void WindowView::LockLinkChoice(bool connected) {
    w_.authField.SetReadOnly(connected);
    w_.addressField.SetReadOnly(connected);
    w_.netPortCombo.SetEnabled(!connected);
    if (connected) w_.soundCardCombo.SetEnabled(false);
}

void WindowView::ShowFile(const std::string& name, const std::string& text) {
    w_.fileNameField.SetText(name);
    w_.editCheck.SetCheck(kDisplayReadOnly);
    UpdateDisplayMode();
    w_.displayBox.SetText(text);
}

void WindowView::HighlightCharacter(const std::string& name, std::size_t index) {
    if (w_.fileNameField.Text(kNameChars) == name)
        w_.displayBox.SetSelection(static_cast<int>(index), static_cast<int>(index + 1));
}

void WindowView::UpdateDisplayMode() {
    if (sending_ && sending_()) {
        w_.editCheck.SetCheck(kDisplayLocked);
        w_.displayBox.SetReadOnly(true);
        w_.fileNameField.SetReadOnly(true);
        return;
    }
    const int editState = w_.editCheck.Check();
    if (editState == kDisplayLocked) w_.editCheck.SetCheck(kDisplayReadOnly);
    const bool editing = editState == kDisplayEditable;
    w_.displayBox.SetReadOnly(!editing);
    w_.fileNameField.SetReadOnly(!editing);
    w_.displayBox.SetMargins(0, kDefaultMargin);
    w_.marginSlider.SetPos(kSliderRange - kDefaultMargin);
}

}  // namespace sked
