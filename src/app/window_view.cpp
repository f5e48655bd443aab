#include "app/window_view.h"

namespace sked {

namespace {
// The file name field and the display are read as their first 254 characters.
constexpr std::size_t kNameChars = 254;
}  // namespace

WindowView::WindowView(MainWindow& window, const StationState& state, TransmitQueue& queue)
    : w_(window), state_(state), queue_(queue) {
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
        case QueueChange::kReplaced:
            list.ResetContent();
            for (const QueueEntry& entry : queue_.Entries()) list.AddString(entry.text);
            break;
    }
}

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
    const bool centreStyle = state_.tones.centreAndShift;
    w_.centreField.SetReadOnly(!centreStyle);
    w_.shiftField.SetReadOnly(!centreStyle);
    w_.markField.SetReadOnly(centreStyle);
    w_.spaceField.SetReadOnly(centreStyle);
}

void WindowView::ShowTones() {
    w_.centreField.SetText(state_.tones.centre);
    w_.shiftField.SetText(state_.tones.shift);
    w_.markField.SetText(state_.tones.mark);
    w_.spaceField.SetText(state_.tones.space);
    w_.centreShiftRadio.SetChecked(state_.tones.centreAndShift);
    w_.markSpaceRadio.SetChecked(!state_.tones.centreAndShift);
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
    if (!state_.idle) {
        w_.editCheck.SetCheck(kDisplayLocked);
        w_.displayBox.SetReadOnly(true);
        w_.fileNameField.SetReadOnly(true);
        return;
    }
    int editState = w_.editCheck.Check();
    if (editState == kDisplayLocked) {
        w_.editCheck.SetCheck(kDisplayReadOnly);
        w_.displayBox.SetSoftBreaks(false);
    }
    bool editing = editState == kDisplayEditable;
    w_.displayBox.SetReadOnly(!editing);
    w_.fileNameField.SetReadOnly(!editing);
    w_.displayBox.SetMargins(0, kDefaultMargin);
    w_.marginSlider.SetPos(kSliderRange - kDefaultMargin);
}

}  // namespace sked
