#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>
#include <QVariant>

namespace kestrava {

// The timer columns of a group or system row as values.
struct StoredTimer {
    QString type;    // "N" ON timer, "F" OFF timer, anything else when never set
    QDateTime start; // invalid when never set
    QTime period;    // 00:00 when never set

    static StoredTimer fromColumns(const QVariant& type, const QVariant& start, const QVariant& period);

    QDateTime end() const;
    // Start inclusive, end exclusive; a timer without a start never runs.
    bool runsAt(const QDateTime& now) const;
};

} // namespace kestrava
