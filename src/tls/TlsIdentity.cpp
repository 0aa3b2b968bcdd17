#include "tls/TlsIdentity.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <memory>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

using namespace Qt::StringLiterals;

namespace kestrava {

namespace {

// A certificate is valid from a day before it was made, so a peer whose clock is somewhat behind
// still accepts it.
constexpr long kClockSlack = 24 * 3600;

template <auto Free> struct Deleter {
    template <typename T> void operator()(T* p) const { Free(p); }
};
using PKey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO_free>>;
using BigNum = std::unique_ptr<BIGNUM, Deleter<BN_free>>;

QByteArray bioBytes(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, int(size));
}

bool makeSelfSigned(const QString& commonName, QByteArray& keyPem, QByteArray& certificatePem) {
    PKey key(EVP_EC_gen("P-256"));
    Certificate x509(X509_new());
    BigNum serial(BN_new());
    if (!key || !x509 || !serial || !BN_rand(serial.get(), 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY))
        return false;
    const QByteArray name = commonName.toUtf8();
    X509_NAME* subject = X509_get_subject_name(x509.get());
    const long validity = long(TlsIdentity::kValidityYears) * 365 * 24 * 3600;
    if (!X509_set_version(x509.get(), 2) ||
        !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(x509.get())) ||
        !X509_gmtime_adj(X509_getm_notBefore(x509.get()), -kClockSlack) ||
        !X509_gmtime_adj(X509_getm_notAfter(x509.get()), validity) ||
        !X509_set_pubkey(x509.get(), key.get()) ||
        !X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char*>(name.constData()),
                                    int(name.size()), -1, 0) ||
        !X509_set_issuer_name(x509.get(), subject) || !X509_sign(x509.get(), key.get(), EVP_sha256()))
        return false;
    Bio keyBio(BIO_new(BIO_s_mem()));
    Bio certificateBio(BIO_new(BIO_s_mem()));
    if (!keyBio || !certificateBio ||
        !PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) ||
        !PEM_write_bio_X509(certificateBio.get(), x509.get()))
        return false;
    keyPem = bioBytes(keyBio.get());
    certificatePem = bioBytes(certificateBio.get());
    return true;
}

QString writeOwnerOnly(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(bytes) != bytes.size() || !file.commit())
        return u"Cannot write %1: %2"_s.arg(path, file.errorString());
    return {};
}

// The key belongs to the certificate when both carry the same public key.
bool keyMatches(const QSslKey& key, const QSslCertificate& certificate) {
    const QByteArray keyPem = key.toPem();
    Bio bio(BIO_new_mem_buf(keyPem.constData(), int(keyPem.size())));
    PKey privateKey(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    const QByteArray der = certificate.toDer();
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(der.constData());
    Certificate x509(d2i_X509(nullptr, &cursor, long(der.size())));
    return privateKey && x509 && X509_check_private_key(x509.get(), privateKey.get()) == 1;
}

TlsIdentity failed(QString error) {
    TlsIdentity identity;
    identity.error = std::move(error);
    return identity;
}

} // namespace

TlsIdentity TlsIdentity::generate(const QString& commonName) {
    QByteArray keyPem;
    QByteArray certificatePem;
    if (!makeSelfSigned(commonName, keyPem, certificatePem))
        return failed(u"Cannot make a key and certificate for %1"_s.arg(commonName));
    TlsIdentity identity;
    identity.key = QSslKey(keyPem, QSsl::Ec);
    identity.certificate = QSslCertificate(certificatePem);
    identity.created = true;
    return identity;
}

TlsIdentity TlsIdentity::loadOrCreate(const QString& keyFile, const QString& certificateFile,
                                      const QString& commonName) {
    const bool haveKey = QFileInfo::exists(keyFile);
    const bool haveCertificate = QFileInfo::exists(certificateFile);
    TlsIdentity identity;
    if (!haveKey && !haveCertificate) {
        QByteArray keyPem;
        QByteArray certificatePem;
        if (!makeSelfSigned(commonName, keyPem, certificatePem))
            return failed(u"Cannot make a key and certificate for %1"_s.arg(commonName));
        if (QString error = writeOwnerOnly(keyFile, keyPem); !error.isEmpty())
            return failed(error);
        if (QString error = writeOwnerOnly(certificateFile, certificatePem); !error.isEmpty()) {
            QFile::remove(keyFile);
            return failed(error);
        }
        identity.created = true;
    } else if (!haveKey || !haveCertificate) {
        return failed(u"%1 is missing while %2 exists; restore it or remove both to make a new key"_s.arg(
            haveKey ? certificateFile : keyFile, haveKey ? keyFile : certificateFile));
    }
    QFile keyIn(keyFile);
    QFile certificateIn(certificateFile);
    if (!keyIn.open(QIODevice::ReadOnly))
        return failed(u"Cannot read %1: %2"_s.arg(keyFile, keyIn.errorString()));
    if (!certificateIn.open(QIODevice::ReadOnly))
        return failed(u"Cannot read %1: %2"_s.arg(certificateFile, certificateIn.errorString()));
    identity.key = QSslKey(keyIn.readAll(), QSsl::Ec);
    identity.certificate = QSslCertificate(certificateIn.readAll());
    if (identity.key.isNull())
        return failed(u"%1 holds no EC private key in PEM form"_s.arg(keyFile));
    if (identity.certificate.isNull())
        return failed(u"%1 holds no certificate in PEM form"_s.arg(certificateFile));
    if (!keyMatches(identity.key, identity.certificate))
        return failed(
            u"The key in %1 does not belong to the certificate in %2"_s.arg(keyFile, certificateFile));
    return identity;
}

} // namespace kestrava
