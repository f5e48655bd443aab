// The schedule editor behind the web page: the same ScheduleEditor the window
// drives, with its checks, its refusals and its atomic save; what it would
// say in a message box becomes the page's refusal. One working list for
// every page, as there is one editor window; Save writes data/schedule.lst
// and has the station load it again.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/station.h"
#include "editor/schedule_editor.h"
#include "platform/message_box.h"

namespace sked::web {

class WebSchedule {
public:
    explicit WebSchedule(Station& station);

    // One action: {"op": "load" | "view" | "insert" | "replace" | "delete" | "save", "index": N (the list line,
    // -1 for none), "name", "date", "time", "repeat"}. The reply holds "ok", the list's "lines" and "status",
    // and "error" with the editor's reason when it refused.
    nlohmann::json Act(const nlohmann::json& request);

private:
    class Boxes : public MessageBoxService {
    public:
        void Show(const std::string& caption, const std::string& text, BoxIcon icon) override;
        std::vector<std::string> shown;
    };

    Station& station_;
    Boxes boxes_;
    ScheduleEditor editor_;
    bool loaded_ = false;
};

}  // namespace sked::web
