#include "protocol/SettingsOrder.h"

#include "protocol/ConsoleSplitter.h"
#include "protocol/FieldReader.h"
#include "protocol/Fields.h"
#include "protocol/Messages.h"

namespace kestrava {

namespace {

QString flag(bool on) {
    return on ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

QString encodeSettings(const Settings& settings) {
    QString text(Messages::letterOf(MessageKind::Settings));
    if (!settings.ports.isEmpty() || !settings.blockMessage.isEmpty()) {
        text += kFieldSeparator + QString::number(settings.ports.size()) + kFieldSeparator;
        for (int port : settings.ports)
            text += QString::number(port) + kFieldSeparator;
        text += settings.blockMessage + kFieldSeparator;
    }
    if (settings.hasBlankFlag)
        text += flag(settings.blankScreen) + kFieldSeparator;
    return text;
}

Decoded<Settings> decodeSettings(const QString& message) {
    FieldReader r;
    Settings s;
    const QString payload = Messages::payloadOf(message);
    if (payload.isEmpty())
        return r.result(s);
    if (!payload.startsWith(kFieldSeparator)) {
        s.hasBlankFlag = true;
        r.fieldCount(payload.split(kFieldSeparator), 2);
        s.blankScreen = r.boolean(Get_Field(payload, 0), QStringLiteral("the blank-screen flag"));
        return r.result(s);
    }
    const QStringList f = r.fields(payload);
    if (!r.ok())
        return r.result(s);
    const int n = r.number(f[0], kMaxConsoleCount, QStringLiteral("the port count"));
    if (r.ok() && f.size() != n + 2 && f.size() != n + 3)
        r.fail(QStringLiteral("%1 fields where %2 or %3 belong").arg(f.size()).arg(n + 2).arg(n + 3));
    for (int i = 0; i < n && r.ok(); ++i)
        s.ports << r.number(f[1 + i], 65535, QStringLiteral("port %1").arg(i + 1));
    if (!r.ok())
        return r.result(s);
    s.blockMessage = f[1 + n];
    s.hasBlankFlag = f.size() == n + 3;
    if (s.hasBlankFlag)
        s.blankScreen = r.boolean(f.back(), QStringLiteral("the blank-screen flag"));
    return r.result(s);
}

} // namespace kestrava
