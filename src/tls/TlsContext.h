#pragma once

#include "tls/TlsIdentity.h"

#include <QString>
#include <memory>

struct ssl_ctx_st;

namespace kestrava {

// A TLS context made once from a program's key and certificate and shared by its connections:
// per-connection contexts cost milliseconds and tens of kilobytes each. Peers must show a certificate
// but no chain is verified (both sides are self-signed; PeerCheck and the pins decide). Idle
// connections give their record buffers back. The server's side keeps each session for the ticket it
// issues, so that a peer resumes with a fresh key exchange and the certificate it proved before.
class TlsContext {
public:
    enum class Side { Server, Client };

    TlsContext(Side side, const TlsIdentity& identity);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    // Empty when usable; else why not.
    const QString& error() const { return m_error; }
    ssl_ctx_st* native() const { return m_context; }

private:
    ssl_ctx_st* m_context = nullptr;
    QString m_error;
};

} // namespace kestrava
