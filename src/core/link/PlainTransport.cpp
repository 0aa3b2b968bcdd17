#include "core/link/PlainTransport.h"

#include <cerrno>
#include <sys/socket.h>

namespace kestrava {

namespace {

Transport::Result failedOrWaiting(int error) {
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR)
        return {Transport::Status::WouldBlock, 0, 0};
    return {Transport::Status::Failed, 0, error};
}

} // namespace

Transport::Result PlainTransport::receive(char* data, qsizetype size) {
    const ssize_t got = ::recv(m_descriptor, data, static_cast<std::size_t>(size), MSG_DONTWAIT);
    if (got < 0)
        return failedOrWaiting(errno);
    if (got == 0)
        return {Status::Closed, 0, 0};
    return {Status::Done, got, 0};
}

Transport::Result PlainTransport::send(const char* data, qsizetype size) {
    const ssize_t written =
        ::send(m_descriptor, data, static_cast<std::size_t>(size), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (written < 0)
        return failedOrWaiting(errno);
    return {written == size ? Status::Done : Status::WouldBlock, written, 0};
}

} // namespace kestrava
