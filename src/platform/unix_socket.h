// Unix-domain stream sockets by path: the X server's and Wayland's, and the
// station's own control socket.
#pragma once

#include <string_view>

#include <sys/socket.h>
#include <sys/un.h>

namespace sked {

// The address of a socket at `path`, in the abstract namespace when
// `abstractName`; its length, or 0 when the path does not fit.
socklen_t UnixAddress(std::string_view path, bool abstractName, sockaddr_un& address);

// A stream socket (close-on-exec) connected to the one at `path`; -1, with
// errno set, when it cannot be (ENAMETOOLONG for a path that does not fit).
int ConnectUnix(std::string_view path, bool abstractName = false);

}  // namespace sked
