#pragma once

#include "tls/TlsIdentity.h"

#include <QString>
#include <memory>

struct ssl_ctx_st;

namespace kestrava {

// The one TLS context of a listening port, made once from the program's key and certificate and
// shared by every connection: per-connection contexts cost milliseconds and tens of kilobytes each.
// Peers are asked for a certificate but no chain is verified (both sides are self-signed; PeerCheck
// and the pins decide). Idle connections give their record buffers back. TLS 1.3 session tickets,
// sealed with a key that lives as long as the context, let a peer resume with a fresh key exchange;
// the peer's certificate travels inside the ticket, so its pin is checked as after a full handshake.
class TlsServerContext {
public:
    explicit TlsServerContext(const TlsIdentity& identity);
    ~TlsServerContext();
    TlsServerContext(const TlsServerContext&) = delete;
    TlsServerContext& operator=(const TlsServerContext&) = delete;

    // Empty when usable; else why not.
    const QString& error() const { return m_error; }
    ssl_ctx_st* native() const { return m_context; }

private:
    ssl_ctx_st* m_context = nullptr;
    QString m_error;
};

} // namespace kestrava
