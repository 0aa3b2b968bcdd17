#include "protocol/ScheduleOrder.h"

#include "protocol/ConsoleSplitter.h"
#include "protocol/ConsoleTimeText.h"
#include "protocol/FieldReader.h"
#include "protocol/Fields.h"
#include "protocol/Messages.h"

namespace kestrava {

namespace {

void add(QString& text, const QString& field) {
    text += field + kFieldSeparator;
}

void add(QString& text, int number) {
    add(text, QString::number(number));
}

void add(QString& text, bool flag) {
    add(text, flag ? QStringLiteral("True") : QStringLiteral("False"));
}

void addBody(QString& text, const Schedule& s) {
    switch (s.type) {
    case Schedule::Type::None:
        break;
    case Schedule::Type::OnOff:
        add(text, s.internetOn);
        add(text, 0);
        break;
    case Schedule::Type::Ranges:
        if (!s.hasBlockFlag) {
            add(text, 0);
            add(text, 0);
            add(text, 0);
            break;
        }
        add(text, s.blockInRanges);
        add(text, int(s.ranges.size()));
        for (const TimeRange& range : s.ranges) {
            add(text, ConsoleTimeText::rangeTime(range.start));
            add(text, ConsoleTimeText::rangeTime(range.stop));
            add(text, static_cast<int>(range.repeat));
            add(text, range.weekDays);
            add(text, range.months);
        }
        if (s.ranges.isEmpty())
            add(text, 0);
        add(text, 0);
        break;
    case Schedule::Type::Timer:
        if (!s.timerStart.isValid())
            break;
        add(text, s.timerType.isNull() ? QString() : QString(s.timerType));
        add(text, ConsoleTimeText::dateTime(s.timerStart));
        add(text, ConsoleTimeText::dateTime(s.timerEnd));
        add(text, 0);
        break;
    }
}

TimeRange timeRange(FieldReader& r, const QStringList& f, qsizetype at, qsizetype index) {
    const QString which = QStringLiteral("range %1:").arg(index + 1);
    TimeRange range;
    range.start = r.rangeTime(f[at], which + QStringLiteral(" start"));
    range.stop = r.rangeTime(f[at + 1], which + QStringLiteral(" stop"));
    const int repeat = r.number(f[at + 2], 3, which + QStringLiteral(" repeat"));
    if (repeat < 1)
        r.fail(QStringLiteral("%1 repeat 0 is neither daily, weekly nor monthly").arg(which));
    range.repeat = static_cast<TimeRange::Repeat>(repeat);
    range.weekDays = r.number(f[at + 3], 127, which + QStringLiteral(" week days"));
    range.months = r.number(f[at + 4], 4095, which + QStringLiteral(" months"));
    return range;
}

void readBody(FieldReader& r, const QStringList& f, Schedule& s) {
    switch (s.type) {
    case Schedule::Type::None:
        r.fieldCount(f, 2);
        break;
    case Schedule::Type::OnOff:
        r.fieldCount(f, 4);
        if (r.ok())
            s.internetOn = r.boolean(f[2], QStringLiteral("the internet flag"));
        break;
    case Schedule::Type::Ranges: {
        if (f.size() < 3 || f[2] == u"0") {
            s.hasBlockFlag = false;
            r.fieldCount(f, 5);
            break;
        }
        s.blockInRanges = r.boolean(f[2], QStringLiteral("the block flag"));
        const int n = f.size() > 3 ? r.number(f[3], kMaxConsoleCount, QStringLiteral("the range count")) : 0;
        r.fieldCount(f, n == 0 ? 6 : 5 + 5 * qsizetype(n));
        for (int i = 0; i < n && r.ok(); ++i)
            s.ranges << timeRange(r, f, 4 + 5 * qsizetype(i), i);
        break;
    }
    case Schedule::Type::Timer:
        if (f.size() == 2)
            break;
        r.fieldCount(f, 6);
        if (!r.ok())
            break;
        if (f[2].size() > 1)
            r.fail(QStringLiteral("the timer type %1 is not one character").arg(FieldReader::quoted(f[2])));
        s.timerType = f[2].isEmpty() ? QChar() : f[2].front();
        s.timerStart = r.dateTime(f[3], QStringLiteral("the timer start"));
        s.timerEnd = r.dateTime(f[4], QStringLiteral("the timer end"));
        break;
    }
}

} // namespace

QString encodeSchedule(const Schedule& schedule) {
    QString text(Messages::letterOf(MessageKind::Schedule));
    if (!schedule.stamp.isValid())
        return text;
    text += kFieldSeparator;
    add(text, ConsoleTimeText::dateTime(schedule.stamp));
    add(text, static_cast<int>(schedule.type));
    addBody(text, schedule);
    return text;
}

Decoded<Schedule> decodeSchedule(const QString& message) {
    FieldReader r;
    Schedule s;
    const QString payload = Messages::payloadOf(message);
    if (payload.isEmpty())
        return r.result(s);
    const QStringList f = r.fields(payload);
    if (r.ok() && f.size() < 2)
        r.fail(QStringLiteral("the schedule header is incomplete"));
    if (!r.ok())
        return r.result(s);
    s.stamp = r.dateTime(f[0], QStringLiteral("the time stamp"));
    s.type = static_cast<Schedule::Type>(r.number(f[1], 3, QStringLiteral("the schedule type")));
    if (r.ok())
        readBody(r, f, s);
    return r.result(s);
}

} // namespace kestrava
