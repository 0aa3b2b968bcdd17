#include "TargetProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <csignal>
#include <unistd.h>

namespace kestrava::bench {

namespace {

// The console's process: the one whose program file is the copy in the folder.
qint64 findProcessOf(const QString& program) {
    const QString wanted = QFileInfo(program).canonicalFilePath();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (numeric && QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget() == wanted)
            return pid;
    }
    return 0;
}

} // namespace

std::unique_ptr<TargetProcess> TargetProcess::startConsole(const QString& folder) {
    std::unique_ptr<TargetProcess> target(new TargetProcess);
    const QString program = folder + QStringLiteral("/kestrava");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Its named values, autostart entry and single-instance name stay inside the folder.
    const QString home = folder + QStringLiteral("/home");
    QDir().mkpath(home);
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    target->m_process.setProcessEnvironment(env);
    target->m_process.setWorkingDirectory(folder);
    target->m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    target->m_process.start(QStringLiteral("xvfb-run"), {QStringLiteral("-a"), QStringLiteral("-s"),
                                                         QStringLiteral("-screen 0 1280x1024x24"), program});
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 30'000 && target->m_process.state() != QProcess::NotRunning) {
        target->m_pid = findProcessOf(program);
        if (target->m_pid != 0)
            return target;
        QThread::msleep(2);
    }
    return nullptr;
}

std::unique_ptr<TargetProcess>
TargetProcess::startDirect(const QString& program, const QStringList& arguments, const QString& readyWord) {
    std::unique_ptr<TargetProcess> target(new TargetProcess);
    target->m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    target->m_process.start(program, arguments);
    if (!target->m_process.waitForStarted(10'000))
        return nullptr;
    target->m_pid = target->m_process.processId();
    if (target->readLineStartingWith(readyWord, 30'000).isEmpty())
        return nullptr;
    return target;
}

TargetProcess::~TargetProcess() {
    if (m_pid != 0 && isRunning())
        ::kill(static_cast<pid_t>(m_pid), SIGTERM);
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(15'000)) {
        m_process.kill();
        m_process.waitForFinished(5'000);
    }
}

bool TargetProcess::isRunning() const {
    return m_pid != 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(m_pid)) &&
           !statFields().isEmpty() && statFields().value(0) != QLatin1String("Z");
}

QStringList TargetProcess::statFields() const {
    QFile file(QStringLiteral("/proc/%1/stat").arg(m_pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromLatin1(file.readAll());
    // After the program name in parentheses: state, ppid, ...
    return text.mid(text.lastIndexOf(QLatin1Char(')')) + 2).split(QLatin1Char(' '));
}

qint64 TargetProcess::rssKib() const {
    QFile file(QStringLiteral("/proc/%1/status").arg(m_pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

qint64 TargetProcess::cpuNs() const {
    const QStringList fields = statFields();
    if (fields.size() < 13)
        return -1;
    // utime and stime are fields 14 and 15 of the whole line.
    const qint64 ticks = fields[11].toLongLong() + fields[12].toLongLong();
    return ticks * 1'000'000'000 / ::sysconf(_SC_CLK_TCK);
}

qint64 TargetProcess::startBootNs() const {
    const QStringList fields = statFields();
    if (fields.size() < 20)
        return -1;
    // starttime is field 22 of the whole line.
    return fields[19].toLongLong() * 1'000'000'000 / ::sysconf(_SC_CLK_TCK);
}

QString TargetProcess::readLineStartingWith(const QString& word, int timeoutMs) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        while (m_process.canReadLine()) {
            const QString line = QString::fromLatin1(m_process.readLine()).trimmed();
            if (line.startsWith(word))
                return line;
        }
        const qint64 left = timeoutMs - waited.elapsed();
        if (left <= 0 || m_process.state() != QProcess::Running)
            return {};
        m_process.waitForReadyRead(static_cast<int>(std::min<qint64>(left, 1'000)));
    }
}

QString TargetProcess::request(const QString& line, const QString& word, int timeoutMs) {
    m_process.write((line + QLatin1Char('\n')).toLatin1());
    m_process.waitForBytesWritten(1'000);
    return readLineStartingWith(word, timeoutMs);
}

} // namespace kestrava::bench
