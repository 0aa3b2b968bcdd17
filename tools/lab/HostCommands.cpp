#include "HostCommands.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace HostCommands {

namespace {

constexpr int kToolWaitMs = 20000;

} // namespace

QString find(const QString& tool) {
    QString path = QStandardPaths::findExecutable(tool);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(tool, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return path;
}

QString run(const QString& tool, const QStringList& arguments, QByteArray* output) {
    QProcess process;
    process.start(find(tool), arguments);
    if (!process.waitForFinished(kToolWaitMs)) {
        process.kill();
        process.waitForFinished(1000);
        return QStringLiteral("%1 %2: did not finish").arg(tool, arguments.join(QLatin1Char(' ')));
    }
    if (output)
        *output = process.readAllStandardOutput();
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return {};
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    return QStringLiteral("%1 %2: %3")
        .arg(tool, arguments.join(QLatin1Char(' ')),
             errors.isEmpty() ? QStringLiteral("exit code %1").arg(process.exitCode()) : errors);
}

QString ipIn(const QString& name, const QStringList& commands) {
    for (const QString& command : commands) {
        if (QString failed = run(QStringLiteral("ip"),
                                 QStringList{QStringLiteral("-n"), name} + command.split(QLatin1Char(' ')));
            !failed.isEmpty())
            return failed;
    }
    return {};
}

void endWithLab(QProcess& process) {
    // A session of its own: Ctrl-C in the lab's terminal is the lab's to handle, in order.
    process.setChildProcessModifier([] {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
}

bool isAlive(qint64 pid) {
    return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

} // namespace HostCommands
