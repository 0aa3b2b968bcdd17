// Kills a process that runs the console's commands (kestrava-crash-driver) with SIGKILL at a random
// moment, then checks that the database is sound and that the command it was in is wholly there or
// wholly absent: the database must equal a replay of the commands before it, or of those and it.
//   KESTRAVA_CRASH_RUNS      number of kills (default 20)
//   KESTRAVA_CRASH_MAX_DELAY longest time in ms between the driver's start of work and the kill (default 400)
//   KESTRAVA_CRASH_SEED      seed of the run's random choices (default 1, so that runs repeat their series)

#include "CrashScript.h"
#include "ProgramFolder.h"
#include "core/store/Database.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <random>

using namespace kestrava;

class TestCrashConsistency : public QObject {
    Q_OBJECT
private slots:
    void killedCommandsAreWhollyThereOrAbsent();
};

namespace {

int setting(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

// The numbers of the last command begun and the last one ended.
std::pair<int, int> readJournal(const QString& path) {
    std::pair<int, int> journal;
    QFile file(path);
    for (const QByteArray& line :
         (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray()).split('\n'))
        if (line.startsWith("b ") || line.startsWith("e "))
            (line.startsWith('b') ? journal.first : journal.second) = line.mid(2).toInt();
    return journal;
}

} // namespace

void TestCrashConsistency::killedCommandsAreWhollyThereOrAbsent() {
    QTemporaryDir dir;
    const QString site = dir.filePath(QStringLiteral("site.tlmr"));
    Database::createFactory(site);
    {
        Database db;
        db.open(site);
        CrashScript(db, 0).setUp();
    }
    const int runs = setting("KESTRAVA_CRASH_RUNS", 20);
    const int maxDelay = setting("KESTRAVA_CRASH_MAX_DELAY", 400);
    std::mt19937 random(static_cast<quint32>(setting("KESTRAVA_CRASH_SEED", 1)));
    int inside = 0;
    for (int run = 0; run < runs; ++run) {
        const QString database = dir.filePath(QStringLiteral("killed-%1.tlmr").arg(run));
        const QString journalPath = dir.filePath(QStringLiteral("journal-%1").arg(run));
        QVERIFY(QFile::copy(site, database));
        const quint32 seed = random();
        const int delay = static_cast<int>(random() % static_cast<unsigned>(maxDelay + 1));

        QProcess process;
        process.start(programInFolder(QStringLiteral("kestrava-crash-driver")),
                      {database, QString::number(seed), journalPath});
        QVERIFY(QTest::qWaitFor(
            [&] { return process.canReadLine() || process.state() == QProcess::NotRunning; }, 20000));
        QVERIFY2(process.readLine().trimmed() == "ready", process.readAllStandardError().constData());
        QTimer::singleShot(delay, &process, &QProcess::kill);
        QVERIFY(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000));
        QVERIFY2(process.exitStatus() == QProcess::CrashExit, process.readAllStandardError().constData());

        const auto [begun, ended] = readJournal(journalPath);
        Database killed;
        killed.open(database);
        QCOMPARE(CrashScript::integrity(killed), QStringLiteral("ok"));
        const QString found = CrashScript::dump(killed);

        const QString replayPath = dir.filePath(QStringLiteral("replay-%1.tlmr").arg(run));
        QVERIFY(QFile::copy(site, replayPath));
        Database replayDb;
        replayDb.open(replayPath);
        CrashScript replay(replayDb, seed);
        for (int n = 1; n < begun; ++n)
            replay.runNext();
        const QString before = CrashScript::dump(replayDb);
        const QString name = begun > 0 ? replay.runNext() : QString();
        QVERIFY2(replay.errors().isEmpty(), qPrintable(replay.errors().join(u'\n')));
        const QString where =
            QStringLiteral("seed %1, killed after %2 ms in command %3 (%4)")
                .arg(QString::number(seed), QString::number(delay), QString::number(begun), name);
        if (found != CrashScript::dump(replayDb)) {
            QVERIFY2(ended < begun, qPrintable(where + QStringLiteral(": a finished command is missing")));
            QVERIFY2(found == before, qPrintable(where + QStringLiteral(": the database holds part of it")));
        }
        inside += ended < begun ? 1 : 0;
    }
    qInfo("%d kills, %d inside a command", runs, inside);
}

QTEST_GUILESS_MAIN(TestCrashConsistency)
#include "tst_crashconsistency.moc"
