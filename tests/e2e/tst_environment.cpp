// A hostile environment: no display, a full disk, a database that cannot be written. Each ends in a
// clear message and a normal exit, never a crash, and leaves what was stored as it was.

#include "CrashScript.h"
#include "ProgramFolder.h"
#include "TempDatabase.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace kestrava;

class TestEnvironment : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void noDisplay_data();
    void noDisplay();
    void diskFullLosesNothingStored();
    void readOnlyDatabaseIsLeftAlone();

private:
    QString bin(const QString& name) const { return m_binDir + QLatin1Char('/') + name; }
    QString m_binDir;
    QTemporaryDir m_dir;
    QString m_site;
};

namespace {

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int lastEnded(const QString& journal) {
    int ended = 0;
    for (const QByteArray& line : contentOf(journal).split('\n'))
        if (line.startsWith("e "))
            ended = line.split(' ').value(1).toInt();
    return ended;
}

} // namespace

void TestEnvironment::initTestCase() {
    m_binDir = programFolder();
    QVERIFY(QFile::exists(bin(QStringLiteral("kestrava"))));
    QVERIFY(QFile::exists(bin(QStringLiteral("kestrava-crash-driver"))));
    m_site = m_dir.filePath(QStringLiteral("site.tlmr"));
    QCOMPARE(
        QProcess::execute(bin(QStringLiteral("kestrava-crash-driver")), {QStringLiteral("--set-up"), m_site}),
        0);
}

void TestEnvironment::noDisplay_data() {
    QTest::addColumn<QString>("display");
    QTest::newRow("DISPLAY not set") << QString();
    QTest::newRow("DISPLAY that nobody serves") << QStringLiteral(":97");
}

void TestEnvironment::noDisplay() {
    QFETCH(QString, display);
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("kestrava"));
    QVERIFY(QFile::copy(bin(QStringLiteral("kestrava")), program));
    QVERIFY(QFile::copy(m_site, dir.filePath(QStringLiteral("kestrava.tlmr"))));
    const QByteArray stored = contentOf(dir.filePath(QStringLiteral("kestrava.tlmr")));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("DISPLAY"));
    if (!display.isEmpty())
        environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    QProcess console;
    console.setProcessEnvironment(environment);
    console.start(program);
    QVERIFY(console.waitForFinished(20000));
    QCOMPARE(console.exitStatus(), QProcess::NormalExit);
    QCOMPARE(console.exitCode(), 1);
    QVERIFY2(console.readAllStandardError().contains("display"), "no word about the display");
    QCOMPARE(contentOf(dir.filePath(QStringLiteral("kestrava.tlmr"))), stored);
}

// The console's commands run against a database whose files may not grow past a limit, as on a full
// disk: the command that hits it fails with its error, and everything committed before stays.
void TestEnvironment::diskFullLosesNothingStored() {
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("kestrava.tlmr"));
    const QString journal = dir.filePath(QStringLiteral("journal"));
    QVERIFY(QFile::copy(m_site, database));
    const rlim_t limit = static_cast<rlim_t>(QFile(database).size()) + 96 * 1024;
    QProcess driver;
    driver.setChildProcessModifier([limit] {
        // Writes past the limit fail with EFBIG instead of ending the process.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit size{limit, limit};
        setrlimit(RLIMIT_FSIZE, &size);
    });
    const quint32 seed = 4242;
    driver.start(bin(QStringLiteral("kestrava-crash-driver")), {database, QString::number(seed), journal});
    QVERIFY(driver.waitForFinished(120000));
    QCOMPARE(driver.exitStatus(), QProcess::NormalExit);
    QCOMPARE(driver.exitCode(), 1);
    const QString error = QString::fromLocal8Bit(driver.readAllStandardError());
    qInfo("after %d commands: %s", lastEnded(journal), qPrintable(error.trimmed()));
    QVERIFY(error.contains(QLatin1String("full")) || error.contains(QLatin1String("I/O")));

    Database found;
    found.open(database);
    QCOMPARE(CrashScript::integrity(found), QStringLiteral("ok"));
    const QString replayPath = dir.filePath(QStringLiteral("replay.tlmr"));
    QVERIFY(QFile::copy(m_site, replayPath));
    Database replayDb;
    replayDb.open(replayPath);
    CrashScript replay(replayDb, seed);
    for (int n = lastEnded(journal); n > 0; --n)
        replay.runNext();
    QCOMPARE(CrashScript::dump(found), CrashScript::dump(replayDb));
}

// A database file that the console's user may read but not write.
void TestEnvironment::readOnlyDatabaseIsLeftAlone() {
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("kestrava.tlmr"));
    const QString journal = dir.filePath(QStringLiteral("journal"));
    QVERIFY(QFile::copy(m_site, database));
    const QByteArray stored = contentOf(database);
    QProcess driver;
    // A copy beside the database, so that the other user can run it wherever the build is.
    const QString program = dir.filePath(QStringLiteral("kestrava-crash-driver"));
    QVERIFY(QFile::copy(bin(QStringLiteral("kestrava-crash-driver")), program));
    QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                       QFileDevice::ExeOther);
    if (geteuid() == 0) {
        // Root writes whatever the file says: the driver runs as nobody instead.
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                              QFileDevice::ExeOther);
        QFile::setPermissions(database,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
        driver.setChildProcessModifier([] {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(3);
        });
    } else {
        QFile::setPermissions(database, QFileDevice::ReadOwner);
    }
    const QString journalPath = geteuid() == 0 ? QStringLiteral("/dev/null") : journal;
    driver.start(program, {database, QStringLiteral("7"), journalPath});
    QVERIFY(driver.waitForFinished(60000));
    QCOMPARE(driver.exitStatus(), QProcess::NormalExit);
    QCOMPARE(driver.exitCode(), 1);
    const QString error = QString::fromLocal8Bit(driver.readAllStandardError());
    qInfo("%s", qPrintable(error.trimmed()));
    QVERIFY(error.contains(QLatin1String("readonly")) || error.contains(QLatin1String("open")) ||
            error.contains(QLatin1String("read")));
    QCOMPARE(contentOf(database), stored);
}

QTEST_GUILESS_MAIN(TestEnvironment)
#include "tst_environment.moc"
