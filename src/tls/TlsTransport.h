#pragma once

#include "tls/PeerCheck.h"
#include "tls/Transport.h"

struct ssl_st;

namespace kestrava {

class TlsContext;

// The server's end of TLS over a connected, non-blocking descriptor that stays the caller's: OpenSSL
// reads and writes the descriptor itself, so nothing sits between the kernel and the record layer.
class TlsTransport : public Transport {
public:
    TlsTransport(const TlsContext& context, int descriptor);
    ~TlsTransport() override;
    TlsTransport(const TlsTransport&) = delete;
    TlsTransport& operator=(const TlsTransport&) = delete;

    // One step of the handshake: Done once it is complete, WantsRead or WouldBlock (wants to write)
    // while it waits, Closed or Failed when it cannot complete.
    Result handshake();
    Result receive(char* data, qsizetype size) override;
    Result send(const char* data, qsizetype size) override;
    bool hasBuffered() const override;
    QString failure() const override { return m_failure; }

    // The certificate the peer proved, read where the handshake left it: decoding it again costs as much
    // as the rest of a handshake with OpenSSL 3.0.
    PeerCheck::Facts peerCertificate() const;
    // Whether the handshake resumed an earlier session (a ticket) instead of a full one.
    bool resumed() const;

private:
    Result outcome(int ret, qsizetype bytes);

    ssl_st* m_ssl = nullptr;
    QString m_failure;
};

} // namespace kestrava
