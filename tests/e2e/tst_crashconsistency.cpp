// Kills a process that runs the console's commands (kestrava-crash-driver) with SIGKILL at a random
// moment, then checks that the database is sound and that the command it was in is wholly there or
// wholly absent: the database must equal a replay of the commands before it, or of those and it.
//   KESTRAVA_CRASH_RUNS      number of kills (default 20)
//   KESTRAVA_CRASH_MAX_DELAY longest time in ms between the driver's start of work and the kill (default 400)
//   KESTRAVA_CRASH_SEED      seed of the run's random choices (default 1, so that runs repeat their series)

#include "CrashScript.h"
#include "ProgramFolder.h"
#include "TempDatabase.h"
#include "core/store/Database.h"

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <random>

using namespace kestrava;

class TestCrashConsistency : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void killedCommandsAreWhollyThereOrAbsent();

private:
    QString m_site;
    QTemporaryDir m_dir;
};

namespace {

int setting(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

// The database after the first commands of a seed's series, replayed from a copy of the site.
struct Replay {
    Replay(const QString& site, const QString& path, quint32 seed) {
        QFile::copy(site, path);
        db.open(path);
        script = std::make_unique<CrashScript>(db, seed);
    }
    Database db;
    std::unique_ptr<CrashScript> script;
};

struct Journal {
    int begun = 0;
    int ended = 0;
    QString lastEnded;
};

Journal readJournal(const QString& path) {
    Journal journal;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return journal;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() >= 2 && parts[0] == "b")
            journal.begun = parts[1].toInt();
        else if (parts.size() >= 2 && parts[0] == "e") {
            journal.ended = parts[1].toInt();
            journal.lastEnded = QString::fromUtf8(line.mid(line.indexOf(' ', 2) + 1));
        }
    }
    return journal;
}

// The first line where two dumps differ, for the failure message.
QString firstDifference(const QString& found, const QString& expected) {
    const QStringList a = found.split(QLatin1Char('\n'));
    const QStringList b = expected.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i])
            return QStringLiteral("found '%1', expected '%2'").arg(a[i], b[i]);
    return QStringLiteral("%1 lines against %2").arg(a.size()).arg(b.size());
}

} // namespace

void TestCrashConsistency::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_site = m_dir.filePath(QStringLiteral("site.tlmr"));
    Database::createFactory(m_site);
    Database db;
    db.open(m_site);
    CrashScript(db, 0).setUp();
    QCOMPARE(CrashScript::integrity(db), QStringLiteral("ok"));
    db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

void TestCrashConsistency::killedCommandsAreWhollyThereOrAbsent() {
    const int runs = setting("KESTRAVA_CRASH_RUNS", 20);
    const int maxDelay = setting("KESTRAVA_CRASH_MAX_DELAY", 400);
    const quint32 seed = static_cast<quint32>(setting("KESTRAVA_CRASH_SEED", 1));
    qInfo("seed %u, %d runs, kill within %d ms", seed, runs, maxDelay);
    std::mt19937 random(seed);
    const QString driver = programInFolder(QStringLiteral("kestrava-crash-driver"));
    QVERIFY2(QFile::exists(driver), qPrintable(driver));

    int inside = 0;
    int whollyAbsent = 0;
    int whollyThere = 0;
    qint64 commands = 0;
    QMap<QString, int> interrupted;
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir dir;
        const QString database = dir.filePath(QStringLiteral("kestrava.tlmr"));
        const QString journalPath = dir.filePath(QStringLiteral("journal"));
        QVERIFY(QFile::copy(m_site, database));
        const quint32 runSeed = random();
        const int delay = static_cast<int>(random() % static_cast<unsigned>(maxDelay + 1));

        QProcess process;
        process.start(driver, {database, QString::number(runSeed), journalPath});
        QVERIFY2(QTest::qWaitFor(
                     [&] { return process.canReadLine() || process.state() == QProcess::NotRunning; }, 20000),
                 "the driver did not start");
        QVERIFY2(process.readLine().trimmed() == "ready", process.readAllStandardError().constData());
        QTimer::singleShot(delay, &process, [&process] { process.kill(); });
        QVERIFY(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000));
        QVERIFY2(process.exitStatus() == QProcess::CrashExit,
                 qPrintable(QStringLiteral("the driver ended by itself: ") +
                            QString::fromLocal8Bit(process.readAllStandardError())));

        const Journal journal = readJournal(journalPath);
        const QString where = QStringLiteral("run %1, seed %2, killed after %3 ms in command %4")
                                  .arg(run)
                                  .arg(runSeed)
                                  .arg(delay)
                                  .arg(journal.begun);
        Database killed;
        killed.open(database);
        QCOMPARE(CrashScript::integrity(killed), QStringLiteral("ok"));
        const QString found = CrashScript::dump(killed);

        Replay replay(m_site, dir.filePath(QStringLiteral("replay.tlmr")), runSeed);
        for (int n = 1; n < journal.begun; ++n)
            replay.script->runNext();
        const QString before = CrashScript::dump(replay.db);
        QString name;
        if (journal.begun > 0)
            name = replay.script->runNext();
        const QString after = CrashScript::dump(replay.db);
        QVERIFY2(replay.script->errors().isEmpty(),
                 qPrintable(replay.script->errors().join(QLatin1Char('\n'))));

        commands += journal.begun;
        const bool finished = journal.ended == journal.begun;
        if (found == after && (finished || before != after)) {
            ++whollyThere;
        } else {
            QVERIFY2(!finished, qPrintable(where + QStringLiteral(": a finished command is missing")));
            QVERIFY2(found == before,
                     qPrintable(where + QStringLiteral(" (") + name +
                                QStringLiteral("): the database holds part of it; against "
                                               "before: ") +
                                firstDifference(found, before) + QStringLiteral("; against after: ") +
                                firstDifference(found, after)));
            ++whollyAbsent;
        }
        if (!finished) {
            ++inside;
            ++interrupted[name];
        }
    }
    QStringList kinds;
    for (auto it = interrupted.cbegin(); it != interrupted.cend(); ++it)
        kinds << QStringLiteral("%1 %2").arg(it.value()).arg(it.key());
    qInfo("%d kills, %lld commands run in all, %d kills inside a command (%s); integrity errors 0; commands "
          "wholly there %d, wholly absent %d, partial 0",
          runs, commands, inside, qPrintable(kinds.join(QStringLiteral(", "))), whollyThere, whollyAbsent);
}

QTEST_GUILESS_MAIN(TestCrashConsistency)
#include "tst_crashconsistency.moc"
