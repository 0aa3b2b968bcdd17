#pragma once

#include "core/startup/LocalTimes.h"

#include <QDateTime>

namespace kestrava {

// The one source of the current local time; tests stand it wherever they need.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

// Local time with the offset from UTC taken once per second, not on every call.
class SystemClock final : public Clock {
public:
    QDateTime now() const override { return LocalTimes::now(); }
};

class FixedClock final : public Clock {
public:
    explicit FixedClock(QDateTime at)
        : m_at(std::move(at)) {}
    QDateTime now() const override { return m_at; }
    void set(const QDateTime& at) { m_at = at; }
    void advance(qint64 seconds) { m_at = m_at.addSecs(seconds); }

private:
    QDateTime m_at;
};

} // namespace kestrava
