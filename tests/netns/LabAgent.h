#pragma once

#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

class LabConsole;
class NetLab;

// kestrava-agent running as root inside the lab's pc, its state folder kept across restarts and
// everything it writes to standard error kept for the report of a failed test.
class LabAgent {
public:
    static constexpr const char* kIdentifier = "kvlab0001";
    static constexpr const char* kName = "LAB-PC";

    // The console listens on the lab's LAN address.
    LabAgent(const NetLab& lab, quint16 consolePort);
    ~LabAgent();

    // The program beside the test binary, or the one KESTRAVA_AGENT names.
    static QString program();
    // The key under which the console knows it.
    static QString systemKey();

    // Options added to the command line from the next start on, such as the console's fingerprint.
    void setExtraArguments(const QStringList& arguments) { m_extraArguments = arguments; }
    // Its configuration file from the next start on; empty for none.
    void setConfig(const QByteArray& text);
    const QByteArray& config() const { return m_config; }
    // The state folder (its key pair's too): its own in /var/tmp, or a path of the pc from the next start.
    QString statePath() const { return m_statePath; }
    void setStatePath(const QString& path) { m_statePath = path; }
    // `kestrava-agent --status` for its state folder, run as root in the pc: what it prints.
    QByteArray status() const;

    bool start();
    // Running with this configuration (restarted when it had another, or when asked), connected to
    // console and having reported code since it started; false when it ended instead (a bad file).
    bool runConnected(const LabConsole& console, const QByteArray& config, const QString& code,
                      bool restart = false);
    // SIGTERM, then SIGKILL when it has not ended within a few seconds.
    void stop();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    bool waitForExit(int timeoutMs);
    // Its exit code; -1 when it did not end on its own.
    int exitCode() const {
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    // Its own pid as this process sees it, or 0.
    qint64 pid() const;
    const QByteArray& log() const { return m_log; }

private:
    const NetLab& m_lab;
    QString m_console;
    QTemporaryDir m_files;
    QString m_statePath;
    QByteArray m_config;
    QStringList m_extraArguments;
    QProcess m_process;
    QByteArray m_log;
};

// First in a lab test's initTestCase: skips where the lab cannot run; a broken lab or no agent is a fault.
#define LAB_AGENT_READY(lab)                                                                                 \
    do {                                                                                                     \
        if (!(lab).unavailable().isEmpty())                                                                  \
            QSKIP(qPrintable((lab).unavailable()));                                                          \
        QVERIFY2((lab).error().isEmpty(), qPrintable((lab).error()));                                        \
        QVERIFY2(QFileInfo(LabAgent::program()).isExecutable(), qPrintable(LabAgent::program()));            \
    } while (false)
