#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

struct ssl_st;
struct bio_st;

namespace kestrava {

class TlsContext;

// The client's end of TLS over a stream that the caller carries: what arrives from the peer goes in
// through feed(), and takeOutgoing() gives what is to be sent, the handshake's records included. Made
// from a context shared by many, it costs an SSL object and no copy of the key or certificate.
class TlsClientStream {
public:
    // session: what session() gave on an earlier connection to the same server, offered for resumption.
    explicit TlsClientStream(const TlsContext& context, const QByteArray& session = {});
    ~TlsClientStream();
    TlsClientStream(const TlsClientStream&) = delete;
    TlsClientStream& operator=(const TlsClientStream&) = delete;

    // Takes bytes from the peer and returns the plain text they complete.
    QByteArray feed(QByteArrayView bytes);
    // Plain text for the peer; kept until the handshake is done.
    void write(QByteArrayView plain);
    QByteArray takeOutgoing();

    bool isEncrypted() const;
    // Empty while nothing failed; once set, the stream is of no further use.
    const QString& failure() const { return m_failure; }
    bool resumed() const;
    // The latest session the server gave, ticket included; empty before one arrived.
    QByteArray session() const;

private:
    void advance();
    void check(int ret);

    ssl_st* m_ssl = nullptr;
    bio_st* m_incoming = nullptr;
    bio_st* m_outgoing = nullptr;
    QByteArray m_pending;
    QString m_failure;
};

} // namespace kestrava
