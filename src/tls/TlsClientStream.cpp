#include "tls/TlsClientStream.h"

#include "tls/TlsContext.h"
#include "tls/TlsErrors.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace kestrava {

TlsClientStream::TlsClientStream(const TlsContext& context, const QByteArray& session)
    : m_ssl(SSL_new(context.native()))
    , m_incoming(BIO_new(BIO_s_mem()))
    , m_outgoing(BIO_new(BIO_s_mem())) {
    if (!m_ssl || !m_incoming || !m_outgoing) {
        BIO_free(m_incoming);
        BIO_free(m_outgoing);
        m_incoming = m_outgoing = nullptr;
        m_failure = u"Cannot start TLS: %1"_s.arg(TlsErrors::take());
        return;
    }
    // An empty incoming buffer means "wait for more", not the end of the stream.
    BIO_set_mem_eof_return(m_incoming, -1);
    SSL_set_bio(m_ssl, m_incoming, m_outgoing);
    SSL_set_connect_state(m_ssl);
    if (!session.isEmpty()) {
        const auto* der = reinterpret_cast<const unsigned char*>(session.constData());
        // A session that does not decode is not offered: the handshake is then a full one.
        if (SSL_SESSION* offered = d2i_SSL_SESSION(nullptr, &der, long(session.size()))) {
            SSL_set_session(m_ssl, offered);
            SSL_SESSION_free(offered);
        }
    }
    advance();
}

TlsClientStream::~TlsClientStream() {
    SSL_free(m_ssl);
}

void TlsClientStream::check(int ret) {
    switch (SSL_get_error(m_ssl, ret)) {
    case SSL_ERROR_NONE:
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        return;
    case SSL_ERROR_ZERO_RETURN:
        m_failure = u"The peer ended the TLS stream"_s;
        return;
    default:
        m_failure = TlsErrors::take();
        if (m_failure.isEmpty())
            m_failure = u"The TLS stream failed"_s;
        return;
    }
}

void TlsClientStream::advance() {
    if (!m_failure.isEmpty())
        return;
    if (!SSL_is_init_finished(m_ssl)) {
        ERR_clear_error();
        const int ret = SSL_do_handshake(m_ssl);
        if (ret <= 0) {
            check(ret);
            return;
        }
    }
    if (!m_pending.isEmpty())
        write(std::exchange(m_pending, {}));
}

QByteArray TlsClientStream::feed(QByteArrayView bytes) {
    QByteArray plain;
    if (!m_failure.isEmpty())
        return plain;
    BIO_write(m_incoming, bytes.data(), int(bytes.size()));
    advance();
    char buffer[16384];
    while (m_failure.isEmpty() && SSL_is_init_finished(m_ssl)) {
        std::size_t got = 0;
        ERR_clear_error();
        const int ret = SSL_read_ex(m_ssl, buffer, sizeof buffer, &got);
        if (ret <= 0) {
            check(ret);
            break;
        }
        plain.append(buffer, qsizetype(got));
    }
    return plain;
}

void TlsClientStream::write(QByteArrayView plain) {
    if (!m_failure.isEmpty())
        return;
    if (!SSL_is_init_finished(m_ssl)) {
        m_pending.append(plain);
        return;
    }
    while (!plain.isEmpty()) {
        std::size_t written = 0;
        ERR_clear_error();
        const int ret = SSL_write_ex(m_ssl, plain.data(), std::size_t(plain.size()), &written);
        if (ret <= 0) {
            check(ret);
            return;
        }
        plain = plain.sliced(qsizetype(written));
    }
}

QByteArray TlsClientStream::takeOutgoing() {
    QByteArray records;
    if (!m_outgoing)
        return records;
    records.resize(qsizetype(BIO_pending(m_outgoing)));
    const int got = records.isEmpty() ? 0 : BIO_read(m_outgoing, records.data(), int(records.size()));
    records.truncate(qMax(got, 0));
    return records;
}

bool TlsClientStream::isEncrypted() const {
    return m_failure.isEmpty() && SSL_is_init_finished(m_ssl);
}

bool TlsClientStream::resumed() const {
    return m_ssl && SSL_session_reused(m_ssl) == 1;
}

QByteArray TlsClientStream::session() const {
    QByteArray der;
    SSL_SESSION* latest = m_ssl ? SSL_get1_session(m_ssl) : nullptr;
    if (latest && SSL_SESSION_is_resumable(latest)) {
        der.resize(i2d_SSL_SESSION(latest, nullptr));
        auto* out = reinterpret_cast<unsigned char*>(der.data());
        i2d_SSL_SESSION(latest, &out);
    }
    SSL_SESSION_free(latest);
    return der;
}

} // namespace kestrava
