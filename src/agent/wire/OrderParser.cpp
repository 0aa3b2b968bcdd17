#include "wire/OrderParser.h"

#include "protocol/Fields.h"
#include "wire/ConsoleSplitter.h"
#include "wire/ConsoleTimeText.h"

namespace kestrava::agent {

namespace {

// Collects the first reason a message is refused; later checks are skipped once one is set.
struct Check {
    QString error;

    bool ok() const { return error.isEmpty(); }
    void fail(const QString& why) {
        if (ok())
            error = why;
    }
};

QString quoted(QStringView text) {
    constexpr qsizetype kShown = 40;
    return QLatin1Char('"') + text.first(qMin(kShown, text.size())).toString() +
           (text.size() > kShown ? QStringLiteral("...\"") : QStringLiteral("\""));
}

// Decimal digits only, no sign, from 0 to max.
std::optional<int> decimal(QStringView text, int max) {
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    return value <= max ? std::optional<int>(value) : std::nullopt;
}

int number(Check& check, QStringView text, int max, const QString& what) {
    const std::optional<int> value = decimal(text, max);
    if (!value)
        check.fail(QStringLiteral("%1 %2 is not a number from 0 to %3").arg(what, quoted(text)).arg(max));
    return value.value_or(0);
}

bool boolean(Check& check, QStringView text, const QString& what) {
    if (text != u"True" && text != u"False")
        check.fail(QStringLiteral("%1 %2 is neither True nor False").arg(what, quoted(text)));
    return text == u"True";
}

QDateTime dateTime(Check& check, QStringView text, const QString& what) {
    const std::optional<QDateTime> value = ConsoleTimeText::parseDateTime(text);
    if (!value)
        check.fail(QStringLiteral("%1 %2 is not a date and time").arg(what, quoted(text)));
    return value.value_or(QDateTime());
}

QTime rangeTime(Check& check, QStringView text, const QString& what) {
    const std::optional<QTime> value = ConsoleTimeText::parseRangeTime(text);
    if (!value)
        check.fail(QStringLiteral("%1 %2 is not a time like 08:30 AM").arg(what, quoted(text)));
    return value.value_or(QTime());
}

void fieldCount(Check& check, const QStringList& fields, qsizetype expected) {
    if (fields.size() != expected)
        check.fail(QStringLiteral("%1 fields where %2 belong").arg(fields.size()).arg(expected));
}

// The fields of a payload laid out as SEP, then each field followed by SEP.
QStringList payloadFields(Check& check, const QString& payload) {
    if (!payload.startsWith(kFieldSeparator) || !payload.endsWith(kFieldSeparator) || payload.size() < 2) {
        check.fail(QStringLiteral("the fields are not framed by separators"));
        return {};
    }
    return payload.sliced(1, payload.size() - 2).split(kFieldSeparator);
}

TimeRange timeRange(Check& check, const QStringList& f, qsizetype at, qsizetype index) {
    const QString which = QStringLiteral("range %1:").arg(index + 1);
    TimeRange range;
    range.start = rangeTime(check, f[at], which + QStringLiteral(" start"));
    range.stop = rangeTime(check, f[at + 1], which + QStringLiteral(" stop"));
    const int repeat = number(check, f[at + 2], 3, which + QStringLiteral(" repeat"));
    if (repeat < 1)
        check.fail(QStringLiteral("%1 repeat 0 is neither daily, weekly nor monthly").arg(which));
    range.repeat = static_cast<TimeRange::Repeat>(repeat);
    range.weekDays = number(check, f[at + 3], 127, which + QStringLiteral(" week days"));
    range.months = number(check, f[at + 4], 4095, which + QStringLiteral(" months"));
    return range;
}

void scheduleBody(Check& check, const QStringList& f, Schedule& s) {
    switch (s.type) {
    case Schedule::Type::None:
        fieldCount(check, f, 2);
        break;
    case Schedule::Type::OnOff:
        fieldCount(check, f, 4);
        if (check.ok())
            s.internetOn = boolean(check, f[2], QStringLiteral("the internet flag"));
        break;
    case Schedule::Type::Ranges: {
        if (f.size() < 3 || f[2] == u"0") { // a group without ranges sends no block flag
            fieldCount(check, f, 5);
            break;
        }
        s.blockInRanges = boolean(check, f[2], QStringLiteral("the block flag"));
        const int n =
            f.size() > 3 ? number(check, f[3], kMaxConsoleCount, QStringLiteral("the range count")) : 0;
        fieldCount(check, f, n == 0 ? 6 : 5 + 5 * qsizetype(n));
        for (int i = 0; i < n && check.ok(); ++i)
            s.ranges << timeRange(check, f, 4 + 5 * qsizetype(i), i);
        break;
    }
    case Schedule::Type::Timer:
        if (f.size() == 2) // a timer of another kind that is over: nothing to run
            break;
        fieldCount(check, f, 6);
        if (!check.ok())
            break;
        if (f[2].size() > 1)
            check.fail(QStringLiteral("the timer type %1 is not one character").arg(quoted(f[2])));
        s.timerType = f[2].isEmpty() ? QChar() : f[2].front();
        s.timerStart = dateTime(check, f[3], QStringLiteral("the timer start"));
        s.timerEnd = dateTime(check, f[4], QStringLiteral("the timer end"));
        break;
    }
}

Schedule schedule(Check& check, const QString& payload) {
    Schedule s;
    if (payload.isEmpty())
        return s;
    const QStringList f = payloadFields(check, payload);
    if (f.size() < 2)
        check.fail(QStringLiteral("the schedule header is incomplete"));
    if (!check.ok())
        return s;
    s.stamp = dateTime(check, f[0], QStringLiteral("the time stamp"));
    s.type = static_cast<Schedule::Type>(number(check, f[1], 3, QStringLiteral("the schedule type")));
    if (check.ok())
        scheduleBody(check, f, s);
    return s;
}

Settings settings(Check& check, const QString& payload) {
    Settings s;
    if (payload.isEmpty())
        return s;
    if (!payload.startsWith(kFieldSeparator)) { // no settings stored: the blank-screen flag alone
        s.hasBlankFlag = true;
        fieldCount(check, payload.split(kFieldSeparator), 2);
        s.blankScreen = boolean(check, Get_Field(payload, 0), QStringLiteral("the blank-screen flag"));
        return s;
    }
    const QStringList f = payloadFields(check, payload);
    if (!check.ok())
        return s;
    const int n = number(check, f[0], kMaxConsoleCount, QStringLiteral("the port count"));
    if (check.ok() && f.size() != n + 2 && f.size() != n + 3)
        check.fail(QStringLiteral("%1 fields where %2 or %3 belong").arg(f.size()).arg(n + 2).arg(n + 3));
    for (int i = 0; i < n && check.ok(); ++i)
        s.ports << number(check, f[1 + i], 65535, QStringLiteral("port %1").arg(i + 1));
    if (!check.ok())
        return s;
    s.blockMessage = f[1 + n];
    s.hasBlankFlag = f.size() == n + 3;
    if (s.hasBlankFlag)
        s.blankScreen = boolean(check, f.back(), QStringLiteral("the blank-screen flag"));
    return s;
}

QStringList entries(Check& check, const QString& payload) {
    QStringList f = payloadFields(check, payload);
    if (!check.ok())
        return {};
    const int n = number(check, f[0], kMaxConsoleCount, QStringLiteral("the entry count"));
    if (check.ok() && f.size() != n + 1)
        check.fail(QStringLiteral("%1 entries where the count says %2").arg(f.size() - 1).arg(n));
    return check.ok() ? f.mid(1) : QStringList();
}

QString oneField(Check& check, const QString& payload) {
    const QStringList f = payloadFields(check, payload);
    if (check.ok())
        fieldCount(check, f, 1);
    return check.ok() ? f[0] : QString();
}

} // namespace

OrderParse parseOrder(const QString& message) {
    const std::optional<MessageKind> kind = Messages::kindOf(MessageSender::Console, message);
    if (!kind)
        return {std::nullopt, QStringLiteral("not a console message: %1").arg(quoted(message))};
    Check check;
    ConsoleOrder order;
    order.kind = *kind;
    const QString payload = Messages::payloadOf(message);
    switch (*kind) {
    case MessageKind::Schedule:
        order.schedule = schedule(check, payload);
        break;
    case MessageKind::Settings:
        order.settings = settings(check, payload);
        break;
    case MessageKind::WhiteList:
    case MessageKind::BlockList:
        order.entries = entries(check, payload);
        break;
    case MessageKind::Flag:
        order.flagCode = number(check, oneField(check, payload), 999999, QStringLiteral("the code"));
        break;
    case MessageKind::BlankScreen:
        order.blank = boolean(check, oneField(check, payload), QStringLiteral("the blank-screen flag"));
        break;
    default:
        if (!payload.isEmpty())
            check.fail(QStringLiteral("the one-letter order carries %1").arg(quoted(payload)));
        break;
    }
    if (!check.ok())
        return {std::nullopt, QStringLiteral("\"%1\": %2").arg(message.left(1), check.error)};
    return {order, {}};
}

} // namespace kestrava::agent
