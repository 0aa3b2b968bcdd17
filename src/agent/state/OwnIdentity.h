#pragma once

#include "tls/TlsIdentity.h"

#include <QString>

namespace kestrava::agent::OwnIdentity {

// The agent's key and certificate in its state folder: what it presents to a console that pins it.
QString keyPath(const QString& stateDir);
QString certificatePath(const QString& stateDir);

// Makes the folder (owner-only) and the pair when they are missing.
TlsIdentity loadOrCreate(const QString& stateDir, const QString& commonName);

// The fingerprint of the certificate already there, or empty; never makes one.
QString existingFingerprint(const QString& stateDir);

} // namespace kestrava::agent::OwnIdentity
