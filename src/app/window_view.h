// The station's display fields on the main window's control models: the
// values the senders and the scheduler show, turned into the texts of the
// fields; the queue in the schedule list; the display box's edit states.
#pragma once

#include <string>

#include "app/main_window.h"
#include "scheduler/transmit_queue.h"
#include "transmit/station_settings.h"
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

    // `sending` tells whether a transmission is under way (the display is then locked).
    WindowView(MainWindow& window, const StationSettings& settings, TransmitQueue& queue,
               std::function<bool()> sending);
    ~WindowView() override;
    WindowView(const WindowView&) = delete;
    WindowView& operator=(const WindowView&) = delete;

    void ShowStatus(const std::string& text) override { w_.statusLine.SetText(text); }
    void ShowQueueLine(const std::string& text) override { w_.queueLine.SetText(text); }
    void ShowCharactersLeft(std::size_t left) override;
    void ClearCharactersLeft() override { w_.charCountField.SetText(""); }
    void ShowFlow(Flow flow) override;
    void ShowCountdown(long seconds) override;
    void ClearCountdown() override { w_.countdownField.SetText(""); }
    void ShowClock(std::time_t now) override;
    void ShowAutoSend(bool enabled) override { w_.autoSendField.SetText(enabled ? "ENABLE" : "DISABLED"); }
    void ShowCwTimer(int secondsLeft) override;
    void ShowCwTimerOff() override { w_.cwTimerField.SetText("OFF"); }
    void ShowPort(int number) override;
    void ShowTransmitter(bool on) override { w_.transmitField.SetText(on ? "  ON  " : "  OFF  "); }
    void LockSoundChoice(bool locked) override;
    void LockToneFields(bool locked) override;
    void ShowTones(const StationSettings& settings, ToneDisplay display) override;
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
    const StationSettings& settings_;
    TransmitQueue& queue_;
    std::function<bool()> sending_;
    int queueObserver_;
};

}  // namespace sked
