#include "LabAgent.h"

#include "NetLab.h"
#include "console/Keys.h"

#include <QCoreApplication>
#include <QTest>

LabAgent::LabAgent(quint16 consolePort)
    : m_console(NetLab::kLan + QLatin1Char(':') + QString::number(consolePort)) {
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    QObject::connect(&m_process, &QProcess::readyReadStandardError,
                     [this] { m_log += m_process.readAllStandardError(); });
}

LabAgent::~LabAgent() {
    stop();
}

QString LabAgent::program() {
    const QString named = qEnvironmentVariable("KESTRAVA_AGENT");
    return named.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/kestrava-agent")
                           : named;
}

QString LabAgent::systemKey() {
    return kestrava::Keys::Make_System_Key(QString::fromLatin1(kIdentifier), QString::fromLatin1(kName));
}

bool LabAgent::start() {
    m_log += "--- started\n";
    // `ip netns exec` replaces itself with the agent: the process is the agent's own.
    const QStringList arguments{QStringLiteral("netns"),
                                QStringLiteral("exec"),
                                NetLab::pcName(),
                                program(),
                                QStringLiteral("--console"),
                                m_console,
                                QStringLiteral("--identifier"),
                                QString::fromLatin1(kIdentifier),
                                QStringLiteral("--name"),
                                QString::fromLatin1(kName),
                                QStringLiteral("--state-dir"),
                                m_state.path()};
    m_process.start(QStringLiteral("ip"), arguments + m_extraArguments);
    return m_process.waitForStarted(5000);
}

void LabAgent::stop() {
    if (!isRunning())
        return;
    m_process.terminate();
    if (!waitForExit(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool LabAgent::waitForExit(int timeoutMs) {
    const bool ended = QTest::qWaitFor([this] { return !isRunning(); }, timeoutMs);
    m_log += m_process.readAllStandardError();
    return ended;
}
