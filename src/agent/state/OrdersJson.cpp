#include "agent/state/OrdersJson.h"

#include <QJsonArray>

namespace kestrava::agent::OrdersJson {

namespace {

QString timeText(const QTime& time) {
    return time.toString(QStringLiteral("HH:mm"));
}

QString dateTimeText(const QDateTime& dateTime) {
    return dateTime.isValid() ? dateTime.toString(Qt::ISODate) : QString();
}

QDateTime readDateTime(const QJsonValue& value) {
    return QDateTime::fromString(value.toString(), Qt::ISODate);
}

QJsonObject scheduleJson(const Schedule& schedule) {
    QJsonArray ranges;
    for (const TimeRange& range : schedule.ranges) {
        ranges.append(QJsonObject{{QStringLiteral("start"), timeText(range.start)},
                                  {QStringLiteral("stop"), timeText(range.stop)},
                                  {QStringLiteral("repeat"), static_cast<int>(range.repeat)},
                                  {QStringLiteral("weekDays"), range.weekDays},
                                  {QStringLiteral("months"), range.months}});
    }
    return {
        {QStringLiteral("type"), static_cast<int>(schedule.type)},
        {QStringLiteral("stamp"), dateTimeText(schedule.stamp)},
        {QStringLiteral("internetOn"), schedule.internetOn},
        {QStringLiteral("blockInRanges"), schedule.blockInRanges},
        {QStringLiteral("blockFlag"), schedule.hasBlockFlag},
        {QStringLiteral("ranges"), ranges},
        {QStringLiteral("timerType"), schedule.timerType.isNull() ? QString() : QString(schedule.timerType)},
        {QStringLiteral("timerStart"), dateTimeText(schedule.timerStart)},
        {QStringLiteral("timerEnd"), dateTimeText(schedule.timerEnd)}};
}

std::optional<Schedule> readSchedule(const QJsonObject& object) {
    Schedule schedule;
    const int type = object.value(QStringLiteral("type")).toInt(-1);
    if (type < 0 || type > 3)
        return std::nullopt;
    schedule.type = static_cast<Schedule::Type>(type);
    schedule.stamp = readDateTime(object.value(QStringLiteral("stamp")));
    schedule.internetOn = object.value(QStringLiteral("internetOn")).toBool(true);
    schedule.blockInRanges = object.value(QStringLiteral("blockInRanges")).toBool();
    schedule.hasBlockFlag = object.value(QStringLiteral("blockFlag")).toBool(true);
    for (const QJsonValue& value : object.value(QStringLiteral("ranges")).toArray()) {
        const QJsonObject item = value.toObject();
        TimeRange range;
        range.start =
            QTime::fromString(item.value(QStringLiteral("start")).toString(), QStringLiteral("HH:mm"));
        range.stop =
            QTime::fromString(item.value(QStringLiteral("stop")).toString(), QStringLiteral("HH:mm"));
        const int repeat = item.value(QStringLiteral("repeat")).toInt();
        if (!range.start.isValid() || !range.stop.isValid() || repeat < 1 || repeat > 3)
            return std::nullopt;
        range.repeat = static_cast<TimeRange::Repeat>(repeat);
        range.weekDays = item.value(QStringLiteral("weekDays")).toInt();
        range.months = item.value(QStringLiteral("months")).toInt();
        schedule.ranges.append(range);
    }
    const QString timerType = object.value(QStringLiteral("timerType")).toString();
    schedule.timerType = timerType.isEmpty() ? QChar() : timerType.at(0);
    schedule.timerStart = readDateTime(object.value(QStringLiteral("timerStart")));
    schedule.timerEnd = readDateTime(object.value(QStringLiteral("timerEnd")));
    return schedule;
}

QStringList readStrings(const QJsonValue& value) {
    QStringList result;
    for (const QJsonValue& item : value.toArray())
        result.append(item.toString());
    return result;
}

} // namespace

QJsonObject toJson(const Orders& orders) {
    QJsonArray ports;
    for (int port : orders.settings.ports)
        ports.append(port);
    const QJsonObject settings{{QStringLiteral("ports"), ports},
                               {QStringLiteral("blockMessage"), orders.settings.blockMessage},
                               {QStringLiteral("hasBlankFlag"), orders.settings.hasBlankFlag},
                               {QStringLiteral("blankScreen"), orders.settings.blankScreen}};
    return {{QStringLiteral("heardFromConsole"), orders.heardFromConsole},
            {QStringLiteral("schedule"), scheduleJson(orders.schedule)},
            {QStringLiteral("whiteList"), QJsonArray::fromStringList(orders.whiteList)},
            {QStringLiteral("blockList"), QJsonArray::fromStringList(orders.blockList)},
            {QStringLiteral("settings"), settings},
            {QStringLiteral("screenLocked"), orders.screenLocked},
            {QStringLiteral("notificationsVisible"), orders.notificationsVisible},
            {QStringLiteral("consoleOffsetMs"), QString::number(orders.consoleOffsetMs)}};
}

std::optional<Orders> fromJson(const QJsonObject& object) {
    if (!object.value(QStringLiteral("schedule")).isObject())
        return std::nullopt;
    const auto schedule = readSchedule(object.value(QStringLiteral("schedule")).toObject());
    if (!schedule)
        return std::nullopt;
    Orders orders;
    orders.heardFromConsole = object.value(QStringLiteral("heardFromConsole")).toBool();
    orders.schedule = *schedule;
    orders.whiteList = readStrings(object.value(QStringLiteral("whiteList")));
    orders.blockList = readStrings(object.value(QStringLiteral("blockList")));
    const QJsonObject settings = object.value(QStringLiteral("settings")).toObject();
    for (const QJsonValue& port : settings.value(QStringLiteral("ports")).toArray())
        orders.settings.ports.append(port.toInt());
    orders.settings.blockMessage = settings.value(QStringLiteral("blockMessage")).toString();
    orders.settings.hasBlankFlag = settings.value(QStringLiteral("hasBlankFlag")).toBool();
    orders.settings.blankScreen = settings.value(QStringLiteral("blankScreen")).toBool();
    orders.screenLocked = object.value(QStringLiteral("screenLocked")).toBool();
    orders.notificationsVisible = object.value(QStringLiteral("notificationsVisible")).toBool(true);
    orders.consoleOffsetMs = object.value(QStringLiteral("consoleOffsetMs")).toString().toLongLong();
    return orders;
}

} // namespace kestrava::agent::OrdersJson
