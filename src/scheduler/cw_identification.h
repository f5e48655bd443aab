// The station identifies in Morse: on demand, and once per hour of keyed
// time while the CW-Timer box is ticked.
#pragma once

#include <string>

namespace sked {

class CSchedulerDlg;

class CwIdentifier {
public:
    explicit CwIdentifier(CSchedulerDlg& dlg) : dlg_(dlg) {}

    void Cwid(const std::string& text);
    void CwTimerClicked();
    // The Send CWID button: at once when idle; during a transmission it
    // waits for the transmission's end instead of cutting into it.
    void SendCwidClicked();
    // Called every second: runs an identification that was waiting.
    void RunDeferred();
    bool deferred() const { return deferred_; }

private:
    CSchedulerDlg& dlg_;
    bool deferred_ = false;
};

}  // namespace sked
