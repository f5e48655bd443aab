// The schedule editor: the list of data/schedule.lst with sizes and sending
// estimates, Insert, Replace, Delete, Auto Time, Save, and the keys of the
// dialog. The file chooser and text pane below it are FileChooser's. No
// window here: the Qt dialog (or a test) drives these handlers and shows the
// controls of EditorWindow.
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "editor/editor_window.h"
#include "editor/file_chooser.h"
#include "editor/schedule_list.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "transmit/station_settings.h"

namespace sked {

class ScheduleEditor {
public:
    static constexpr const char* kScheduleFile = "data/schedule.lst";
    static constexpr const char* kWorkingFile = "data/schedule.tmp";

    // Reads the mode and speed (the estimates) and the callsign; writes the
    // PSK31 frequency as the schedule's "$F" markers set it.
    ScheduleEditor(StationSettings& settings, const Clock& clock, MessageBoxService& boxes);

    EditorWindow& window() { return w_; }
    FileChooser& chooser() { return chooser_; }

    void ShowTitle();
    // A show (or hide) of the dialog: reloads everything when a close asked for it.
    void Shown();
    bool reloadPending() const { return reloadPending_; }

    // Empties the list and fills it from `path`; a missing file leaves it
    // empty, one that exists but cannot be read is reported.
    void GetSchedule(const std::string& path);
    // Writes the list to `path`, replacing the file whole; false (after a
    // message box naming the file and the reason) when it could not.
    bool SaveSchedule(const std::string& path);
    void FillFileList() { chooser_.FillFileList(); }
    bool PrintFile(const std::string& name) { return chooser_.PrintFile(name); }

    // Writes the list to the working copy and reloads it from there, so the
    // list shows what a fresh load of the written file gives.
    void Refresh();

    void Insert();
    void Replace();
    void Delete();
    void AutoTimeClicked();
    void Save();
    // Save-n-Exit: true when the dialog may close (the schedule was written).
    bool SaveAndExit();
    // Cancel: nothing written; the next showing starts from the file.
    void CancelEditing();
    void DoubleClick(int index);

    // The keyboard rules: true when the key is consumed.
    enum class Key { kEnter, kEscape, kDown, kOther };
    enum class Focus { kTextPane, kFileName, kOther };
    bool PreTranslateKey(Key key, Focus focus);

    // The comment kept for each list line (tests).
    const std::vector<std::string>& comments() const { return comments_; }

private:
    // Loads `path`; `fresh` counts what is left out from zero (a load of the
    // schedule itself), else adds to the count (a Refresh).
    void Load(const std::string& path, bool fresh);
    void ShowLeftOut();
    void InsertLine(int position, const std::string& display, const std::string& comment);
    void DeleteLine(int position);
    std::vector<EditorLine> Lines() const;

    // The repeat field's rule and the time, for a repeating entry.
    bool CheckRepeating(const std::function<bool(const std::string&)>& refuse, const std::string& name,
                        const std::string& repeat, std::string& date, std::string& time, std::time_t& when);
    // The Date and Time fields and the name checked before Insert or Replace
    // writes a line: false (after a message box saying why) when the line
    // would not read back. `date` and `time` come back as MM/DD/YYYY and
    // HH:MM:SS, or empty for an untimed entry.
    bool CheckEntry(const char* operation, const std::string& name, std::string& date, std::string& time,
                    std::time_t& when);

    StationSettings& settings_;
    const Clock& clock_;
    MessageBoxService& boxes_;
    EditorWindow w_;
    FileChooser chooser_;
    std::vector<std::string> comments_;  // beside each list line

    bool reloadPending_ = true;
    bool untimedDisplay_ = true;  // Auto Time was off at the last load
    int expiredLeftOut_ = 0, unreadableLeftOut_ = 0, otherLeftOut_ = 0;
};

}  // namespace sked
