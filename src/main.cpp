// skedcast: the unattended teleprinter broadcast station, headless (console,
// service and control client); skedcast-gui adds the windows.
#include "console/station_main.h"

int main(int argc, char* argv[]) { return sked::StationMain(argc, argv, nullptr); }
