// Schedule entries whose name begins with "$": commands that change mode,
// speed, tones, port, options and the scheduler itself at their time.
#pragma once

#include <string>
#include <vector>

namespace sked {

class CSchedulerDlg;

class CommandInterpreter {
public:
    explicit CommandInterpreter(CSchedulerDlg& dlg) : dlg_(dlg) {}

    // `text` is the entry's name without its "$".
    void Run(std::string text);

    // The 36 help lines; line 13 carries the identification text.
    static const std::vector<std::string>& HelpTable();
    static void SetIdentificationHelpLine(const std::string& idText);

private:
    void ChangePort(const std::string& text);
    void ChangeKeyLine(int keyLine);
    CSchedulerDlg& dlg_;
};

}  // namespace sked
