#include "core/link/KeyPins.h"

#include "core/link/ClientConnection.h"
#include "core/store/Database.h"
#include "tls/Fingerprint.h"

using namespace Qt::StringLiterals;

namespace kestrava {

QByteArray KeyPins::pinOf(const QString& key) {
    const std::optional<QSqlRecord> row =
        m_db.firstRow(u"SELECT Key_Fingerprint FROM System_Table WHERE System_Key=?"_s, {key});
    return row ? Fingerprint::parse(row->value(0).toString()) : QByteArray();
}

void KeyPins::pin(const QString& key, const QByteArray& digest) {
    m_db.exec(u"UPDATE System_Table SET Key_Fingerprint=? WHERE System_Key=?"_s,
              {Fingerprint::text(digest), key});
}

void KeyPins::forget(const QString& key) {
    m_db.exec(u"UPDATE System_Table SET Key_Fingerprint=NULL WHERE System_Key=?"_s, {key});
}

QString KeyPins::refusal(const QByteArray& pinned, const QByteArray& presented) {
    if (pinned.isEmpty() || pinned == presented)
        return {};
    if (presented.isEmpty())
        return u"it has a pinned key and came over the plain port"_s;
    return u"it presented the key %1, not the pinned %2"_s.arg(Fingerprint::text(presented),
                                                               Fingerprint::text(pinned));
}

QByteArray KeyPins::presentedBy(const ClientConnection* connection) {
    return connection ? connection->presentedKey() : QByteArray();
}

} // namespace kestrava
