#pragma once

#include "core/policy/PolicyExplanation.h"

#include <QHash>
#include <QObject>
#include <QTimer>

namespace kestrava {

class Clock;
class Database;

// The policy lines of the systems shown, read once and kept until a policy changes or the earliest
// next change among them comes: one timer for all, no polling.
class PolicyLines : public QObject {
    Q_OBJECT
public:
    PolicyLines(Database& db, const Clock& clock, QObject* parent = nullptr);

    // The line of a system key; empty for other keys and when the database cannot be read.
    QString textOf(const QString& systemKey);
    // Forgets every line; the next textOf reads again.
    void policyChanged();
    // When the timer is due; invalid when no shown line changes by itself.
    QDateTime nextChange() const { return m_nextChange; }

signals:
    // Every line may read differently now.
    void changed();

private:
    void armTimer();

    Database& m_db;
    const Clock& m_clock;
    QHash<QString, QString> m_lines;
    QDateTime m_nextChange;
    QTimer m_timer;
};

} // namespace kestrava
