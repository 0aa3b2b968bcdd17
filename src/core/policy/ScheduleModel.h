#pragma once

#include "core/policy/PolicyTarget.h"

#include <QList>
#include <QString>
#include <QTime>
#include <array>

class QSqlQuery;

namespace kestrava {

class Clock;
class Database;
class ScheduleSender;

// The schedule editor's state: up to ten time ranges sharing one recurrence, the week days or months,
// the two time pickers and whether Apply is offered. Loads from and applies to the policy database.
class ScheduleModel {
public:
    static constexpr int kMaxRanges = 10;
    enum Recurrence { Daily = 0, Weekly = 1, Monthly = 2 };
    enum class AddResult { Added, LimitReached, StartNotBeforeStop };
    // What to do with an emptied list; asked before Apply.
    enum class EmptyAnswer { Yes, No };
    enum class ApplyResult { Applied, OwnerMissing, NothingChosen };

    struct Range {
        QString start; // "hh:mm AM" as stored
        QString stop;
    };

    ScheduleModel(Database& db, const Clock& clock, ScheduleSender& messenger);

    // Takes the chosen group or system and reads what governs it. Throws DatabaseError.
    void open(const PolicyTarget& target);
    const PolicyTarget& target() const { return m_target; }

    const QList<Range>& ranges() const { return m_ranges; }
    Recurrence recurrence() const { return m_recurrence; }
    bool blockInternet() const { return m_blockInternet; }
    bool weekDay(int day) const { return m_weekDays.at(static_cast<std::size_t>(day)); }
    bool month(int month) const { return m_months.at(static_cast<std::size_t>(month)); }
    // Bit i for week day i (0 Sunday) and for month i (0 January).
    int weekDayMask() const;
    int monthMask() const;
    QTime startTime() const { return m_startTime; }
    QTime stopTime() const { return m_stopTime; }
    bool applyEnabled() const { return m_applyEnabled; }

    // The pickers hold hours and minutes only.
    void setStartTime(const QTime& time);
    void setStopTime(const QTime& time);
    void setRecurrence(Recurrence recurrence);
    void setWeekDay(int day, bool checked);
    void setMonth(int month, bool checked);
    void setBlockInternet(bool checked);
    // Puts a range's start and stop into the pickers.
    void selectRange(int row);

    AddResult add();
    void removeRanges(QList<int> rows);
    // Empties the editor; nothing is written until Apply.
    void clear();

    // Apply with an empty list needs the administrator's answer first.
    bool applyNeedsAnswer() const {
        return m_ranges.isEmpty() && (m_target.isSystem() || m_target.isGroup());
    }
    // Stores the editor in one transaction and sends the schedule message. Throws DatabaseError, leaving
    // the database as before and Apply offered.
    ApplyResult apply(EmptyAnswer answer = EmptyAnswer::Yes);

    static QString limitMessage(); // "You cannot add more than 10 schedules."
    static QString startNotBeforeStopMessage();
    static QString emptiedQuestion();
    QString ownerGoneMessage() const;

private:
    void clearEditor();
    void changed();
    void loadSystem();
    void loadGroup();
    void fill(bool blockInternet, QSqlQuery& rows);
    void selectRangeTexts(const QString& start, const QString& stop);
    void storeRanges(const QString& table, const QString& ownerColumn, const QVariant& ownerId);
    bool applyToSystem(EmptyAnswer answer);
    bool applyToGroup(EmptyAnswer answer);

    Database& m_db;
    const Clock& m_clock;
    ScheduleSender& m_messenger;
    PolicyTarget m_target;
    QList<Range> m_ranges;
    Recurrence m_recurrence = Daily;
    bool m_blockInternet = false;
    std::array<bool, 7> m_weekDays{};
    std::array<bool, 12> m_months{};
    QTime m_startTime;
    QTime m_stopTime;
    bool m_applyEnabled = false;
};

} // namespace kestrava
