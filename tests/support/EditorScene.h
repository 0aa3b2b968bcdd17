#pragma once

#include "TempDatabase.h"
#include "core/policy/PolicyTarget.h"
#include "core/policy/ScheduleSender.h"
#include "core/startup/Clock.h"

#include <QStringList>

// The group Lab with pc1, which follows it, and pc2, which has settings of its own, for the tests of
// the policy editors; it remembers whom the editors told to send a schedule.
struct EditorScene : kestrava::ScheduleSender {
    EditorScene();

    // "group", "pc1", "pc2" or anything else for nothing chosen.
    kestrava::PolicyTarget target(const QString& name) const;
    // Groups, systems and both schedule tables with the columns the editors write, one row after another.
    QString stored(const QString& systemColumns, const QString& groupColumns);
    // The name of whoever a schedule went to, "group" for the group's members.
    QStringList sent;

    void sendScheduleToSystem(const QString& systemKey) override;
    void Enumerate_Childs_And_Send_Scheduler(const QString& groupKey) override;

    TempDatabase temp;
    kestrava::Database& db = temp.db();
    kestrava::FixedClock clock{QDateTime(QDate(2026, 3, 12), QTime(10, 0))};
    int lab = 0;
    QString labKey, pc1, pc2;
};
