#include "core/policy/ScheduleModel.h"

#include "core/policy/PolicyOwners.h"
#include "core/policy/ScheduleSender.h"
#include "core/startup/Clock.h"
#include "core/startup/TimeText.h"
#include "core/store/Database.h"
#include "protocol/ConsoleTimeText.h"

#include <QSqlQuery>
#include <algorithm>

namespace kestrava {

namespace {

QTime toMinute(const QTime& time) {
    return time.isValid() ? QTime(time.hour(), time.minute()) : QTime(0, 0);
}

// Stored texts are shown in the editor's own form; a text that is no time stays as it is.
QString rangeText(const QString& stored) {
    const QTime time = TimeText::parseScheduleTime(stored);
    return time.isValid() ? ConsoleTimeText::rangeTime(time) : stored;
}

} // namespace

ScheduleModel::ScheduleModel(Database& db, const Clock& clock, ScheduleSender& messenger)
    : m_db(db)
    , m_clock(clock)
    , m_messenger(messenger) {
    clearEditor();
}

void ScheduleModel::open(const PolicyTarget& target) {
    m_target = target;
    if (m_target.isSystem())
        loadSystem();
    else if (m_target.isGroup())
        loadGroup();
    else
        clearEditor();
    m_applyEnabled = false;
}

int ScheduleModel::weekDayMask() const {
    int mask = 0;
    for (std::size_t day = 0; day < m_weekDays.size(); ++day)
        if (m_weekDays[day])
            mask |= 1 << day;
    return mask;
}

int ScheduleModel::monthMask() const {
    int mask = 0;
    for (std::size_t month = 0; month < m_months.size(); ++month)
        if (m_months[month])
            mask |= 1 << month;
    return mask;
}

void ScheduleModel::setStartTime(const QTime& time) {
    m_startTime = toMinute(time);
}

void ScheduleModel::setStopTime(const QTime& time) {
    m_stopTime = toMinute(time);
}

void ScheduleModel::changed() {
    if (!m_ranges.isEmpty())
        m_applyEnabled = true;
}

void ScheduleModel::setRecurrence(Recurrence recurrence) {
    m_recurrence = recurrence;
    changed();
}

void ScheduleModel::setWeekDay(int day, bool checked) {
    m_weekDays.at(static_cast<std::size_t>(day)) = checked;
    changed();
}

void ScheduleModel::setMonth(int month, bool checked) {
    m_months.at(static_cast<std::size_t>(month)) = checked;
    changed();
}

void ScheduleModel::setBlockInternet(bool checked) {
    m_blockInternet = checked;
    m_applyEnabled = true;
}

void ScheduleModel::selectRange(int row) {
    if (row < 0 || row >= m_ranges.size())
        return;
    selectRangeTexts(m_ranges[row].start, m_ranges[row].stop);
}

ScheduleModel::AddResult ScheduleModel::add() {
    if (m_ranges.size() >= kMaxRanges)
        return AddResult::LimitReached;
    // A range never crosses midnight: equal times are refused too.
    if (!(m_startTime < m_stopTime))
        return AddResult::StartNotBeforeStop;
    m_ranges.append({ConsoleTimeText::rangeTime(m_startTime), ConsoleTimeText::rangeTime(m_stopTime)});
    m_applyEnabled = true;
    return AddResult::Added;
}

void ScheduleModel::removeRanges(QList<int> rows) {
    if (!m_ranges.isEmpty())
        m_applyEnabled = true;
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int row : rows)
        if (row >= 0 && row < m_ranges.size())
            m_ranges.removeAt(row);
}

void ScheduleModel::clear() {
    clearEditor();
    m_applyEnabled = true;
}

void ScheduleModel::clearEditor() {
    m_ranges.clear();
    m_recurrence = Daily;
    m_blockInternet = false;
    m_startTime = toMinute(m_clock.now().time());
    m_stopTime = m_startTime;
    m_weekDays.fill(false);
    m_months.fill(false);
}

void ScheduleModel::loadSystem() {
    clearEditor();
    QSqlQuery system =
        m_db.exec(QStringLiteral("SELECT System_ID, Schedule_Type, Block_Internet, "
                                 "Apply_Systemwise_Settings FROM System_Table WHERE System_Key=?"),
                  {m_target.systemKey});
    if (!system.next())
        return;
    if (!system.value(QStringLiteral("Apply_Systemwise_Settings")).toBool()) {
        // The system follows its group, so the group's schedules are shown.
        loadGroup();
        return;
    }
    if (system.value(QStringLiteral("Schedule_Type")).toInt() != 2)
        return;
    QSqlQuery rows =
        m_db.exec(QStringLiteral("SELECT Start_Time, Stop_Time, DailyWeeklyMonthly, WeekDays, Months "
                                 "FROM System_Scheduler_Table WHERE System_ID=? ORDER BY ID"),
                  {system.value(QStringLiteral("System_ID"))});
    fill(system.value(QStringLiteral("Block_Internet")).toBool(), rows);
}

void ScheduleModel::loadGroup() {
    clearEditor();
    QSqlQuery group = m_db.exec(
        QStringLiteral("SELECT Group_ID, Schedule_Type, Block_Internet FROM Group_Table WHERE Group_Key=?"),
        {m_target.groupKey});
    if (!group.next() || group.value(QStringLiteral("Schedule_Type")).toInt() != 2)
        return;
    QSqlQuery rows =
        m_db.exec(QStringLiteral("SELECT Start_Time, Stop_Time, DailyWeeklyMonthly, WeekDays, Months "
                                 "FROM Group_Scheduler_Table WHERE Group_ID=? ORDER BY ID"),
                  {group.value(QStringLiteral("Group_ID"))});
    fill(group.value(QStringLiteral("Block_Internet")).toBool(), rows);
}

// The first row gives the recurrence, the pickers and the days or months; every row gives a range.
void ScheduleModel::fill(bool blockInternet, QSqlQuery& rows) {
    m_blockInternet = blockInternet;
    if (!rows.next())
        return;
    const int kind = rows.value(QStringLiteral("DailyWeeklyMonthly")).toInt();
    m_recurrence = kind == 2 ? Weekly : kind == 3 ? Monthly : Daily;
    selectRangeTexts(rows.value(QStringLiteral("Start_Time")).toString(),
                     rows.value(QStringLiteral("Stop_Time")).toString());
    const int weekDays = rows.value(QStringLiteral("WeekDays")).toInt();
    const int months = rows.value(QStringLiteral("Months")).toInt();
    if (m_recurrence == Weekly)
        for (std::size_t day = 0; day < m_weekDays.size(); ++day)
            m_weekDays[day] = (weekDays & (1 << day)) != 0;
    if (m_recurrence == Monthly)
        for (std::size_t month = 0; month < m_months.size(); ++month)
            m_months[month] = (months & (1 << month)) != 0;
    do {
        m_ranges.append({rangeText(rows.value(QStringLiteral("Start_Time")).toString()),
                         rangeText(rows.value(QStringLiteral("Stop_Time")).toString())});
    } while (rows.next());
}

void ScheduleModel::selectRangeTexts(const QString& start, const QString& stop) {
    const QTime startTime = TimeText::parseScheduleTime(start);
    const QTime stopTime = TimeText::parseScheduleTime(stop);
    if (startTime.isValid())
        m_startTime = startTime;
    if (stopTime.isValid())
        m_stopTime = stopTime;
}

void ScheduleModel::storeRanges(const QString& table, const QString& ownerColumn, const QVariant& ownerId) {
    m_db.exec(QStringLiteral("DELETE FROM %1 WHERE %2=?").arg(table, ownerColumn), {ownerId});
    const int kind = m_recurrence + 1;
    const int weekDays = m_recurrence == Weekly ? weekDayMask() : 0;
    const int months = m_recurrence == Monthly ? monthMask() : 0;
    const QString insert =
        QStringLiteral("INSERT INTO %1 (%2, Start_Time, Stop_Time, DailyWeeklyMonthly, WeekDays, "
                       "Months) VALUES (?, ?, ?, ?, ?, ?)")
            .arg(table, ownerColumn);
    for (const Range& range : std::as_const(m_ranges))
        m_db.exec(insert, {ownerId, range.start, range.stop, kind, weekDays, months});
}

// Apply_Systemwise_Settings is left alone on an emptied list, so a following system goes on following.
bool ScheduleModel::applyToSystem(EmptyAnswer answer) {
    const QString& key = m_target.systemKey;
    if (m_ranges.isEmpty() && answer == EmptyAnswer::No) {
        loadSystem();
        return true;
    }
    bool found = false;
    m_db.transaction([&] {
        const QVariant systemId =
            m_db.scalar(QStringLiteral("SELECT System_ID FROM System_Table WHERE System_Key=?"), {key});
        found = systemId.isValid();
        if (!found)
            return;
        if (m_ranges.isEmpty()) {
            m_db.exec(QStringLiteral("UPDATE System_Table SET Schedule_Type=0 WHERE System_Key=?"), {key});
            return;
        }
        m_db.exec(QStringLiteral("UPDATE Group_Table SET Apply_Groupwise_Settings=0 "
                                 "WHERE Group_ID=(SELECT Group_ID FROM System_Table WHERE System_Key=?)"),
                  {key});
        // Stored set whatever the check box shows; the payload carries it as stored.
        m_db.exec(QStringLiteral("UPDATE System_Table SET Schedule_Type=2, Block_Internet=1, "
                                 "Apply_Systemwise_Settings=1 WHERE System_Key=?"),
                  {key});
        storeRanges(QStringLiteral("System_Scheduler_Table"), QStringLiteral("System_ID"), systemId);
    });
    if (found && m_ranges.isEmpty())
        clearEditor();
    return found;
}

bool ScheduleModel::applyToGroup(EmptyAnswer answer) {
    const QString& key = m_target.groupKey;
    if (m_ranges.isEmpty() && answer == EmptyAnswer::No) {
        loadGroup();
        return true;
    }
    bool found = false;
    m_db.transaction([&] {
        const QVariant groupId =
            m_db.scalar(QStringLiteral("SELECT Group_ID FROM Group_Table WHERE Group_Key=?"), {key});
        found = groupId.isValid();
        if (!found)
            return;
        if (m_ranges.isEmpty()) {
            m_db.exec(QStringLiteral("UPDATE Group_Table SET Schedule_Type=0 WHERE Group_Key=?"), {key});
            return;
        }
        m_db.exec(QStringLiteral("UPDATE Group_Table SET Schedule_Type=2, Block_Internet=1, "
                                 "Apply_Groupwise_Settings=1 WHERE Group_Key=?"),
                  {key});
        m_db.exec(QStringLiteral("UPDATE System_Table SET Apply_Systemwise_Settings=0 WHERE Group_ID=?"),
                  {groupId});
        storeRanges(QStringLiteral("Group_Scheduler_Table"), QStringLiteral("Group_ID"), groupId);
    });
    if (found && m_ranges.isEmpty())
        clearEditor();
    return found;
}

ScheduleModel::ApplyResult ScheduleModel::apply(EmptyAnswer answer) {
    if (m_target.isSystem()) {
        if (!applyToSystem(answer))
            return ApplyResult::OwnerMissing;
        m_messenger.sendScheduleToSystem(m_target.systemKey);
    } else if (m_target.isGroup()) {
        if (!applyToGroup(answer))
            return ApplyResult::OwnerMissing;
        m_messenger.Enumerate_Childs_And_Send_Scheduler(m_target.groupKey);
    } else {
        m_applyEnabled = false;
        return ApplyResult::NothingChosen;
    }
    m_applyEnabled = false;
    return ApplyResult::Applied;
}

QString ScheduleModel::limitMessage() {
    return QStringLiteral("You cannot add more than ") + QString::number(kMaxRanges) +
           QStringLiteral(" schedules.");
}

QString ScheduleModel::startNotBeforeStopMessage() {
    return QStringLiteral("Start time should be less than stop time.");
}

QString ScheduleModel::emptiedQuestion() {
    return QStringLiteral("You have deleted all the schedules. Do you wish to continue?");
}

QString ScheduleModel::ownerGoneMessage() const {
    return m_target.isSystem() ? PolicyOwners::systemGoneText(m_target.systemName)
                               : PolicyOwners::groupGoneText(m_target.groupName);
}

} // namespace kestrava
