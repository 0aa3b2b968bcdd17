#include "Classroom.h"

#include "HostCommands.h"
#include "LabComputer.h"
#include "LabNetwork.h"
#include "LabWindow.h"
#include "ScratchConsole.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <cstdio>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

const QString kScratchParent = QStringLiteral("/var/tmp");
const QString kScratchPrefix = QStringLiteral("kestrava-lab-");
constexpr uint kFirstStudentId = 4200;

// Whether pid is a lab that still runs.
bool isRunningLab(const QString& pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "kestrava-lab";
}

// An id that neither the machine's users nor its groups hold, so the student is nobody outside the lab.
LabComputer::Student freeStudentId() {
    uint id = kFirstStudentId;
    while (::getpwuid(id) || ::getgrgid(id))
        ++id;
    return {id, id};
}

bool copyExecutable(const QString& from, const QString& to) {
    return QFile::copy(from, to) &&
           QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                         QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                         QFile::ExeOther);
}

} // namespace

Classroom::Classroom(LabOptions options, QString programFolder, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_programFolder(std::move(programFolder))
    , m_scratch(QStringLiteral("%1/%2%3").arg(kScratchParent, kScratchPrefix).arg(::getpid())) {
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &Classroom::tick);
}

Classroom::~Classroom() {
    cleanUp();
}

QStringList Classroom::removeLeftovers() {
    QStringList removed;
    static const QRegularExpression ours(QStringLiteral("^kvlab-(\\d+)-(\\S+)"));
    QByteArray list;
    HostCommands::run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("list")}, &list);
    for (const QByteArray& line : list.split('\n')) {
        const QRegularExpressionMatch match = ours.match(QString::fromLatin1(line));
        if (!match.hasMatch() || isRunningLab(match.captured(1)))
            continue;
        const QString name = match.captured(0);
        if (LabNetwork::removeNamespace(name))
            removed << QStringLiteral("the network namespace ") + name;
    }
    const QStringList folders =
        QDir(kScratchParent).entryList({kScratchPrefix + QLatin1Char('*')}, QDir::Dirs);
    for (const QString& folder : folders) {
        if (isRunningLab(folder.mid(kScratchPrefix.size())))
            continue;
        QDir(kScratchParent + QLatin1Char('/') + folder).removeRecursively();
        removed << QStringLiteral("the folder %1/%2").arg(kScratchParent, folder);
    }
    return removed;
}

QString Classroom::start() {
    const QString failed = build();
    if (!failed.isEmpty())
        cleanUp();
    return failed;
}

QString Classroom::build() {
    const QString agent = m_programFolder + QStringLiteral("/kestrava-agent");
    const QString consoleProgram = m_programFolder + QStringLiteral("/kestrava");
    const QString game = m_programFolder + QStringLiteral("/kestrava-lab-game");
    for (const QString& program : {agent, consoleProgram, game})
        if (!QFileInfo(program).isExecutable())
            return QStringLiteral("%1 is missing: build the project (cmake --build build) first")
                .arg(program);
    // Readable by the students, who run the lab's probe from here.
    if (!QDir().mkpath(m_scratch + QStringLiteral("/bin")))
        return QStringLiteral("cannot make the folder ") + m_scratch;
    QFile::setPermissions(m_scratch, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                         QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(m_scratch + QStringLiteral("/bin"), QFile::ReadOwner | QFile::WriteOwner |
                                                                  QFile::ExeOwner | QFile::ReadOther |
                                                                  QFile::ExeOther);
    qInfo().noquote() << "kestrava-lab: the lab's scratch folder is" << m_scratch;
    const QString labProgram = m_scratch + QStringLiteral("/bin/kestrava-lab");
    if (!copyExecutable(QCoreApplication::applicationFilePath(), labProgram))
        return QStringLiteral("cannot copy the lab's program into ") + labProgram;
    // The computers mount their own /tmp, where a build may lie: the agent runs from the scratch folder,
    // with the notification helper it looks for beside itself.
    const QString scratchAgent = m_scratch + QStringLiteral("/bin/kestrava-agent");
    const QString notify = QStringLiteral("/kestrava-agent-notify");
    if (!copyExecutable(agent, scratchAgent) ||
        (QFileInfo::exists(m_programFolder + notify) &&
         !copyExecutable(m_programFolder + notify, m_scratch + QStringLiteral("/bin") + notify)))
        return QStringLiteral("cannot copy the agent into ") + scratchAgent;

    m_network = std::make_unique<LabNetwork>(labProgram);
    if (QString failed = m_network->build(); !failed.isEmpty())
        return failed;
    m_console = std::make_unique<ScratchConsole>(m_scratch + QStringLiteral("/console"), consoleProgram);
    connect(
        m_console.get(), &ScratchConsole::ended, this,
        [this](const QString& why, bool failed) { end(failed ? 1 : 0, why); }, Qt::QueuedConnection);
    if (QString failed = m_console->start(); !failed.isEmpty())
        return failed;

    const LabComputer::Student student = freeStudentId();
    std::vector<LabComputer*> computers;
    for (int index = 1; index <= m_options.computers; ++index) {
        auto computer = std::make_unique<LabComputer>(
            index,
            LabComputer::Setup{labProgram, scratchAgent, game,
                               QStringLiteral("%1/pc-%2").arg(m_scratch).arg(index, 2, 10, QLatin1Char('0')),
                               m_console->fingerprint(), student});
        connect(
            computer.get(), &LabComputer::agentEnded, this, [this](const QString& why) { end(1, why); },
            Qt::QueuedConnection);
        LabComputer* raw = computer.get();
        m_computers.push_back(std::move(computer));
        if (QString failed = raw->start(); !failed.isEmpty())
            return failed;
        computers.push_back(raw);
    }
    m_console->showWindow();
    m_window = std::make_unique<LabWindow>(computers);
    connect(
        m_window.get(), &LabWindow::closed, this,
        [this] { end(0, QStringLiteral("the lab window was closed")); }, Qt::QueuedConnection);
    m_window->show();
    m_tick.start();
    tick();
    return {};
}

void Classroom::tick() {
    for (const auto& computer : m_computers)
        computer->poll();
    writeStatus();
}

void Classroom::writeStatus() const {
    if (m_options.statusFile.isEmpty())
        return;
    QByteArray text;
    for (const auto& computer : m_computers)
        text +=
            QStringLiteral("%1 connected=%2 internet=%3 names=%4 programs=%5\n")
                .arg(computer->name(), computer->isConnected() ? QStringLiteral("yes") : QStringLiteral("no"),
                     computer->isInternetReachable() ? QStringLiteral("yes") : QStringLiteral("no"),
                     computer->namesReached().join(QLatin1Char(',')),
                     computer->programs().join(QLatin1Char(',')))
                .toUtf8();
    QSaveFile file(m_options.statusFile);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size())
        file.commit();
}

void Classroom::end(int exitCode, const QString& message) {
    if (m_ended)
        return;
    m_ended = true;
    if (!message.isEmpty())
        std::fprintf(stderr, "kestrava-lab: %s\n", qPrintable(message));
    cleanUp();
    QCoreApplication::exit(exitCode);
}

void Classroom::cleanUp() {
    m_tick.stop();
    if (m_window) {
        m_window->hide();
        m_window.reset();
    }
    QStringList namespaces;
    for (const auto& computer : m_computers) {
        computer->stop();
        namespaces << computer->namespaceName();
    }
    m_computers.clear();
    if (m_console) {
        m_console->stop();
        if (!m_options.keep.isEmpty())
            if (const QString failed = m_console->keepIn(m_options.keep); !failed.isEmpty())
                std::fprintf(stderr, "kestrava-lab: %s\n", qPrintable(failed));
        m_console.reset();
    }
    if (m_network) {
        m_network->remove(namespaces);
        m_network.reset();
    } else {
        for (const QString& name : namespaces)
            if (LabNetwork::removeNamespace(name))
                qInfo().noquote() << "kestrava-lab: removed the network namespace" << name;
    }
    if (QDir(m_scratch).exists() && QDir(m_scratch).removeRecursively())
        qInfo().noquote() << "kestrava-lab: removed the scratch folder" << m_scratch;
    if (!m_options.statusFile.isEmpty())
        QFile::remove(m_options.statusFile);
}
