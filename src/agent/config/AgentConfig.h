#pragma once

#include "agent/enforce/LocalAccess.h"
#include "agent/procs/UserPrograms.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace kestrava::agent {

// What the agent is told to do at start: the config file, overridden by the command line.
struct AgentConfig {
    static constexpr int kDefaultPort = 8999;

    QString consoleHost;
    int consolePort = kDefaultPort;
    // When set, the console is reached only over TLS and only when its certificate has this SHA-256;
    // else the key of the first console reached over TLS is pinned.
    QByteArray consoleFingerprint;
    int consoleTlsPort = 0; // 0: the console's port + 1, as the console picks it
    QString identifier;
    QString name;
    QString stateDir = QStringLiteral("/var/lib/kestrava-agent");
    QStringList localNetworks; // empty: the private ranges and the host's own subnets
    QStringList alwaysAllow;
    LocalAccess localAccess = LocalAccess::All;
    UserPrograms userPrograms = UserPrograms::Any;
    bool dryRun = false; // log what would be done, touch nothing

    // Reads an INI text ([console] host, port, console_fingerprint, console_tls_port; [agent] identifier,
    // name, local_networks, always_allow, local_access, user_programs). On a fault, error names the file
    // and line and nothing is returned.
    static std::optional<AgentConfig> parse(const QString& text, const QString& fileName, QString* error);
    // "HOST", "HOST:PORT" or "[v6]:PORT" into host and port; false on a bad port.
    bool setConsole(const QString& hostAndPort);
    // The port of the authenticated link; 0 when the console's port leaves no room for the default.
    int tlsPort() const;

    // The identifier and name a computer has when none is configured: the first 16 hex digits of
    // /etc/machine-id, and the short host name.
    static QString machineIdentifier(const QString& machineIdPath = QStringLiteral("/etc/machine-id"));
    static QString shortHostName();
};

} // namespace kestrava::agent
