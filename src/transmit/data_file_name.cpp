#include "transmit/data_file_name.h"

#include <string_view>

namespace sked {

bool IsDataFileName(const std::string& name) {
    if (name.empty() || name.front() == '/') return false;
    std::string_view rest = name;
    while (true) {
        std::size_t slash = rest.find('/');
        if (rest.substr(0, slash) == "..") return false;
        if (slash == std::string_view::npos) return true;
        rest.remove_prefix(slash + 1);
    }
}

}  // namespace sked
