#include "editor/schedule_editor.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/atomic_file.h"
#include "platform/directory.h"
#include "platform/text_format.h"
#include "scheduler/schedule_loader.h"
#include "transmit/data_file_name.h"

namespace sked {

namespace {
constexpr const char* kCaption = "Schedule Editor";
// A new entry with nothing to time it from starts this long from now.
constexpr std::time_t kFirstStart = 10;

// What surrounds a field's text and is not part of it.
constexpr std::string_view kFieldBlanks = " \t";

// Why `path`, which exists, cannot be read.
std::string ReadProblem(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    return "it is not a file";
}
}  // namespace

ScheduleEditor::ScheduleEditor(StationSettings& settings, const Clock& clock, MessageBoxService& boxes)
    : settings_(settings), clock_(clock), boxes_(boxes), chooser_(w_, boxes, [&settings] { return settings.IdText(); }) {}

void ScheduleEditor::ShowTitle() { w_.title = Format("Editor%60s%s", "", settings_.SpacedCallsign().c_str()); }

void ScheduleEditor::Shown() {
    if (!reloadPending_) return;
    reloadPending_ = false;
    w_.filterField.SetText("*.txt");
    w_.fileCombo.SetEditText("");
    Load(kScheduleFile, true);
    FillFileList();
    chooser_.Reset();
}

void ScheduleEditor::GetSchedule(const std::string& path) { Load(path, path == kScheduleFile); }

void ScheduleEditor::Load(const std::string& path, bool fresh) {
    untimedDisplay_ = w_.autoTimeCheck.Check() != 1;
    w_.scheduleList.ResetContent();
    comments_.clear();
    if (fresh) expiredLeftOut_ = unreadableLeftOut_ = otherLeftOut_ = 0;

    std::string text;
    ScheduleFileRead read = ReadScheduleFile(path, text);
    if (read == ScheduleFileRead::kCannotOpen) {
        // No schedule yet is an empty list; one that is there but cannot be
        // read must not look empty, or a save would replace it by nothing.
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0)
            boxes_.Show(kCaption,
                        Format("GetSchedule : Cannot open <%s> input file: %s", path.c_str(), ReadProblem(path).c_str()),
                        BoxIcon::Stop);
        ShowLeftOut();
        return;
    }
    if (read != ScheduleFileRead::kWhole)
        boxes_.Show(kCaption,
                    Format(read == ScheduleFileRead::kReadError
                               ? "GetSchedule : Cannot read all of <%s>; the list shows the part read."
                               : "GetSchedule : <%s> is too long; the list shows its first part only.",
                           path.c_str()),
                    BoxIcon::Warning);

    const EditorReading reading = ReadEditorSchedule(text, clock_.Time(), settings_.mode, settings_.baud,
                                                     untimedDisplay_, DataFileSizeOnDisk);
    if (reading.pskFrequency) settings_.pskFrequency = *reading.pskFrequency;
    // The list in one go: a view copies a year of entries once, not once per entry.
    std::vector<std::string> displays;
    displays.reserve(reading.lines.size());
    for (const EditorLine& line : reading.lines) {
        displays.push_back(line.display);
        comments_.push_back(line.comment);
    }
    w_.scheduleList.SetItems(std::move(displays));
    expiredLeftOut_ += reading.expired;
    unreadableLeftOut_ += reading.unreadable;
    otherLeftOut_ += reading.notEntries;
    ShowLeftOut();
    FillFileList();
}

void ScheduleEditor::ShowLeftOut() {
    const int total = expiredLeftOut_ + unreadableLeftOut_ + otherLeftOut_;
    if (total == 0) {
        w_.statusField.SetText("");
        return;
    }
    w_.statusField.SetText(Format("GetSchedule : %d line%s of %s not listed (%d expired, %d with an unreadable date "
                                  "or time, %d of two words); a save removes them from the file.",
                                  total, total == 1 ? "" : "s", kScheduleFile, expiredLeftOut_, unreadableLeftOut_,
                                  otherLeftOut_));
}

std::vector<EditorLine> ScheduleEditor::Lines() const {
    std::vector<EditorLine> lines;
    const auto& items = w_.scheduleList.Items();
    for (std::size_t i = 0; i < items.size(); ++i) lines.push_back({items[i], comments_[i]});
    return lines;
}

bool ScheduleEditor::SaveSchedule(const std::string& path) {
    std::string problem;
    if (ReplaceFile(path, WriteEditorSchedule(Lines()), problem)) return true;
    boxes_.Show(kCaption, Format("SaveSchedule : Cannot write <%s> file: %s", path.c_str(), problem.c_str()),
                BoxIcon::Stop);
    return false;
}

void ScheduleEditor::Refresh() {
    // When the working copy cannot be written, the list stays as it is
    // rather than showing an older copy.
    if (SaveSchedule(kWorkingFile)) Load(kWorkingFile, false);
}

void ScheduleEditor::InsertLine(int position, const std::string& display, const std::string& comment) {
    const int count = w_.scheduleList.Count();
    if (position < 0 || position > count) position = count;
    comments_.insert(comments_.begin() + position, comment);
    w_.scheduleList.InsertString(position, display);
}

void ScheduleEditor::DeleteLine(int position) {
    if (position < 0 || position >= w_.scheduleList.Count()) return;
    comments_.erase(comments_.begin() + position);
    w_.scheduleList.DeleteString(position);
}

bool ScheduleEditor::CheckEntry(const char* operation, const std::string& name, std::string& date, std::string& time,
                            std::time_t& when) {
    auto refuse = [&](const std::string& why) {
        boxes_.Show(kCaption, Format("%s : %s", operation, why.c_str()), BoxIcon::Warning);
        return false;
    };
    ScheduleWords words = FirstScheduleWords(name);
    if (words.count == 0) return refuse("Choose a file or a command in Filename first.");
    const std::string first(words.word[0]);
    if (first[0] != '$' && !IsDataFileName(first))
        return refuse(Format("<%s> is not a file of the data folder.", first.c_str()));

    date = Trimmed(w_.dateField.Text(), kFieldBlanks);
    time = Trimmed(w_.timeField.Text(), kFieldBlanks);
    // The time tag a double-click copies into the field.
    if (!time.empty() && time.back() == 't') time.pop_back();
    when = -1;
    if (const std::string repeat = Trimmed(w_.repeatField.Text(), kFieldBlanks); !repeat.empty()) {
        if (!date.empty()) return refuse("Enter a date or a repeat rule, not both.");
        return CheckRepeating(refuse, first, repeat, date, time, when);
    }
    if (date.empty() != time.empty())
        return refuse("Enter both a date and a time (MM/DD/YYYY and HH:MM:SS), or leave both empty for an entry "
                      "timed after the one before it.");
    std::size_t longest = kScheduleLineChars;
    if (!date.empty()) {
        LineTime t = ReadLineTime(date + " " + time);
        if (date.find_first_not_of("0123456789/") != std::string::npos ||
            time.find_first_not_of("0123456789:") != std::string::npos || t.kind != LineTime::kValid)
            return refuse(Format("The date and time <%s %s> do not read as MM/DD/YYYY HH:MM:SS.", date.c_str(),
                                 time.c_str()));
        when = t.time;
        std::tm local = LocalTime(when);
        date = Format("%02d/%02d/%4d", local.tm_mon + 1, local.tm_mday, local.tm_year + 1900);
        time = Format("%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
        longest -= date.size() + time.size() + 2;
    }
    if (first.size() > longest)
        return refuse(Format("The name <%s> is longer than the station reads (%zu characters).", first.c_str(),
                             longest));
    return true;
}

bool ScheduleEditor::CheckRepeating(const std::function<bool(const std::string&)>& refuse, const std::string& name,
                                    const std::string& repeat, std::string& date, std::string& time,
                                    std::time_t& when) {
    const ScheduleWords words = FirstScheduleWords(repeat);
    const bool interval = words.count > 0 && RuleTakesInterval(words.word[0]);
    std::string problem;
    auto rule = words.count == (interval ? 2 : 1) && StartsRepeatRule(words.word[0])
                    ? ReadRepeatRule(words.word[0], interval ? words.word[1] : std::string_view(), problem)
                    : std::nullopt;
    if (!rule)
        return refuse(Format("The repeat rule <%s> does not read (%s). Write daily, days such as Mon..Fri or "
                             "Sat,Sun, or every 15m / every 2h.",
                             repeat.c_str(), problem.empty() ? "not a rule" : problem.c_str()));
    const auto second = ReadTimeOfDay(time);
    if (!second) return refuse(Format("The time <%s> does not read as HH:MM:SS.", time.c_str()));
    // Saved as written: the rule's words, the time as the station reads it.
    date = interval ? std::string(words.word[0]) + " " + std::string(words.word[1]) : std::string(words.word[0]);
    time = Format("%02d:%02d:%02d", *second / 3600, *second / 60 % 60, *second % 60);
    when = NextOccurrence(*rule, *second, clock_.Time());
    if (name.size() + date.size() + time.size() + 2 > kScheduleLineChars)
        return refuse(Format("The name <%s> is longer than the station reads.", name.c_str()));
    return true;
}

void ScheduleEditor::Insert() {
    const std::string name = w_.fileCombo.EditText();
    if (name.empty()) {
        FillFileList();
        Refresh();
        return;
    }
    std::string date, time;
    std::time_t when;
    if (!CheckEntry("Insert", name, date, time, when)) return;
    const int selected = w_.scheduleList.CurSel();
    const int position = selected >= 0 ? selected : 0;
    std::string line;
    if (!untimedDisplay_ && when < 0) {
        // Auto Time and no date typed: the new entry is untimed. Until the
        // refresh computes its start it shows that of the entry it goes before.
        if (position < w_.scheduleList.Count()) {
            LineTime t = ReadLineTime(w_.scheduleList.Item(position));
            if (t.kind == LineTime::kValid) when = t.time;
        }
        if (when < 0) when = clock_.Time() + kFirstStart;
        line = ProvisionalLine(when, name);
    } else {
        // The date and time typed are the entry's own, whatever the display.
        line = FieldsLine(date, time, name);
    }
    InsertLine(position, line, "");
    w_.fileCombo.SetEditText("");
    Refresh();
}

void ScheduleEditor::Replace() {
    const std::string name = w_.fileCombo.EditText();
    std::string date, time;
    std::time_t when;
    if (!CheckEntry("Replace", name, date, time, when)) return;
    const int position = w_.scheduleList.CurSel();
    std::string comment;
    if (position >= 0) {
        comment = comments_[static_cast<std::size_t>(position)];
        DeleteLine(position);
    }
    // The entry's comment stays with it while it keeps a time of its own (a
    // one-word line cannot carry one).
    InsertLine(position, FieldsLine(date, time, name), date.empty() ? "" : comment);
    Refresh();
}

void ScheduleEditor::Delete() { DeleteLine(w_.scheduleList.CurSel()); }

void ScheduleEditor::AutoTimeClicked() {
    w_.autoTimeCheck.SetCheck(w_.autoTimeCheck.Check() == 1 ? 0 : 1);
    Refresh();
}

void ScheduleEditor::Save() { SaveSchedule(kScheduleFile); }

bool ScheduleEditor::SaveAndExit() {
    // A schedule that could not be written keeps the dialog open with the
    // edited list, so that nothing is lost.
    if (!SaveSchedule(kScheduleFile)) return false;
    reloadPending_ = true;
    return true;
}

void ScheduleEditor::CancelEditing() { reloadPending_ = true; }

void ScheduleEditor::DoubleClick(int index) {
    if (index < 0 || index >= w_.scheduleList.Count()) return;
    w_.scheduleList.SetCurSel(index);
    DisplayWords words = SplitDisplayLine(w_.scheduleList.Item(index));
    std::string name = words.untimed ? words.first : words.third;
    bool tagged = !words.untimed && words.second.find('t') != std::string::npos;
    w_.fileCombo.SetEditText(name);
    const bool repeating = tagged && StartsRepeatRule(words.first);
    w_.dateField.SetText(tagged && !repeating ? words.first : "");
    w_.repeatField.SetText(repeating ? words.first : "");
    w_.timeField.SetText(tagged ? words.second : "");
    w_.editCheck.SetCheck(0);
    chooser_.CmEdit();
    chooser_.PrintFile(name);
}

bool ScheduleEditor::PreTranslateKey(Key key, Focus focus) {
    switch (key) {
        case Key::kEnter:
            if (focus == Focus::kTextPane) return false;
            if (focus == Focus::kFileName) {
                if (!PrintFile(w_.fileNameField.Text(254))) boxes_.Beep();
            } else if (!PrintFile(w_.fileCombo.EditText())) {
                boxes_.Beep();
            } else {
                chooser_.ComboSelected(w_.fileCombo.CurSel());
            }
            return true;
        case Key::kEscape:
            return true;
        case Key::kDown:
            if (w_.fileCombo.DroppedDown()) return false;
            chooser_.ComboDropDown();
            w_.fileCombo.ShowDropDown(true);
            return true;
        case Key::kOther:
            return false;
    }
    return false;
}

}  // namespace sked
