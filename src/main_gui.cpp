// skedcast-gui: the station with its main window and schedule editor (Qt).
#include <cstring>

#include "console/station_add_on.h"
#include "console/station_main.h"
#include "console/station_run.h"
#include "gui/window_front_end.h"
#include "web/web_server.h"

namespace {

class QtWindows : public sked::WindowStarter {
public:
    int Run(const sked::RunOptions& options, int& argc, char** argv) override {
        sked::WindowFrontEnd window(argc, argv);
        return sked::RunStation(options, window);
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc > 1 && std::strcmp(argv[1], "passwd") == 0) return sked::web::PasswordCommand(argc - 2, argv + 2);
    sked::StationAddOns() = sked::web::StartWebPage;
    QtWindows windows;
    return sked::StationMain(argc, argv, &windows);
}
