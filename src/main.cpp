// skedcast: the unattended teleprinter broadcast station, headless (console,
// service, control client and web page); skedcast-gui adds the windows.
#include <cstring>

#include "console/station_add_on.h"
#include "console/station_main.h"
#include "web/web_server.h"

int main(int argc, char* argv[]) {
    if (argc > 1 && std::strcmp(argv[1], "passwd") == 0) return sked::web::PasswordCommand(argc - 2, argv + 2);
    sked::StationAddOns() = sked::web::StartWebPage;
    return sked::StationMain(argc, argv, nullptr);
}
