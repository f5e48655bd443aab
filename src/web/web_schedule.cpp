#include "web/web_schedule.h"

namespace sked::web {

namespace {

std::string Field(const nlohmann::json& request, const char* name) {
    const auto it = request.find(name);
    return it != request.end() && it->is_string() ? it->get<std::string>() : std::string();
}

}  // namespace

void WebSchedule::Boxes::Show(const std::string&, const std::string& text, BoxIcon) { shown.push_back(text); }

WebSchedule::WebSchedule(Station& station)
    : station_(station), editor_(station.settings, station.loop.clock(), boxes_) {}

nlohmann::json WebSchedule::Act(const nlohmann::json& request) {
    boxes_.shown.clear();
    const std::string op = Field(request, "op");
    EditorWindow& w = editor_.window();
    const auto index = request.find("index");
    const int line = index != request.end() && index->is_number_integer() ? index->get<int>() : -1;
    bool saved = false;
    if (op == "load" || !loaded_) {
        editor_.Shown();  // the first showing reads the file
        if (loaded_) editor_.GetSchedule(ScheduleEditor::kScheduleFile);
        loaded_ = true;
    }
    if (op == "insert" || op == "replace" || op == "delete") {
        if (line >= w.scheduleList.Count() || (op != "insert" && line < 0)) {
            boxes_.shown.push_back("Choose a line of the list first.");
        } else {
            w.scheduleList.SetCurSel(line);
            w.fileCombo.SetEditText(Field(request, "name"));
            w.dateField.SetText(Field(request, "date"));
            w.timeField.SetText(Field(request, "time"));
            w.repeatField.SetText(Field(request, "repeat"));
            if (op == "insert") editor_.Insert();
            else if (op == "replace") editor_.Replace();
            else editor_.Delete();
        }
    } else if (op == "save") {
        saved = editor_.SaveSchedule(ScheduleEditor::kScheduleFile);
    } else if (op != "load" && op != "view") {
        boxes_.shown.push_back("unknown action \"" + op + "\"");
    }
    nlohmann::json reply{{"ok", boxes_.shown.empty()}};
    std::string error;
    for (const std::string& text : boxes_.shown) error += (error.empty() ? "" : "\n") + text;
    reply["error"] = error;
    reply["lines"] = nlohmann::json::array();
    for (const std::string& item : w.scheduleList.Items()) reply["lines"].push_back(item);
    reply["status"] = w.statusField.Text();
    // The station takes the saved schedule at once, as after the window's Save-n-Exit.
    if (saved) station_.commands.Reload();
    return reply;
}

}  // namespace sked::web
