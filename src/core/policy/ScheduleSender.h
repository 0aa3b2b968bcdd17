#pragma once

#include <QString>

namespace kestrava {

// Where a stored policy change is announced to the systems it reaches; the client link implements it.
class ScheduleSender {
public:
    virtual ~ScheduleSender() = default;
    // "S" and the system's schedule to one system.
    virtual void sendScheduleToSystem(const QString& systemKey) = 0;
    // Each connected direct child of the group gets "S" and its own schedule.
    virtual void Enumerate_Childs_And_Send_Scheduler(const QString& groupKey) = 0;
};

} // namespace kestrava
