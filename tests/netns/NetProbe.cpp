#include "NetProbe.h"

#include "WebFetch.h"

#include <QHostInfo>
#include <QUdpSocket>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

namespace NetProbe {

namespace {

using WebFetch::Clock;

int udpEcho(const char* host, const char* port, int timeoutMs, int sourcePort) {
    const QList<QHostAddress> found = QHostInfo::fromName(QString::fromLatin1(host)).addresses();
    if (found.isEmpty())
        return 2;
    const QByteArray sent = "kestrava lab";
    QUdpSocket socket;
    const bool bound = sourcePort == 0 || socket.bind(QHostAddress::AnyIPv4, quint16(sourcePort));
    socket.connectToHost(found.first(), quint16(std::atoi(port)));
    const bool echoed = bound && socket.waitForConnected(timeoutMs) && socket.write(sent) == sent.size() &&
                        socket.waitForReadyRead(timeoutMs) && socket.readAll() == sent;
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
