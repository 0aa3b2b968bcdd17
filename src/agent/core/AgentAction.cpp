#include "agent/core/AgentAction.h"

namespace kestrava::agent {

namespace {

QString requestName(Request request) {
    switch (request) {
    case Request::Schedule:
        return QStringLiteral("schedule");
    case Request::Settings:
        return QStringLiteral("settings");
    case Request::WhiteList:
        return QStringLiteral("white list");
    case Request::BlockList:
        return QStringLiteral("block list");
    }
    return {};
}

QString rulesText(const AgentAction& action) {
    if (!action.restricted)
        return QStringLiteral("rules none");
    QString text = action.internetOff ? QStringLiteral("rules off") : QStringLiteral("rules on");
    if (action.reapply)
        text += QStringLiteral(" again");
    if (action.flushDnsSets)
        text += QStringLiteral(" flushing dns sets");
    if (!action.dnsRedirect)
        text += QStringLiteral(" without dns");
    return text;
}

QString listText(const QStringList& entries) {
    return entries.isEmpty() ? QString() : QLatin1Char(' ') + entries.join(QLatin1Char(','));
}

} // namespace

QString AgentAction::describe() const {
    switch (kind) {
    case Kind::ApplyRules:
        return rulesText(*this);
    case Kind::RemoveRules:
        return QStringLiteral("remove rules");
    case Kind::StartDns:
        return (internetOff ? QStringLiteral("dns off") : QStringLiteral("dns on")) + listText(entries);
    case Kind::StopDns:
        return QStringLiteral("stop dns");
    case Kind::Report:
        // The code as sent, without the message's letter.
        return QStringLiteral("report ") + encodeStatusReport(report).mid(1);
    case Kind::Ask:
        return QStringLiteral("ask ") + requestName(request);
    case Kind::NotifyUser:
        return QStringLiteral("notify %1: %2 | %3").arg(uid).arg(text, body);
    case Kind::NotifyEveryone:
        return QStringLiteral("notify everyone: %1 | %2").arg(text, body);
    case Kind::LockSessions:
        return lock ? QStringLiteral("lock") : QStringLiteral("unlock");
    case Kind::SetBlockList:
        return QStringLiteral("block") + listText(entries);
    case Kind::Save:
        return QStringLiteral("save");
    case Kind::RemoveState:
        return QStringLiteral("remove state");
    case Kind::DisableUnit:
        return QStringLiteral("disable unit");
    case Kind::ArmBoundary:
        return waitMs < 0 ? QStringLiteral("no boundary") : QStringLiteral("boundary in %1 ms").arg(waitMs);
    case Kind::StopWork:
        return QStringLiteral("stop work");
    case Kind::Exit:
        return QStringLiteral("exit %1").arg(exitCode);
    }
    return {};
}

} // namespace kestrava::agent
