// The real program: what only the whole console, started as a user starts it, can show. The rules of
// the hand-over and of the command line are tested on their own.

#include "ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestConsole : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void withoutDisplayEndsWithAMessage_data();
    void withoutDisplayEndsWithAMessage();
    void secondStartCallsUpTheFirst();

private:
    // Runs the program to its end; -1 when it does not end or crashes.
    int run(QProcess& process, const QStringList& arguments = {});
    QByteArray database() const;

    // A copy of the program with a database of its own, and the user folders of a user of its own.
    std::unique_ptr<QTemporaryDir> m_dir;
    QProcessEnvironment m_environment;
    QProcess m_first;
};

void TestConsole::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::copy(programInFolder(QStringLiteral("kestrava")),
                        m_dir->filePath(QStringLiteral("kestrava"))));
    QCOMPARE(QProcess::execute(programInFolder(QStringLiteral("kestrava-initdb")),
                               {m_dir->filePath(QStringLiteral("kestrava.tlmr"))}),
             0);
    QDir(m_dir->path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(m_dir->filePath(QStringLiteral("run")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir->filePath(QStringLiteral("run")));
    m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir->filePath(QStringLiteral("config")));
}

void TestConsole::cleanup() {
    m_first.kill();
    m_first.waitForFinished(5000);
}

int TestConsole::run(QProcess& process, const QStringList& arguments) {
    process.setProcessEnvironment(m_environment);
    process.start(m_dir->filePath(QStringLiteral("kestrava")), arguments);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray TestConsole::database() const {
    QFile file(m_dir->filePath(QStringLiteral("kestrava.tlmr")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestConsole::withoutDisplayEndsWithAMessage_data() {
    QTest::addColumn<QString>("display");
    QTest::newRow("DISPLAY not set") << QString();
    QTest::newRow("DISPLAY that nobody serves") << QStringLiteral(":97");
}

void TestConsole::withoutDisplayEndsWithAMessage() {
    QFETCH(QString, display);
    for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"})
        m_environment.remove(QLatin1String(name));
    if (!display.isEmpty())
        m_environment.insert(QStringLiteral("DISPLAY"), display);
    const QByteArray stored = database();
    QProcess console;
    QCOMPARE(run(console), 1);
    QVERIFY2(console.readAllStandardError().contains("display"), "no word about the display");
    QCOMPARE(database(), stored);
}

void TestConsole::secondStartCallsUpTheFirst() {
    m_first.setProcessEnvironment(m_environment);
    m_first.start(m_dir->filePath(QStringLiteral("kestrava")));
    QVERIFY(m_first.waitForStarted(10000));
    // The main window has loaded once it has recorded the install path.
    const QString registry = m_dir->filePath(QStringLiteral("config/kestrava/registry.ini"));
    const QString path = QStringLiteral("HKEY_LOCAL_MACHINE/SOFTWARE/Talmerin/Kestrava/Server/Path");
    QTRY_VERIFY_WITH_TIMEOUT(QSettings(registry, QSettings::IniFormat).contains(path), 20000);

    QProcess second;
    QCOMPARE(run(second, {QStringLiteral("-v"), QStringLiteral("Chief")}), 0);
    QCOMPARE(m_first.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestConsole)
#include "tst_console.moc"
