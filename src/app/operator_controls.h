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
