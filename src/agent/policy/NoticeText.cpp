#include "agent/policy/NoticeText.h"

#include <array>

namespace kestrava::agent {

namespace {

QString clockText(QTime time) {
    const int hour = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    return QStringLiteral("%1:%2 %3")
        .arg(hour)
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
}

QString dayText(QDate date) {
    static const std::array<const char*, 7> kDays = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    return QStringLiteral("%1 %2/%3 ")
        .arg(QLatin1String(kDays[date.dayOfWeek() - 1]))
        .arg(date.month())
        .arg(date.day());
}

} // namespace

QString internetNotice(bool internetOn, const std::optional<QDateTime>& nextChange,
                       const QDateTime& consoleNow) {
    QString text =
        internetOn ? QStringLiteral("Internet access is on") : QStringLiteral("Internet access is off");
    if (!nextChange || !nextChange->isValid())
        return text;
    const QDate day = nextChange->date();
    return text + QStringLiteral(" until ") + (day == consoleNow.date() ? QString() : dayText(day)) +
           clockText(nextChange->time());
}

} // namespace kestrava::agent
