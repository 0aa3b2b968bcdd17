#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// kestrava-agent running inside the lab's pc namespace, its state folder kept across restarts and
// everything it writes to standard error kept for the report of a failed test.
class LabAgent {
public:
    static constexpr const char* kIdentifier = "kvlab0001";
    static constexpr const char* kName = "LAB-PC";

    // The console listens on the lab's LAN address.
    explicit LabAgent(quint16 consolePort);
    ~LabAgent();

    // The program beside the test binary, or the one KESTRAVA_AGENT names.
    static QString program();
    // The key under which the console knows it.
    static QString systemKey();

    // Options added to the command line from the next start on, such as the console's fingerprint.
    void setExtraArguments(const QStringList& arguments) { m_extraArguments = arguments; }
    // The state folder, where its key pair lives too.
    QString statePath() const { return m_state.path(); }

    bool start();
    // SIGTERM, then SIGKILL when it has not ended within a few seconds.
    void stop();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    bool waitForExit(int timeoutMs);
    // Its exit code; -1 when it did not end on its own.
    int exitCode() const {
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    qint64 pid() const { return m_process.processId(); }
    const QByteArray& log() const { return m_log; }

private:
    QString m_console;
    QTemporaryDir m_state;
    QStringList m_extraArguments;
    QProcess m_process;
    QByteArray m_log;
};
