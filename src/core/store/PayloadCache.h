#pragma once

#include "store/Database.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <type_traits>

namespace kestrava {

// Payloads built from the database, one per key, kept while the database still holds what they were
// built from (Database::version). Payloads equal in content share one copy: every member of a group
// asks for the same lists.
template <typename Payload> class PayloadCache {
public:
    template <typename Build> Payload get(Database& db, const QString& key, Build build) {
        const quint64 version = db.version();
        if (version != m_version || m_payloads.size() >= kMaxKept) {
            m_payloads.clear();
            m_shared.clear();
            m_version = version;
        }
        if (const auto it = m_payloads.constFind(key); it != m_payloads.cend())
            return *it;
        Payload payload = build();
        if constexpr (std::is_same_v<Payload, QString>)
            payload = shared(payload);
        m_payloads.insert(key, payload);
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
    QHash<QString, Payload> m_payloads;
    QSet<QString> m_shared;
};

} // namespace kestrava
