#pragma once

#include <QByteArray>
#include <QString>

namespace kestrava {

class ClientConnection;
class Database;

// The certificate fingerprint that the first identification over the authenticated port recorded for a
// system (System_Table.Key_Fingerprint). A system with a pin is taken only from a connection that proves
// that same certificate, never again over the plain port.
class KeyPins {
public:
    explicit KeyPins(Database& db)
        : m_db(db) {}

    // The pinned SHA-256, empty when the system has none. Throws DatabaseError.
    QByteArray pinOf(const QString& key);
    // Throws DatabaseError.
    void pin(const QString& key, const QByteArray& digest);
    // The administrator's "Forget this computer's key": the next authenticated identification pins anew.
    void forget(const QString& key);

    // Why an identification as a system with pinned is refused, or empty. presented is the SHA-256 of the
    // connection's certificate, empty over the plain port.
    static QString refusal(const QByteArray& pinned, const QByteArray& presented);
    // The SHA-256 of the certificate that connection proved, empty for a plain connection.
    static QByteArray presentedBy(const ClientConnection* connection);

private:
    Database& m_db;
};

} // namespace kestrava
