#pragma once

#include "core/options/ApplyResult.h"
#include "core/options/OptionsValues.h"
#include "protocol/SettingsOrder.h"

#include <QStringList>
#include <functional>

namespace kestrava {

class AutoStartSwitch;
class Database;
class TraySwitch;

// The options window's state and its Apply: the settings row, the tray icon, the start with the
// system and the "O" message to every connected system when the settings changed.
class OptionsModel {
public:
    using SendToAll = std::function<void(const QString& message)>;

    static constexpr int kMinLocalPort = 5001;
    static constexpr int kMaxMessageLength = 100;
    static constexpr int kMaxPasswordLength = 30;

    OptionsModel(Database& db, TraySwitch& tray, AutoStartSwitch& autoStart, SendToAll sendToAll);

    // Reads everything afresh and keeps the settings and port as they stand. Throws DatabaseError.
    OptionsValues load();
    // Group names in name order; the window lists them after "[Root...]".
    const QStringList& groupNames() const { return m_groupNames; }
    // The port that leaving the port box puts back: as opened, or as last applied.
    int portAtOpening() const { return m_portAtOpening; }
    int securePortAtOpening() const { return m_securePortAtOpening; }
    const Settings& settingsAtOpening() const { return m_settingsAtOpening; }

    // General, Connection, Password and Port/Proxy, in this order; a failing step does not stop the
    // others and what earlier steps did stays done.
    ApplyResult apply(const OptionsValues& values);

    static bool isValidLocalPort(int port) { return port >= kMinLocalPort && port <= kMaxPort; }
    // In the same range as the local port and not the local port itself.
    static bool isValidSecurePort(int port, int localPort) {
        return isValidLocalPort(port) && port != localPort;
    }
    // The refusal for a block message that cannot travel to the client services, or empty.
    static QString blockMessageRefusal(const QString& message);

private:
    void applyGeneral(const OptionsValues& values);
    void applyConnection(const OptionsValues& values, ApplyResult& result);
    bool applyPassword(const OptionsValues& values, ApplyResult& result);
    bool applyPorts(const OptionsValues& values, ApplyResult& result);

    Database& m_db;
    TraySwitch& m_tray;
    AutoStartSwitch& m_autoStart;
    SendToAll m_sendToAll;
    QStringList m_groupNames;
    int m_portAtOpening = 0;
    int m_securePortAtOpening = 0;
    bool m_secureOnlyAtOpening = false;
    Settings m_settingsAtOpening;
};

} // namespace kestrava
