#pragma once

#include "core/store/Database.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <type_traits>

namespace kestrava {

// Payloads built from the database, one per key, kept while the database still holds what they were
// built from (Database::version); a write for one key (Database::keyWrites) drops that key's payload only.
// Keys are compared as the database compares them. Payloads equal in content share one copy: every member of
// a group asks for the same lists.
template <typename Payload> class PayloadCache {
public:
    template <typename Build> Payload get(Database& db, const QString& key, Build build) {
        const quint64 version = db.version();
        const QStringList& keyWrites = db.keyWrites();
        if (version != m_version || m_payloads.size() >= kMaxKept) {
            m_payloads.clear();
            m_shared.clear();
            m_version = version;
            m_keyWritesSeen = keyWrites.size();
        }
        for (; m_keyWritesSeen < keyWrites.size(); ++m_keyWritesSeen)
            m_payloads.remove(keyWrites[m_keyWritesSeen]);
        const QString folded = Database::foldedKey(key);
        if (const auto it = m_payloads.constFind(folded); it != m_payloads.cend())
            return *it;
        Payload payload = build();
        if constexpr (std::is_same_v<Payload, QString>)
            payload = shared(payload);
        m_payloads.insert(folded, payload);
        return payload;
    }

private:
    // One copy of text for all equal texts.
    QString shared(const QString& text) {
        const auto it = m_shared.constFind(text);
        if (it != m_shared.cend())
            return *it;
        m_shared.insert(text);
        return text;
    }

    static constexpr qsizetype kMaxKept = 200'000;
    quint64 m_version = 0;
    qsizetype m_keyWritesSeen = 0;
    QHash<QString, Payload> m_payloads;
    QSet<QString> m_shared;
};

} // namespace kestrava
