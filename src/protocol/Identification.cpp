#include "protocol/Identification.h"

#include "protocol/Fields.h"
#include "protocol/Messages.h"

namespace kestrava {

bool Identification::hasClientVersion() const {
    return static_cast<float>(Messages::leadingNumber(version)) == Messages::kClientVersion;
}

QString encodeIdentification(const Identification& identification) {
    return QString(Messages::letterOf(MessageKind::Identification)) + kFieldSeparator +
           identification.identifier + kFieldSeparator + identification.computerName + kFieldSeparator +
           identification.version + kFieldSeparator;
}

Identification decodeIdentification(const QString& message) {
    const QString payload = Messages::payloadOf(message);
    return {Get_Field(payload, 1), Get_Field(payload, 2), Get_Field(payload, 3)};
}

} // namespace kestrava
