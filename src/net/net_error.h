// Errors of the network that the system has no number for. A name that
// cannot be looked up keeps the number operators have long seen for it in
// the mirror's failure box.
#pragma once

#include <system_error>

namespace sked {

enum class NetError { HostNotFound = 11001 };

const std::error_category& NetCategory();
inline std::error_code make_error_code(NetError e) { return {static_cast<int>(e), NetCategory()}; }
// errno as an error code.
inline std::error_code SystemError(int error) { return {error, std::system_category()}; }

}  // namespace sked

template <>
struct std::is_error_code_enum<sked::NetError> : std::true_type {};
