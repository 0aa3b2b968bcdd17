#include "LabAgent.h"

#include "LabConsole.h"
#include "NetLab.h"
#include "core/console/Keys.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>

LabAgent::LabAgent(const NetLab& lab, quint16 consolePort)
    : m_lab(lab)
    , m_console(NetLab::kLan + QLatin1Char(':') + QString::number(consolePort))
    , m_files(NetLab::sharedTempTemplate(QStringLiteral("agent")))
    , m_statePath(m_files.filePath(QStringLiteral("state"))) {
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

void LabAgent::setConfig(const QByteArray& text) {
    m_config = text;
    QFile file(m_files.filePath(QStringLiteral("agent.conf")));
    if (text.isEmpty())
        file.remove();
    else if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qWarning() << "cannot write" << file.fileName();
}

QByteArray LabAgent::status() const {
    return m_lab.inPc(program() + QStringLiteral(" --status --state-dir ") + m_statePath);
}

bool LabAgent::start() {
    m_log += "--- started\n";
    QStringList arguments{QStringLiteral("--console"),    m_console,
                          QStringLiteral("--identifier"), QString::fromLatin1(kIdentifier),
                          QStringLiteral("--name"),       QString::fromLatin1(kName),
                          QStringLiteral("--state-dir"),  m_statePath};
    if (!m_config.isEmpty())
        arguments << QStringLiteral("--config") << m_files.filePath(QStringLiteral("agent.conf"));
    return m_lab.startInPcAs(m_process, program(), arguments + m_extraArguments, 0);
}

bool LabAgent::runConnected(const LabConsole& console, const QByteArray& config, const QString& code,
                            bool restart) {
    if (restart || config != m_config) {
        stop();
        setConfig(config);
    }
    if (isRunning())
        return console.isConnected(systemKey());
    const qsizetype mark = console.reports().size();
    return start() &&
           QTest::qWaitFor(
               [&] {
                   return !isRunning() ||
                          (console.isConnected(systemKey()) && console.reports().indexOf(code, mark) >= 0);
               },
               60000) &&
           isRunning();
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

qint64 LabAgent::pid() const {
    return NetLab::programPid(m_process);
}
