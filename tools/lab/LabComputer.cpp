#include "LabComputer.h"

#include "HostCommands.h"
#include "LabNetwork.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>

namespace {

constexpr int kStartWaitMs = 10000;
constexpr int kStopWaitMs = 5000;
constexpr int kLogTail = 2000;
const QString kStudent = QStringLiteral("student");
const QString kGame = QStringLiteral("/usr/local/games/labgame");

bool writeText(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

LabComputer::LabComputer(int index, Setup setup, QObject* parent)
    : QObject(parent)
    , m_index(index)
    , m_setup(std::move(setup)) {
    m_agent.setProcessChannelMode(QProcess::MergedChannels);
    m_agent.setStandardOutputFile(m_setup.folder + QStringLiteral("/agent.log"), QIODevice::Append);
    connect(&m_agent, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        if (m_stopping)
            return;
        if (m_restarting) {
            m_restarting = false;
            startAgent();
            return;
        }
        // Service > Terminate or Un-Install in the console: the computer goes on without its agent.
        if (status == QProcess::NormalExit && code == 0) {
            m_lastAction = QStringLiteral("agent ended by the console");
            qInfo().noquote() << "kestrava-lab: the agent of" << name() << "ended as the console asked";
            emit changed();
            return;
        }
        // The log goes with the scratch folder: its end is told here.
        const QByteArray log = readAll(m_setup.folder + QStringLiteral("/agent.log"));
        emit agentEnded(QStringLiteral("the agent of %1 ended (%2):\n%3")
                            .arg(name(),
                                 status == QProcess::NormalExit ? QStringLiteral("exit code %1").arg(code)
                                                                : QStringLiteral("crashed"),
                                 QString::fromLocal8Bit(log.right(kLogTail)).trimmed()));
    });
    connect(&m_probe, &QProcess::finished, this, &LabComputer::readProbe);
}

LabComputer::~LabComputer() {
    stop();
}

QString LabComputer::namespaceName() const {
    return LabNetwork::prefix() + name();
}

bool LabComputer::writeEtc(const QString& folder, Student student, const QByteArray& resolv,
                           const QByteArray& hosts) {
    const QString account = QStringLiteral("%1:x:%2:%3:Lab student:/tmp:/bin/sh\n")
                                .arg(kStudent)
                                .arg(student.uid)
                                .arg(student.gid);
    const QString group = QStringLiteral("%1:x:%2:\n").arg(kStudent).arg(student.gid);
    return writeText(folder + QStringLiteral("/passwd"),
                     readAll(QStringLiteral("/etc/passwd")) + account.toLatin1()) &&
           writeText(folder + QStringLiteral("/group"),
                     readAll(QStringLiteral("/etc/group")) + group.toLatin1()) &&
           writeText(folder + QStringLiteral("/resolv.conf"), resolv) &&
           writeText(folder + QStringLiteral("/hosts"), hosts);
}

QString LabComputer::writeFiles() const {
    const QByteArray resolv =
        "nameserver " + LabNetwork::kDns.toLatin1() + "\nnameserver " + LabNetwork::kDns6.toLatin1() + '\n';
    const QByteArray hosts =
        QStringLiteral("127.0.0.1 localhost\n::1 localhost\n127.0.1.1 %1\n").arg(name()).toLatin1();
    const QString& folder = m_setup.folder;
    if (!QDir().mkpath(folder + QStringLiteral("/state")) ||
        !writeEtc(folder, m_setup.student, resolv, hosts) ||
        !writeText(folder + QStringLiteral("/agent.conf"), QStringLiteral("[console]\nhost = %1\nport = %2\n")
                                                               .arg(LabNetwork::kConsole)
                                                               .arg(LabNetwork::kConsolePort)
                                                               .toLatin1()) ||
        !QFile::copy(m_setup.gameProgram, folder + QStringLiteral("/labgame")))
        return QStringLiteral("cannot write the files of %1 in %2").arg(name(), folder);
    return {};
}

QString LabComputer::start() {
    if (QString failed = writeFiles(); !failed.isEmpty())
        return failed;
    if (QString failed = HostCommands::run(QStringLiteral("ip"),
                                           {QStringLiteral("netns"), QStringLiteral("add"), namespaceName()});
        !failed.isEmpty())
        return failed;
    qInfo().noquote() << "kestrava-lab: made the network namespace" << namespaceName();
    if (QString failed = LabNetwork::join(namespaceName(), m_index); !failed.isEmpty())
        return failed;
    m_firstPid = startInit(m_init, m_setup.labProgram, namespaceName(), m_setup.folder, m_setup.student.uid);
    if (m_firstPid <= 0)
        return QStringLiteral("%1 did not start").arg(name());
    m_pidNamespace = QFileInfo(QStringLiteral("/proc/%1/ns/pid").arg(m_firstPid)).symLinkTarget();
    if (!startAgent())
        return QStringLiteral("the agent of %1 did not start: %2").arg(name(), m_agent.errorString());
    qInfo().noquote() << "kestrava-lab:" << name() << "runs at" << LabNetwork::addressOf(m_index)
                      << "with its agent";
    return {};
}

qint64 LabComputer::startInit(QProcess& init, const QString& labProgram, const QString& networkNamespace,
                              const QString& folder, uint student) {
    init.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    HostCommands::endWithLab(init);
    init.start(QStringLiteral("ip"),
               {QStringLiteral("netns"), QStringLiteral("exec"), networkNamespace, labProgram,
                QStringLiteral("--computer-init"), folder, QString::number(student)});
    QByteArray said;
    while (!said.contains('\n') && init.waitForReadyRead(kStartWaitMs))
        said += init.readAllStandardOutput();
    return said.startsWith("pid ") ? said.mid(4).trimmed().toLongLong() : 0;
}

QStringList LabComputer::enterArguments(qint64 firstPid, uint user, long processes,
                                        const QStringList& command) {
    return QStringList{QStringLiteral("--computer-enter"), QString::number(firstPid), QString::number(user),
                       QString::number(processes)} +
           command;
}

void LabComputer::startInside(QProcess& process, const QStringList& command, bool asStudent) const {
    HostCommands::endWithLab(process);
    // One uid is the student of every computer: a limit on processes would be the whole classroom's.
    process.start(m_setup.labProgram,
                  enterArguments(m_firstPid, asStudent ? m_setup.student.uid : 0, 0, command));
}

bool LabComputer::startAgent() {
    startInside(m_agent,
                {m_setup.agentProgram, QStringLiteral("--config"),
                 m_setup.folder + QStringLiteral("/agent.conf"), QStringLiteral("--console"),
                 QStringLiteral("%1:%2").arg(LabNetwork::kConsole).arg(LabNetwork::kConsolePort),
                 QStringLiteral("--console-fingerprint"), m_setup.consoleFingerprint,
                 QStringLiteral("--identifier"),
                 QStringLiteral("kvlab%1").arg(m_index, 4, 10, QLatin1Char('0')), QStringLiteral("--name"),
                 name(), QStringLiteral("--state-dir"), m_setup.folder + QStringLiteral("/state")},
                false);
    return m_agent.waitForStarted(kStartWaitMs);
}

qint64 LabComputer::agentPid() const {
    // --computer-enter forks the agent into the computer's PID namespace and waits for it.
    const QByteArray children = readAll(QStringLiteral("/proc/%1/task/%1/children").arg(m_agent.processId()));
    return children.trimmed().split(' ').value(0).toLongLong();
}

void LabComputer::restartAgent() {
    if (m_agent.state() == QProcess::NotRunning) {
        m_lastAction =
            startAgent() ? QStringLiteral("agent started") : QStringLiteral("the agent did not start");
        qInfo().noquote() << "kestrava-lab: starting the agent of" << name() << "again";
        emit changed();
        return;
    }
    const qint64 pid = agentPid();
    if (pid <= 0 || m_restarting)
        return;
    m_restarting = true;
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    m_lastAction = QStringLiteral("agent restarted");
    qInfo().noquote() << "kestrava-lab: restarting the agent of" << name();
    emit changed();
}

void LabComputer::stop() {
    m_stopping = true;
    if (const qint64 pid = agentPid(); pid > 0)
        ::kill(static_cast<pid_t>(pid), SIGTERM);
    if (!m_agent.waitForFinished(kStopWaitMs))
        m_agent.kill();
    m_probe.kill();
    m_probe.waitForFinished(kStopWaitMs);
    // With the computer's first process ends every process of its PID namespace.
    m_init.terminate();
    if (!m_init.waitForFinished(kStopWaitMs)) {
        m_init.kill();
        m_init.waitForFinished(kStopWaitMs);
    }
    for (const auto& run : m_studentRuns) {
        run->kill();
        run->waitForFinished(kStopWaitMs);
    }
    m_studentRuns.clear();
}

void LabComputer::poll() {
    std::erase_if(m_studentRuns, [](const auto& run) { return run->state() == QProcess::NotRunning; });
    const bool connected = lookAtConnection();
    const QStringList programs = lookAtPrograms();
    if (connected != m_connected || programs != m_programs) {
        m_connected = connected;
        m_programs = programs;
        emit changed();
    }
    if (m_probe.state() != QProcess::NotRunning || m_firstPid <= 0)
        return;
    QStringList fetch{m_setup.labProgram, QStringLiteral("--fetch"), LabNetwork::kInternet};
    for (const LabNetwork::Site& site : LabNetwork::sites())
        fetch << site.name;
    startInside(m_probe, fetch, true);
}

void LabComputer::readProbe() {
    bool internet = false;
    QStringList names;
    for (const QByteArray& line : m_probe.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() != 2 || words[1] != "yes")
            continue;
        if (words[0] == LabNetwork::kInternet.toLatin1())
            internet = true;
        else
            names << QString::fromLatin1(words[0]);
    }
    if (internet != m_internet || names != m_names) {
        m_internet = internet;
        m_names = names;
        emit changed();
    }
}

bool LabComputer::lookAtConnection() const {
    // Without its cable the connection only waits for TCP to give up: it carries nothing.
    if (m_cablePulled)
        return false;
    // An established TCP connection to the console's port or the authenticated one, seen in the
    // computer's own network namespace.
    const QByteArray table = readAll(QStringLiteral("/proc/%1/net/tcp").arg(m_firstPid));
    const QByteArray plain =
        QByteArray("0100D50A:") + QByteArray::number(LabNetwork::kConsolePort, 16).toUpper();
    const QByteArray secure =
        QByteArray("0100D50A:") + QByteArray::number(LabNetwork::kConsolePort + 1, 16).toUpper();
    for (const QByteArray& line : table.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[3] == "01" && (fields[2] == plain || fields[2] == secure))
            return true;
    }
    return false;
}

QStringList LabComputer::lookAtPrograms() const {
    QStringList programs;
    if (m_pidNamespace.isEmpty())
        return programs;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        if (!pid.front().isDigit())
            continue;
        const QString base = QStringLiteral("/proc/") + pid;
        if (QFileInfo(base).ownerId() != m_setup.student.uid ||
            QFileInfo(base + QStringLiteral("/ns/pid")).symLinkTarget() != m_pidNamespace)
            continue;
        const QString comm = QString::fromLocal8Bit(readAll(base + QStringLiteral("/comm"))).trimmed();
        // The lab's own probes are not the student's.
        if (!comm.isEmpty() && comm != QStringLiteral("kestrava-lab") && !programs.contains(comm))
            programs << comm;
    }
    programs.sort();
    return programs;
}

void LabComputer::openNews() {
    auto run = std::make_unique<QProcess>();
    QProcess* raw = run.get();
    connect(raw, &QProcess::finished, this, [this, raw] {
        const bool opened = raw->readAllStandardOutput().contains("yes");
        m_lastAction =
            opened ? QStringLiteral("news.example opened") : QStringLiteral("news.example did not open");
        emit changed();
    });
    startInside(*raw, {m_setup.labProgram, QStringLiteral("--fetch"), QStringLiteral("news.example")}, true);
    m_studentRuns.push_back(std::move(run));
    qInfo().noquote() << "kestrava-lab: the student of" << name() << "opens news.example";
}

void LabComputer::startGame() {
    auto run = std::make_unique<QProcess>();
    QProcess* raw = run.get();
    connect(raw, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        m_lastAction = status == QProcess::CrashExit || code != 0 ? QStringLiteral("the game was ended")
                                                                  : QStringLiteral("the game ended");
        emit changed();
    });
    startInside(*raw, {kGame}, true);
    m_studentRuns.push_back(std::move(run));
    m_lastAction = QStringLiteral("game started");
    qInfo().noquote() << "kestrava-lab: the student of" << name() << "starts the game";
    emit changed();
}

void LabComputer::setCablePulled(bool pulled) {
    const QString failed = HostCommands::run(QStringLiteral("ip"),
                                             {QStringLiteral("-n"), namespaceName(), QStringLiteral("link"),
                                              QStringLiteral("set"), QStringLiteral("eth0"),
                                              pulled ? QStringLiteral("down") : QStringLiteral("up")});
    if (failed.isEmpty())
        m_cablePulled = pulled;
    m_lastAction = !failed.isEmpty() ? failed
                   : pulled          ? QStringLiteral("network cable pulled")
                                     : QStringLiteral("network cable plugged in");
    qInfo().noquote() << "kestrava-lab:" << name() << m_lastAction;
    emit changed();
}
