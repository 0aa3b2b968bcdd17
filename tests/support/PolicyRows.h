#pragma once

#include "core/store/Database.h"

#include <QString>

// Rows of groups, systems and schedules written straight into a test database.
namespace PolicyRows {

// Returns the new Group_ID; the key is Make_Group_Key(name).
int addGroup(kestrava::Database& db, const QString& name);
// Returns the system key Make_System_Key(identifier, name).
QString addSystem(kestrava::Database& db, const QString& identifier, const QString& name, int groupId,
                  bool ownSettings = false);
int systemId(kestrava::Database& db, const QString& systemKey);
QString groupKey(const QString& name);

// "start,stop,kind" or "start,stop,kind,weekDays,months"; without masks the columns keep their default.
void addGroupRange(kestrava::Database& db, int groupId, const QString& range);
void addSystemRange(kestrava::Database& db, int systemId, const QString& range);

// One row of a table as "column=value" texts in column order, for comparing whole states.
QStringList tableDump(kestrava::Database& db, const QString& table);

} // namespace PolicyRows
