#pragma once

#include <QString>
#include <QtGlobal>

namespace kestrava {

// The byte stream under a client connection: the kernel's socket itself, or TLS over it. Queueing,
// spacing and splitting above it are the same for both.
class Transport {
public:
    enum class Status {
        Done,
        // Nothing can move until the descriptor is writable (or, for receive, readable) again.
        WouldBlock,
        // Nothing can move until the descriptor is readable again.
        WantsRead,
        // The peer ended the stream.
        Closed,
        Failed,
    };
    struct Result {
        Status status = Status::Done;
        qsizetype bytes = 0;
        // errno of a failed system call; 0 when the stream itself failed (see failure()).
        int error = 0;
    };

    virtual ~Transport() = default;

    // At most size bytes of what arrived.
    virtual Result receive(char* data, qsizetype size) = 0;
    // As much of data as the kernel takes now.
    virtual Result send(const char* data, qsizetype size) = 0;
    // Received bytes already out of the kernel but not yet given to receive().
    virtual bool hasBuffered() const { return false; }
    // Why the stream failed, for the log.
    virtual QString failure() const { return {}; }
};

} // namespace kestrava
