#include "core/options/OptionsModel.h"

#include "core/options/SecureLinkSettings.h"
#include "core/options/SettingsPayload.h"
#include "core/platform/AutoStartSwitch.h"
#include "core/platform/TraySwitch.h"
#include "core/protocol/SendableText.h"
#include "core/store/Database.h"
#include "core/store/Schema.h"
#include "core/store/StorableText.h"

#include <QSqlQuery>
#include <QStringList>
#include <algorithm>

namespace kestrava {

namespace {

using Notice = ApplyResult::Notice;

} // namespace

OptionsModel::OptionsModel(Database& db, TraySwitch& tray, AutoStartSwitch& autoStart, SendToAll sendToAll)
    : m_db(db)
    , m_tray(tray)
    , m_autoStart(autoStart)
    , m_sendToAll(std::move(sendToAll)) {}

OptionsValues OptionsModel::load() {
    m_settingsAtOpening = Get_The_Settings(m_db, {});

    OptionsValues values;
    values.localPort = Schema::kFactoryLocalPort;
    values.blockMessage = Schema::factoryBlockMessage();
    QSqlQuery row = m_db.exec(QStringLiteral("SELECT * FROM Settings_Table"));
    QString addToGroup;
    if (row.next()) {
        values.localPort = row.value(QStringLiteral("LocalPort")).toInt();
        values.askPwd = row.value(QStringLiteral("AskPwd")).toBool();
        values.blockMessage = row.value(QStringLiteral("AppBlockerMessage")).toString();
        for (int i = 0; i < kProtocolCount; ++i)
            values.ports[i] = row.value(QLatin1String(kProtocolPorts[i].column)).toInt();
        addToGroup = row.value(QStringLiteral("AddToGroup")).toString();
    }
    values.autoStart = m_autoStart.isAutoStartSet();
    values.showInTray = m_tray.isTrayIconVisible();

    m_groupNames.clear();
    QSqlQuery groups = m_db.exec(QStringLiteral("SELECT Group_Name FROM Group_Table ORDER BY Group_Name"));
    while (groups.next()) {
        const QString name = groups.value(0).toString();
        m_groupNames.append(name);
        if (values.addToGroup.isEmpty() && name.compare(addToGroup, Qt::CaseInsensitive) == 0 &&
            !addToGroup.isEmpty())
            values.addToGroup = name;
    }
    values.securePort = SecureLinkSettings::securePort(m_db);
    values.secureOnly = SecureLinkSettings::secureOnly(m_db);
    values.consoleFingerprint = SecureLinkSettings::fingerprintBeside(m_db.path());
    m_portAtOpening = values.localPort;
    m_securePortAtOpening = values.securePort;
    m_secureOnlyAtOpening = values.secureOnly;
    return values;
}

QString OptionsModel::blockMessageRefusal(const QString& message) {
    const QString reason = SendableText::unsendableReason(message);
    if (reason.isEmpty())
        return {};
    return QStringLiteral("The App Blocker Message was not saved.") + reason;
}

ApplyResult OptionsModel::apply(const OptionsValues& values) {
    ApplyResult result;
    const auto step = [&](const std::function<bool()>& work) {
        try {
            return work();
        } catch (const DatabaseError& error) {
            result.notices.append({Notice::Kind::Critical, error.toMessage()});
            return false;
        }
    };
    const bool general = step([&] {
        applyGeneral(values);
        return true;
    });
    const bool connection = step([&] {
        applyConnection(values, result);
        return true;
    });
    const bool password = step([&] { return applyPassword(values, result); });
    const bool ports = step([&] { return applyPorts(values, result); });
    result.success = general && connection && password && ports;
    return result;
}

void OptionsModel::applyGeneral(const OptionsValues& values) {
    m_autoStart.setAutoStart(values.autoStart);
    m_tray.setTrayIconVisible(values.showInTray);
    m_db.exec(QStringLiteral("UPDATE Settings_Table SET AddToGroup=?"),
              {StorableText::of(values.addToGroup)});
}

void OptionsModel::applyConnection(const OptionsValues& values, ApplyResult& result) {
    if (values.secureOnly != m_secureOnlyAtOpening) {
        m_db.exec(QStringLiteral("UPDATE Settings_Table SET SecureOnly=? WHERE ID=1"),
                  {values.secureOnly ? 1 : 0});
        m_secureOnlyAtOpening = values.secureOnly;
        result.secureOnlyChanged = true;
    }
    // The window never lets a port outside the range through; one that gets here is not stored.
    bool portChanged = false;
    if (values.localPort != m_portAtOpening && isValidLocalPort(values.localPort)) {
        m_db.exec(QStringLiteral("UPDATE Settings_Table SET LocalPort=? WHERE ID=1"), {values.localPort});
        m_portAtOpening = values.localPort;
        portChanged = true;
    }
    if (values.securePort != m_securePortAtOpening && isValidSecurePort(values.securePort, m_portAtOpening)) {
        m_db.exec(QStringLiteral("UPDATE Settings_Table SET SecurePort=? WHERE ID=1"), {values.securePort});
        m_securePortAtOpening = values.securePort;
        portChanged = true;
    }
    if (portChanged)
        result.notices.append({Notice::Kind::Exclamation,
                               QStringLiteral("Changes you made to the port settings will take effect only "
                                              "after you restart the program")});
}

bool OptionsModel::applyPassword(const OptionsValues& values, ApplyResult& result) {
    result.passwordMessage.clear();
    enum class Outcome { Unchanged, Changed, Mismatch, WrongOld, WrongFactoryOld };
    Outcome outcome = Outcome::Unchanged;
    m_db.transaction([&] {
        QSqlQuery row = m_db.exec(QStringLiteral("SELECT ID, Password, AskPwd FROM Settings_Table"));
        if (!row.next())
            return;
        const QVariant id = row.value(0);
        const QString stored = row.value(1).toString();
        row.finish();
        QString password = stored;
        const bool typed = !values.oldPassword.isEmpty() || !values.newPassword.isEmpty() ||
                           !values.confirmPassword.isEmpty();
        if (typed && stored == values.oldPassword) {
            if (values.newPassword != values.confirmPassword) {
                outcome = Outcome::Mismatch;
            } else {
                password = StorableText::of(values.newPassword);
                outcome = Outcome::Changed;
            }
        } else if (typed) {
            outcome = stored == QLatin1String(Schema::kFactoryPassword) ? Outcome::WrongFactoryOld
                                                                        : Outcome::WrongOld;
        }
        // AskPwd is stored whatever became of the password.
        m_db.exec(QStringLiteral("UPDATE Settings_Table SET Password=?, AskPwd=? WHERE ID=?"),
                  {password, values.askPwd ? 1 : 0, id});
    });
    switch (outcome) {
    case Outcome::Unchanged:
        return true;
    case Outcome::Changed:
        result.passwordChanged = true;
        result.passwordMessage = QStringLiteral("Password successfully changed...");
        return true;
    case Outcome::Mismatch:
        result.notices.append(
            {Notice::Kind::Exclamation,
             QStringLiteral("Passwords do not match, try again..!\r\nNew password not saved.")});
        result.focus = ApplyResult::Focus::NewPassword;
        return false;
    case Outcome::WrongFactoryOld:
        result.notices.append(
            {Notice::Kind::Information, QStringLiteral("Please enter 'Chief' for the Old Password.")});
        result.focus = ApplyResult::Focus::OldPassword;
        return false;
    case Outcome::WrongOld:
        result.notices.append(
            {Notice::Kind::Exclamation,
             QStringLiteral("Incorrect old password, try again..!\r\nNew password not saved.")});
        result.focus = ApplyResult::Focus::OldPassword;
        return false;
    }
    return false;
}

bool OptionsModel::applyPorts(const OptionsValues& values, ApplyResult& result) {
    if (const QString refusal = blockMessageRefusal(values.blockMessage); !refusal.isEmpty()) {
        result.notices.append({Notice::Kind::Exclamation, refusal});
        return false;
    }
    QVariantList bound{values.blockMessage.left(kMaxMessageLength)};
    for (const int port : values.ports)
        bound.append(std::clamp(port, 0, kMaxPort));
    m_db.exec(
        QStringLiteral("UPDATE Settings_Table SET AppBlockerMessage=?, HTTP=?, FTP=?, Telnet=?, SMTP=?, "
                       "POP3=?, Socks=?, News=?, ICQ=?, IRC=?, OtherPort=?"),
        bound);
    const Settings settings = Get_The_Settings(m_db, {});
    if (settings != m_settingsAtOpening) {
        m_settingsAtOpening = settings;
        m_sendToAll(encodeSettings(settings));
        result.settingsSent = true;
    }
    return true;
}

} // namespace kestrava
