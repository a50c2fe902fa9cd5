// POSIX stream sockets: a Unix socket named as FILE is connected to.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "internal.hpp"
#include "verify/platform.hpp"

std::FILE* platform_connect(const char* name, int& err) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::strlen(name);
    if (length >= sizeof address.sun_path) {
        err = ENAMETOOLONG;
        return nullptr;
    }
    std::memcpy(address.sun_path, name, length + 1);
    const int fd = posix::above_standard(socket(AF_UNIX, SOCK_STREAM, 0));
    std::FILE* f = nullptr;
    // Connected, it is read without blocking, as platform_open leaves a FIFO.
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        fcntl(fd, F_SETFL, O_NONBLOCK) == 0)
        f = fdopen(fd, "rb");
    if (f == nullptr) {
        err = errno;
        if (fd >= 0) close(fd);
    }
    return f;
}
