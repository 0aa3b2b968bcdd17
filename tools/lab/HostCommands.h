#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QProcess;

// The machine's tools (ip, dnsmasq), each run with an argument list and waited for.
namespace HostCommands {

// The path of a tool, also from the sbin folders that not every PATH names; empty when missing.
QString find(const QString& tool);
// Runs tool with arguments; the reason it failed (its standard error), or empty. output receives its
// standard output.
QString run(const QString& tool, const QStringList& arguments, QByteArray* output = nullptr);
// "ip -n <namespace> <words>", one command per line of words (split at blanks), until one fails: why.
QString ipIn(const QString& name, const QStringList& commands);
// The process ends with SIGKILL when the lab's thread that started it ends, however the lab ends, and
// is out of reach of the terminal's signals.
void endWithLab(QProcess& process);
// Whether the process of pid still runs.
bool isAlive(qint64 pid);

} // namespace HostCommands
