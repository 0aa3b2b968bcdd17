#include "NetProbe.h"

#include "WebFetch.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace NetProbe {

namespace {

using WebFetch::Clock;

// Whether a datagram came back on the connected socket before the deadline.
bool answered(int fd, std::string& answer, Clock::time_point deadline) {
    pollfd waiting{fd, POLLIN, 0};
    char buffer[1500];
    if (::poll(&waiting, 1, WebFetch::leftMs(deadline)) != 1)
        return false;
    const ssize_t length = ::recv(fd, buffer, sizeof buffer, 0);
    if (length <= 0)
        return false;
    answer.assign(buffer, size_t(length));
    return true;
}

int udpEcho(const char* host, const char* port, int timeoutMs, int sourcePort) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo hints{};
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host, port, &hints, &found) != 0 || !found)
        return 2;
    const int fd = ::socket(found->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in source{};
    source.sin_family = AF_INET;
    source.sin_port = htons(uint16_t(sourcePort));
    const bool bound =
        sourcePort == 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) == 0;
    const std::string sent = "kestrava lab";
    std::string echo;
    const bool echoed = fd >= 0 && bound && ::connect(fd, found->ai_addr, found->ai_addrlen) == 0 &&
                        ::send(fd, sent.data(), sent.size(), 0) == ssize_t(sent.size()) &&
                        answered(fd, echo, deadline) && echo == sent;
    ::freeaddrinfo(found);
    if (fd >= 0)
        ::close(fd);
    return echoed ? 0 : 1;
}

} // namespace

int connectOnce(const char* host, const char* port, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host, port, &hints, &found) != 0 || !found)
        return 2;
    bool connected = false;
    for (const addrinfo* address = found; address && !connected && Clock::now() < deadline;
         address = address->ai_next)
        if (const int fd = WebFetch::connectBefore(*address, deadline); fd >= 0) {
            ::close(fd);
            connected = true;
        }
    ::freeaddrinfo(found);
    return connected ? 0 : 1;
}

std::optional<int> runFromArguments(int argc, char** argv) {
    if (argc < 2)
        return std::nullopt;
    // A resolver that waits its default 5 s per try would outlast any time-out the caller sets.
    ::setenv("RES_OPTIONS", "timeout:1 attempts:2", 1);
    if (argc == 5 && std::strcmp(argv[1], "--probe") == 0)
        return connectOnce(argv[2], argv[3], std::atoi(argv[4]));
    if (argc == 6 && std::strcmp(argv[1], "--probe-udp") == 0)
        return udpEcho(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
    return std::nullopt;
}

} // namespace NetProbe
