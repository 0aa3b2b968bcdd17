#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace kestrava::agent {

// The console's key pinned at its first TLS handshake (trust on first use): its fingerprint on one line
// in the state folder, owner-only, replaced atomically. A dry run reads it but keeps what it pins or
// clears in memory.
class ConsolePin {
public:
    explicit ConsolePin(QString stateDir, bool dryRun = false);

    QString path() const;
    // The pinned SHA-256; empty when nothing is pinned. A file that is there but cannot be read or holds
    // no fingerprint sets error: the pin is then unknown, not absent.
    QByteArray load(QString* error) const;
    bool save(const QByteArray& digest, QString* error) const;
    // Removes the pin; true also when there was none.
    bool clear(QString* error) const;

private:
    QString m_stateDir;
    bool m_dryRun;
    mutable std::optional<QByteArray> m_dryRunPin;
};

} // namespace kestrava::agent
