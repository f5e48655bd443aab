// The station's display fields on the main window's control models: what
// the senders and the scheduler show, the queue in the schedule list, and
// the display box's edit states.
#pragma once

#include <string>

#include "app/main_window.h"
#include "scheduler/transmit_queue.h"
#include "transmit/station_state.h"
#include "transmit/station_view.h"

namespace sked {

// The Edit box's three states.
enum EditState : int { kDisplayReadOnly = 0, kDisplayEditable = 1, kDisplayLocked = 2 };

class WindowView : public StationView {
public:
    // The display box's default right margin, in pixels, and the slider
    // position that gives it (the margin is 500 minus the position).
    static constexpr int kDefaultMargin = 75;
    static constexpr int kSliderRange = 500;

    WindowView(MainWindow& window, const StationState& state, TransmitQueue& queue);
    ~WindowView() override;
    WindowView(const WindowView&) = delete;
    WindowView& operator=(const WindowView&) = delete;

    void ShowStatus(const std::string& text) override { w_.statusLine.SetText(text); }
    void ShowQueueLine(const std::string& text) override { w_.queueLine.SetText(text); }
    void ShowCharactersLeft(const std::string& text) override { w_.charCountField.SetText(text); }
    void ShowFlow(const std::string& text) override { w_.flowField.SetText(text); }
    void ShowCountdown(const std::string& text) override { w_.countdownField.SetText(text); }
    void ShowClock(const std::string& text) override { w_.clockField.SetText(text); }
    void ShowAutoSend(bool enabled) override { w_.autoSendField.SetText(enabled ? "ENABLE" : "DISABLED"); }
    void ShowCwTimer(const std::string& text) override { w_.cwTimerField.SetText(text); }
    void ShowCwTimerTicked(bool ticked) override { w_.cwTimerCheck.SetCheck(ticked ? 1 : 0); }
    void ShowPort(const std::string& name) override { w_.comPortField.SetText(name); }
    void ShowTransmitter(bool on) override { w_.transmitField.SetText(on ? "  ON  " : "  OFF  "); }
    void LockSoundChoice(bool locked) override;
    void LockToneFields(bool locked) override;
    void ShowTones() override;
    void LockLinkChoice(bool connected) override;
    void ShowFile(const std::string& name, const std::string& text) override;
    void ShowDisplayMessage(const std::string& text) override { w_.displayBox.SetText(text); }
    void LockDisplay() override { w_.editCheck.SetCheck(kDisplayLocked); }
    void HighlightCharacter(const std::string& name, std::size_t index) override;

    // The display box follows the Edit box and the transmission: editable
    // only while the operator edits and nothing is being sent.
    void UpdateDisplayMode();

private:
    void QueueChanged(const QueueChange& change);

    MainWindow& w_;
    const StationState& state_;
    TransmitQueue& queue_;
    int queueObserver_;
};

}  // namespace sked
