#pragma once

#include <QString>

namespace kestrava {

// What a client service identifies with: "d" (or "D"), its identifier, computer name and version,
// each followed by SEP. The version as sent; the console takes its leading number.
struct Identification {
    QString identifier;
    QString computerName;
    QString version;

    // The version compared in single precision with Messages::kClientVersion.
    bool hasClientVersion() const;

    bool operator==(const Identification&) const = default;
};

QString encodeIdentification(const Identification& identification);
// Fields a message lacks read as empty.
Identification decodeIdentification(const QString& message);

} // namespace kestrava
