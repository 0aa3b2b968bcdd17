#include "tls/TlsContext.h"

#include "tls/TlsErrors.h"

#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

using namespace Qt::StringLiterals;

namespace kestrava {

namespace {

// Every certificate is taken as it is here; PeerCheck and the pins judge it after the handshake.
int acceptAnyChain(X509_STORE_CTX*, void*) {
    return 1;
}

template <typename T, auto Read> T* fromPem(const QByteArray& pem) {
    BIO* bio = BIO_new_mem_buf(pem.constData(), int(pem.size()));
    T* value = bio ? Read(bio, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(bio);
    return value;
}

const unsigned char kSessionContext[] = "kestrava";
// One for each of the connection table's 32,767 slots: enough for every system, and a bound on what a
// flood of full handshakes can leave behind (a few kilobytes each).
constexpr long kCachedSessions = 1 << 15;
constexpr long kSessionLifetimeSeconds = 24 * 3600;

} // namespace

TlsContext::TlsContext(Side side, const TlsIdentity& identity) {
    m_context = SSL_CTX_new(side == Side::Server ? TLS_server_method() : TLS_client_method());
    X509* certificate = fromPem<X509, PEM_read_bio_X509>(identity.certificate.toPem());
    EVP_PKEY* key = fromPem<EVP_PKEY, PEM_read_bio_PrivateKey>(identity.key.toPem());
    const bool usable =
        m_context && certificate && key && SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION) &&
        SSL_CTX_use_certificate(m_context, certificate) == 1 && SSL_CTX_use_PrivateKey(m_context, key) == 1 &&
        SSL_CTX_check_private_key(m_context) == 1;
    X509_free(certificate);
    EVP_PKEY_free(key);
    if (!usable) {
        m_error = (side == Side::Server ? u"Cannot use the console's key for TLS: %1"_s
                                        : u"Cannot use this computer's key for TLS: %1"_s)
                      .arg(TlsErrors::take());
        return;
    }
    SSL_CTX_set_options(m_context, SSL_OP_NO_RENEGOTIATION | SSL_OP_IGNORE_UNEXPECTED_EOF |
                                       SSL_OP_CIPHER_SERVER_PREFERENCE);
    // A resumption always makes a fresh key exchange (psk_dhe_ke), so a stolen ticket key does not
    // open recorded traffic.
    SSL_CTX_clear_options(m_context, SSL_OP_ALLOW_NO_DHE_KEX);
    SSL_CTX_set_mode(m_context, SSL_MODE_RELEASE_BUFFERS | SSL_MODE_ENABLE_PARTIAL_WRITE |
                                    SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_verify(m_context, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_cert_verify_callback(m_context, acceptAnyChain, nullptr);
    if (side == Side::Client)
        return;
    // A client's flight of several records is one read instead of two per record.
    SSL_CTX_set_read_ahead(m_context, 1);
    // Tickets name sessions kept in this context's cache rather than carry them sealed: a sealed ticket is
    // the session encoded and decoded again, the peer's certificate with it, each of which costs as much
    // as a signature and a key exchange together with OpenSSL 3.0. The cached session shares the live
    // connection's; a ticket is good once, and its session leaves the cache when it is used.
    SSL_CTX_set_options(m_context, SSL_OP_NO_TICKET);
    SSL_CTX_set_session_id_context(m_context, kSessionContext, sizeof kSessionContext - 1);
    SSL_CTX_set_session_cache_mode(m_context, SSL_SESS_CACHE_SERVER);
    SSL_CTX_sess_set_cache_size(m_context, kCachedSessions);
    SSL_CTX_set_timeout(m_context, kSessionLifetimeSeconds);
    SSL_CTX_set_num_tickets(m_context, 1);
}

TlsContext::~TlsContext() {
    SSL_CTX_free(m_context);
}

} // namespace kestrava
