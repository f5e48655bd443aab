// Sending and showing text files under data/: TXFile with its progress
// display and Pause/Resume/Cancel between characters, PrintFile, the
// composition area, and the test transmissions.
#pragma once

#include <cstdio>
#include <string>

namespace sked {

class CSchedulerDlg;

class FileSender {
public:
    // What the display box and the composition hold at most.
    static constexpr std::size_t kBufferSize = 32000;

    explicit FileSender(CSchedulerDlg& dlg) : dlg_(dlg) {}

    // Sends data/<name>; true when its whole text went out (not cancelled,
    // the file readable).
    bool TXFile(const std::string& name, int mode);
    // 0 on success or when nothing is to be shown, 1 on failure.
    int PrintFile(const std::string& name);
    void UpdateDisplayMode();

    void CmCompose();
    void CmSendCompose();
    void CmEditSave();
    void CmRYRYRYRY();
    void CmRepeat();
    void CmHeader();

    // The RY and Fox tests: key, 3 s idle, the file (again while Repeat is
    // ticked), 3 s idle, release.
    void SendTestFile(const std::string& name);

    // Text of a file as the station reads it: the whole file, ending at the
    // first zero byte. False when the file cannot be opened or read.
    static bool ReadText(const std::string& path, std::string& text);
    // The file opened for reading bytes unchanged; null when it cannot be
    // opened or is a folder.
    static std::FILE* OpenForReading(const std::string& path);

private:
    void ShowRunningLine(char sent);
    void SendRepeatedly(const std::string& name);

    CSchedulerDlg& dlg_;
};

}  // namespace sked
