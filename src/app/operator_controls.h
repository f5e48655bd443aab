// The operator's controls of the main window: the scheduler switches, the
// flow of a transmission, the queue edits, the file list and the test and
// view buttons.
#pragma once

#include <string>

namespace sked {

class CSchedulerDlg;

class OperatorControls {
public:
    static constexpr std::size_t kHelpLinesInFileList = 34;

    explicit OperatorControls(CSchedulerDlg& dlg) : dlg_(dlg) {}

    void CmEnable();
    void CmDisable();
    void CmPause();
    void CmResume();
    void CmCancel();
    void CmSendNow();
    // The transmitter ON and OFF buttons (and $TX, $RX). Switched on this
    // way the transmitter stays keyed until released; switched off during a
    // transmission, the transmission is cancelled rather than sent on unkeyed.
    void TransmitterOnClicked();
    void TransmitterOffClicked();
    void DeleteSelected();
    void FileAdd();
    void RefreshFileList();
    void FileSelected();
    void Fox();
    void ViewLog();
    void Editor();
    void PowerClicked();
    void ModeGroupClicked();

private:
    CSchedulerDlg& dlg_;
};

}  // namespace sked
