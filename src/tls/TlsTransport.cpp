#include "tls/TlsTransport.h"

#include "tls/TlsContext.h"
#include "tls/TlsErrors.h"

#include <QCryptographicHash>
#include <cerrno>
#include <ctime>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

using namespace Qt::StringLiterals;

namespace kestrava {

TlsTransport::TlsTransport(const TlsContext& context, int descriptor)
    : m_ssl(SSL_new(context.native())) {
    if (m_ssl) {
        SSL_set_fd(m_ssl, descriptor);
        SSL_set_accept_state(m_ssl);
    }
}

TlsTransport::~TlsTransport() {
    // A connection that simply ends (the peer went away, or the console drops it) keeps its session in the
    // cache for the peer's next connection; unmarked, OpenSSL would take it out as a failed one.
    if (m_ssl && SSL_is_init_finished(m_ssl))
        SSL_set_shutdown(m_ssl, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
    SSL_free(m_ssl);
}

Transport::Result TlsTransport::outcome(int ret, qsizetype bytes) {
    if (ret > 0)
        return {Status::Done, bytes, 0};
    const int error = errno;
    switch (SSL_get_error(m_ssl, ret)) {
    case SSL_ERROR_WANT_READ:
        return {Status::WantsRead, 0, 0};
    case SSL_ERROR_WANT_WRITE:
        return {Status::WouldBlock, 0, 0};
    case SSL_ERROR_ZERO_RETURN:
        return {Status::Closed, 0, 0};
    case SSL_ERROR_SYSCALL:
        if (ERR_peek_error() == 0) {
            ERR_clear_error();
            return error == 0 ? Result{Status::Closed, 0, 0} : Result{Status::Failed, 0, error};
        }
        break;
    default:
        break;
    }
    m_failure = TlsErrors::take();
    return {Status::Failed, 0, 0};
}

Transport::Result TlsTransport::handshake() {
    if (!m_ssl) {
        m_failure = TlsErrors::take();
        return {Status::Failed, 0, 0};
    }
    ERR_clear_error();
    errno = 0;
    const int ret = SSL_do_handshake(m_ssl);
    Result result = outcome(ret, 0);
    if (result.status == Status::Failed && result.error == 0)
        m_failure = u"Error during SSL handshake: "_s + m_failure;
    return result;
}

Transport::Result TlsTransport::receive(char* data, qsizetype size) {
    ERR_clear_error();
    errno = 0;
    std::size_t got = 0;
    const int ret = SSL_read_ex(m_ssl, data, static_cast<std::size_t>(size), &got);
    return outcome(ret, static_cast<qsizetype>(got));
}

Transport::Result TlsTransport::send(const char* data, qsizetype size) {
    // Partial writes are on, so each call hands over at most a record: go on while the kernel takes them.
    qsizetype sent = 0;
    while (sent < size) {
        ERR_clear_error();
        errno = 0;
        std::size_t written = 0;
        const int ret = SSL_write_ex(m_ssl, data + sent, static_cast<std::size_t>(size - sent), &written);
        if (ret <= 0) {
            Result result = outcome(ret, sent);
            result.bytes = sent;
            return result;
        }
        sent += static_cast<qsizetype>(written);
    }
    return {Status::Done, sent, 0};
}

bool TlsTransport::hasBuffered() const {
    return SSL_has_pending(m_ssl) == 1;
}

namespace {

QDateTime utcOf(const ASN1_TIME* time) {
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), Qt::UTC);
}

} // namespace

PeerCheck::Facts TlsTransport::peerCertificate() const {
    const X509* peer = m_ssl ? SSL_get0_peer_certificate(m_ssl) : nullptr;
    if (!peer)
        return {};
    unsigned char* der = nullptr;
    const int size = i2d_X509(peer, &der);
    if (size <= 0)
        return {};
    PeerCheck::Facts facts{true, utcOf(X509_get0_notBefore(peer)), utcOf(X509_get0_notAfter(peer)),
                           QCryptographicHash::hash(QByteArrayView(der, size), QCryptographicHash::Sha256)};
    OPENSSL_free(der);
    return facts;
}

bool TlsTransport::resumed() const {
    return m_ssl && SSL_session_reused(m_ssl) == 1;
}

} // namespace kestrava
