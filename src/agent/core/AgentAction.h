#pragma once

#include "protocol/Requests.h"
#include "protocol/StatusReport.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <sys/types.h>

namespace kestrava::agent {

// One thing the core asks of the machine or the link; only the members of its kind are set.
struct AgentAction {
    enum class Kind {
        ApplyRules,  // the table for internetOff, entries and ports (restricted false: none at all)
        RemoveRules, // the table goes, whatever was applied
        StartDns,    // the forwarder for the white list in entries and internetOff
        StopDns,
        Report,         // "h" with report
        Ask,            // asks the console for request
        NotifyUser,     // text as summary and body to uid
        NotifyEveryone, // text and body to every person with a session
        LockSessions,   // lock: true to lock, false to unlock
        SetBlockList,   // the programs in entries
        Save,           // the orders to the state file
        RemoveState,
        DisableUnit,
        ArmBoundary, // BoundaryReached after waitMs; negative: none
        StopWork,    // the link and the periodic work end
        Exit,        // the process ends with exitCode
    };
    Kind kind = Kind::Save;
    QString text{};
    QString body{};
    uid_t uid = 0;
    Request request = Request::Settings;
    StatusReport report = StatusReport::InternetOn;
    bool restricted = false;
    bool internetOff = false;
    bool lock = false;
    bool reapply = false;      // ApplyRules: write the table even when its text is unchanged
    bool flushDnsSets = false; // ApplyRules: empty the sets DNS filled (a name left the white list)
    bool dnsRedirect = true;   // ApplyRules: false while stopping, as the forwarder goes too
    QStringList entries{};
    QList<int> ports{};
    qint64 waitMs = -1;
    int exitCode = 0;

    // One line, for logs and tests: "report IN", "rules off again", "notify 1001: game | Not now"...
    QString describe() const;
};

} // namespace kestrava::agent
