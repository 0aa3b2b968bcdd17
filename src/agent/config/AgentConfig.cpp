#include "agent/config/AgentConfig.h"

#include "agent/enforce/Cidr.h"
#include "tls/Fingerprint.h"

#include <QFile>
#include <QHostInfo>
#include <QRegularExpression>

namespace kestrava::agent {

namespace {

std::optional<int> portNumber(const QString& text) {
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

// Addresses or CIDRs separated by commas or blanks, read as the rules will read them; the first bad
// one is returned in bad.
QStringList networkList(const QString& text, QString* bad) {
    const QStringList items = text.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts);
    for (const QString& item : items) {
        if (!Cidr::parse(item)) {
            *bad = item;
            return {};
        }
    }
    return items;
}

} // namespace

std::optional<AgentConfig> AgentConfig::parse(const QString& text, const QString& fileName, QString* error) {
    AgentConfig config;
    QString section;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        auto fail = [&](const QString& what) {
            *error = QStringLiteral("%1:%2: %3").arg(fileName).arg(i + 1).arg(what);
            return std::nullopt;
        };
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')))
                return fail(QStringLiteral("a section name needs its closing ']'"));
            section = line.mid(1, line.size() - 2).trimmed().toLower();
            if (section != QLatin1String("console") && section != QLatin1String("agent"))
                return fail(QStringLiteral("unknown section [%1] (known: [console], [agent])").arg(section));
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            return fail(QStringLiteral("expected key = value"));
        const QString key = line.left(equals).trimmed().toLower();
        const QString value = line.mid(equals + 1).trimmed();
        const QString where = section.isEmpty() ? QStringLiteral("outside any section")
                                                : QStringLiteral("in [%1]").arg(section);
        if (section == QLatin1String("console") && key == QLatin1String("host")) {
            config.consoleHost = value;
        } else if (section == QLatin1String("console") && key == QLatin1String("port")) {
            const auto port = portNumber(value);
            if (!port)
                return fail(QStringLiteral("port must be a number from 1 to 65535, not '%1'").arg(value));
            config.consolePort = *port;
        } else if (section == QLatin1String("console") && key == QLatin1String("console_tls_port")) {
            const auto port = portNumber(value);
            if (!port)
                return fail(
                    QStringLiteral("console_tls_port must be a number from 1 to 65535, not '%1'").arg(value));
            config.consoleTlsPort = *port;
        } else if (section == QLatin1String("console") && key == QLatin1String("console_fingerprint")) {
            config.consoleFingerprint = Fingerprint::parse(value);
            if (config.consoleFingerprint.isEmpty())
                return fail(QStringLiteral("console_fingerprint must be 64 hex digits such as AB:CD:..., "
                                           "as the console shows it in Options, not '%1'")
                                .arg(value));
        } else if (section == QLatin1String("agent") && key == QLatin1String("identifier")) {
            config.identifier = value;
        } else if (section == QLatin1String("agent") && key == QLatin1String("name")) {
            config.name = value;
        } else if (section == QLatin1String("agent") &&
                   (key == QLatin1String("local_networks") || key == QLatin1String("always_allow"))) {
            QString bad;
            const QStringList list = networkList(value, &bad);
            if (!bad.isEmpty())
                return fail(QStringLiteral("'%1' in %2 is not an address or a network such as 10.0.0.0/8")
                                .arg(bad, key));
            (key == QLatin1String("local_networks") ? config.localNetworks : config.alwaysAllow) = list;
        } else if (section == QLatin1String("agent") && key == QLatin1String("local_access")) {
            if (value.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0)
                config.localAccess = LocalAccess::All;
            else if (value.compare(QLatin1String("servers"), Qt::CaseInsensitive) == 0)
                config.localAccess = LocalAccess::Servers;
            else
                return fail(QStringLiteral("local_access must be 'all' or 'servers', not '%1'").arg(value));
        } else if (section == QLatin1String("agent") && key == QLatin1String("user_programs")) {
            if (value.compare(QLatin1String("any"), Qt::CaseInsensitive) == 0)
                config.userPrograms = UserPrograms::Any;
            else if (value.compare(QLatin1String("installed"), Qt::CaseInsensitive) == 0)
                config.userPrograms = UserPrograms::Installed;
            else
                return fail(
                    QStringLiteral("user_programs must be 'any' or 'installed', not '%1'").arg(value));
        } else {
            return fail(QStringLiteral("unknown key '%1' %2").arg(key, where));
        }
    }
    return config;
}

bool AgentConfig::setConsole(const QString& hostAndPort) {
    QString host = hostAndPort.trimmed();
    QString port;
    if (host.startsWith(QLatin1Char('['))) {
        const qsizetype close = host.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        const QString rest = host.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))
            return false;
        port = rest.mid(1);
        host = host.mid(1, close - 1);
    } else if (host.count(QLatin1Char(':')) == 1) {
        port = host.section(QLatin1Char(':'), 1);
        host = host.section(QLatin1Char(':'), 0, 0);
    }
    if (host.isEmpty())
        return false;
    if (!port.isEmpty()) {
        const auto number = portNumber(port);
        if (!number)
            return false;
        consolePort = *number;
    }
    consoleHost = host;
    return true;
}

int AgentConfig::tlsPort() const {
    if (consoleTlsPort != 0)
        return consoleTlsPort;
    return consolePort < 65535 ? consolePort + 1 : 0;
}

QString AgentConfig::machineIdentifier(const QString& machineIdPath) {
    QFile file(machineIdPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // 16 of the 32 digits keep the key short enough to leave room for the name.
    return QString::fromLatin1(file.readLine().trimmed().left(16));
}

QString AgentConfig::shortHostName() {
    return QHostInfo::localHostName().section(QLatin1Char('.'), 0, 0);
}

} // namespace kestrava::agent
