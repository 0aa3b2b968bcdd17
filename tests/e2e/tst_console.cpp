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
    QString path(const char* name) const { return m_dir->filePath(QLatin1String(name)); }
    QByteArray database() const {
        QFile file(path("kestrava.tlmr"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A copy of the program with a database of its own, and the user folders of a user of its own.
    std::unique_ptr<QTemporaryDir> m_dir;
    QProcessEnvironment m_environment;
    QProcess m_first;
};

void TestConsole::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::copy(programInFolder(QStringLiteral("kestrava")), path("kestrava")));
    QCOMPARE(QProcess::execute(programInFolder(QStringLiteral("kestrava-initdb")), {path("kestrava.tlmr")}),
             0);
    QVERIFY(QDir().mkpath(path("run")));
    QFile::setPermissions(path("run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("run"));
    m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
}

void TestConsole::cleanup() {
    m_first.kill();
    m_first.waitForFinished(5000);
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
    console.setProcessEnvironment(m_environment);
    console.start(path("kestrava"));
    QVERIFY(console.waitForFinished(20000));
    QCOMPARE(console.exitStatus(), QProcess::NormalExit);
    QCOMPARE(console.exitCode(), 1);
    QVERIFY2(console.readAllStandardError().contains("display"), "no word about the display");
    QCOMPARE(database(), stored);
}

void TestConsole::secondStartCallsUpTheFirst() {
    m_first.setProcessEnvironment(m_environment);
    m_first.start(path("kestrava"));
    // The main window has loaded once it has recorded the install path.
    const QString installPath = QStringLiteral("HKEY_LOCAL_MACHINE/SOFTWARE/Talmerin/Kestrava/Server/Path");
    QTRY_VERIFY_WITH_TIMEOUT(
        QSettings(path("config/kestrava/registry.ini"), QSettings::IniFormat).contains(installPath), 20000);

    QProcess second;
    second.setProcessEnvironment(m_environment);
    second.start(path("kestrava"), {QStringLiteral("-v"), QStringLiteral("Chief")});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(m_first.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestConsole)
#include "tst_console.moc"
