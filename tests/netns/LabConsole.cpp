#include "LabConsole.h"

#include "GroupListEntry.h"
#include "core/console/Keys.h"
#include "core/console/TreeLoader.h"
#include "core/lists/GroupProgramList.h"
#include "core/lists/GroupUrlList.h"
#include "core/lists/ProgramCatalogue.h"
#include "core/lists/UrlCatalogue.h"
#include "core/options/OptionsModel.h"
#include "core/options/SecureLinkSettings.h"
#include "core/platform/AutoStartSwitch.h"
#include "core/platform/TraySwitch.h"
#include "protocol/ShortOrders.h"

#include <QDebug>
#include <QTest>
#include <algorithm>

using namespace kestrava;

namespace {

struct NoTray final : TraySwitch {
    bool isTrayIconVisible() const override { return false; }
    void setTrayIconVisible(bool) override {}
};

struct NoAutoStart final : AutoStartSwitch {
    bool isAutoStartSet() const override { return false; }
    void setAutoStart(bool) override {}
};

} // namespace

LabConsole::LabConsole(const QDateTime& clockAt)
    : m_clock(clockAt)
    , m_connections(m_db, m_tree)
    , m_secure(m_connections)
    , m_messenger(m_db, m_tree, m_connections, m_clock)
    , m_incoming(m_db, m_tree, m_clock, m_connections, m_messenger)
    , m_policy(m_db, m_messenger) {
    const QString path = m_dir.filePath(QStringLiteral("kestrava.tlmr"));
    Database::createFactory(path);
    m_db.open(path);
    m_db.exec(QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES (?, ?)"),
              {groupKey(), QString::fromLatin1(kGroup)});
    m_db.exec(QStringLiteral("UPDATE Settings_Table SET LocalPort=?, AddToGroup=?"),
              {int(kPort), QString::fromLatin1(kGroup)});
    Load_Systems_Tree(m_db, m_tree);
    m_secure.setIdentity(TlsIdentity::loadOrCreate(SecureLinkSettings::keyFileFor(path),
                                                   SecureLinkSettings::certificateFileFor(path),
                                                   QStringLiteral("Kestrava console")));
    QObject::connect(&m_connections, &ConnectionManager::messageReceived, &m_incoming,
                     &IncomingMessages::handleMessage);
    QObject::connect(&m_connections, &ConnectionManager::messageReceived,
                     [this](int, const QString& message) {
                         if (Messages::kindOf(MessageSender::Client, message) == MessageKind::StatusReport)
                             m_reports << Messages::payloadOf(message).left(2);
                     });
    const auto report = [](const QString& message) { qWarning() << "console:" << message; };
    QObject::connect(&m_connections, &ConnectionManager::errorOccurred, report);
    QObject::connect(&m_incoming, &IncomingMessages::errorOccurred, report);
}

LabConsole::~LabConsole() {
    m_connections.Close_All_Sockets();
}

QString LabConsole::groupKey() const {
    return Keys::Make_Group_Key(QString::fromLatin1(kGroup));
}

bool LabConsole::isConnected(const QString& systemKey) const {
    return m_connections.Find_Socket_Of_System(systemKey) != 0;
}

bool LabConsole::waitForReport(qsizetype mark, const QString& code, int timeoutMs) const {
    return QTest::qWaitFor([&] { return m_reports.indexOf(code, mark) >= 0; }, timeoutMs);
}

bool LabConsole::setInternetReported(bool on) {
    const QString code = on ? QStringLiteral("IN") : QStringLiteral("IF");
    const auto last = std::find_if(m_reports.crbegin(), m_reports.crend(),
                                   [](const QString& report) { return report.startsWith(QLatin1Char('I')); });
    const qsizetype mark = m_reports.size();
    setInternet(on);
    return (last != m_reports.crend() && *last == code) || waitForReport(mark, code);
}

void LabConsole::allowSite(const QString& url) {
    m_messenger.Enumerate_Childs_And_Send_URL(
        addToGroupList<UrlCatalogue, GroupUrlList>(m_db, groupKey(), url));
}

void LabConsole::blockProgram(const QString& name) {
    m_messenger.Enumerate_Childs_And_Send_Programs(
        addToGroupList<ProgramCatalogue, GroupProgramList>(m_db, groupKey(), name));
}

void LabConsole::showNotifications() {
    m_messenger.Enumerate_Childs_And_Send_Message(groupKey(), encodeBareOrder(MessageKind::MakeVisible));
}

ApplyResult LabConsole::applyOptions(const std::function<void(OptionsValues&)>& change) {
    NoTray tray;
    NoAutoStart autoStart;
    OptionsModel options(m_db, tray, autoStart, [this](const QString& message) {
        m_connections.Send_Data_To_All_Connected_Systems(message);
    });
    OptionsValues values = options.load();
    change(values);
    return options.apply(values);
}

void LabConsole::setControlledPort(int port) {
    applyOptions([port](OptionsValues& values) { values.ports.back() = port; });
}

void LabConsole::setSecureOnly(bool on) {
    if (applyOptions([on](OptionsValues& values) { values.secureOnly = on; }).secureOnlyChanged) {
        if (const QString failure = m_secure.setSecureOnly(on); !failure.isEmpty())
            qWarning() << "console:" << failure;
    }
}
