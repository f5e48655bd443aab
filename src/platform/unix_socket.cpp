#include "platform/unix_socket.h"

#include <cerrno>
#include <cstddef>
#include <cstring>

#include <unistd.h>

namespace sked {

socklen_t UnixAddress(std::string_view path, bool abstractName, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstractName ? 1 : 0;  // an abstract name begins with a zero byte
    if (path.size() + offset >= sizeof address.sun_path) return 0;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    // A path in the file system keeps its terminating zero; an abstract name is exactly its bytes.
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstractName ? 0 : 1));
}

int ConnectUnix(std::string_view path, bool abstractName) {
    sockaddr_un address;
    const socklen_t length = UnixAddress(path, abstractName, address);
    if (length == 0) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

}  // namespace sked
