#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// One lab computer: its namespaces (network, mount with its own /run, /tmp, /etc/passwd, /etc/group and
// resolv.conf, PID with its own /proc), the real kestrava-agent with its own state folder, a student who
// exists only there, and what the lab window shows of it: connected or not, internet reachable now,
// which internet names it reaches, the student's programs.
class LabComputer : public QObject {
    Q_OBJECT
public:
    struct Student {
        uint uid = 0;
        uint gid = 0;
    };
    // What the computer needs from the lab: its programs and the console's address and fingerprint.
    struct Setup {
        QString labProgram;
        QString agentProgram;
        QString gameProgram;
        QString folder;
        QString consoleFingerprint;
        Student student;
    };

    LabComputer(int index, Setup setup, QObject* parent = nullptr);

    // `kestrava-lab --computer-init folder student` in the network namespace networkNamespace: the pid of
    // the computer's first process as the machine sees it, or 0 when it did not start.
    static qint64 startInit(QProcess& init, const QString& labProgram, const QString& networkNamespace,
                            const QString& folder, uint student);
    // The computer's /etc/passwd and /etc/group (the machine's with the student added), resolv.conf and
    // hosts, written into folder; whether all were.
    static bool writeEtc(const QString& folder, Student student, const QByteArray& resolv,
                         const QByteArray& hosts);
    // The arguments of kestrava-lab that run command in the computer whose first process is firstPid, as
    // user (0: root), with at most processes processes (0: no limit).
    static QStringList enterArguments(qint64 firstPid, uint user, long processes, const QStringList& command);
    ~LabComputer() override;

    QString name() const { return QStringLiteral("pc-%1").arg(m_index, 2, 10, QLatin1Char('0')); }
    QString namespaceName() const;

    // Namespaces, first process and agent; why it failed, or empty.
    QString start();
    void stop();

    bool isConnected() const { return m_connected; }
    bool isInternetReachable() const { return m_internet; }
    const QStringList& namesReached() const { return m_names; }
    const QStringList& programs() const { return m_programs; }
    const QString& lastAction() const { return m_lastAction; }
    bool isCablePulled() const { return m_cablePulled; }

    // Looks again at the connection, the student's programs, and fetches from the internet.
    void poll();
    // As the computer's student.
    void openNews();
    void startGame();
    void setCablePulled(bool pulled);
    void restartAgent();

signals:
    void changed();
    // The agent ended without being asked to: the lab cannot show a classroom any more.
    void agentEnded(const QString& why);

private:
    QString writeFiles() const;
    bool startAgent();
    // The program run in the computer's namespaces, as its student when asStudent.
    void startInside(QProcess& process, const QStringList& command, bool asStudent) const;
    void readProbe();
    bool lookAtConnection() const;
    QStringList lookAtPrograms() const;
    qint64 agentPid() const;

    int m_index;
    Setup m_setup;
    QProcess m_init;
    qint64 m_firstPid = 0;
    QString m_pidNamespace;
    QProcess m_agent;
    QProcess m_probe;
    std::vector<std::unique_ptr<QProcess>> m_studentRuns;
    bool m_restarting = false;
    bool m_stopping = false;
    bool m_connected = false;
    bool m_internet = false;
    bool m_cablePulled = false;
    QStringList m_names;
    QStringList m_programs;
    QString m_lastAction;
};
