#include "net/net_error.h"

#include <string>

namespace sked {

namespace {

class NetErrorCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "net"; }
    std::string message(int value) const override {
        return static_cast<NetError>(value) == NetError::HostNotFound ? "host name not found" : "network error";
    }
};

}  // namespace

const std::error_category& NetCategory() {
    static const NetErrorCategory category;
    return category;
}

}  // namespace sked
