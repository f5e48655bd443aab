// skedcast-gui: the station with its main window and schedule editor (Qt).
#include "console/station_main.h"
#include "console/station_run.h"
#include "gui/window_front_end.h"

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
    QtWindows windows;
    return sked::StationMain(argc, argv, &windows);
}
