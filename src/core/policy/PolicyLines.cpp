#include "core/policy/PolicyLines.h"

#include "core/console/Keys.h"
#include "core/startup/Clock.h"
#include "core/store/DatabaseError.h"

namespace kestrava {

PolicyLines::PolicyLines(Database& db, const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_db(db)
    , m_clock(clock) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &PolicyLines::policyChanged);
}

QString PolicyLines::textOf(const QString& systemKey) {
    if (!Keys::Is_System_Key(systemKey))
        return {};
    const QString hashKey = systemKey.toUpper();
    if (const auto it = m_lines.constFind(hashKey); it != m_lines.constEnd())
        return *it;
    PolicyLine line;
    const QDateTime now = m_clock.now();
    try {
        line = explainPolicy(readEffectivePolicy(m_db, systemKey), now);
    } catch (const DatabaseError&) {
        // Shown empty; the next change of policy reads it again.
    }
    m_lines.insert(hashKey, line.text);
    if (line.nextChange.isValid() && (!m_nextChange.isValid() || line.nextChange < m_nextChange)) {
        m_nextChange = line.nextChange;
        armTimer();
    }
    return line.text;
}

void PolicyLines::policyChanged() {
    m_lines.clear();
    m_nextChange = {};
    m_timer.stop();
    emit changed();
}

void PolicyLines::armTimer() {
    // A second past the boundary, so that the line read then already shows the new state; a day at most,
    // which QTimer can hold.
    const qint64 ms = std::clamp<qint64>(m_clock.now().msecsTo(m_nextChange) + 1000, 0, 24LL * 3600 * 1000);
    m_timer.start(std::chrono::milliseconds(ms));
}

} // namespace kestrava
