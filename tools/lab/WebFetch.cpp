#include "WebFetch.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace WebFetch {

namespace {

constexpr int kTimeoutMs = 900;

bool waitFor(int fd, short events, Clock::time_point deadline) {
    pollfd waiting{fd, events, 0};
    return ::poll(&waiting, 1, leftMs(deadline)) == 1 && (waiting.revents & events);
}

bool getFrom(const addrinfo& address, const std::string& host, Clock::time_point deadline) {
    const int fd = connectBefore(address, deadline);
    if (fd < 0)
        return false;
    const std::string request = "GET / HTTP/1.0\r\nHost: " + host + "\r\n\r\n";
    bool ok =
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
    char answer[16] = {};
    ok = ok && waitFor(fd, POLLIN, deadline) && ::recv(fd, answer, sizeof answer - 1, 0) >= 5 &&
         std::strncmp(answer, "HTTP/", 5) == 0;
    ::close(fd);
    return ok;
}

} // namespace

int leftMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

int connectBefore(const addrinfo& address, Clock::time_point deadline) {
    const int fd =
        ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
    if (fd < 0)
        return -1;
    int error = 0;
    socklen_t length = sizeof error;
    const bool ok = ::connect(fd, address.ai_addr, address.ai_addrlen) == 0 ||
                    (errno == EINPROGRESS && waitFor(fd, POLLOUT, deadline) &&
                     ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0);
    if (!ok)
        ::close(fd);
    return ok ? fd : -1;
}

bool fetch(const std::string& host, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), "80", &hints, &found) != 0 || !found)
        return false;
    bool answered = false;
    for (const addrinfo* address = found; address && !answered && leftMs(deadline) > 0;
         address = address->ai_next)
        answered = getFrom(*address, host, deadline);
    ::freeaddrinfo(found);
    return answered;
}

int run(const std::vector<std::string>& hosts) {
    // The resolver's default of 5 s per try would outlast every probe.
    ::setenv("RES_OPTIONS", "timeout:1 attempts:1", 1);
    std::vector<char> answered(hosts.size(), 0);
    std::vector<std::thread> fetches;
    for (std::size_t i = 0; i < hosts.size(); ++i)
        fetches.emplace_back([&, i] { answered[i] = fetch(hosts[i], kTimeoutMs) ? 1 : 0; });
    for (std::thread& each : fetches)
        each.join();
    for (std::size_t i = 0; i < hosts.size(); ++i)
        std::printf("%s %s\n", hosts[i].c_str(), answered[i] ? "yes" : "no");
    return 0;
}

} // namespace WebFetch
