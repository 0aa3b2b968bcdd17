#include "AnswerGapProbe.h"

#include "BenchClock.h"
#include "protocol/Identification.h"
#include "protocol/Requests.h"
#include "protocol/WireCodec.h"

#include <QByteArray>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrava::bench {

namespace {

constexpr qint64 kAskEveryNs = 10'000'000;

// Reads what arrived; false when the target closed the connection.
bool drain(int socket) {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::recv(socket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got == 0)
            return false;
        if (got < 0)
            return true;
    }
}

} // namespace

AnswerGapProbe::~AnswerGapProbe() {
    stop();
}

bool AnswerGapProbe::start(quint16 port, int connections) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < connections; ++i) {
        const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (socket < 0 || ::connect(socket, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
            if (socket >= 0)
                ::close(socket);
            return false;
        }
        m_sockets.push_back(socket);
        const QByteArray hello = WireCodec::encodeUtf16(
            encodeIdentification({QStringLiteral("GAPPROBE%1").arg(i), QStringLiteral("GAPPROBE%1").arg(i),
                                  QStringLiteral("1.4")}));
        ::send(socket, hello.constData(), static_cast<std::size_t>(hello.size()), MSG_NOSIGNAL);
    }
    // The answers to the identifications are not gaps.
    ::usleep(300'000);
    for (int socket : m_sockets)
        drain(socket);
    m_thread = std::thread([this] { run(); });
    return true;
}

void AnswerGapProbe::run() {
    const QByteArray ask = WireCodec::encodeUtf16(encodeRequest(Request::Schedule));
    std::vector<pollfd> polled;
    for (int socket : m_sockets)
        polled.push_back({socket, POLLIN, 0});
    std::size_t next = 0;
    qint64 askAt = nowNs();
    qint64 lastAnswer = nowNs();
    while (!m_stop.load()) {
        if (nowNs() >= askAt) {
            ::send(m_sockets[next], ask.constData(), static_cast<std::size_t>(ask.size()), MSG_NOSIGNAL);
            next = (next + 1) % m_sockets.size();
            // Asks missed while the target held its loop are not made up for.
            askAt = std::max(askAt + kAskEveryNs, nowNs());
        }
        if (::poll(polled.data(), polled.size(), 1) <= 0)
            continue;
        const qint64 now = nowNs();
        for (pollfd& entry : polled) {
            if (!(entry.revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            if (!drain(entry.fd)) {
                entry.fd = -1;
                continue;
            }
            m_longestNs = std::max(m_longestNs.load(), now - lastAnswer);
            lastAnswer = now;
        }
    }
}

void AnswerGapProbe::stop() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    for (int socket : m_sockets)
        ::close(socket);
    m_sockets.clear();
}

} // namespace kestrava::bench
