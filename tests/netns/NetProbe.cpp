#include "NetProbe.h"

#include "WebFetch.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
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
    sockaddr_in6 source{};
    source.sin6_family = AF_INET6;
    source.sin6_port = htons(uint16_t(sourcePort));
    sockaddr_in source4{};
    source4.sin_family = AF_INET;
    source4.sin_port = source.sin6_port;
    const bool six = found->ai_family == AF_INET6;
    const bool bound =
        sourcePort == 0 || (six ? ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source)
                                : ::bind(fd, reinterpret_cast<sockaddr*>(&source4), sizeof source4)) == 0;
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

int dnsQuery(const char* server, const char* name, int type, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const uint16_t id = uint16_t(std::random_device()());
    // Header: id, recursion desired, one question.
    std::string query{char(id >> 8), char(id & 0xff), 1, 0, 0, 1, 0, 0, 0, 0, 0, 0};
    for (const char *label = name, *dot; *label; label = *dot ? dot + 1 : dot) {
        dot = std::strchr(label, '.');
        if (!dot)
            dot = label + std::strlen(label);
        query += char(dot - label);
        query.append(label, size_t(dot - label));
    }
    query += {0, 0, char(type), 0, 1};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    std::string answer;
    const bool got = fd >= 0 && ::inet_pton(AF_INET, server, &address.sin_addr) == 1 &&
                     ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     ::send(fd, query.data(), query.size(), 0) == ssize_t(query.size()) &&
                     answered(fd, answer, deadline) && answer.size() >= 12 &&
                     answer.compare(0, 2, query, 0, 2) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!got)
        return kDnsNoAnswer;
    const int code = answer[3] & 0x0f;
    const int records = (uint8_t(answer[6]) << 8) | uint8_t(answer[7]);
    return code == 0 && records == 0 ? kDnsNoRecords : code;
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
    if (argc == 6 && std::strcmp(argv[1], "--dns") == 0)
        return dnsQuery(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
    return std::nullopt;
}

} // namespace NetProbe
