#include "ProgramFolder.h"
#include "platform/clsRegistry.h"
#include "startup/ProgramFiles.h"
#include "startup/SingleInstance.h"
#include "store/Database.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrava;

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
        // The server name is found through the same runtime folder as the program's.
        qputenv("XDG_RUNTIME_DIR", m_dir.filePath(QStringLiteral("run")).toLocal8Bit());
    }
    ~Installation() {
        if (m_first.state() != QProcess::NotRunning) {
            m_first.kill();
            m_first.waitForFinished(5000);
        }
    }

    QString program() const { return m_program; }
    QString database() const { return m_dir.filePath(QStringLiteral("kestrava.tlmr")); }
    QString serverName() const {
        return SingleInstance::serverNameFor(QFileInfo(m_program).canonicalFilePath());
    }
    QProcess& first() { return m_first; }

    void setAskPwd(bool on) {
        Database db;
        db.open(database());
        db.exec(QStringLiteral("UPDATE Settings_Table SET AskPwd=?"), {on ? 1 : 0});
    }

    void startFirst() {
        m_first.setProcessEnvironment(m_environment);
        m_first.setProgram(m_program);
        m_first.start();
    }

    // The main window has loaded once it has recorded the install path.
    bool loaded() {
        clsRegistry registry(m_dir.filePath(QStringLiteral("config/kestrava/registry.ini")));
        return !registry
                    .RegQueryKeyValue(HKEY_LOCAL_MACHINE, QLatin1String(kServerKeyPath),
                                      QLatin1String(kInstallPathValue))
                    .isEmpty();
    }

    // Runs a second start to its end; -1 when it does not end.
    int runSecond(const QStringList& arguments, QByteArray* output = nullptr,
                  const QProcessEnvironment* environment = nullptr) {
        QProcess second;
        second.setProcessEnvironment(environment ? *environment : m_environment);
        second.start(m_program, arguments);
        if (!second.waitForFinished(10000)) {
            second.kill();
            second.waitForFinished(5000);
            return -1;
        }
        if (output)
            *output = second.readAllStandardOutput();
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
    }

    QProcessEnvironment environment() const { return m_environment; }

private:
    QTemporaryDir m_dir;
    QString m_program;
    QProcessEnvironment m_environment;
    QProcess m_first;
};

} // namespace

class TestSecondStart : public QObject {
    Q_OBJECT
private slots:
    void callUp_data();
    void callUp();
    void unreachableFirstInstance();
    void helpAndVersionLeaveTheConsoleAlone();
};

void TestSecondStart::callUp_data() {
    QTest::addColumn<bool>("askPwd");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    // The rules of the command line are tested on their own; here, one answer of each kind.
    QTest::newRow("right password") << true << QStringList{QStringLiteral("-v"), QStringLiteral("Chief")}
                                    << 0;
    QTest::newRow("wrong password, asked")
        << true << QStringList{QStringLiteral("-v"), QStringLiteral("chief")} << 1;
}

void TestSecondStart::callUp() {
    QFETCH(bool, askPwd);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    Installation installation;
    installation.setAskPwd(askPwd);
    installation.startFirst();
    QVERIFY(installation.first().waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(installation.loaded(), 20000);

    QCOMPARE(installation.runSecond(arguments), exitCode);
    // The first console is still there and still answers.
    QCOMPARE(installation.first().state(), QProcess::Running);
    QCOMPARE(installation.runSecond({QStringLiteral("-v"), QStringLiteral("Chief")}), 0);
}

void TestSecondStart::unreachableFirstInstance() {
    Installation installation;
    // Something holds the name and never answers.
    QLocalServer silent;
    QVERIFY(silent.listen(installation.serverName()));
    QFile database(installation.database());
    QVERIFY(database.open(QIODevice::ReadOnly));
    const QByteArray before = database.readAll();
    database.close();

    QCOMPARE(installation.runSecond({QStringLiteral("-v"), QStringLiteral("Chief")}), 2);
    QCOMPARE(installation.runSecond({}), 0);
    QVERIFY(!installation.loaded());
    QVERIFY(database.open(QIODevice::ReadOnly));
    QCOMPARE(database.readAll(), before);
}

void TestSecondStart::helpAndVersionLeaveTheConsoleAlone() {
    Installation installation;
    installation.startFirst();
    QTRY_VERIFY_WITH_TIMEOUT(installation.loaded(), 20000);
    // No display at all: the answer must not need one.
    QProcessEnvironment headless = installation.environment();
    headless.remove(QStringLiteral("QT_QPA_PLATFORM"));
    headless.remove(QStringLiteral("DISPLAY"));
    headless.remove(QStringLiteral("WAYLAND_DISPLAY"));
    QByteArray output;
    QCOMPARE(installation.runSecond({QStringLiteral("--version")}, &output, &headless), 0);
    QCOMPARE(output.trimmed(), QByteArray("kestrava 1.4"));
    QCOMPARE(installation.runSecond({QStringLiteral("--help")}, &output, &headless), 0);
    QVERIFY(output.contains("--version"));
    QVERIFY(output.contains("-v <password>"));
    QCOMPARE(installation.first().state(), QProcess::Running);
    QCOMPARE(installation.runSecond({QStringLiteral("-v"), QStringLiteral("Chief")}), 0);
}

QTEST_GUILESS_MAIN(TestSecondStart)
#include "tst_secondstart.moc"
