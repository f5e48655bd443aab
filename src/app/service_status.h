// One line saying what the station is doing, for a service manager's status
// ("Sending bulletin.txt, 42 %, 3:10 left", "Idle, next: news.txt at 21:00:00").
#pragma once

#include <string>

namespace sked {

class Station;

std::string ServiceStatus(const Station& station);

}  // namespace sked
