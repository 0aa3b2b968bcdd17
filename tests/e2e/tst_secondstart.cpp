#include "ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A copy of the program with a database of its own, and the user folders of a user of its own.
class Installation {
public:
    Installation() {
        m_program = m_dir.filePath(QStringLiteral("kestrava"));
        QFile::copy(programInFolder(QStringLiteral("kestrava")), m_program);
        QProcess::execute(programInFolder(QStringLiteral("kestrava-initdb")), {database()});
        QDir(m_dir.path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(m_dir.filePath(QStringLiteral("run")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("run")));
        m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    }
    ~Installation() {
        if (m_first.state() != QProcess::NotRunning) {
            m_first.kill();
            m_first.waitForFinished(5000);
        }
    }

    QString database() const { return m_dir.filePath(QStringLiteral("kestrava.tlmr")); }
    QProcess& first() { return m_first; }

    void startFirst() {
        m_first.setProcessEnvironment(m_environment);
        m_first.start(m_program);
    }

    // The main window has loaded once it has recorded the install path.
    bool loaded() const {
        const QSettings registry(m_dir.filePath(QStringLiteral("config/kestrava/registry.ini")),
                                 QSettings::IniFormat);
        return registry.contains(QStringLiteral("HKEY_LOCAL_MACHINE/SOFTWARE/Talmerin/Kestrava/Server/Path"));
    }

    // Runs a second start to its end; -1 when it does not end.
    int runSecond(const QStringList& arguments) {
        QProcess second;
        second.setProcessEnvironment(m_environment);
        second.start(m_program, arguments);
        if (!second.waitForFinished(10000)) {
            second.kill();
            second.waitForFinished(5000);
            return -1;
        }
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
    }

private:
    QTemporaryDir m_dir;
    QString m_program;
    QProcessEnvironment m_environment;
    QProcess m_first;
};

} // namespace

// The real program started twice: the second start hands its line to the first and ends. The rules of
// the hand-over and of the command line are tested on their own.
class TestSecondStart : public QObject {
    Q_OBJECT
private slots:
    void callUp();
};

void TestSecondStart::callUp() {
    Installation installation;
    installation.startFirst();
    QVERIFY(installation.first().waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(installation.loaded(), 20000);

    QCOMPARE(installation.runSecond({QStringLiteral("-v"), QStringLiteral("Chief")}), 0);
    QCOMPARE(installation.first().state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestSecondStart)
#include "tst_secondstart.moc"
