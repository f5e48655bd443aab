#include "editor/file_chooser.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fnmatch.h>

#include "app/wrapped_text.h"
#include "editor/format_duration.h"
#include "platform/atomic_file.h"
#include "platform/directory.h"
#include "platform/text_format.h"
#include "scheduler/schedule_commands.h"
#include "transmit/data_file_name.h"
#include "transmit/data_files.h"

namespace sked {

namespace {
constexpr const char* kDataFolder = "data";
constexpr std::size_t kFilterChars = 29;
constexpr std::size_t kFileNameChars = 254;
// The Dur estimate of the pane: a fixed 0.1818 seconds per byte.
constexpr double kBytesPerSecond = 5.5005500550055;
constexpr const char* kNoFiles = "$ ***** No Files Found *****";

// The Filter as the folder search reads it: case-blind, and "*.*" also
// matches names without a full stop.
bool Matches(const std::string& pattern, const std::string& name) {
    if (::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0) return true;
    return pattern.size() >= 2 && pattern.ends_with(".*") &&
           ::fnmatch(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}
}  // namespace

void FileChooser::FillFileList() {
    ComboBoxControl& combo = w_.fileCombo;
    // Refilling the list keeps what the operator typed in the field.
    const std::string typed = combo.EditText();
    combo.ResetContent();
    const std::string filter = w_.filterField.Text(kFilterChars);
    const bool byDate = w_.sortByDateCheck.Check() == 1;
    bool found = false;
    // Only names of data/ itself; the folder's own entries count as found.
    if (filter.find('/') == std::string::npos) {
        found = Matches(filter, ".") || Matches(filter, "..");
        std::vector<DirectoryEntry> files = ListDirectory(kDataFolder);
        if (byDate) SortNewestFirst(files);
        for (const DirectoryEntry& entry : files) {
            if (!Matches(filter, entry.name)) continue;
            found = true;
            if (entry.name[0] == '.') continue;
            // The list keeps its own order by name; newest first is the order found.
            if (byDate) combo.InsertString(-1, entry.name);
            else combo.AddString(entry.name);
        }
    }
    combo.SetEditText(found ? typed : kNoFiles);
    for (const std::string& line : ScheduleHelpLines(idText_())) combo.InsertString(-1, line);
}

bool FileChooser::PrintFile(const std::string& name) {
    w_.fileNameField.SetText(name);
    w_.editCheck.SetCheck(0);
    if (!IsDataFileName(name)) {
        w_.durField.SetText("");
        w_.textPane.SetText(Format("[PrintFile :Refused %s: not a file of the data folder.]", name.c_str()));
        return false;
    }
    const std::string path = std::string(kDataFolder) + "/" + name;
    const std::uintmax_t size = FileSize(path).value_or(0);
    w_.durField.SetText(FormatDuration(static_cast<long>(static_cast<double>(size) / kBytesPerSecond)));
    std::FILE* file = OpenForReading(path);
    if (!file) {
        w_.textPane.SetText(Format("[PrintFile :Cannot open %s input file.]", name.c_str()));
        return false;
    }
    std::string text(kShownBytes, '\0');
    text.resize(std::fread(text.data(), 1, kShownBytes, file));
    std::fclose(file);
    w_.textPane.SetText(text.substr(0, text.find('\0')));
    return true;
}

void FileChooser::CmEdit() {
    const bool edit = w_.editCheck.Check() == 1;
    w_.textPane.SetMargins(0, edit ? kSliderRange - kEditSlider : 0);
    w_.marginSlider.SetPos(edit ? kEditSlider : kSliderRange);
    w_.textPane.SetReadOnly(!edit);
    w_.fileNameField.SetReadOnly(!edit);
}

void FileChooser::CmEditSave() {
    std::string text = WithLineBreaks(w_.textPane.Text(), WrapColumns());
    text.resize(std::min(text.size(), kSavedBytes));
    const std::string name = w_.fileNameField.Text(kFileNameChars);
    if (!IsDataFileName(name)) {
        boxes_.Show("Schedule Editor",
                    Format("CmEditSave : Cannot save <%s>: name a file of the data folder.", name.c_str()),
                    BoxIcon::Warning);
        return;
    }
    const std::string path = std::string(kDataFolder) + "/" + name;
    std::string problem;
    // The pane keeps the text when it cannot be written, so nothing typed is lost.
    if (!ReplaceFileBeneath(kDataFolder, name, text, problem)) {
        boxes_.Show("Schedule Editor", Format("CmEditSave : Cannot write <%s> file: %s", path.c_str(), problem.c_str()),
                    BoxIcon::Stop);
        return;
    }
    FillFileList();
}

void FileChooser::Clear() {
    w_.textPane.SetMargins(0, 0);
    w_.marginSlider.SetPos(kSliderRange);
    w_.textPane.SetText("");
    w_.textPane.SetReadOnly(true);
    w_.fileNameField.SetText("");
    w_.fileNameField.SetReadOnly(true);
    w_.editCheck.SetCheck(0);
    w_.durField.SetText("");
}

void FileChooser::ApplyMargin() {
    w_.editCheck.SetCheck(1);
    w_.textPane.SetMargins(0, kSliderRange - w_.marginSlider.Pos());
}

void FileChooser::SliderReleased(int position) {
    w_.marginSlider.SetPos(position);
    if (w_.editCheck.Check() != 1) return;
    w_.textPane.SetMargins(0, kSliderRange - w_.marginSlider.Pos());
}

void FileChooser::ComboSelected(int index) {
    w_.fileCombo.SetCurSel(index);
    if (index < 0 || index >= w_.fileCombo.Count()) return;
    const std::string item = w_.fileCombo.Item(index);
    if (item.empty()) return;
    w_.editCheck.SetCheck(0);
    CmEdit();
    PrintFile(item);
}

void FileChooser::Reset() {
    w_.marginSlider.SetRange(0, kSliderRange);
    w_.marginSlider.SetPos(kEditSlider);
    w_.textPane.SetMargins(0, kSliderRange - kEditSlider);
    w_.fileNameField.SetText("");
}

int FileChooser::WrapColumns() const { return sked::WrapColumns(w_.textPane); }

}  // namespace sked
