#include "ScratchConsole.h"

#include "GroupListEntry.h"
#include "HostCommands.h"
#include "LabNetwork.h"
#include "core/console/Keys.h"
#include "core/lists/GroupProgramList.h"
#include "core/lists/GroupUrlList.h"
#include "core/lists/ProgramCatalogue.h"
#include "core/lists/UrlCatalogue.h"
#include "core/options/SecureLinkSettings.h"
#include "core/store/Database.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

using namespace kestrava;

namespace {

constexpr int kStartWaitMs = 30000;
constexpr int kStopWaitMs = 5000;
// The factory password, which the fresh database keeps.
const QString kPassword = QStringLiteral("Chief");

QByteArray listeningPort(quint16 port) {
    return ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
}

} // namespace

ScratchConsole::ScratchConsole(QString folder, QString consoleProgram, QObject* parent)
    : QObject(parent)
    , m_folder(std::move(folder))
    , m_consoleProgram(std::move(consoleProgram)) {
    m_console.setProcessChannelMode(QProcess::MergedChannels);
    connect(&m_console, &QProcess::readyRead, this, [this] {
        const QByteArray output = m_console.readAll();
        m_output += output;
        std::fwrite(output.constData(), 1, static_cast<std::size_t>(output.size()), stderr);
    });
    connect(&m_console, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        if (m_stopping)
            return;
        const bool failed = status != QProcess::NormalExit || code != 0;
        emit ended(failed ? QStringLiteral("the console ended (%1)")
                                .arg(status == QProcess::NormalExit ? QStringLiteral("exit code %1").arg(code)
                                                                    : QStringLiteral("crashed"))
                          : QStringLiteral("the console was closed"),
                   failed);
    });
}

ScratchConsole::~ScratchConsole() {
    stop();
}

QString ScratchConsole::databasePath() const {
    return m_folder + QStringLiteral("/program/kestrava.tlmr");
}

QString ScratchConsole::copyProgram() {
    const QString programs = m_folder + QStringLiteral("/program");
    for (const QString& folder :
         {programs, m_folder + QStringLiteral("/home/.config"),
          m_folder + QStringLiteral("/home/.local/share"), m_folder + QStringLiteral("/home/.cache"),
          m_folder + QStringLiteral("/runtime")})
        if (!QDir().mkpath(folder))
            return QStringLiteral("cannot make ") + folder;
    QFile::setPermissions(m_folder + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_program = programs + QStringLiteral("/kestrava");
    if (!QFile::copy(m_consoleProgram, m_program))
        return QStringLiteral("cannot copy the console %1 into %2").arg(m_consoleProgram, programs);
    // The user guide, when it is there, opens from beside the program.
    QFile::copy(QFileInfo(m_consoleProgram).dir().filePath(QStringLiteral("KV-UserGuide.pdf")),
                programs + QStringLiteral("/KV-UserGuide.pdf"));
    return {};
}

QString ScratchConsole::writeDatabase() const {
    Database::createFactory(databasePath());
    Database db;
    db.open(databasePath());
    const QString group = QString::fromLatin1(kGroup);
    const QString groupKey = Keys::Make_Group_Key(group);
    db.exec(QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES (?, ?)"),
            {groupKey, group});
    db.exec(QStringLiteral("UPDATE Settings_Table SET LocalPort=?, AddToGroup=?"),
            {int(LabNetwork::kConsolePort), group});
    addToGroupList<UrlCatalogue, GroupUrlList>(db, groupKey, QString::fromLatin1(kAllowedSite));
    addToGroupList<ProgramCatalogue, GroupProgramList>(db, groupKey, QString::fromLatin1(kGame));
    return QFileInfo::exists(databasePath()) ? QString()
                                             : QStringLiteral("cannot write the database ") + databasePath();
}

QProcessEnvironment ScratchConsole::environment() const {
    const QProcessEnvironment machine = QProcessEnvironment::systemEnvironment();
    QProcessEnvironment environment;
    for (const QString& kept :
         {QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("QT_QPA_PLATFORM"),
          QStringLiteral("LANG"), QStringLiteral("PATH")})
        if (machine.contains(kept))
            environment.insert(kept, machine.value(kept));
    // The display's key stays where the user's session has it.
    const QString authority = machine.value(
        QStringLiteral("XAUTHORITY"), machine.value(QStringLiteral("HOME")) + QStringLiteral("/.Xauthority"));
    if (QFileInfo::exists(authority))
        environment.insert(QStringLiteral("XAUTHORITY"), authority);
    const QString home = m_folder + QStringLiteral("/home");
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_folder + QStringLiteral("/runtime"));
    environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), home + QStringLiteral("/.config"));
    return environment;
}

bool ScratchConsole::isListening() const {
    // A listener on every address is an IPv6 socket that takes IPv4 too: it is in tcp6.
    QByteArray table;
    for (const QString& name : {QStringLiteral("tcp"), QStringLiteral("tcp6")}) {
        QFile file(QStringLiteral("/proc/%1/net/%2").arg(m_console.processId()).arg(name));
        if (file.open(QIODevice::ReadOnly))
            table += file.readAll();
    }
    const auto listens = [&table](quint16 port) {
        for (const QByteArray& line : table.split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 3 && fields[3] == "0A" && fields[1].endsWith(listeningPort(port)))
                return true;
        }
        return false;
    };
    return listens(LabNetwork::kConsolePort) && listens(LabNetwork::kConsolePort + 1);
}

QString ScratchConsole::start() {
    if (QString failed = copyProgram(); !failed.isEmpty())
        return failed;
    if (QString failed = writeDatabase(); !failed.isEmpty())
        return failed;
    qInfo().noquote() << "kestrava-lab: a fresh database with the group Classroom in" << databasePath();
    m_console.setProcessEnvironment(environment());
    HostCommands::endWithLab(m_console);
    m_console.start(QStringLiteral("ip"),
                    {QStringLiteral("netns"), QStringLiteral("exec"), LabNetwork::lanName(), m_program});
    if (!m_console.waitForStarted(kStartWaitMs))
        return QStringLiteral("the console did not start: ") + m_console.errorString();
    const QString certificate = SecureLinkSettings::certificateFileFor(databasePath());
    const QDeadlineTimer deadline(kStartWaitMs);
    while (!(QFileInfo::exists(certificate) && isListening())) {
        if (m_console.state() == QProcess::NotRunning || deadline.hasExpired())
            return QStringLiteral("the console did not open its ports %1 and %2 in the LAN: %3")
                .arg(LabNetwork::kConsolePort)
                .arg(LabNetwork::kConsolePort + 1)
                .arg(QString::fromLocal8Bit(m_output).trimmed());
        m_console.waitForReadyRead(100);
    }
    m_fingerprint = SecureLinkSettings::fingerprintBeside(databasePath());
    qInfo().noquote() << "kestrava-lab: the console listens at" << LabNetwork::kConsole << "ports"
                      << LabNetwork::kConsolePort << "and" << LabNetwork::kConsolePort + 1;
    return m_fingerprint.isEmpty() ? QStringLiteral("cannot read the console's certificate ") + certificate
                                   : QString();
}

void ScratchConsole::showWindow() {
    QProcess caller;
    caller.setProcessEnvironment(environment());
    caller.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"),
                                        LabNetwork::lanName(), m_program, QStringLiteral("-v"), kPassword});
    caller.waitForFinished(kStopWaitMs);
}

void ScratchConsole::stop() {
    if (m_console.state() == QProcess::NotRunning)
        return;
    m_stopping = true;
    m_console.terminate();
    if (!m_console.waitForFinished(kStopWaitMs))
        m_console.kill();
    m_console.waitForFinished(kStopWaitMs);
    qInfo().noquote() << "kestrava-lab: the console ended";
}

QString ScratchConsole::keepIn(const QString& folder) const {
    if (!QDir().mkpath(folder))
        return QStringLiteral("cannot make ") + folder;
    for (const QString& file : {databasePath(), SecureLinkSettings::keyFileFor(databasePath()),
                                SecureLinkSettings::certificateFileFor(databasePath())}) {
        const QString copy = QDir(folder).filePath(QFileInfo(file).fileName());
        QFile::remove(copy);
        if (!QFile::copy(file, copy))
            return QStringLiteral("cannot keep %1 in %2").arg(file, folder);
    }
    qInfo().noquote() << "kestrava-lab: kept the lab's database in" << folder;
    return {};
}
